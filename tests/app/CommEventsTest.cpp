// The comm events dialog on the frame's engine, with a pty as the device.

#include "AppTestSupport.h"

#include "app/CommEventsDlg.h"
#include "comm/CommEvents.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

namespace {

using namespace apptest;

// Each box and the event it watches.
const std::pair<const char*, std::uint32_t> kEventBoxes[] = {
    {"check1020", EV_BREAK}, {"check1021", EV_CTS},   {"check1022", EV_DSR},    {"check1023", EV_ERR},
    {"check1024", EV_RING},  {"check1025", EV_RLSD}, {"check1026", EV_RXCHAR}, {"check1027", EV_RXFLAG},
    {"check1028", EV_TXEMPTY},
};

QCheckBox* Box(QDialog& d, const char* name) { return d.findChild<QCheckBox*>(QString::fromLatin1(name)); }
QLineEdit* Edit(QDialog& d, const char* name) { return d.findChild<QLineEdit*>(QString::fromLatin1(name)); }
void Click(QDialog& d, const char* name) { d.findChild<QPushButton*>(QString::fromLatin1(name))->click(); }

std::uint32_t BoxesMask(QDialog& d)
{
    std::uint32_t mask = 0;
    for (const auto& [name, bit] : kEventBoxes)
        mask |= Box(d, name)->isChecked() ? bit : 0;
    return mask;
}

class CommEventsTest : public AppFixture {
protected:
    // Clicks "Events..." and runs `act` on the dialog.
    bool RunDialog(const std::function<void(CCommEventsDlg&)>& act)
    {
        return RunModal<CCommEventsDlg>([this] { Frame()->BarButton(1002)->click(); }, act);
    }
    // Event texts in the box that match `pattern` (one per line).
    int CountLines(const QString& pattern) const
    {
        return static_cast<int>(EventBoxText().count(QRegularExpression(pattern, QRegularExpression::MultilineOption)));
    }
};

TEST_F(CommEventsTest, CancelKeepsTheMaskAndTheFlagEventGoesOnAndOffOnALivePort)
{
    StartConnected();
    CCommPort2& port = *Frame()->m_pCommPort;
    EXPECT_TRUE(RunDialog([](CCommEventsDlg& d) {
        EXPECT_EQ(BoxesMask(d), 0x1F8u);
        EXPECT_FALSE(Edit(d, "edit1029")->isEnabled()) << "the flag is not watched";
        Box(d, "check1027")->setChecked(true);
        Click(d, "button2");
    }));
    EXPECT_EQ(port.Settings().m_dwEventMask, 0x1F8u) << "nothing after Cancel";
    ASSERT_TRUE(PumpUntil([&] { return EventBoxText().contains(QStringLiteral("Status message")); }));
    const QString flagText = QStringLiteral("^\\d+:EVENT: .*RXFLAG");
    const QString charOnly = QStringLiteral("^\\d+:EVENT: RXCHAR $");
    // The reader takes a new mask by ending its wait with no event: data is
    // sent only once that is reported, so it is judged under the new mask.
    const QString maskTaken = QStringLiteral("^\\d+:EVENT: NULL$");
    auto apply = [&](const std::function<void(CCommEventsDlg&)>& act) {
        const int nulls = CountLines(maskTaken);
        EXPECT_TRUE(RunDialog([&](CCommEventsDlg& d) {
            act(d);
            Click(d, "button1");
        }));
        EXPECT_TRUE(PumpUntil([&] { return CountLines(maskTaken) > nulls; })) << Utf8(EventBoxText());
    };
    // Sends `bytes` and waits for the event text that goes with them.
    auto receive = [&](const std::string& bytes, bool expectFlag) {
        const int flags = CountLines(flagText), before = CountLines(expectFlag ? flagText : charOnly);
        ASSERT_TRUE(m_pty.WriteMaster(bytes));
        EXPECT_TRUE(PumpUntil([&] { return CountLines(expectFlag ? flagText : charOnly) > before; }))
            << bytes << Utf8(EventBoxText());
        EXPECT_EQ(CountLines(flagText), flags + (expectFlag ? 1 : 0)) << bytes;
    };

    apply([](CCommEventsDlg& d) {
        Box(d, "check1026")->setChecked(true);
        Box(d, "check1027")->setChecked(true);
    });
    EXPECT_EQ(port.Settings().m_dwEventMask, 0x1F8u | EV_RXCHAR | EV_RXFLAG);
    receive("no flag here", false);
    receive("a line\n", true);  // the flag is still the line feed
    EXPECT_TRUE(EventBoxText().contains(QStringLiteral("EVENT: RXFLAG RXCHAR")));

    // Now the edits are open: 'A' becomes the flag character.
    PortSettings settings = port.Settings();
    settings.m_chFlag = static_cast<char>(0xE9);
    port.ApplySettings(settings);
    EXPECT_TRUE(RunDialog([](CCommEventsDlg& d) {
        // A byte above 0x7F shows as itself, not as a negative number.
        EXPECT_TRUE(Edit(d, "edit1029")->text() == QStringLiteral("E9") && Edit(d, "edit1036")->text() == QChar(0xE9));
        Edit(d, "edit1029")->setText(QStringLiteral("41"));
        Click(d, "button1");
    }));
    EXPECT_EQ(port.Settings().m_chFlag, 'A');
    receive("line\n", false);
    receive("xAy", true);

    apply([](CCommEventsDlg& d) { Box(d, "check1027")->setChecked(false); });
    EXPECT_EQ(port.Settings().m_dwEventMask, 0x1F8u | EV_RXCHAR);
    receive("xAy\n", false);
}

}  // namespace

// "Automatic Send" and its editor in the running program, a pty as the
// device: what the buttons send and echo, and what the store keeps.

#include "AutomationTestSupport.h"

#include "automation/AutoSendDlg.h"
#include "automation/HexEdit.h"

#include <map>

namespace {

using namespace autotest;

class AutoSend : public AutomationFixture {
protected:
    CAutoSendDlg* Open()
    {
        ClickBarButton(res::IDC_AUTOSEND);
        return Frame()->AutoSendWindow();
    }
    // Opens the editor, types into its boxes (by id; "" clears a box), notes
    // what they showed at first and ends it with OK or Cancel.
    void Assign(CAutoSendDlg* window, const std::map<int, QString>& boxes, bool ok,
                std::map<int, QString>* shown = nullptr)
    {
        auto poll = std::make_shared<std::function<void()>>();
        *poll = [&, poll] {
            QWidget* editor = QApplication::activeModalWidget();
            if (editor == nullptr) {
                QTimer::singleShot(5, *poll);
                return;
            }
            auto box = [editor](int id) { return editor->findChild<CHexEdit*>(QStringLiteral("edit%1").arg(id)); };
            for (int id = 1005; id <= 1014 && shown != nullptr; ++id)
                (*shown)[id] = box(id)->text();
            for (const auto& [id, keys] : boxes) {
                if (keys.isEmpty()) {
                    QTest::keyClick(box(id), Qt::Key_A, Qt::ControlModifier);
                    QTest::keyClick(box(id), Qt::Key_Backspace);
                }
                Type(box(id), keys);
            }
            Click(editor, ok ? 1 : 2);
            *poll = nullptr;  // ends the cycle through the capture
        };
        QTimer::singleShot(0, *poll);
        Click(window, 1014);
    }
    std::vector<int> EnabledButtons(CAutoSendDlg* window) const
    {
        std::vector<int> ids;
        for (int id = CAutoSendDlg::kFirstSendButton; id <= CAutoSendDlg::kLastSendButton; ++id)
            if (window->Button(id)->isEnabled())
                ids.push_back(id);
        return ids;
    }
};

TEST_F(AutoSend, ButtonsSendTheDecodedBytesAndEchoTheStringWithOrWithoutAPort)
{
    CAutoSendDlg* window = Open();
    EXPECT_TRUE(EnabledButtons(window).empty());

    const struct {
        int box;
        QString keys;
        std::string bytes;
        QString echo;
    } table[] = {
        {1005, "010203", "\x01\x02\x03", "01 02 03 "},
        {1007, "ab", "\xAB", "ab "},
        {1008, "ABC", "\xAB", "AB C "},  // the odd last digit is not sent
        {1014, "0a1B2c", "\x0A\x1B\x2C", "0a 1B 2c "},
    };
    std::map<int, QString> typed;
    for (const auto& slot : table)
        typed[slot.box] = slot.keys;
    Assign(window, typed, true);
    EXPECT_EQ(EnabledButtons(window), (std::vector<int>{1004, 1006, 1007, 1013}));

    QString echoes;
    for (const auto& slot : table) {
        SCOPED_TRACE(slot.keys.toStdString());
        Click(window, slot.box - 1);
        EXPECT_EQ(m_pty.ReadCount(slot.bytes.size()), slot.bytes);
        echoes += slot.echo;
    }
    // With the port closed the window stays usable: the echo alone.
    Connect(false);
    Click(window, 1004);
    EXPECT_EQ(ViewText(), echoes + QStringLiteral("01 02 03 "));
    Connect();
    EXPECT_EQ(SentBeforeMarker(), "");
}

TEST_F(AutoSend, StoreOutlivesTheWindowAndBlankOrCancelledBoxesChangeNothing)
{
    CAutoSendDlg* window = Open();
    Assign(window, {{1005, "11"}}, true);
    Assign(window, {{1005, ""}, {1006, "   "}}, true);  // blank: slot 1 keeps its string
    Assign(window, {{1006, "22"}}, false);             // cancelled
    EXPECT_EQ(Doc()->m_mapAutoSend, (std::map<std::string, std::string>{{"1005", "11"}}));

    Click(window, 1015);
    ASSERT_TRUE(PumpUntil([&] { return Frame()->AutoSendWindow() == nullptr; }));
    window = Open();
    EXPECT_EQ(EnabledButtons(window), std::vector<int>{1004});
    std::map<int, QString> shown;
    Assign(window, {}, false, &shown);
    EXPECT_TRUE(shown[1005] == QStringLiteral("11") && shown[1006].isEmpty()) << "stored trimmed";
    Click(window, 1004);
    EXPECT_EQ(SentBeforeMarker(), "\x11");
}

}  // namespace

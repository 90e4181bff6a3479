// The hex entry box: typed letters and digits paired with a space, and
// pasted text going in as if typed.

#include "AutomationTestSupport.h"

#include "automation/HexEdit.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

using autotest::Type;

TEST(HexEdit, PairsTypedAndPastedCharacters)
{
    apptest::Qt();
    const struct {
        const char* name;
        QString preset;  // set by code before typing
        QString keys;    // '\b' is Backspace, '\x16' pastes `clipboard`
        QString clipboard;
        QString text;
        int secondOfPair;
    } cases[] = {
        {"one digit", "", "0", "", "0", 1},
        {"letters keep their case", "", "abGZ01", "", "ab GZ 01 ", 0},
        {"a typed space does not count", "", "1 2", "", "1 2 ", 0},
        {"Backspace leaves the flag", "", "a\bb", "", "b ", 0},
        {"loaded text does not count", "01 02", "34", "", "01 0234 ", 0},
        {"letters beyond ASCII", "", QStringLiteral("é1한"), "", QStringLiteral("é1 한"), 1},
        {"punctuation goes in unpaired", "", "1,2", "", "1,2 ", 0},
        {"paste into an empty box", "", "\x16", "0A 1b\t2", "0A 1b 2", 1},
        {"paste completes an open pair", "", "1\x16" "c", "23 4", "12 34 c", 1},
        {"typing goes on after a paste", "", "\x16" "5", "0a1", "0a 15 ", 0},
    };
    for (const auto& c : cases) {
        CHexEdit box;
        box.show();
        box.setText(c.preset);
        QGuiApplication::clipboard()->setText(c.clipboard);
        for (const QChar key : c.keys) {
            if (key == QChar(0x16))
                QTest::keyClick(&box, Qt::Key_V, Qt::ControlModifier);
            else
                Type(&box, QString(key));
        }
        EXPECT_EQ(box.text(), c.text) << c.name;
        EXPECT_EQ(box.SecondOfPair(), c.secondOfPair) << c.name;
    }
}

}  // namespace

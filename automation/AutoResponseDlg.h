#pragma once
// "Automatic Response": three rows of an In pattern and an Out reply, and
// "Start"/"End". Start stores the rows whose In box is not blank (the store
// then holds exactly those, so never more than three patterns) and tells the
// frame, which from then on hands over every received block whose first byte
// starts a pattern. A block that is exactly a pattern is answered: the reply
// is echoed as stored and its bytes are sent while the port is open.

#include "automation/AutomationLinks.h"
#include "automation/ModelessDlg.h"
#include "automation/TerminalEcho.h"
#include "platform/QtMessageWindow.h"

#include <memory>

class CHexEdit;
class QPushButton;
struct ReceivedBlock;
namespace Ui { class AutoResponseDlg; }

class CAutoResponseDlg : public CModelessDlg {
    Q_OBJECT
public:
    CAutoResponseDlg(const AutomationLinks& links, QWidget* parent);
    // Blocks still on their way here are freed unanswered.
    ~CAutoResponseDlg() override;

    // "Start" / "End".
    void OnStartEnd();
    // WM_USER+8: the exact comparison and the reply to the block the message owns.
    platform::LRESULT OnReceivedBlock(platform::WPARAM wParam, platform::LPARAM lParam);

    bool IsStarted() const { return m_bStarted; }
    // Where the frame posts received blocks.
    platform::QtMessageWindow* MessageWindow() const { return m_pMessageWindow.get(); }

    CHexEdit* InBox(int row) const;   // rows 1 to 3
    CHexEdit* OutBox(int row) const;

private:
    std::unique_ptr<Ui::AutoResponseDlg> m_ui;
    AutomationLinks m_links;
    TerminalEcho m_echo;
    std::unique_ptr<platform::QtMessageWindow> m_pMessageWindow;
    bool m_bStarted = false;
};

#pragma once
// "Automatic Send": ten buttons that each send one stored hex string, the
// editor of the strings ("Assign") and "Close". A button is enabled once its
// string is stored; the strings live in the document for the whole run.

#include "automation/AutomationLinks.h"
#include "automation/ModelessDlg.h"
#include "automation/TerminalEcho.h"

#include <memory>

class QPushButton;
namespace Ui { class AutoSendDlg; }

class CAutoSendDlg : public CModelessDlg {
    Q_OBJECT
public:
    static constexpr int kFirstSendButton = 1004;  // "1"; "10" is 1013
    static constexpr int kLastSendButton = 1013;

    CAutoSendDlg(const AutomationLinks& links, QWidget* parent);
    ~CAutoSendDlg() override;

    // The editor, modal; on OK the buttons of every stored string are enabled.
    void OnAssign();
    // Echoes the string of button `id` and sends its bytes while the port is
    // open. A button without a string does nothing.
    void OnSend(int id);

    QPushButton* Button(int id) const;

private:
    // Enables the button of every stored string; disables none.
    void EnableStoredButtons();

    std::unique_ptr<Ui::AutoSendDlg> m_ui;
    AutomationLinks m_links;
    TerminalEcho m_echo;
};

#pragma once
// "Assign AutoSend String": the ten AutoSend strings in hex entry boxes. OK
// stores every box that is not blank after trimming; a blank box leaves its
// stored string as it was. Cancel changes nothing.

#include <QDialog>

#include <map>
#include <memory>
#include <string>

class CHexEdit;
namespace Ui { class AutoSendAssignDlg; }

class CAutoSendAssignDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFirstBox = 1005;  // "1:"; "10:" is 1014
    static constexpr int kLastBox = 1014;

    // `store`: key "%d" of the box id -> the box's trimmed text.
    CAutoSendAssignDlg(std::map<std::string, std::string>* store, QWidget* parent);
    ~CAutoSendAssignDlg() override;

    CHexEdit* Box(int id) const;

public slots:
    void accept() override;

private:
    std::unique_ptr<Ui::AutoSendAssignDlg> m_ui;
    std::map<std::string, std::string>* m_pStore;
};

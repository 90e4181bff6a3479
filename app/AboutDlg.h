#pragma once
// The About box: a credit line with the version, the running system, its
// memory and the user.

#include <QDialog>

#include <memory>

namespace Ui { class AboutDlg; }

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    QString CreditText() const;
    QString SystemText() const;
    QString MemoryText() const;
    QString UserText() const;

private:
    std::unique_ptr<Ui::AboutDlg> m_ui;
};

#pragma once
// The terminal settings dialog: the terminal options as check boxes (local
// echo shown, never editable), the stamps and frames, and the font button, which opens the
// font and colour dialog. Opening it reads the options from the settings
// store again; OK puts the boxes into the document and stores them all;
// Cancel changes nothing.

#include <QDialog>

#include <memory>

class CTrevane2Doc;
class CTrevane2View;
namespace Ui { class TerminalSettingsDlg; }

class CTerminalSettingsDlg : public QDialog {
    Q_OBJECT
public:
    // Starts from the view's document, reads the store (LoadSettings) and
    // shows what is then in force.
    explicit CTerminalSettingsDlg(CTrevane2View* view, QWidget* parent = nullptr);
    ~CTerminalSettingsDlg() override;

    // The options in the document's order.
    int m_bHexMode = 0;
    int m_bLocalEcho = 1;
    int m_bReceiveLF = 0;
    int m_bSendLF = 0;
    int m_bAppendCRC = 0;
    int m_nTimestamps = 0;
    int m_bHexFrames = 0;
    int m_nFrameGapMs = 0;
    int m_bTrafficLog = 0;

    // Reads the "Terminal Settings" section into the document (a missing
    // value keeps the current one) and takes the result into the members.
    void LoadSettings();
    // Puts the members into the document and stores them; false when the
    // store cannot be written.
    bool SaveSettings();
    // Moves the check boxes to the members (save) or the members to the boxes.
    void DoDataExchange(bool save);
    // The font button: the font and colour dialog on top of this one.
    void OnFont();

public slots:
    void accept() override;

private:
    void CopyFromDocument();

    std::unique_ptr<Ui::TerminalSettingsDlg> m_ui;
    CTrevane2View* m_pView;
    CTrevane2Doc* m_pDoc;
};

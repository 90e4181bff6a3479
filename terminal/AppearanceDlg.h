#pragma once
// The font and colour dialog. The font button changes the terminal's font at
// once (Cancel does not take it back); the colour buttons change only the
// previews. OK makes the previewed font and colours the appearance, which
// colours text appended from then on and is stored at exit.

#include "terminal/CharFormat.h"

#include <QDialog>

#include <cstdint>
#include <memory>

class CAppearance;
class CTrevane2View;
class QTextEdit;
namespace Ui { class AppearanceDlg; }

class CAppearanceDlg : public QDialog {
    Q_OBJECT
public:
    // `view`: the terminal whose font the font button changes and whose
    // appearance OK sets.
    explicit CAppearanceDlg(CTrevane2View* view, QWidget* parent = nullptr);
    ~CAppearanceDlg() override;

    // The font OK keeps: the terminal's when the dialog opened or after the
    // font button.
    CharFormat m_cf{};

    void OnFont();           // button 1005
    void OnReceivedColor();  // button 1007
    void OnSentColor();      // button 1008
    void OnStampColor();

    // The colour a preview shows (0x00BBGGRR), taken from its first character.
    static std::uint32_t PreviewColor(const QTextEdit* preview);

public slots:
    void accept() override;

private:
    // m_cf into the font preview, the face name and both colour previews.
    void ShowFont();
    void ChoosePreviewColor(QTextEdit* preview);

    std::unique_ptr<Ui::AppearanceDlg> m_ui;
    CTrevane2View* m_pView;
    CAppearance* m_pAppearance;
};

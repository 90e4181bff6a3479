#include "terminal/AppearanceDlg.h"

#include "terminal/Appearance.h"
#include "terminal/Choosers.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"

#include "ui_AppearanceDlg.h"

#include <QCoreApplication>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace {

const QString kFontSample = QStringLiteral(
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ\nabcdefghijklmnopqrstuvwxyz\n1234567890");
// Both scripts the terminal shows most, in one line (in English, Latin only).
const char* const kColorSample = QT_TRANSLATE_NOOP("AppearanceDlg", "가나다라 ABCabc 0123456789");
const QString kStampSample = QStringLiteral("12:34:56.789 +0.125");

// Every character of the preview takes the font; colours stay.
void ApplyFont(QTextEdit* preview, const QFont& font)
{
    preview->document()->setDefaultFont(font);
    QTextCursor cursor(preview->document());
    cursor.select(QTextCursor::Document);
    QTextCharFormat format;
    format.setFont(font);
    cursor.mergeCharFormat(format);
}

// Every character of the preview takes the colour; nothing else changes.
void ApplyColor(QTextEdit* preview, std::uint32_t colorref)
{
    QTextCursor cursor(preview->document());
    cursor.select(QTextCursor::Document);
    QTextCharFormat format;
    format.setForeground(ColorFromColorRef(colorref));
    cursor.mergeCharFormat(format);
}

}  // namespace

CAppearanceDlg::CAppearanceDlg(CTrevane2View* view, QWidget* parent)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::AppearanceDlg>()),
      m_pView(view),
      m_pAppearance(view->GetAppearance())
{
    m_ui->setupUi(this);
    m_ui->edit1015->setPlainText(kFontSample);
    m_ui->edit1016->setPlainText(QCoreApplication::translate("AppearanceDlg", kColorSample));
    m_ui->edit1017->setPlainText(QCoreApplication::translate("AppearanceDlg", kColorSample));
    m_ui->editStamp->setPlainText(kStampSample);

    // The font comes from the terminal as it is now, the colours from the
    // appearance.
    m_cf = CharFormatFromFont(m_pView->font());
    ShowFont();
    ApplyColor(m_ui->edit1016, m_pAppearance->GetReceivedColor());
    ApplyColor(m_ui->edit1017, m_pAppearance->GetSentColor());
    ApplyColor(m_ui->editStamp, m_pAppearance->m_crStamp);

    connect(m_ui->button1, &QPushButton::clicked, this, &CAppearanceDlg::accept);
    connect(m_ui->button1005, &QPushButton::clicked, this, &CAppearanceDlg::OnFont);
    connect(m_ui->button1007, &QPushButton::clicked, this, &CAppearanceDlg::OnReceivedColor);
    connect(m_ui->button1008, &QPushButton::clicked, this, &CAppearanceDlg::OnSentColor);
    connect(m_ui->buttonStamp, &QPushButton::clicked, this, &CAppearanceDlg::OnStampColor);
}

CAppearanceDlg::~CAppearanceDlg() = default;

void CAppearanceDlg::ShowFont()
{
    const QFont font = CAppearance::FontOf(m_cf);
    ApplyFont(m_ui->edit1015, font);
    m_ui->static1004->setText(font.family());
    ApplyFont(m_ui->edit1016, font);
    ApplyFont(m_ui->edit1017, font);
    ApplyFont(m_ui->editStamp, font);
}

void CAppearanceDlg::OnFont()
{
    // The terminal changes now, whatever this dialog ends with.
    m_pView->PickFont();
    m_cf = CharFormatFromFont(m_pView->font());
    ShowFont();
}

void CAppearanceDlg::OnReceivedColor()
{
    ChoosePreviewColor(m_ui->edit1016);
}

void CAppearanceDlg::OnSentColor()
{
    ChoosePreviewColor(m_ui->edit1017);
}

void CAppearanceDlg::OnStampColor()
{
    ChoosePreviewColor(m_ui->editStamp);
}

void CAppearanceDlg::ChoosePreviewColor(QTextEdit* preview)
{
    const std::optional<QColor> chosen =
        ChooseColor(ColorFromColorRef(PreviewColor(preview)), this);
    if (chosen && chosen->isValid())
        ApplyColor(preview, ColorRefFromColor(*chosen));
}

std::uint32_t CAppearanceDlg::PreviewColor(const QTextEdit* preview)
{
    QTextCursor cursor(preview->document());
    cursor.movePosition(QTextCursor::NextCharacter);  // the format of the first character
    return ColorRefFromColor(cursor.charFormat().foreground().color());
}

void CAppearanceDlg::accept()
{
    m_pAppearance->SetCharFormat(m_cf);
    m_pAppearance->SetReceivedColor(PreviewColor(m_ui->edit1016));
    m_pAppearance->SetSentColor(PreviewColor(m_ui->edit1017));
    m_pAppearance->m_crStamp = PreviewColor(m_ui->editStamp);
    // Plain text opened later is shown as received text.
    m_pView->GetDocument()->SetPlainTextColor(m_pAppearance->GetReceivedColor());
    QDialog::accept();
}

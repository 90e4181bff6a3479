#include "terminal/FindBar.h"

#include "terminal/TextSearch.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

FindBar::FindBar(CTrevane2View* view)
    : QFrame(view),
      m_pView(view),
      m_pText(new QLineEdit(this)),
      m_pMatchCase(new QCheckBox(Text("대/소문자 구분"), this)),
      m_pStatus(new QLabel(this))
{
    setObjectName(QStringLiteral("findBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    m_pText->setObjectName(QStringLiteral("findText"));
    m_pText->setMinimumWidth(140);
    m_pText->installEventFilter(this);
    m_pMatchCase->setObjectName(QStringLiteral("findMatchCase"));
    m_pStatus->setObjectName(QStringLiteral("findStatus"));
    auto* next = new QPushButton(Text("다음 찾기"), this);
    next->setObjectName(QStringLiteral("findNext"));
    next->setAutoDefault(false);
    auto* close = new QToolButton(this);
    close->setObjectName(QStringLiteral("findClose"));
    close->setText(QStringLiteral("\u2715"));
    close->setAutoRaise(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 2, 2);
    layout->addWidget(new QLabel(Text("찾기:"), this));
    layout->addWidget(m_pText);
    layout->addWidget(m_pMatchCase);
    layout->addWidget(next);
    layout->addWidget(m_pStatus);
    layout->addWidget(close);

    connect(next, &QPushButton::clicked, this, &FindBar::FindNext);
    connect(close, &QToolButton::clicked, this, &QWidget::hide);
    connect(m_pText, &QLineEdit::textEdited, m_pStatus, &QLabel::clear);
    hide();
}

void FindBar::Open()
{
    m_pStatus->clear();
    adjustSize();
    show();
    raise();
    m_pText->setFocus();
    m_pText->selectAll();
}

bool FindBar::HasText() const
{
    return !m_pText->text().isEmpty();
}

QString FindBar::Status() const
{
    return m_pStatus->text();
}

bool FindBar::FindNext()
{
    if (!HasText())
        return false;
    const QString pattern = m_pText->text();
    const auto [hitFrom, hitTo] = m_pView->FoundText();
    const std::uint64_t from = hitTo > hitFrom ? hitTo : m_pView->FirstVisibleOffset();
    const auto match = FindInText(m_pView->GetDocument()->Text(),
                                  std::u16string_view(reinterpret_cast<const char16_t*>(pattern.utf16()),
                                                      static_cast<std::size_t>(pattern.size())),
                                  from, m_pMatchCase->isChecked());
    if (!match) {
        m_pView->ClearFoundText();
        m_pStatus->setText(Text("찾을 수 없습니다."));
        m_pView->Beep();
        return false;
    }
    m_pStatus->setText(match->wrapped ? Text("처음부터 다시 찾았습니다.") : QString());
    m_pView->ShowFoundText(match->from, match->to);
    adjustSize();
    return true;
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_pText || (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress))
        return QFrame::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool escape = key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier;
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (event->type() == QEvent::ShortcutOverride) {
        // Esc belongs to the bar while its text has the focus, not to the
        // window's shortcut of that key.
        if (escape)
            event->accept();
        return false;
    }
    if (escape) {
        hide();
        return true;
    }
    if (enter && !(key->modifiers() & Qt::AltModifier)) {
        FindNext();
        return true;  // the line edit would pass Enter on to the terminal
    }
    return false;
}

void FindBar::keyPressEvent(QKeyEvent* event)
{
    event->accept();
}

void FindBar::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    m_pView->ClearFoundText();
    m_pView->setFocus();
}

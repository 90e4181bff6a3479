#include "terminal/FindBar.h"

#include "terminal/TerminalScreen.h"
#include "text/LatestJobThread.h"
#include "text/TextSnapshot.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

FindBar::FindBar(TerminalScreen& screen, QWidget* terminal)
    : QFrame(terminal),
      m_screen(screen),
      m_pText(new QLineEdit(this)),
      m_pMatchCase(new QCheckBox(tr("대/소문자 구분"), this)),
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
    auto* next = new QPushButton(tr("다음 찾기"), this);
    next->setObjectName(QStringLiteral("findNext"));
    next->setAutoDefault(false);
    auto* close = new QToolButton(this);
    close->setObjectName(QStringLiteral("findClose"));
    close->setText(QStringLiteral("\u2715"));
    close->setAutoRaise(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 2, 2);
    layout->addWidget(new QLabel(tr("찾기:"), this));
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

FindBar::~FindBar()
{
    m_pWorker.reset();  // joins before the bar its reports go to is gone
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
    const auto [hitFrom, hitTo] = m_screen.FoundText();
    const TerminalText& text = m_screen.Text();
    const Request request{
        std::u16string(reinterpret_cast<const char16_t*>(pattern.utf16()), static_cast<std::size_t>(pattern.size())),
        m_pMatchCase->isChecked(), hitTo > hitFrom ? hitTo : m_screen.FirstVisibleOffset(), text.Generation()};
    if (m_running == request)
        return true;  // already on its way
    CancelSearch();
    std::shared_ptr<const TextSnapshot> snapshot = text.Snapshot();
    if (snapshot->InMemory() && snapshot->Size() <= kImmediateUnits) {
        const SearchOutcome outcome = FindInSnapshot(*snapshot, request.pattern, request.from, request.matchCase);
        Show(outcome);
        return outcome.match.has_value();
    }

    if (!m_pWorker)
        m_pWorker = std::make_unique<LatestJobThread>();
    const std::uint64_t serial = m_serial;
    m_running = request;
    m_pStatus->setText(tr("찾는 중..."));
    adjustSize();
    m_pWorker->Run([this, serial, request, snapshot = std::move(snapshot)](std::stop_token stop) {
        int shown = -1;
        const auto progress = [&](std::uint64_t done, std::uint64_t total) {
            const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
            if (percent == shown)
                return;
            shown = percent;
            QMetaObject::invokeMethod(this, [this, serial, percent] { OnProgress(serial, percent); },
                                      Qt::QueuedConnection);
        };
        SearchOutcome outcome = FindInSnapshot(*snapshot, request.pattern, request.from, request.matchCase,
                                               std::move(stop), progress);
        if (!outcome.stopped)
            QMetaObject::invokeMethod(this, [this, serial, outcome = std::move(outcome)] { OnDone(serial, outcome); },
                                      Qt::QueuedConnection);
    });
    return true;
}

void FindBar::CancelSearch()
{
    ++m_serial;  // reports of the search under way are dropped
    if (m_running && m_pStatus->text().startsWith(tr("찾는 중...")))
        m_pStatus->clear();
    m_running.reset();
    if (m_pWorker)
        m_pWorker->Stop();
}

void FindBar::OnProgress(std::uint64_t serial, int percent)
{
    if (serial != m_serial || !m_running)
        return;
    m_pStatus->setText(tr("찾는 중... %1%").arg(percent));
    adjustSize();
}

void FindBar::OnDone(std::uint64_t serial, const SearchOutcome& outcome)
{
    if (serial != m_serial || !m_running)
        return;
    const Request request = *m_running;
    m_running.reset();
    if (request.generation != m_screen.Text().Generation()) {
        // Text was erased or dropped meanwhile, so the offsets found may name
        // other text now: search the text as it is.
        FindNext();
        return;
    }
    Show(outcome);
}

void FindBar::Show(const SearchOutcome& outcome)
{
    if (!outcome.failure.empty())
        m_screen.Notice(QStringLiteral("Find passed over part of the terminal history: %1")
                            .arg(QString::fromStdString(outcome.failure)));
    if (!outcome.match) {
        m_screen.ClearFoundText();
        m_pStatus->setText(tr("찾을 수 없습니다."));
        m_screen.Beep();
        adjustSize();
        return;
    }
    m_pStatus->setText(outcome.match->wrapped ? tr("처음부터 다시 찾았습니다.") : QString());
    m_screen.ShowFoundText(outcome.match->from, outcome.match->to);
    adjustSize();
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
    CancelSearch();
    m_screen.ClearFoundText();
    parentWidget()->setFocus();  // back to the terminal
}

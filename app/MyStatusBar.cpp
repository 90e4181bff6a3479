#include "app/MyStatusBar.h"

#include "platform/LocalTime.h"
#include "resources/StringTable.h"

#include <QFontMetrics>
#include <QLabel>
#include <QTimerEvent>

#include <ctime>

namespace {

QLabel* MakePane(QWidget* parent, const char* objectName, const char* sizer)
{
    auto* pane = new QLabel(QString::fromUtf8(sizer), parent);  // owned by the status bar
    pane->setObjectName(QString::fromLatin1(objectName));
    pane->setFrameShape(QFrame::Panel);
    pane->setFrameShadow(QFrame::Sunken);
    const int width = QFontMetrics(pane->font()).horizontalAdvance(QString::fromUtf8(sizer));
    pane->setMinimumWidth(width + 2 * pane->frameWidth() + 6);
    return pane;
}

void SetIfChanged(QLabel* pane, const QString& text)
{
    if (pane->text() != text)
        pane->setText(text);
}

}  // namespace

CMyStatusBar::CMyStatusBar(QWidget* parent)
    : QStatusBar(parent), m_strTimeFormat(QString::fromLatin1(res::kTimeFormat))
{
    setObjectName(QStringLiteral("statusBar59393"));
    m_pMessagePane = new QLabel(QString::fromUtf8(res::kIdleMessage), this);
    m_pMessagePane->setObjectName(QStringLiteral("pane0"));
    // A normal item: a prompt (a temporary message) covers it while it shows.
    addWidget(m_pMessagePane, 1);
    m_pConnPane = MakePane(this, "pane32776", res::kConnPaneSizer);
    m_pConnPane->setText(QString());
    addPermanentWidget(m_pConnPane);
    // The clock shows its sizing string until the first refresh.
    m_pClockPane = MakePane(this, "pane32771", res::kClockPaneSizer);
    addPermanentWidget(m_pClockPane);
    m_clockTimer.start(1000, this);
}

CMyStatusBar::~CMyStatusBar()
{
    m_clockTimer.stop();
}

void CMyStatusBar::SetConnectionTextSource(std::function<QString()> source)
{
    m_connectionTextSource = std::move(source);
}

void CMyStatusBar::SetIdleHandler(std::function<void()> handler)
{
    m_idleHandler = std::move(handler);
}

QString CMyStatusBar::ClockText() const
{
    const platform::LocalTime now = platform::GetLocalTime();
    std::tm parts{};
    parts.tm_year = now.year - 1900;
    parts.tm_mon = now.month - 1;
    parts.tm_mday = now.day;
    parts.tm_hour = now.hour;
    parts.tm_min = now.minute;
    parts.tm_sec = now.second;
    char text[64];
    const QByteArray format = m_strTimeFormat.toUtf8();
    const std::size_t n = std::strftime(text, sizeof text, format.constData(), &parts);
    return QString::fromUtf8(text, static_cast<qsizetype>(n));
}

void CMyStatusBar::RefreshPanes()
{
    // The clock pane answers for itself first, so the connect command's
    // enabling rule (same number) never reaches it.
    SetIfChanged(m_pClockPane, ClockText());
    if (m_connectionTextSource)
        SetIfChanged(m_pConnPane, m_connectionTextSource());
    if (m_idleHandler)
        m_idleHandler();
}

void CMyStatusBar::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_clockTimer.timerId()) {
        RefreshPanes();
        return;
    }
    QStatusBar::timerEvent(event);
}

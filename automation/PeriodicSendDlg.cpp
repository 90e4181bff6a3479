#include "automation/PeriodicSendDlg.h"

#include "automation/AutomationMessages.h"
#include "automation/HexEdit.h"
#include "automation/UpDownButtons.h"
#include "platform/MessageBox.h"
#include "resources/StringTable.h"
#include "support/HexCodec.h"
#include "text/LineSender.h"

#include "ui_PeriodicSendDlg.h"

#include <QPushButton>
#include <QTimerEvent>

#include <algorithm>

CPeriodicSendDlg::CPeriodicSendDlg(const AutomationLinks& links, QWidget* parent)
    : CModelessDlg(links.frame, WM_PERIODICSEND_CLOSED, parent),
      m_ui(std::make_unique<Ui::PeriodicSendDlg>()),
      m_links(links),
      m_echo(links.appendSent)
{
    m_ui->setupUi(this);
    NoDefaultButtons();
    m_pSpin = m_ui->spin1009;
    m_ui->edit1006->setText(QString::number(static_cast<unsigned>(m_nPeriod)));
    connect(m_pSpin, &CUpDownButtons::deltaPos, this, &CPeriodicSendDlg::OnDeltaPos);
    connect(m_ui->button1004, &QPushButton::clicked, this, &CPeriodicSendDlg::OnStartEnd);
    connect(m_ui->button1007, &QPushButton::clicked, this, &QWidget::close);
}

CPeriodicSendDlg::~CPeriodicSendDlg() = default;

void CPeriodicSendDlg::OnDeltaPos(int delta)
{
    if (delta == 1)
        m_nPeriod += kPeriodStep;
    else if (m_nPeriod >= 1)
        m_nPeriod -= kPeriodStep;
    m_ui->edit1006->setText(QString::number(static_cast<unsigned>(m_nPeriod)));
}

void CPeriodicSendDlg::OnStartEnd()
{
    if (m_bRunning)
        Stop();
    else
        Start();
}

void CPeriodicSendDlg::Start()
{
    m_strTyped = m_ui->edit1005->text().trimmed();
    if (m_strTyped.isEmpty() || m_nPeriod <= 0) {
        platform::ShowMessageBox(res::kPeriodicInputMissing);
        return;
    }
    m_ui->button1004->setText(QString::fromUtf8(res::kEnd));
    m_strStripped = support::NormalizeHexText(m_strTyped.toStdString());
    m_nByteCount = m_strStripped.size() / 2;
    m_pBytes = std::make_unique<std::uint8_t[]>(m_strStripped.size() + 1);  // zero-filled
    support::HexToBytes(m_pBytes.get(), m_strStripped);
    m_strEcho = m_echo.Prepare(m_strTyped + QLatin1Char(' '));
    m_nSkipped = 0;
    m_ui->staticSkipped->hide();
    m_nextTick = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_nPeriod);
    ArmTimer();
    m_bRunning = true;
}

void CPeriodicSendDlg::Stop()
{
    m_nTickCount = 0;
    m_pBytes.reset();
    m_timer.stop();
    m_ui->button1004->setText(QString::fromUtf8(res::kStart));
    m_bRunning = false;
}

void CPeriodicSendDlg::ArmTimer()
{
    using namespace std::chrono;
    const auto wait = ceil<milliseconds>(m_nextTick - steady_clock::now());
    m_timer.start(static_cast<int>(std::max<milliseconds::rep>(0, wait.count())), Qt::PreciseTimer, this);
}

void CPeriodicSendDlg::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timer.timerId() || !m_bRunning) {
        CModelessDlg::timerEvent(event);
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now < m_nextTick) {  // not due yet
        ArmTimer();
        return;
    }
    if (now - m_nextTick > kMaxCatchUp)
        m_nextTick = now;  // held up too long: go on from here
    OnTick();
    m_nextTick += std::chrono::milliseconds(m_nPeriod);
    ArmTimer();
}

void CPeriodicSendDlg::OnTick()
{
    ++m_nTickCount;
    m_strCount = QString::asprintf(res::kTickCountFormat, m_nTickCount);
    m_ui->static1001->setText(m_strCount);

    LineSender* line = m_links.line;
    if (m_nByteCount > 0 && line != nullptr && line->IsPortOpen() &&
        !line->SendBytes(m_pBytes.get(), m_nByteCount)) {
        // The line has not taken the earlier ticks yet: this one is dropped
        // rather than queued behind them.
        ++m_nSkipped;
        m_ui->staticSkipped->setText(QString::asprintf(res::kSkippedTicksFormat, m_nSkipped));
        m_ui->staticSkipped->show();
        return;
    }
    m_echo.Show(m_strEcho);
}

void CPeriodicSendDlg::OnClosing()
{
    // "Close" while running: the timer stops before the window goes; the
    // count stays as it was.
    if (m_bRunning) {
        m_pBytes.reset();
        m_timer.stop();
        m_ui->button1004->setText(QString::fromUtf8(res::kStart));
        m_bRunning = false;
    }
}

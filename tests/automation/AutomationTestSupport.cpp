#include "AutomationTestSupport.h"

#include "comm/CommPort2.h"
#include "comm/PortDevices.h"
#include "resources/MenuTable.h"
#include "terminal/Trevane2Doc.h"
#include "terminal/Trevane2View.h"

#include <QAction>
#include <QKeyEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <errno.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace autotest {
namespace {

std::unique_ptr<QApplication>& Holder()
{
    static std::unique_ptr<QApplication> app;
    return app;
}

// Ends the QApplication after the last test, while Qt's globals still live.
class QtEnvironment : public ::testing::Environment {
public:
    void TearDown() override { Holder().reset(); }
};

[[maybe_unused]] ::testing::Environment* const g_qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);  // GoogleTest owns it

}  // namespace

QApplication& App()
{
    static int argc = 1;
    static char name[] = "automation_tests";
    static char* argv[] = {name, nullptr};
    if (!Holder()) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        Holder() = std::make_unique<QApplication>(argc, argv);
    }
    return *Holder();
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void Type(QWidget* widget, const QString& keys)
{
    for (const QChar c : keys) {
        if (c == QLatin1Char('\b')) {
            QTest::keyClick(widget, Qt::Key_Backspace);
            continue;
        }
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

void OnNextModal(std::function<void(QWidget* dialog)> action)
{
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [action = std::move(action), poll] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            action(modal);
            *poll = nullptr;  // ends the cycle through the capture
            return;
        }
        QTimer::singleShot(5, *poll);
    };
    QTimer::singleShot(0, *poll);
}

MessageBoxRecorder::MessageBoxRecorder()
{
    m_previous = platform::SetMessageBoxHandler(
        [this](std::string_view text, std::string_view) { m_texts.emplace_back(text); });
}

MessageBoxRecorder::~MessageBoxRecorder() { platform::SetMessageBoxHandler(std::move(m_previous)); }

void AutomationFixture::SetUp()
{
    App();
    ASSERT_FALSE(m_temp.path().empty());
    const std::string registry = m_temp.path() + "/registry";
    std::filesystem::create_directories(registry);
    setenv("KESTRANA_REGISTRY_DIR", registry.c_str(), 1);
    m_oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(m_temp.path());

    ASSERT_TRUE(m_pty.Open(false));
    ClearRunDevicePaths();
    SetRunDevicePath(1, m_pty.SlavePath());
    m_app = std::make_unique<CTrevane2App>();
    CommandLineOptions options;
    options.noSplash = true;
    ASSERT_TRUE(m_app->InitInstance(options));
    Connect();
}

void AutomationFixture::TearDown()
{
    if (m_app)
        m_app->ExitInstance();
    m_app.reset();
    ClearRunDevicePaths();
    std::error_code ignored;
    std::filesystem::current_path(m_oldCwd, ignored);
}

CTrevane2View* AutomationFixture::View() const { return Frame()->GetActiveView(); }

CTrevane2Doc* AutomationFixture::Doc() const { return Frame()->GetActiveDocument(); }

QString AutomationFixture::ViewText() const
{
    View()->FlushPending();
    return View()->PlainText();
}

void AutomationFixture::ClickBarButton(unsigned id)
{
    Frame()->RefreshIdle();
    QPushButton* button = Frame()->BarButton(id);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled()) << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

void AutomationFixture::Click(QWidget* window, int id)
{
    auto* button = window->findChild<QPushButton*>(QStringLiteral("button%1").arg(id));
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

void AutomationFixture::Disconnect()
{
    Frame()->Action(res::ID_COMM_CLOSE)->trigger();
    ASSERT_EQ(Frame()->m_pCommPort->m_bConnected, 0);
}

void AutomationFixture::Connect()
{
    Frame()->Action(res::ID_COMM_OPEN)->trigger();
    ASSERT_EQ(Frame()->m_pCommPort->m_bConnected, 1);
}

std::string AutomationFixture::SentBeforeMarker()
{
    const int hexMode = Doc()->m_bHexMode;
    Doc()->m_bHexMode = 0;
    QTest::keyClick(View(), '~');
    Doc()->m_bHexMode = hexMode;
    std::string got = m_pty.ReadUntil("~");
    EXPECT_TRUE(!got.empty() && got.back() == '~') << got;
    if (!got.empty())
        got.pop_back();
    return got;
}

std::string AutomationFixture::PumpRead(const std::function<bool(const std::string&)>& done, int timeoutMs)
{
    std::string got;
    PumpUntil(
        [&] {
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(m_pty.Master(), buffer, sizeof buffer)) > 0)
                got.append(buffer, static_cast<std::size_t>(n));
            return done(got);  // EAGAIN: nothing yet; EIO: the port is closed for now
        },
        timeoutMs);
    return got;
}

std::string AutomationFixture::PumpRead(std::size_t count, int timeoutMs)
{
    return PumpRead([count](const std::string& got) { return got.size() >= count; }, timeoutMs);
}

}  // namespace autotest

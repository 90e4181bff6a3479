#include "TerminalTestSupport.h"

#include <QInputMethodEvent>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace terminal_test {

namespace {

int g_argc = 1;
char g_name[] = "terminal_tests";
char* g_argv[] = {g_name, nullptr};
std::unique_ptr<QApplication> g_app;

// The application must go before the process's static objects do, so it ends
// with the test run rather than at exit.
class AppEnvironment : public ::testing::Environment {
public:
    void TearDown() override { g_app.reset(); }
};

// Google Test owns the environment.
[[maybe_unused]] const ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

QApplication& App()
{
    if (!g_app) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        g_app = std::make_unique<QApplication>(g_argc, g_argv);
    }
    return *g_app;
}

TempWorkDir::TempWorkDir() : m_previous(std::filesystem::current_path().string())
{
    if (m_dir.path().empty())
        throw std::runtime_error("mkdtemp failed");
    std::filesystem::current_path(m_dir.path());
    ::setenv("KESTRANA_REGISTRY_DIR", (m_dir.path() + "/registry").c_str(), 1);
}

TempWorkDir::~TempWorkDir()
{
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
    ::unsetenv("KESTRANA_REGISTRY_DIR");
}

MessageBoxes::MessageBoxes()
    : m_previous(platform::SetMessageBoxHandler([this](std::string_view text, std::string_view detail) {
          texts.emplace_back(text);
          details.emplace_back(detail);
      }))
{
}

void ViewFixture::SetUp()
{
    App();
    m_dir = std::make_unique<TempWorkDir>();
    MakeView();
}

void ViewFixture::TearDown()
{
    m_view.reset();
    m_doc.reset();
    m_dir.reset();
}

void ViewFixture::MakeView()
{
    m_view.reset();
    m_doc = std::make_unique<CTrevane2Doc>();
    m_view = std::make_unique<CTrevane2View>(m_doc.get(), &m_appearance);
    m_view->resize(500, 300);
}

void TypingFixture::SetUp()
{
    ASSERT_TRUE(m_pty.Open(true));
    ViewFixture::SetUp();
}

void TypingFixture::MakeView()
{
    ViewFixture::MakeView();
    m_view->SetLineSender(&m_sender);
    QObject::connect(m_view.get(), &CTrevane2View::inputRefused, [this] { ++m_beeps; });
}

void TypingFixture::Type(const std::string& keys)
{
    for (char c : keys) {
            switch (c) {
        case '\r': QTest::keyClick(m_view.get(), Qt::Key_Return); break;
        case '\n': QTest::keyClick(m_view.get(), Qt::Key_Enter, Qt::KeypadModifier); break;
        case '\b': QTest::keyClick(m_view.get(), Qt::Key_Backspace); break;
        case '\t': QTest::keyClick(m_view.get(), Qt::Key_Tab); break;
        default: QTest::keyClick(m_view.get(), c); break;
        }
    }
}

void TypingFixture::Commit(const QString& text)
{
    QInputMethodEvent event(QString(), {});
    event.setCommitString(text);
    QCoreApplication::sendEvent(m_view.get(), &event);
}

std::string TypingFixture::Sent()
{
    static const std::string kMarker = "<<marker>>";
    EXPECT_TRUE(m_pty.WriteSlave(kMarker));
    std::string got = m_pty.ReadUntil(kMarker);
    EXPECT_GE(got.size(), kMarker.size());
    got.resize(got.size() >= kMarker.size() ? got.size() - kMarker.size() : 0);
    return got;
}

}  // namespace terminal_test

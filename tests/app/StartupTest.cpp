// Start-up and shutdown of the whole application object, in-process: the
// settings key and the logs, a store that cannot be written, About, the
// manual, and a file to open.

#include "AppTestSupport.h"

#include "app/AboutDlg.h"
#include "app/HelpWindow.h"
#include "platform/LocalTime.h"
#include "support/Registry.h"

namespace {

using namespace apptest;

class StartupTest : public AppFixture {
protected:
    void TearDown() override { AppFixture::TearDown(), platform::SetLocalTimeSource({}); }
};

TEST_F(StartupTest, FirstStartCreatesTheKeyAndBothLogsTheNextOpensItAndShowsAboutAndTheManual)
{
    platform::SetLocalTimeSource([] { return platform::LocalTime{2027, 2, 1, 9, 3, 4, 0}; });
    Start();
    EXPECT_EQ(m_app->m_dwKeyDisposition, support::REG_CREATED_NEW_KEY);
    EXPECT_EQ(Utf8(Frame()->EventLogName()), "event0201.log");
    m_app->m_appearance.SetReceivedColor(0x00008000u);
    Stop();
    EXPECT_TRUE(OneWholeRun(WorkFile("event0201.log"), "Logging Start!"));
    EXPECT_TRUE(OneWholeRun(WorkFile("receive0201.log"), "Receice Logging Start!"));

    // The second start keeps the first run's logs under the next number.
    Start();
    EXPECT_EQ(m_app->m_dwKeyDisposition, support::REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(m_app->m_appearance.GetReceivedColor(), 0x00008000u) << "the exit saved the appearance";
    EXPECT_TRUE(RunModal<CAboutDlg>([this] { Frame()->Action(57664)->trigger(); }, [](CAboutDlg& about) {
        EXPECT_EQ(Utf8(about.CreditText()), "Kestrana " KESTRANA_PROJECT_VERSION " - a serial-port terminal");
        EXPECT_EQ(Utf8(about.SystemText()).rfind("Linux version ", 0), 0u);
    }));
    Frame()->Action(32779)->trigger();  // the manual
    ASSERT_TRUE(m_app->GetHelpWindow() != nullptr && m_app->GetHelpWindow()->isVisible());
    EXPECT_TRUE(m_app->GetHelpWindow()->toPlainText().contains(QStringLiteral("--device COMn=PATH")));
    Frame()->OnFileNew();  // the document it ends keeps its receive log too
    Stop();
    EXPECT_TRUE(OneWholeRun(WorkFile("event0201.1.log"), "Logging Start!"));
    EXPECT_TRUE(OneWholeRun(WorkFile("event0201.log"), "Logging Start!"));
    for (const char* name : {"receive0201.log", "receive0201.1.log", "receive0201.2.log"})
        EXPECT_TRUE(OneWholeRun(WorkFile(name), "Receice Logging Start!")) << name;
    EXPECT_TRUE(m_boxes.Texts().empty());
}

TEST_F(StartupTest, AnUnwritableStoreEndsStartupWithTheRegistryErrorAndItsCause)
{
    // A plain file where the store's folder should be: nothing can be created.
    const std::string blocker = m_temp.path() + "/not-a-folder";
    testfiles::WriteFile(blocker, "x");
    setenv("KESTRANA_REGISTRY_DIR", (blocker + "/sub").c_str(), 1);
    CTrevane2App app;
    EXPECT_FALSE(app.InitInstance(Quiet()));
    ASSERT_EQ(m_boxes.Texts(), std::vector<std::string>{"Registry error: 5"});
    EXPECT_EQ(m_boxes.Details()[0], "Cannot create settings folder " + blocker + "/sub: Not a directory");
    app.ExitInstance();
}

TEST_F(StartupTest, AFileOnTheCommandLineIsOpenedAndAMissingOneEndsStartup)
{
    testfiles::WriteFile(WorkFile("earlier.txt"), "hello from before\n");
    CommandLineOptions o = Quiet();
    o.file = WorkFile("earlier.txt");
    Start(o);
    EXPECT_TRUE(ViewText().contains(QStringLiteral("hello from before")));
    Stop();

    o.file = WorkFile("no-such-file.rtf");
    CTrevane2App app;
    EXPECT_FALSE(app.InitInstance(o));
    ASSERT_EQ(m_boxes.Texts().size(), 1u);
    EXPECT_EQ(m_boxes.Details()[0], "Cannot open " + o.file + ": No such file or directory");
    app.ExitInstance();
}

}  // namespace

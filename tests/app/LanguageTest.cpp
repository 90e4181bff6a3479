// The interface language. Every window under English, walked for Korean
// left over and for text its widget cuts off (Korean must fit too); fixed
// texts exactly as each language shows them; message boxes shown translated
// but written to the event box as the program wrote them; and the desktop's
// language or --lang choosing, as the real program's --help reports it.

#include "AppTestSupport.h"

#include "app/AboutDlg.h"
#include "app/CommSettingsDlg.h"
#include "app/HeadlessMessageBoxHandler.h"
#include "app/MyStatusBar.h"
#include "app/QtMessageBoxHandler.h"
#include "app/UiLanguage.h"
#include "app/WindowTour.h"
#include "resources/StringTable.h"
#include "tests/common/ChildProcess.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>

#include <regex>

namespace {

using namespace apptest;

bool HasHangul(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0x3130 && u <= 0x318F);
    });
}

// Reads every text of a window: what is Korean, and what does not fit.
struct TextWalk {
    int texts = 0;
    int korean = 0;
    std::vector<std::string> cutOff;
    std::vector<std::string> koreanTexts;

    void Text(const QString& where, const QString& text)
    {
        if (text.isEmpty())
            return;
        ++texts;
        if (HasHangul(text)) {
            ++korean;
            koreanTexts.push_back(Utf8(where + QStringLiteral(": ") + text));
        }
    }
    void Fits(const QWidget& w, const QString& where, const QString& text, int need, int have)
    {
        if (w.isVisible() && !text.isEmpty() && need > have)
            cutOff.push_back(Utf8(QStringLiteral("%1: '%2' needs %3 px, has %4").arg(where, text).arg(need).arg(have)));
    }
    void Actions(const QString& where, const QList<QAction*>& actions)
    {
        for (const QAction* action : actions) {
            Text(where + QStringLiteral(" action"), action->text());
            Text(where + QStringLiteral(" status tip"), action->statusTip());
            if (action->toolTip() != action->text().remove(QLatin1Char('&')).split(QLatin1Char('\t')).first())
                Text(where + QStringLiteral(" tooltip"), action->toolTip());
        }
    }
    void Walk(const QString& window, QWidget& top)
    {
        QList<QWidget*> widgets = top.findChildren<QWidget*>();
        widgets.prepend(&top);
        for (QWidget* w : widgets) {
            const QString where = window + QLatin1Char('/') + w->objectName() + QLatin1Char('(') +
                                  QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(')');
            if (w->isWindow())
                Text(where + QStringLiteral(" title"), w->windowTitle());
            Text(where + QStringLiteral(" tooltip"), w->toolTip());
            Text(where + QStringLiteral(" status tip"), w->statusTip());
            const QFontMetrics metrics = w->fontMetrics();
            if (auto* label = qobject_cast<QLabel*>(w)) {
                Text(where, label->text());
                if (!label->wordWrap() && !Qt::mightBeRichText(label->text()))
                    Fits(*w, where, label->text(),
                         metrics.boundingRect(QRect(), label->alignment(), label->text()).width(),
                         label->contentsRect().width());
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                Text(where, button->text());
                Fits(*w, where, button->text(), button->sizeHint().width(), button->width());
            } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
                Text(where, group->title());
                Fits(*w, where, group->title(), metrics.horizontalAdvance(group->title()) + 2 * metrics.height(),
                     group->width());
            } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
                for (int i = 0; i < combo->count(); ++i)
                    Text(where, combo->itemText(i));
            } else if (auto* edit = qobject_cast<QTextEdit*>(w)) {
                Text(where, edit->toPlainText());
            } else if (auto* menu = qobject_cast<QMenu*>(w)) {
                Text(where, menu->title());
                Actions(where, menu->actions());
            } else if (auto* bar = qobject_cast<QMenuBar*>(w)) {
                Actions(where, bar->actions());
            }
        }
        Actions(window, top.actions());
    }
};

class LanguageTest : public AppFixture {
protected:
    void TearDown() override
    {
        AppFixture::TearDown();
        InstallUiLanguage(UiLanguage::Korean);
    }
};

TEST_F(LanguageTest, EveryWindowHasNoKoreanUnderEnglishAndNoTextCutOffUnderEither)
{
    {
        // The walk reports a label and a button narrower than their texts.
        QWidget probe;
        auto* label = new QLabel(QStringLiteral("Disconnect an idle client"), &probe);
        auto* button = new QPushButton(QStringLiteral("Show typed characters"), &probe);
        label->setFixedWidth(20);
        button->setGeometry(0, 30, 20, 20);
        probe.show();
        TextWalk walk;
        walk.Walk(QStringLiteral("probe"), probe);
        EXPECT_EQ(walk.cutOff.size(), 2u) << ::testing::PrintToString(walk.cutOff);
    }
    const QStringList windows = {"main", "port-settings", "port-events", "terminal-settings", "font-colours",
                                 "tcp-settings", "about", "autosend-assign", "autosend", "periodic-send",
                                 "auto-response", "manual"};
    for (const UiLanguage language : {UiLanguage::English, UiLanguage::Korean}) {
        ASSERT_TRUE(InstallUiLanguage(language));
        StartConnected();
        TextWalk walk;
        QStringList seen;
        TourWindows(*Frame(), [&](const QString& name, QWidget& window) {
            seen << name;
            walk.Walk(name, window);
        });
        Stop();
        const char* name = UiLanguageName(language);
        EXPECT_EQ(seen, windows) << name;
        EXPECT_GT(walk.texts, 150) << name;
        EXPECT_TRUE(walk.cutOff.empty()) << name << ":\n" << ::testing::PrintToString(walk.cutOff);
        if (language == UiLanguage::English)
            EXPECT_TRUE(walk.koreanTexts.empty()) << ::testing::PrintToString(walk.koreanTexts);
        else  // the walk does see Korean where there is some
            EXPECT_GT(walk.korean, 40);
    }
}

TEST_F(LanguageTest, FixedTextsAreExactlyTheLanguagesAndEnglishOnesStayInBoth)
{
    const struct {
        const char* what;
        std::function<QString(CMainFrame&)> text;
        const char* korean;
        const char* english;
    } rows[] = {
        {"first menu", [](CMainFrame& f) { return f.menuBar()->actions().first()->text(); }, "파일(&F)", "&File"},
        {"last menu", [](CMainFrame& f) { return f.menuBar()->actions().last()->text(); }, "도움말(&H)", "&Help"},
        {"port settings command", [](CMainFrame& f) { return f.Action(32773)->text(); }, "시리얼 통신포트 설정",
         "Port settings"},
        {"open command", [](CMainFrame& f) { return f.Action(57601)->text(); }, "열기(&O)...\tCtrl+O", "&Open...\tCtrl+O"},
        {"exit prompt", [](CMainFrame& f) { return f.Action(57665)->statusTip(); },
         "문서를 저장할지 물어보고 응용 프로그램을 종료합니다.", "Quit the application; prompts to save the document."},
        {"connection pane", [](CMainFrame& f) { return f.StatusBar()->findChild<QLabel*>("pane32776")->text(); },
         "연결해제", "Disconnected"},
        {"port settings title", [](CMainFrame& f) { return CCommSettingsDlg(f.m_pCommPort->Settings()).windowTitle(); },
         "시리얼통신포트 설정", "Port settings"},
        {"about language", [](CMainFrame& f) { return CAboutDlg(&f).findChild<QLabel*>("staticLanguage")->text(); },
         "언어: 한국어", "Language: English"},
        // Shown through the translation, which has no entry for it: the text itself.
        {"connect prompt", [](CMainFrame& f) { return f.Action(32771)->statusTip(); }, "Open COMM Port",
         "Open COMM Port"},
        {"idle message", [](CMainFrame& f) { return f.StatusBar()->findChild<QLabel*>("pane0")->text(); },
         "Always Be Happy!", "Always Be Happy!"},
        {"event box label", [](CMainFrame& f) { return f.findChild<QLabel*>("staticPortEvent")->text(); },
         "Port Event :", "Port Event :"},
    };
    for (const UiLanguage language : {UiLanguage::Korean, UiLanguage::English}) {
        ASSERT_TRUE(InstallUiLanguage(language));
        Start();
        for (const auto& row : rows)
            EXPECT_EQ(Utf8(row.text(*Frame())), language == UiLanguage::Korean ? row.korean : row.english)
                << row.what << " in " << UiLanguageName(language);
        Stop();
    }
}

// The box shows the translation; the headless funnel, which writes the event
// box and the log, keeps the text as the program wrote it.
TEST_F(LanguageTest, MessageBoxesShowTranslatedTextsButLogThemUnchanged)
{
    const struct {
        UiLanguage language;
        const char* shown;
    } rows[] = {
        {UiLanguage::Korean, res::kSocketInitFailed},
        {UiLanguage::English, "Socket initialization failed."},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(InstallUiLanguage(row.language));
        Start();
        InstallQtMessageBoxHandler();
        QString shown;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                box->accept();
            }
        });
        platform::ShowMessageBox(res::kSocketInitFailed);
        EXPECT_EQ(Utf8(shown), row.shown);
        InstallHeadlessMessageBoxHandler();
        platform::ShowMessageBox(res::kSocketInitFailed, "detail");
        EXPECT_TRUE(EventBoxText().contains(QString::fromUtf8(res::kSocketInitFailed))) << Utf8(EventBoxText());
        Stop();
    }
}

// The real program: which language the environment gives, and --lang over it.
TEST(LanguageChoice, TheDesktopsLanguageDecidesUnlessLangSaysOtherwise)
{
    const std::vector<std::string> clean = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    const struct {
        std::vector<std::string> environment;
        std::vector<std::string> args;
        int status;
        const char* says;  // within standard output (status 0) or standard error
    } rows[] = {
        {{"LANG=ko_KR.UTF-8"}, {"--help"}, 0, "The interface of this run is in Korean (from the desktop's"},
        {{"LANG=en_US.UTF-8"}, {"--help"}, 0, "The interface of this run is in English (from the desktop's"},
        {{"LANG=C"}, {"--help"}, 0, "in English (from"},
        {{"LANG=en_US.UTF-8", "LC_MESSAGES=ko_KR.UTF-8"}, {"--help"}, 0, "in Korean (from"},
        {{"LANG=ko_KR.UTF-8", "LC_ALL=de_DE.UTF-8"}, {"--help"}, 0, "in English (from"},
        {{"LANG=ko_KR.UTF-8"}, {"--lang", "en", "--help"}, 0, "in English (chosen with --lang)"},
        {{"LANG=C"}, {"--lang=ko", "--help"}, 0, "in Korean (chosen with --lang)"},
        {{}, {"--lang", "kr"}, 2, "kestrana: --lang needs ko or en (got 'kr')\nusage: kestrana"},
    };
    for (const auto& row : rows) {
        testchild::ChildOptions options;
        options.environment = clean;
        options.environment.insert(options.environment.end(), row.environment.begin(), row.environment.end());
        options.err = testchild::Stream::Output;
        options.out = row.status == 0 ? testchild::Stream::Output : testchild::Stream::Null;
        std::vector<std::string> argv{KESTRANA_BINARY};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        testchild::ChildProcess child;
        ASSERT_TRUE(child.Start(argv, options));
        const std::string output = child.ReadToEnd(std::chrono::seconds(20));
        EXPECT_EQ(child.WaitExit(std::chrono::seconds(20)), row.status) << row.args[0];
        // The help text wraps at spaces: compare with the lines joined.
        const std::string joined = std::regex_replace(output, std::regex("\\n(?!\\n|usage)"), " ");
        EXPECT_NE(joined.find(row.says), std::string::npos) << ::testing::PrintToString(row.environment) << "\n" << output;
    }
}

}  // namespace

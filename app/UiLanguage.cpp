#include "app/UiLanguage.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

static void InitTranslationResources() { Q_INIT_RESOURCE(kestrana_translations); }

namespace {

UiLanguage g_current = UiLanguage::Korean;

}  // namespace

UiLanguage SystemUiLanguage()
{
    const QStringList languages = QLocale::system().uiLanguages();
    if (languages.isEmpty())
        return UiLanguage::English;
    return QLocale(languages.first()).language() == QLocale::Korean ? UiLanguage::Korean : UiLanguage::English;
}

bool InstallUiLanguage(UiLanguage language)
{
    // One translator for the process, replaced when the language changes.
    static QTranslator* translator = nullptr;
    if (translator != nullptr) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
        translator = nullptr;
    }
    g_current = UiLanguage::Korean;
    if (language == UiLanguage::Korean)
        return true;
    InitTranslationResources();
    auto* english = new QTranslator;
    if (!english->load(QStringLiteral(":/translations/kestrana_en.qm")) ||
        !QCoreApplication::installTranslator(english)) {
        delete english;
        return false;
    }
    translator = english;
    g_current = language;
    return true;
}

UiLanguage CurrentUiLanguage() { return g_current; }

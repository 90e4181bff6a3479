#pragma once
// The interface language: the desktop's unless --lang names one. Korean is
// the language the texts are written in; English comes from a translation
// linked into the program. Logs, settings and what goes to the line never
// change with it.

#include <optional>
#include <string_view>

enum class UiLanguage { Korean, English };

// "ko" or "en"; nothing for any other text. Plain C++, like the command line.
inline std::optional<UiLanguage> ParseUiLanguage(std::string_view text)
{
    if (text == "ko")
        return UiLanguage::Korean;
    if (text == "en")
        return UiLanguage::English;
    return std::nullopt;
}
inline const char* UiLanguageName(UiLanguage language)
{
    return language == UiLanguage::Korean ? "Korean" : "English";
}

// Korean when the desktop's first interface language (LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG) is Korean, English otherwise.
UiLanguage SystemUiLanguage();

// Installs the translation for `language` on the running QCoreApplication
// (Korean needs none). False when the English translation cannot be loaded:
// the texts then stay Korean.
bool InstallUiLanguage(UiLanguage language);
// What the last InstallUiLanguage() put in place; Korean before any.
UiLanguage CurrentUiLanguage();

#pragma once
// The user's language. The windows are designed in German; every other language gets the texts
// of the text catalogue (see FormTexts.h).
#include <QString>
#include <optional>

namespace kx4 {

inline const QString kLanguageGerman = QStringLiteral("deu");
inline const QString kLanguageOther = QStringLiteral("eng");

// Locale name of the user's messages: the first non-empty of LC_ALL, LC_MESSAGES and LANG.
QString userLocaleName();

// Three-letter abbreviated language name in upper case, as Windows reports it for a locale
// ("de_DE" -> "DEU", "de_AT" -> "DEA", "en_US" -> "ENU"). Accepts "ll", "ll_CC", "ll-CC" with an
// optional ".charset" and "@modifier". nullopt for "C", "POSIX", an empty name or an unknown
// language: the request fails.
std::optional<QString> abbreviatedLanguageName(const QString& localeName);

// The language code for the platform's answer: nullopt (failed request) and every language but
// German give "eng"; German of Germany, Austria, Switzerland, Luxembourg and Liechtenstein and an
// empty answer give "deu".
QString languageCodeFor(const std::optional<QString>& abbreviation);

// "deu" or "eng" for the user's locale.
QString GetSprache();

}  // namespace kx4

#include "texts/Sprache.h"

#include <QLocale>
#include <QStringList>
#include <cstdlib>
#include <map>

namespace kx4 {

namespace {

// Abbreviations Windows reports for its locales; "ll" alone is the language's default country.
const std::map<QString, QString>& windowsAbbreviations() {
    static const std::map<QString, QString> table = {
        {"de", "DEU"},    {"de_DE", "DEU"}, {"de_AT", "DEA"}, {"de_CH", "DES"}, {"de_LU", "DEL"},
        {"de_LI", "DEC"}, {"en", "ENU"},    {"en_US", "ENU"}, {"en_GB", "ENG"}, {"en_AU", "ENA"},
        {"en_CA", "ENC"}, {"en_NZ", "ENZ"}, {"en_IE", "ENI"}, {"en_ZA", "ENS"}, {"en_JM", "ENJ"},
        {"en_BZ", "ENL"}, {"en_TT", "ENT"}, {"en_ZW", "ENW"}, {"en_PH", "ENP"}, {"en_IN", "ENN"},
        {"en_MY", "ENM"}, {"en_SG", "ENE"}, {"fr", "FRA"},    {"fr_FR", "FRA"}, {"fr_BE", "FRB"},
        {"fr_CA", "FRC"}, {"fr_CH", "FRS"}, {"fr_LU", "FRL"}, {"fr_MC", "FRM"}, {"it", "ITA"},
        {"it_IT", "ITA"}, {"it_CH", "ITS"}, {"nl", "NLD"},    {"nl_NL", "NLD"}, {"nl_BE", "NLB"},
        {"pt", "PTB"},    {"pt_BR", "PTB"}, {"pt_PT", "PTG"}, {"es", "ESN"},    {"es_ES", "ESN"},
        {"es_MX", "ESM"}, {"es_AR", "ESS"}, {"es_CO", "ESO"}, {"es_CL", "ESL"}, {"es_PE", "ESR"},
        {"es_VE", "ESV"}, {"sv", "SVE"},    {"sv_SE", "SVE"}, {"sv_FI", "SVF"}, {"da", "DAN"},
        {"fi", "FIN"},    {"nb", "NOR"},    {"no", "NOR"},    {"nn", "NON"},    {"is", "ISL"},
        {"pl", "PLK"},    {"cs", "CSY"},    {"sk", "SKY"},    {"sl", "SLV"},    {"hr", "HRV"},
        {"hu", "HUN"},    {"ro", "ROM"},    {"bg", "BGR"},    {"ru", "RUS"},    {"uk", "UKR"},
        {"el", "ELL"},    {"tr", "TRK"},    {"et", "ETI"},    {"lv", "LVI"},    {"lt", "LTH"},
        {"ja", "JPN"},    {"ko", "KOR"},    {"zh", "CHS"},    {"zh_CN", "CHS"}, {"zh_TW", "CHT"},
        {"zh_HK", "ZHH"}, {"zh_SG", "ZHI"}, {"zh_MO", "ZHM"}, {"he", "HEB"},    {"ar", "ARA"},
        {"th", "THA"},    {"vi", "VIT"},    {"id", "IND"},    {"ca", "CAT"},    {"eu", "EUQ"},
        {"gl", "GLC"},    {"af", "AFK"},    {"sq", "SQI"},    {"hi", "HIN"},    {"fa", "FAR"},
        {"ms", "MSL"},
    };
    return table;
}

// "de_DE.UTF-8@euro" -> {"de", "DE"}
std::pair<QString, QString> languageAndCountry(const QString& localeName) {
    QString name = localeName.section(u'@', 0, 0).section(u'.', 0, 0);
    name.replace(u'-', u'_');
    return {name.section(u'_', 0, 0).toLower(), name.section(u'_', 1, 1).toUpper()};
}

}  // namespace

QString userLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return QString::fromLocal8Bit(value);
    }
    return {};
}

std::optional<QString> abbreviatedLanguageName(const QString& localeName) {
    const auto [language, country] = languageAndCountry(localeName);
    if (language.isEmpty() || language == u"c" || language == u"posix") return std::nullopt;

    const auto& table = windowsAbbreviations();
    if (auto it = table.find(language + u'_' + country); it != table.end()) return it->second;
    if (auto it = table.find(language); it != table.end()) return it->second;

    // A language Windows names otherwise: its ISO 639-2 code stands in.
    const QLocale::Language known = QLocale::codeToLanguage(language);
    if (known == QLocale::AnyLanguage || known == QLocale::C) return std::nullopt;
    const QString iso = QLocale::languageToCode(known, QLocale::ISO639Part2);
    if (iso.size() != 3) return std::nullopt;
    return iso.toUpper();
}

QString languageCodeFor(const std::optional<QString>& abbreviation) {
    // The platform fills a four-byte buffer preset with three blanks; a failed request keeps them.
    const QString buffer = abbreviation.value_or(QStringLiteral("   ")).left(3).toLower();
    static const QStringList german = {"deu", "dec", "del", "dea", "des"};
    if (buffer.isEmpty() || german.contains(buffer)) return kLanguageGerman;
    return kLanguageOther;
}

QString GetSprache() { return languageCodeFor(abbreviatedLanguageName(userLocaleName())); }

}  // namespace kx4

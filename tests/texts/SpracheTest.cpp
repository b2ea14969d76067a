#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "texts/Sprache.h"

namespace kx4 {
namespace {

struct LocaleCase {
    const char* locale;
    std::optional<const char*> abbreviation;  // nullopt: the platform request fails
    const char* code;
};

void PrintTo(const LocaleCase& c, std::ostream* os) { *os << '"' << c.locale << '"'; }

class LanguageOfLocale : public testing::TestWithParam<LocaleCase> {};

TEST_P(LanguageOfLocale, AbbreviationAndCode) {
    const LocaleCase& c = GetParam();
    const std::optional<QString> abbreviation =
        abbreviatedLanguageName(QString::fromUtf8(c.locale));
    if (c.abbreviation) {
        ASSERT_TRUE(abbreviation.has_value());
        EXPECT_EQ(abbreviation->toStdString(), *c.abbreviation);
    } else {
        EXPECT_FALSE(abbreviation.has_value()) << abbreviation->toStdString();
    }
    EXPECT_EQ(languageCodeFor(abbreviation).toStdString(), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    German, LanguageOfLocale,
    testing::Values(LocaleCase{"de_DE.UTF-8", "DEU", "deu"}, LocaleCase{"de_AT", "DEA", "deu"},
                    LocaleCase{"de_CH.UTF-8", "DES", "deu"}, LocaleCase{"de_LU", "DEL", "deu"},
                    LocaleCase{"de_LI", "DEC", "deu"}, LocaleCase{"de_DE@euro", "DEU", "deu"},
                    LocaleCase{"de-AT", "DEA", "deu"}, LocaleCase{"de", "DEU", "deu"},
                    // German of a country without a Windows abbreviation of its own
                    LocaleCase{"de_BE.UTF-8", "DEU", "deu"}));

INSTANTIATE_TEST_SUITE_P(
    OtherLanguages, LanguageOfLocale,
    testing::Values(LocaleCase{"en_US.UTF-8", "ENU", "eng"}, LocaleCase{"en_GB", "ENG", "eng"},
                    LocaleCase{"en_AU", "ENA", "eng"}, LocaleCase{"fr_FR.UTF-8", "FRA", "eng"},
                    LocaleCase{"fr_CH", "FRS", "eng"}, LocaleCase{"it_IT", "ITA", "eng"},
                    LocaleCase{"nl_NL", "NLD", "eng"}, LocaleCase{"pt_PT", "PTG", "eng"},
                    LocaleCase{"sv_SE", "SVE", "eng"}, LocaleCase{"da_DK", "DAN", "eng"},
                    LocaleCase{"fi_FI", "FIN", "eng"},
                    // Swiss German has its own ISO language code: not one of the German ones
                    LocaleCase{"gsw_CH", "GSW", "eng"}));

INSTANTIATE_TEST_SUITE_P(FailedRequests, LanguageOfLocale,
                         testing::Values(LocaleCase{"C", std::nullopt, "eng"},
                                         LocaleCase{"POSIX", std::nullopt, "eng"},
                                         LocaleCase{"C.UTF-8", std::nullopt, "eng"},
                                         LocaleCase{"", std::nullopt, "eng"},
                                         LocaleCase{"xx_YY", std::nullopt, "eng"}));

TEST(LanguageCode, TakesThreeCharactersCaseInsensitively) {
    EXPECT_EQ(languageCodeFor(QString("des")), kLanguageGerman);
    EXPECT_EQ(languageCodeFor(QString("DEUX")), kLanguageGerman);  // the buffer holds three
    EXPECT_EQ(languageCodeFor(QString("DE")), kLanguageOther);
    EXPECT_EQ(languageCodeFor(QString("   ")), kLanguageOther);
    // An empty answer of the platform counts as German.
    EXPECT_EQ(languageCodeFor(QString("")), kLanguageGerman);
}

// Sets the locale variables for one test and restores them afterwards.
class LocaleEnvironment {
  public:
    LocaleEnvironment() {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
    }
    ~LocaleEnvironment() {
        for (size_t i = 0; i < saved_.size(); ++i) {
            if (saved_[i]) {
                ::setenv(kNames[i], saved_[i]->c_str(), 1);
            } else {
                ::unsetenv(kNames[i]);
            }
        }
    }
    void set(const char* name, const char* value) { ::setenv(name, value, 1); }

  private:
    static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::optional<std::string>> saved_;
};

TEST(GetSprache, FollowsTheMessageLocaleVariables) {
    LocaleEnvironment env;
    EXPECT_EQ(GetSprache(), kLanguageOther) << "no locale set";

    env.set("LANG", "de_AT.UTF-8");
    EXPECT_EQ(GetSprache(), kLanguageGerman);

    env.set("LC_MESSAGES", "fr_FR.UTF-8");
    EXPECT_EQ(userLocaleName(), "fr_FR.UTF-8");
    EXPECT_EQ(GetSprache(), kLanguageOther);

    env.set("LC_ALL", "de_CH.UTF-8");
    EXPECT_EQ(GetSprache(), kLanguageGerman);

    env.set("LC_ALL", "C");
    EXPECT_EQ(GetSprache(), kLanguageOther);
}

}  // namespace
}  // namespace kx4

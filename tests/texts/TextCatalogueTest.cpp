#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/TestSupport.h"
#include "texts/FormTexts.h"
#include "texts/TextCatalogue.h"

namespace kx4 {
namespace {

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

TEST(BuiltInCatalogue, KeepsBlanksAndQuotesOfItsTexts) {
    const TextCatalogue texts = TextCatalogue::builtIn();
    EXPECT_EQ(texts.text(65139), " &OK");
    EXPECT_EQ(texts.text(65144), "Alias:");
    EXPECT_EQ(texts.text(65120), "Index-Name: ");
    // The two halves of the exclusive-open question enclose the table name in quotes.
    EXPECT_EQ(texts.text(65161) + "KUNDEN.DB" + texts.text(65162),
              QStringLiteral("Tabelle \"KUNDEN.DB\" konnte nicht exclusiv geöffnet werden - OK "
                             "zu weiterem Versuch?"));
    EXPECT_TRUE(texts.text(65145).endsWith(".DB"));
    EXPECT_FALSE(texts.isModule());
}

TEST(BuiltInCatalogue, NumbersOutsideTheCatalogueAreEmpty) {
    const TextCatalogue texts = TextCatalogue::builtIn();
    for (int id : {65119, 65134, 65135, 65152, 65153, 65158, 65159, 65168, 0}) {
        EXPECT_TRUE(texts.text(id).isEmpty()) << id;
    }
}

TEST(BuiltInCatalogue, CoversEveryEntryTheWindowTablesUse) {
    const TextCatalogue texts = TextCatalogue::builtIn();
    for (auto table : {tabellenFormTexts(), defineFormTexts(), tabTypTexts()}) {
        for (const FormText& entry : table) {
            EXPECT_FALSE(texts.text(entry.entry).isEmpty()) << entry.control << " " << entry.entry;
        }
    }
    EXPECT_TRUE(changeFeldTypFormTexts().empty());
}

TEST(LanguageModule, ReplacesEntriesAndLacksTheRest) {
    const TextCatalogue module = TextCatalogue::parseModule(
        "# English texts\n"
        "\n"
        "65132=Reorganise indexes\r\n"
        "65139= &OK \n"
        "65162=\" cannot be opened exclusively - OK to try again?\n"
        "  65147  =Print=Drucken\n"
        "no number=ignored\n"
        "=ignored too\n"
        "651x3=ignored as well\n");
    EXPECT_TRUE(module.isModule());
    EXPECT_EQ(module.text(65132), "Reorganise indexes");
    EXPECT_EQ(module.text(65139), " &OK ");
    EXPECT_EQ(module.text(65162), "\" cannot be opened exclusively - OK to try again?");
    EXPECT_EQ(module.text(65147), "Print=Drucken");
    EXPECT_TRUE(module.text(65138).isEmpty()) << "an entry the module lacks is empty";
    EXPECT_TRUE(module.text(65167).isEmpty());
}

TEST(LanguageModule, CutsTextsToTheCatalogueLimitAndSkipsAByteOrderMark) {
    const QString longText(2000, u'x');
    const TextCatalogue module =
        TextCatalogue::parseModule(QChar(0xFEFF) + QStringLiteral("65120=") + longText);
    EXPECT_EQ(module.text(65120).size(), TextCatalogue::kMaxTextLength);
}

class ModuleBesideProgram : public testing::Test {
  protected:
    test::TempDir dir;
    QString program = QString::fromStdString(dir.file("kx4tabletool"));
    std::string file(const char* extension) {
        return dir.file(std::string("kx4tabletool.") + extension);
    }
};

TEST_F(ModuleBesideProgram, ThreeLetterAbbreviationComesFirst) {
    writeFile(file("ENU"), "65138=KX4 Table Info\n");
    writeFile(file("EN"), "65138=two-letter module\n");
    const TextCatalogue texts = TextCatalogue::forProgram(program, "ENU");
    EXPECT_EQ(texts.text(65138), "KX4 Table Info");
    EXPECT_EQ(texts.source(), QString::fromStdString(file("ENU")));
}

TEST_F(ModuleBesideProgram, TwoLetterModuleServesEveryCountry) {
    writeFile(file("EN"), "65138=KX4 Table Info\n");
    EXPECT_EQ(TextCatalogue::forProgram(program, "ENG").text(65138), "KX4 Table Info");
    EXPECT_EQ(TextCatalogue::forProgram(program, "ENU").text(65138), "KX4 Table Info");
}

TEST_F(ModuleBesideProgram, ModuleTextIsUtf8) {
    writeFile(file("FRA"), "65129=La table existe déjà !\n");
    EXPECT_EQ(TextCatalogue::forProgram(program, "FRA").text(65129),
              QStringLiteral("La table existe déjà !"));
}

TEST_F(ModuleBesideProgram, WithoutModuleTheBuiltInTextsApply) {
    writeFile(file("ENU"), "65138=not for French users\n");
    const TextCatalogue french = TextCatalogue::forProgram(program, "FRA");
    EXPECT_FALSE(french.isModule());
    EXPECT_EQ(french.text(65138), "KX4 Tabellen-Info");
    EXPECT_FALSE(TextCatalogue::forProgram(program, "").isModule());
}

TEST_F(ModuleBesideProgram, OversizedModuleIsNotLoaded) {
    writeFile(file("ENU"), std::string(TextCatalogue::kMaxModuleBytes + 1, '#'));
    EXPECT_FALSE(TextCatalogue::forProgram(program, "ENU").isModule());
}

TEST(InstalledCatalogue, LookupReadsTheInstalledOne) {
    EXPECT_EQ(CatalogueText(65167), "Tabellen");
    installTextCatalogue(TextCatalogue::parseModule("65167=Tables\n"));
    EXPECT_EQ(CatalogueText(65167), "Tables");
    EXPECT_TRUE(CatalogueText(65166).isEmpty());
    installTextCatalogue(TextCatalogue::builtIn());
    EXPECT_EQ(CatalogueText(65166), "Fertig!");
}

}  // namespace
}  // namespace kx4

// Saving in table mode: the checks in their order, the overwrite question and the created tables,
// read back through the engine, pxlib and dbfread.
#include <filesystem>
#include <fstream>
#include <map>

#include "app/FieldTypeNames.h"
#include "definition/FieldLetters.h"
#include "engine/Session.h"
#include "tests/definition/DefinitionTestSupport.h"

namespace kx4 {
namespace {

using test::DefinitionTest;
using test::directorySnapshot;
using test::TypedRow;

constexpr const char* kOverwriteQuestion =
    "Die Tabelle existiert bereits!\rWollen Sie die Tabelle überschreiben?\r"
    "(Alle Daten der Tabelle gehen dabei verloren!)";

class SaveTest : public DefinitionTest {
  protected:
    // A window with alias and table typed in and the rows entered through the editor.
    std::unique_ptr<TDefineForm> formWith(const QString& alias, const QString& table,
                                          const std::vector<TypedRow>& rows) {
        auto form = createForm();
        typeInto(form->AliasBox->lineEdit(), alias);
        typeTableName(*form, table);
        chooseFromMenu(*form, form->Zurcksetzen1);  // whatever typing the name loaded
        enterRows(*form, rows);
        return form;
    }

    std::string tables() const { return demo.tables(); }
    bool exists(const std::string& file) const { return std::filesystem::exists(demo.table(file)); }
};

struct CheckCase {
    const char* name;
    const char* alias;
    const char* table;
    std::vector<TypedRow> rows;
    std::vector<const char*> extraTypes;  // appended to the type list through the menu
    const char* message;
};

class SaveChecks : public SaveTest, public testing::WithParamInterface<CheckCase> {};

TEST_P(SaveChecks, RefuseWithTheFirstFailingCheckAndChangeNothing) {
    const std::string before = directorySnapshot(tables());
    const auto form = formWith(GetParam().alias, GetParam().table, GetParam().rows);
    for (const char* letter : GetParam().extraTypes) {
        if (std::string(letter) == "S") chooseFromMenu(*form, form->S1);
        if (std::string(letter) == "$") chooseFromMenu(*form, form->N1);
    }
    prompts.messages.clear();
    prompts.messageAnswers.push_back(mrOk);
    save(*form);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, QString::fromUtf8(GetParam().message));
    EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(prompts.messages[0].buttons, mbOK);
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_EQ(directorySnapshot(tables()), before);
}

INSTANTIATE_TEST_SUITE_P(
    InOrder, SaveChecks,
    testing::Values(
        CheckCase{"AliasFirst", "", "", {}, {}, "ALIAS muss angegeben werden!"},
        CheckCase{"AliasBeforeTypes",
                  "",
                  "NEU.DB",
                  {{"F", "X", "1"}},
                  {},
                  "ALIAS muss angegeben werden!"},
        CheckCase{"Table", "DEMO", "", {{"F", "A", "1"}}, {}, "Tabelle muss angegeben werden!"},
        CheckCase{"NoRows", "DEMO", "NEU.DB", {}, {}, "Feld muss angegeben werden!"},
        CheckCase{"FieldBeforeType", "DEMO", "NEU.DB", {}, {"S"}, "Feld muss angegeben werden!"},
        CheckCase{"UnknownLetter",
                  "DEMO",
                  "NEU.DB",
                  {{"A1", "A", "5"}, {"X1", "X", "1"}},
                  {},
                  "Ungültiger Typ angegeben: \"X\""},
        CheckCase{
            "EmptyType", "DEMO", "NEU.DB", {{"A1", "", "5"}}, {}, "Ungültiger Typ angegeben: \"\""},
        CheckCase{"TwoLetters",
                  "DEMO",
                  "NEU.DB",
                  {{"Z", "DT", "8"}},
                  {},
                  "Ungültiger Typ angegeben: \"DT\""}),
    [](const auto& info) { return std::string(info.param.name); });

class NameOutsideTheAlias : public SaveTest, public testing::WithParamInterface<const char*> {};

// A table name with a directory part or blanks at either end is refused: no table is made in
// another directory or under a name nobody sees in the browser.
TEST_P(NameOutsideTheAlias, IsRefusedAndNothingIsCreated) {
    std::filesystem::create_directories(tables() + "/sub");
    QString name = QString::fromUtf8(GetParam());
    name.replace(QStringLiteral("<DIR>"), QString::fromStdString(demo.dir().path().string()));
    const std::string outside = directorySnapshot(demo.dir().path());
    const std::string inside = directorySnapshot(tables());
    const auto form = formWith("DEMO", name, {{"NAME", "A", "10"}});
    prompts.messages.clear();
    prompts.messageAnswers.push_back(mrOk);
    save(*form);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith(QStringLiteral("Ungültiger Tabellen-Name")))
        << prompts.messages[0].text.toStdString();
    EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(directorySnapshot(demo.dir().path()), outside);
    EXPECT_EQ(directorySnapshot(tables()), inside);
    EXPECT_TRUE(std::filesystem::is_empty(tables() + "/sub"));
}

INSTANTIATE_TEST_SUITE_P(Names, NameOutsideTheAlias,
                         testing::Values("../RAUS.DB", "sub/RAUS.DB", "<DIR>/RAUS.DB",
                                         "..\\RAUS.DB", " RAUS.DB", "RAUS.DB ", "RAUS.DBF ", ".."));

TEST_F(SaveTest, TypeCheckWalksTheWholeTypeListAndStopsAtItsFirstBadEntry) {
    const auto form = formWith("DEMO", "NEU.DB", {{"A1", "A", "5"}});
    chooseFromMenu(*form, form->Einfgen1);
    typeInto(form->NameEdit, "");
    QTest::mouseClick(form->OKBtn, Qt::LeftButton);
    // Entries beyond the rows are checked as well.
    chooseFromMenu(*form, form->N1);
    form->TypListe->addItem("F");
    form->TypListe->addItem("BCD");
    prompts.messageAnswers.push_back(mrOk);
    save(*form);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Ungültiger Typ angegeben: \"F\"");
    EXPECT_FALSE(exists("NEU.DB"));
}

struct LoadedRefusal {
    const char* table;
    const char* type;
};

class LoadedTypes : public SaveTest, public testing::WithParamInterface<LoadedRefusal> {};

// Rows loaded from a table may carry codes and names the save does not accept.
TEST_P(LoadedTypes, AreRefusedBySaving) {
    test::createDemoTable(demo, "FLOAT.DB", {{"WERT", TFieldType::ftFloat, 0}});
    test::createDemoTable(demo, "STEMPEL.DB",
                          {{"NAME", TFieldType::ftString, 5}, {"ZEIT", TFieldType::ftDateTime, 0}});
    test::createDemoTable(demo, "GELD.DB", {{"BETRAG", TFieldType::ftBCD, 2}});
    const auto form = createForm();
    chooseAlias(*form, "DEMO");
    typeTableName(*form, GetParam().table);
    typeTableName(*form, "NEU.DB");  // names no table: the rows stay
    ASSERT_FALSE(rows(*form).isEmpty());
    prompts.messageAnswers.push_back(mrOk);
    save(*form);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              QStringLiteral("Ungültiger Typ angegeben: \"%1\"").arg(GetParam().type));
    EXPECT_FALSE(exists("NEU.DB"));
}

INSTANTIATE_TEST_SUITE_P(Codes, LoadedTypes,
                         testing::Values(LoadedRefusal{"FLOAT.DB", "F"},
                                         LoadedRefusal{"STEMPEL.DB", "DT"},
                                         LoadedRefusal{"GELD.DB", "BCD"},
                                         LoadedRefusal{"KUNDEN.DB", "B"}));

TEST_F(SaveTest, ThreeRowsMakeAParadoxTableInThatOrderWithoutIndex) {
    const auto form =
        formWith("DEMO", "NEU", {{"KUNDE", "A", "30"}, {"DATUM", "D", "0"}, {"BETRAG", "$", "0"}});
    prompts.messageAnswers.push_back(mrOk);
    save(*form);
    ASSERT_EQ(messageTexts(), std::vector<QString>({"Fertig!"}));
    EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtInformation);
    EXPECT_TRUE(prompts.errorBoxes.empty());

    EXPECT_EQ(engineFields("NEU.DB"),
              std::vector<std::string>({"KUNDE:A:30", "DATUM:D:0", "BETRAG:$:0"}));
    const test::PxlibStructure px = test::pxlibStructure(demo.table("NEU.DB"));
    ASSERT_EQ(px.error, "");
    EXPECT_EQ(px.fields, std::vector<std::string>({"KUNDE:1:30", "DATUM:2:4", "BETRAG:5:8"}));
    EXPECT_EQ(px.primaryKeyFields, 0);
    EXPECT_EQ(px.records, 0);
    EXPECT_FALSE(exists("NEU.PX"));
    // The window stays as it was, rows included.
    EXPECT_EQ(rows(*form), QStringList({"KUNDE|A|30", "DATUM|D|0", "BETRAG|$|0"}));
    EXPECT_TRUE(Session().passwords().empty());
}

TEST_F(SaveTest, EveryLetterMakesItsFieldTypeAndOnlyAAndMKeepTheirSize) {
    const auto form = formWith("DEMO", "ALLE.DB",
                               {{"TEXT", "A", "12"},
                                {"KURZ", "S", "99"},
                                {"LANG", "I", "99"},
                                {"TAG", "D", "99"},
                                {"GELD", "$", "99"},
                                {"MEMO", "M", "20"}});
    prompts.messageAnswers.push_back(mrOk);
    save(*form);
    ASSERT_EQ(messageTexts(), std::vector<QString>({"Fertig!"}))
        << testing::PrintToString(prompts.errorBoxes);
    const test::PxlibStructure px = test::pxlibStructure(demo.table("ALLE.DB"));
    ASSERT_EQ(px.error, "");
    // pxlib: alpha 1, short 3, long 4, date 2, currency 5, memo 12 (length: the in-record part
    // plus the 10-byte blob pointer).
    EXPECT_EQ(px.fields, std::vector<std::string>({"TEXT:1:12", "KURZ:3:2", "LANG:4:4", "TAG:2:4",
                                                   "GELD:5:8", "MEMO:12:30"}));
}

TEST_F(SaveTest, ADbfNameMakesADbaseTable) {
    const auto form = formWith("DEMO", "NEU.dbf",
                               {{"NAME", "A", "20"},
                                {"DATUM", "D", "0"},
                                {"MENGE", "I", "0"},
                                {"NOTIZ", "M", "10"},
                                {"GROSS", "L", "0"}});
    prompts.messageAnswers.push_back(mrOk);
    save(*form);
    ASSERT_EQ(messageTexts(), std::vector<QString>({"Fertig!"}));
    ASSERT_TRUE(exists("NEU.dbf"));
    const std::vector<std::string> fields = test::dbfreadFields(demo.table("NEU.dbf"));
    ASSERT_EQ(fields.size(), 5u) << testing::PrintToString(fields);
    EXPECT_EQ(fields[0], "NAME:C:20");
    EXPECT_EQ(fields[1], "DATUM:D:8");
    EXPECT_EQ(fields[2].substr(0, 6), "MENGE:");
    EXPECT_EQ(fields[3], "NOTIZ:M:10");
    EXPECT_EQ(fields[4].substr(0, 8), "GROSS:N:");
    EXPECT_FALSE(exists("NEU.mdx"));
    EXPECT_FALSE(exists("NEU.MDX"));
}

TEST_F(SaveTest, ATxtNameMakesATextTableAndWinsOverDbf) {
    const auto form = formWith("DEMO", "LISTE.dbf.txt", {{"ARTNR", "A", "8"}, {"AB", "D", "0"}});
    prompts.messageAnswers.push_back(mrOk);
    save(*form);
    ASSERT_EQ(messageTexts(), std::vector<QString>({"Fertig!"}));
    EXPECT_EQ(engineFields("LISTE.dbf.txt"), std::vector<std::string>({"ARTNR:A:8", "AB:D:10"}));
    // A text table: its schema file lies beside it.
    EXPECT_TRUE(exists("LISTE.dbf.sch") || exists("LISTE.dbf.SCH"));
}

struct OverwriteCase {
    const char* typed;  // the table name as typed
    int answer;
    bool replaced;
};

class Overwrite : public SaveTest, public testing::WithParamInterface<OverwriteCase> {};

TEST_P(Overwrite, AsksBeforeAnExistingTableIsReplaced) {
    const std::string before = directorySnapshot(tables());
    const auto form = formWith("DEMO", GetParam().typed, {{"NUR", "A", "5"}});
    prompts.messageAnswers.push_back(GetParam().answer);
    if (GetParam().replaced) prompts.messageAnswers.push_back(mrOk);
    save(*form);
    ASSERT_GE(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, QString::fromUtf8(kOverwriteQuestion));
    EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(prompts.messages[0].buttons, mbYes | mbNo);
    if (GetParam().replaced) {
        EXPECT_EQ(messageTexts().back(), "Fertig!");
        EXPECT_EQ(engineFields("KUNDEN.DB"), std::vector<std::string>({"NUR:A:5"}));
        const test::PxlibStructure px = test::pxlibStructure(demo.table("KUNDEN.DB"));
        EXPECT_EQ(px.records, 0);
        EXPECT_EQ(px.primaryKeyFields, 0);
        EXPECT_FALSE(exists("KUNDEN.PX"));
        EXPECT_FALSE(exists("KUNDEN.MB"));
    } else {
        EXPECT_EQ(prompts.messages.size(), 1u);  // no further message
        EXPECT_EQ(directorySnapshot(tables()), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, Overwrite,
                         testing::Values(OverwriteCase{"KUNDEN.DB", mrYes, true},
                                         OverwriteCase{"KUNDEN.DB", mrNo, false},
                                         OverwriteCase{"KUNDEN.DB", mrCancel, false},
                                         // Without extension: the Paradox file KUNDEN.DB.
                                         OverwriteCase{"KUNDEN", mrNo, false},
                                         OverwriteCase{"KUNDEN", mrYes, true}));

// A name that differs from an existing table's only in case names that table where the tables
// come from, so the question is asked; a Yes creates the table as named beside the other, whose
// files stay as they were.
struct CaseTwinCase {
    const char* typed;
    const char* existingStem;
    const char* created;  // the new table's file
};

void PrintTo(const CaseTwinCase& c, std::ostream* os) { *os << c.typed; }

class OverwriteInOtherCase : public SaveTest, public testing::WithParamInterface<CaseTwinCase> {
  protected:
    std::map<std::string, std::vector<char>> existingFiles() const {
        std::map<std::string, std::vector<char>> out;
        for (const auto& entry : std::filesystem::directory_iterator(tables()))
            if (entry.path().stem() == GetParam().existingStem)
                out[entry.path().filename().string()] = test::readFileBytes(entry.path().string());
        return out;
    }
};

TEST_P(OverwriteInOtherCase, AsksAndNoKeepsEverything) {
    const std::string before = directorySnapshot(tables());
    const auto form = formWith("DEMO", GetParam().typed, {{"NUR", "A", "5"}});
    prompts.messageAnswers.push_back(mrNo);
    save(*form);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, QString::fromUtf8(kOverwriteQuestion));
    EXPECT_EQ(prompts.messages[0].buttons, mbYes | mbNo);
    EXPECT_EQ(directorySnapshot(tables()), before);
}

TEST_P(OverwriteInOtherCase, YesCreatesTheTableAsNamedAndLeavesTheOthersFiles) {
    const auto before = existingFiles();
    const auto form = formWith("DEMO", GetParam().typed, {{"NUR", "A", "5"}});
    prompts.messageAnswers = {mrYes, mrOk};
    save(*form);
    EXPECT_EQ(messageTexts().front(), QString::fromUtf8(kOverwriteQuestion));
    EXPECT_EQ(messageTexts().back(), "Fertig!");
    EXPECT_EQ(engineFields(GetParam().created), std::vector<std::string>({"NUR:A:5"}));
    EXPECT_GE(before.size(), 3u);
    EXPECT_TRUE(existingFiles() == before);
}

INSTANTIATE_TEST_SUITE_P(Names, OverwriteInOtherCase,
                         testing::Values(CaseTwinCase{"kunden.db", "KUNDEN", "kunden.db"},
                                         CaseTwinCase{"Kunden", "KUNDEN", "Kunden.DB"},
                                         CaseTwinCase{"artikel.dbf", "ARTIKEL", "artikel.dbf"}));

// The question is asked for a table in a directory named in an old code page as well: the
// existence test looks at the directory's own bytes.
TEST_F(SaveTest, AsksTooWhenTheAliasDirectoryIsNamedInAnOldCodePage) {
    const std::string latin1 = demo.dir().file("caf\xE9");
    std::filesystem::create_directories(latin1);
    for (const char* file : {"KUNDEN.DB", "KUNDEN.PX", "KUNDEN.MB"})
        std::filesystem::copy_file(demo.table(file), latin1 + "/" + file);
    std::ofstream(demo.dir().file("engine.ini"), std::ios::app)
        << "[ALT]\nTYPE=STANDARD\nPATH=" << latin1 << "\n";
    Session().setConfigPath(demo.dir().file("engine.ini"));
    const std::string before = directorySnapshot(latin1);
    const auto form = formWith("ALT", "KUNDEN.DB", {{"NUR", "A", "5"}});
    prompts.messageAnswers.push_back(mrNo);
    save(*form);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, QString::fromUtf8(kOverwriteQuestion));
    EXPECT_EQ(directorySnapshot(latin1), before);
}

TEST_F(SaveTest, LoadedRowsSavedUnchangedRecreateTheTableEmpty) {
    test::createDemoTable(demo, "ADRESSE.DB",
                          {{"NAME", TFieldType::ftString, 30}, {"PLZ", TFieldType::ftSmallint, 0}});
    const auto form = createForm();
    chooseAlias(*form, "DEMO");
    chooseTable(*form, "ADRESSE.DB");
    ASSERT_EQ(rows(*form), QStringList({"NAME|A|30", "PLZ|S|2"}));
    prompts.messageAnswers = {mrYes, mrOk};
    save(*form);
    EXPECT_EQ(messageTexts().front(), QString::fromUtf8(kOverwriteQuestion));
    EXPECT_EQ(engineFields("ADRESSE.DB"), std::vector<std::string>({"NAME:A:30", "PLZ:S:0"}));
}

TEST_F(SaveTest, NoExistingTableNoQuestion) {
    const auto form = formWith("DEMO", "KUNDEN.DBF", {{"NUR", "A", "5"}});
    prompts.messageAnswers.push_back(mrOk);
    save(*form);
    EXPECT_EQ(messageTexts(), std::vector<QString>({"Fertig!"}));
    EXPECT_TRUE(exists("KUNDEN.DB"));  // the Paradox table of the same stem is untouched
    EXPECT_EQ(engineFields("KUNDEN.DB").size(), 8u);
}

struct FailureCase {
    const char* name;
    std::vector<TypedRow> rows;
    bool dropSizes;  // "&Zurücksetzen" of the size list before saving
    const char* errorBox;
};

class SaveFailure : public SaveTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(SaveFailure, ReachesTheErrorBoxAndCreatesNothing) {
    const auto form = formWith("DEMO", "NEU.DB", GetParam().rows);
    if (GetParam().dropSizes) chooseFromMenu(*form, form->Zurcksetzen3);
    save(*form);
    EXPECT_TRUE(prompts.messages.empty());
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    // nullptr: the engine's own wording.
    if (GetParam().errorBox) {
        EXPECT_EQ(prompts.errorBoxes[0], QString::fromUtf8(GetParam().errorBox));
    }
    EXPECT_FALSE(exists("NEU.DB"));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SaveFailure,
    testing::Values(
        FailureCase{"EmptySizeOfADate",
                    {{"A1", "A", "5"}, {"D1", "D", ""}},
                    false,
                    "'' ist kein gültiger Integerwert."},
        FailureCase{
            "MissingSize", {{"A1", "A", "5"}}, true, "Listenindex überschreitet das Maximum (0)"},
        FailureCase{"DuplicateName", {{"F", "A", "5"}, {"F", "I", "0"}}, false, nullptr},
        // Paradox tables hold no 64-bit integers; the engine refuses.
        FailureCase{"LargeIntInParadox", {{"GROSS", "L", "0"}}, false, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaveTest, AnUnknownAliasReachesTheErrorBox) {
    const auto form = formWith("NIRGENDS", "NEU.DB", {{"A1", "A", "5"}});
    save(*form);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(prompts.errorBoxes.size(), 1u);
}

// A row the window loads from a table shows the type's short code; saving that row must create
// the same type again, so every letter the save understands is the code of the type it creates.
class FieldLetterRoundTrip : public testing::TestWithParam<const char*> {};

TEST_P(FieldLetterRoundTrip, LetterNamesTheTypeItCreates) {
    const std::optional<FieldLetter> letter = findFieldLetter(QString::fromLatin1(GetParam()));
    ASSERT_TRUE(letter.has_value());
    EXPECT_EQ(definitionTypeCode(letter->type), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Letters, FieldLetterRoundTrip,
                         testing::Values("A", "S", "I", "L", "D", "$", "M"));

}  // namespace
}  // namespace kx4

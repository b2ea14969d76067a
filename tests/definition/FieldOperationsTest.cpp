// Adding the field of the last row (field mode) and dropping the field of the selected row,
// checked on the demo tables through the engine, pxlib and dbfread.
#include "engine/Session.h"
#include "tests/definition/DefinitionTestSupport.h"

namespace kx4 {
namespace {

using test::DefinitionTest;
using test::directorySnapshot;
using test::dumpTable;
using test::TypedRow;

class FieldOperationsTest : public DefinitionTest {
  protected:
    // The window as "Add Field" opens it for a table of the demo alias.
    std::unique_ptr<TDefineForm> fieldModeForm(const QString& table) {
        auto form = createForm();
        DefineMode = kFieldMode;
        form->AliasBox->setEditText("DEMO");
        form->TabellenBox->setEditText(table);
        return form;
    }

    std::unique_ptr<TDefineForm> loadedForm(const QString& table) {
        auto form = createForm();
        chooseAlias(*form, "DEMO");
        chooseTable(*form, table);
        return form;
    }

    std::vector<std::string> fieldsPlus(std::vector<std::string> fields, const std::string& more) {
        fields.push_back(more);
        return fields;
    }

    QStringList statement(const TDefineForm& form) {
        QStringList lines;
        for (const std::string& line : form.Query1.SQL) lines << QString::fromStdString(line);
        return lines;
    }
};

struct AddCase {
    const char* name;
    std::vector<TypedRow> rows;
    const char* statement;
    const char* engineField;  // as engineFields() shows it
    const char* pxlibField;   // as pxlibStructure() shows it
};

class AddsTheLastRow : public FieldOperationsTest, public testing::WithParamInterface<AddCase> {};

TEST_P(AddsTheLastRow, ToTheParadoxTable) {
    const std::vector<std::string> before = engineFields("KUNDEN.DB");
    const std::string data = dumpTable("DEMO", "KUNDEN.DB");
    const auto form = fieldModeForm("KUNDEN.DB");
    enterRows(*form, GetParam().rows);
    prompts.messageAnswers.push_back(mrOk);
    save(*form);

    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes[0].toStdString();
    ASSERT_EQ(messageTexts(), std::vector<QString>({"Fertig!"}));
    EXPECT_EQ(prompts.messages[0].type, TMsgDlgType::mtInformation);
    EXPECT_EQ(statement(*form), QStringList({QString::fromUtf8(GetParam().statement)}));
    EXPECT_EQ(engineFields("KUNDEN.DB"), fieldsPlus(before, GetParam().engineField));
    const test::PxlibStructure px = test::pxlibStructure(demo.table("KUNDEN.DB"));
    ASSERT_EQ(px.error, "");
    ASSERT_EQ(px.fields.size(), before.size() + 1);
    EXPECT_EQ(px.fields.back(), GetParam().pxlibField);
    EXPECT_EQ(px.records, 5);
    // Every record keeps its values and gets a blank in the new field.
    const std::string after = dumpTable("DEMO", "KUNDEN.DB");
    EXPECT_EQ(after.substr(after.find('\n')).size(), data.substr(data.find('\n')).size() + 5);
    EXPECT_TRUE(Session().passwords().empty());
    // The rows are not reloaded.
    EXPECT_EQ(form->FelderListe->count(), static_cast<int>(GetParam().rows.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Letters, AddsTheLastRow,
    testing::Values(
        AddCase{"OnlyTheThirdOfThree",
                {{"ERSTES", "A", "5"}, {"ZWEITES", "D", "0"}, {"ZUSATZ", "A", "10"}},
                "ALTER TABLE \"KUNDEN.DB\" ADD \"KUNDEN.DB\".\"ZUSATZ\" CHARACTER(10)",
                "ZUSATZ:A:10",
                "ZUSATZ:1:10"},
        AddCase{"SizeWrittenBackAsDecimal",
                {{"KENNUNG", "A", "0x0C"}},
                "ALTER TABLE \"KUNDEN.DB\" ADD \"KUNDEN.DB\".\"KENNUNG\" CHARACTER(12)",
                "KENNUNG:A:12",
                "KENNUNG:1:12"},
        AddCase{"DateWithoutSize",
                {{"GEBURT", "D", "0"}},
                "ALTER TABLE \"KUNDEN.DB\" ADD \"KUNDEN.DB\".\"GEBURT\" DATE",
                "GEBURT:D:0",
                "GEBURT:2:4"},
        AddCase{"MemoAlwaysHundred",
                {{"TEXT", "M", "7"}},
                "ALTER TABLE \"KUNDEN.DB\" ADD \"KUNDEN.DB\".\"TEXT\" BLOB(100,1)",
                "TEXT:M:100",
                "TEXT:12:110"},
        AddCase{"Money",
                {{"RABATT", "$", "0"}},
                "ALTER TABLE \"KUNDEN.DB\" ADD \"KUNDEN.DB\".\"RABATT\" CURRENCY",
                "RABATT:$:0",
                "RABATT:5:8"},
        AddCase{"SmallInteger",
                {{"STUFE", "S", "0"}},
                "ALTER TABLE \"KUNDEN.DB\" ADD \"KUNDEN.DB\".\"STUFE\" SMALLINT",
                "STUFE:S:0",
                "STUFE:3:2"},
        // A double quote in the name is doubled: the statement adds exactly this field.
        AddCase{
            "QuoteInTheName",
            {{"X\" DROP \"KUNDEN.DB\".\"NAME", "I", "0"}},
            "ALTER TABLE \"KUNDEN.DB\" ADD \"KUNDEN.DB\".\"X\"\" DROP \"\"KUNDEN.DB\"\".\"\"NAME\""
            " INTEGER",
            "X\" DROP \"KUNDEN.DB\".\"NAME:I:0",
            "X\" DROP \"KUNDEN.DB\".\"NAME:4:4"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FieldOperationsTest, AddsACharacterColumnToTheDbaseTable) {
    const auto form = fieldModeForm("ARTIKEL.DBF");
    enterRow(*form, {"HERSTELLER", "A", "10"});
    prompts.messageAnswers.push_back(mrOk);
    save(*form);
    ASSERT_EQ(messageTexts(), std::vector<QString>({"Fertig!"}));
    const std::vector<std::string> fields = test::dbfreadFields(demo.table("ARTIKEL.DBF"));
    ASSERT_EQ(fields.size(), 7u) << testing::PrintToString(fields);
    EXPECT_EQ(fields.back(), "HERSTELLER:C:10");
    EXPECT_EQ(fields.front(), "ARTNR:C:8");
}

struct AddFailure {
    const char* name;
    std::vector<TypedRow> rows;
    const char* errorBox;  // nullptr: the engine's own wording
};

class AddRefused : public FieldOperationsTest, public testing::WithParamInterface<AddFailure> {};

TEST_P(AddRefused, ReachesTheErrorBoxRemovesThePasswordsAndChangesNothing) {
    const std::string before = directorySnapshot(demo.tables());
    const auto form = fieldModeForm("KUNDEN.DB");
    enterRows(*form, GetParam().rows);
    save(*form);
    EXPECT_TRUE(prompts.messages.empty());
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    if (GetParam().errorBox) {
        EXPECT_EQ(prompts.errorBoxes[0], QString::fromUtf8(GetParam().errorBox));
    }
    EXPECT_EQ(directorySnapshot(demo.tables()), before);
    EXPECT_TRUE(Session().passwords().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AddRefused,
    testing::Values(AddFailure{"EmptySizeOfTheLastRow",
                               {{"GEBURT", "D", ""}},
                               "'' ist kein gültiger Integerwert."},
                    AddFailure{"EmptySizeOfAnEarlierRow",
                               {{"A1", "A", ""}, {"D1", "D", "0"}},
                               "'' ist kein gültiger Integerwert."},
                    AddFailure{"NameAlreadyPresent", {{"NAME", "A", "10"}}, nullptr},
                    AddFailure{"ZeroLengthCharacter", {{"LEER", "A", "0"}}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FieldOperationsTest, AddWithAMissingTypeEntryStopsWithTheListError) {
    const std::string before = directorySnapshot(demo.tables());
    const auto form = fieldModeForm("KUNDEN.DB");
    enterRows(*form, {{"A1", "A", "5"}, {"A2", "A", "5"}});
    chooseFromMenu(*form, form->Zurcksetzen2);
    chooseFromMenu(*form, form->A1);  // one type for two rows
    save(*form);
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_EQ(prompts.errorBoxes[0], "Listenindex überschreitet das Maximum (1)");
    EXPECT_EQ(directorySnapshot(demo.tables()), before);
    EXPECT_TRUE(Session().passwords().empty());
}

TEST_F(FieldOperationsTest, DropsTheSelectedFieldReloadsAndSaysDone) {
    const auto form = loadedForm("KUNDEN.DB");
    ASSERT_EQ(form->FelderListe->item(3)->text(), "ORT");
    selectRow(*form, 3);
    prompts.messageAnswers.push_back(mrOk);
    QTest::mouseClick(form->DelBtn, Qt::LeftButton);

    EXPECT_TRUE(prompts.errorBoxes.empty());
    ASSERT_EQ(messageTexts(), std::vector<QString>({"Fertig!"}));  // no question before
    EXPECT_EQ(statement(*form),
              QStringList({"ALTER TABLE \"KUNDEN.DB\" DROP \"KUNDEN.DB\".\"ORT\""}));
    EXPECT_EQ(rows(*form), QStringList({"KUNDENNR|I|4", "NAME|A|30", "VORNAME|A|20", "UMSATZ|$|8",
                                        "KUNDESEIT|D|4", "AKTIV|B|2", "BEMERKUNG|M|40"}));
    const test::PxlibStructure px = test::pxlibStructure(demo.table("KUNDEN.DB"));
    EXPECT_EQ(px.fields.size(), 7u);
    EXPECT_EQ(px.records, 5);
    EXPECT_EQ(px.primaryKeyFields, 1);
    EXPECT_NE(dumpTable("DEMO", "KUNDEN.DB").find("1003;Weiß;Günter;0;"), std::string::npos);
}

TEST_F(FieldOperationsTest, DropsAFieldOfTheDbaseTable) {
    const auto form = loadedForm("ARTIKEL.DBF");
    selectRow(*form, 3);  // LAGER
    prompts.messageAnswers.push_back(mrOk);
    QTest::mouseClick(form->DelBtn, Qt::LeftButton);
    ASSERT_EQ(messageTexts(), std::vector<QString>({"Fertig!"}));
    EXPECT_EQ(test::dbfreadFields(demo.table("ARTIKEL.DBF")),
              std::vector<std::string>(
                  {"ARTNR:C:8", "BEZEICH:C:30", "PREIS:N:20", "GEAENDERT:D:8", "NOTIZ:M:10"}));
}

TEST_F(FieldOperationsTest, DropsAFieldWhoseNameHasAQuote) {
    test::createDemoTable(demo, "ZITAT.DB",
                          {{"A\"B", TFieldType::ftString, 5}, {"REST", TFieldType::ftString, 5}});
    const auto form = loadedForm("ZITAT.DB");
    selectRow(*form, 0);
    prompts.messageAnswers.push_back(mrOk);
    QTest::mouseClick(form->DelBtn, Qt::LeftButton);
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_EQ(statement(*form),
              QStringList({"ALTER TABLE \"ZITAT.DB\" DROP \"ZITAT.DB\".\"A\"\"B\""}));
    EXPECT_EQ(engineFields("ZITAT.DB"), std::vector<std::string>({"REST:A:5"}));
}

struct DropFailure {
    const char* name;
    int row;
    bool dropSizes;
    const char* errorBox;  // nullptr: the engine's own wording
};

class DropRefused : public FieldOperationsTest, public testing::WithParamInterface<DropFailure> {};

TEST_P(DropRefused, ReloadsTheRowsAndSaysNothingMore) {
    const std::string before = directorySnapshot(demo.tables());
    const auto form = loadedForm("KUNDEN.DB");
    const QStringList loaded = rows(*form);
    if (GetParam().dropSizes) chooseFromMenu(*form, form->Zurcksetzen3);
    selectRow(*form, GetParam().row);
    QTest::mouseClick(form->DelBtn, Qt::LeftButton);
    EXPECT_TRUE(prompts.messages.empty());
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    if (GetParam().errorBox) {
        EXPECT_EQ(prompts.errorBoxes[0], QString::fromUtf8(GetParam().errorBox));
    }
    EXPECT_EQ(rows(*form), loaded);  // reloaded, sizes included
    EXPECT_EQ(directorySnapshot(demo.tables()), before);
}

INSTANTIATE_TEST_SUITE_P(Rows, DropRefused,
                         testing::Values(DropFailure{"KeyField", 0, false, nullptr},
                                         DropFailure{"MissingSize", 2, true,
                                                     "Listenindex überschreitet das Maximum (2)"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FieldOperationsTest, DropOfAFieldTheTableNoLongerHasIsRefusedByTheEngine) {
    const auto form = loadedForm("PREISE.TXT");
    chooseFromMenu(*form, form->Zurcksetzen1);
    enterRow(*form, {"WEG", "A", "1"});
    selectRow(*form, 0);
    QTest::mouseClick(form->DelBtn, Qt::LeftButton);
    EXPECT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(rows(*form), QStringList({"ARTNR|A|8", "PREIS|F|8", "GUELTIGAB|D|4"}));
}

}  // namespace
}  // namespace kx4

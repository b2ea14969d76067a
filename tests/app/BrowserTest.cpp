// The table browser of the main window over a temporary alias with Paradox, dBase and text
// tables: the tree, the field and index lists, the selection labels and the clean-up.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>
#include <filesystem>

#include "app/StartUp.h"
#include "engine/core/Errors.h"
#include "engine/dbase/DbaseProperties.h"
#include "engine/paradox/Encryption.h"
#include "engine/paradox/ParadoxProperties.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/BrowserTestSupport.h"
#include "tests/app/ScriptedPrompts.h"
#include "tests/app/TableFixtures.h"
#include "ui/AliasPath.h"
#include "ui/TableTypeOfName.h"

namespace kx4 {
namespace {

using test::clickBesideTheItems;
using test::clickItem;
using test::clickTable;
using test::columnTexts;
using test::FieldSpec;
using test::treeTexts;

using FT = TFieldType;

constexpr const char* kProtectedPassword = "362VN4Qc81";  // one of the four table passwords

// Every Paradox field type, keyed on ID, with a secondary and a composite secondary index.
void writeAllTypes(const std::string& dir) {
    const std::vector<FieldSpec> fields = {
        {"ID", FT::ftString, 10},     {"NAME", FT::ftString, 20},   {"ZAHL", FT::ftFloat},
        {"GELD", FT::ftCurrency},     {"KLEIN", FT::ftSmallint},    {"LANG", FT::ftInteger},
        {"BCD2", FT::ftBCD, 2},       {"BCD0", FT::ftBCD, 0},       {"DATUM", FT::ftDate},
        {"ZEIT", FT::ftTime},         {"STEMPEL", FT::ftDateTime},  {"LOGISCH", FT::ftBoolean},
        {"ZAEHLER", FT::ftAutoInc},   {"ROH", FT::ftBytes, 8},      {"MEMO", FT::ftMemo, 20},
        {"BINAER", FT::ftBlob, 10},   {"FMEMO", FT::ftFmtMemo, 15}, {"OLE", FT::ftParadoxOle, 12},
        {"GRAFIK", FT::ftGraphic, 16}};
    std::vector<Record> records;
    for (int i = 0; i < 3; ++i) {
        Record record(fields.size(), Blank{});
        record[0] = "K" + std::to_string(i);
        record[1] = std::string(i == 1 ? "Weiß" : "Müller");
        record[4] = std::int64_t{i * 7};
        record[5] = std::int64_t{100000 + i};
        record[14] = std::string(60, static_cast<char>('a' + i));  // longer than the leader
        records.push_back(record);
    }
    test::writeTable(
        dir, "ALLTYPES.DB", TTableType::ttParadox, fields,
        {test::primaryKey("ID"), indexOn("NAME", "NAME"), indexOn("KLEINLANG", "KLEIN;LANG")},
        records);
}

// Every dBase field type, with a field tag and an expression tag.
void writeTeile(const std::string& dir) {
    const std::vector<FieldSpec> fields = {{"TEILNR", FT::ftString, 8},
                                           {"MENGE", FT::ftUnknown, 4, fldDBNUM},
                                           {"ANZAHL", FT::ftUnknown, 9, fldDBNUM},
                                           {"GROSS", FT::ftUnknown, 11, fldDBNUM},
                                           {"PREIS", FT::ftUnknown, 12, fldDBNUM, 2},
                                           {"FWERT", FT::ftUnknown, 10, fldDBFLOAT, 3},
                                           {"DATUM", FT::ftDate},
                                           {"OK", FT::ftBoolean},
                                           {"NOTIZ", FT::ftMemo},
                                           {"BILD", FT::ftBlob},
                                           {"OLE", FT::ftDBaseOle},
                                           {"LANG", FT::ftUnknown, 4, fldDBLONG},
                                           {"ZAEHLER", FT::ftUnknown, 4, fldDBAUTOINC},
                                           {"DOPPELT", FT::ftUnknown, 8, fldDBDOUBLE},
                                           {"STEMPEL", FT::ftUnknown, 8, fldDBDATETIME}};
    test::writeTable(
        dir, "TEILE.DBF", TTableType::ttDBase, fields,
        {indexOn("TEILNR", "TEILNR"), test::expressionIndex("MENGEDAT", "STR(MENGE)+DTOS(DATUM)")});
}

void writeTables(const std::string& dir) {
    writeAllTypes(dir);
    writeTeile(dir);
    test::writeTable(
        dir, "POSTEN.DB", TTableType::ttParadox,
        {{"AUFTRAG", FT::ftInteger}, {"POS", FT::ftSmallint}, {"TEXT", FT::ftString, 30}},
        {test::primaryKey("AUFTRAG;POS")});
    test::writeTable(dir, "LOSE.DB", TTableType::ttParadox,
                     {{"TEXT", FT::ftString, 30}, {"WERT", FT::ftFloat}}, {});
    test::writeTable(
        dir, "PREISE.TXT", TTableType::ttASCII,
        {{"ARTNR", FT::ftString, 8}, {"PREIS", FT::ftFloat}, {"GUELTIGAB", FT::ftDate}}, {});
    auto secret = std::make_shared<paradox::ParadoxProperties>();
    secret->encryption = paradox::passwordChecksum(kProtectedPassword);
    test::writeTable(dir, "GEHEIM.DB", TTableType::ttParadox, {{"CODE", FT::ftString, 12}}, {},
                     {{std::string("geheim")}}, secret);
    auto foreign = std::make_shared<paradox::ParadoxProperties>();
    foreign->encryption = paradox::passwordChecksum("fremdes");
    test::writeTable(dir, "FREMD.DB", TTableType::ttParadox, {{"CODE", FT::ftString, 12}}, {}, {},
                     foreign);
    // A dBase table whose extension is spelled in mixed case, and a damaged Paradox table.
    test::writeTable(dir, "MIX.Dbf", TTableType::ttDBase, {{"TEXT", FT::ftString, 10}}, {});
    std::ofstream(dir + "/KAPUTT.DB", std::ios::binary) << std::string(300, '\x17');
}

class BrowserTest : public testing::Test {
  protected:
    BrowserTest() {
        test::testApplication();
        directory = aliases.addAlias("LAGER");
        writeTables(directory);
        emptyDirectory = aliases.addAlias("LEER");
        form = std::make_unique<TTabellenForm>(Session());
        form->show();
    }

    void chooseLager() { test::chooseAlias(*form, "LAGER"); }

    // ListView1 as (name, type, length) rows.
    std::vector<std::array<QString, 3>> fieldRows() const {
        std::vector<std::array<QString, 3>> rows;
        for (int i = 0; i < form->ListView1->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = form->ListView1->topLevelItem(i);
            rows.push_back({row->text(0), row->text(1), row->text(2)});
        }
        return rows;
    }

    bool anyHourglass() const {
        for (QWidget* w : {static_cast<QWidget*>(form->TabellenNamen),
                           static_cast<QWidget*>(form->AliasBox), form->TablePage})
            if (w->testAttribute(Qt::WA_SetCursor)) return true;
        return false;
    }

    test::LocaleScope german{"de_DE.UTF-8"};
    test::ScriptedPromptsScope prompts;
    test::SessionAliases aliases;
    std::string directory;
    std::string emptyDirectory;
    std::unique_ptr<TTabellenForm> form;
};

TEST_F(BrowserTest, ChoosingAnAliasListsEveryTableFileSortedAndExpanded) {
    chooseLager();
    EXPECT_EQ(treeTexts(form->TabellenNamen),
              QStringList({"Tabellen", "ALLTYPES.DB", "FREMD.DB", "GEHEIM.DB", "KAPUTT.DB",
                           "LOSE.DB", "MIX.Dbf", "POSTEN.DB", "PREISE.TXT", "TEILE.DBF"}));
    EXPECT_TRUE(form->TabellenNamen->topLevelItem(0)->isExpanded());
    EXPECT_EQ(form->Panel7->text(), QString::fromStdString(directory));
    EXPECT_FALSE(anyHourglass());
    EXPECT_TRUE(Session().passwords().empty());
}

// Table nodes are sorted once by the locale's collation, letter case included: not by bytes.
TEST_F(BrowserTest, TableNodesFollowTheLocalesCaseSensitiveCollation) {
    const std::string dir = aliases.addAlias("SORTIERT");
    for (const char* name : {"b.DB", "A.DB", "a.DB", "B.DB", "Ärger.DB", "Zoll.DBF", "zoll.TXT",
                             "zoll.SCH", "1.DB", "Apfel.DB"})
        std::ofstream(dir + "/" + name);
    form = std::make_unique<TTabellenForm>(Session());
    test::chooseAlias(*form, "SORTIERT");
    EXPECT_EQ(treeTexts(form->TabellenNamen),
              QStringList({"Tabellen", "1.DB", "a.DB", "A.DB", "Apfel.DB", "Ärger.DB", "b.DB",
                           "B.DB", "Zoll.DBF", "zoll.TXT"}));
}

// Panel8 says which code page the clicked table is read with and where it comes from.
TEST_F(BrowserTest, TheCodePageOfTheClickedTableAndItsOriginAreShown) {
    const std::string dir = aliases.addAlias("KYRILL");
    aliases.append("CODEPAGE=866\n");
    auto cyrillic = std::make_shared<dbase::DbaseProperties>();
    cyrillic->level = dbase::DbfLevel::III;
    cyrillic->ldid = 0;  // names no code page
    cyrillic->codePage = 866;
    test::writeTable(dir, "ORTE.DBF", TTableType::ttDBase, {{"ГОРОД", FT::ftString, 20}}, {}, {},
                     cyrillic);
    form = std::make_unique<TTabellenForm>(Session());
    form->show();

    test::chooseAlias(*form, "KYRILL");
    clickTable(*form, "ORTE.DBF");
    EXPECT_EQ(form->Panel8->text(), QStringLiteral("CP 866 (Einstellung)"));
    EXPECT_EQ(fieldRows().at(0)[0], QStringLiteral("ГОРОД"));
    // The whole text fits the panel.
    EXPECT_LE(form->Panel8->fontMetrics().horizontalAdvance(form->Panel8->text()),
              form->Panel8->contentsRect().width());

    chooseLager();
    EXPECT_TRUE(form->Panel8->text().isEmpty());
    clickTable(*form, "POSTEN.DB");
    EXPECT_EQ(form->Panel8->text(), QStringLiteral("CP 1252 (Tabelle)"));
}

// Index definition files and reports beside the tables are text files without a schema: they
// are no tables and stay out of the tree.
TEST_F(BrowserTest, TextFilesWithoutASchemaAreNoTables) {
    const std::string dir = aliases.addAlias("BERICHTE");
    for (const char* name : {"KUNDEN.DB", "KUNDEN.DB.Index.txt", "KUNDEN.DB.txt", "PREISE.TXT",
                             "PREISE.SCH", "notiz.txt"})
        std::ofstream(dir + "/" + name);
    form = std::make_unique<TTabellenForm>(Session());
    test::chooseAlias(*form, "BERICHTE");
    EXPECT_EQ(treeTexts(form->TabellenNamen), QStringList({"Tabellen", "KUNDEN.DB", "PREISE.TXT"}));
}

TEST_F(BrowserTest, AnAliasWithoutTablesShowsTheRootAlone) {
    chooseLager();
    test::chooseAlias(*form, "LEER");
    EXPECT_EQ(treeTexts(form->TabellenNamen), QStringList({"Tabellen"}));
    EXPECT_TRUE(form->TabellenNamen->topLevelItem(0)->isExpanded());
    EXPECT_EQ(form->Panel7->text(), QString::fromStdString(emptyDirectory));
}

TEST_F(BrowserTest, TypedAliasCompletesToTheFirstAliasAndListsIt) {
    form->AliasBox->lineEdit()->setFocus();
    QTest::keyClicks(form->AliasBox->lineEdit(), "la");
    EXPECT_EQ(form->AliasBox->currentText(), "LAGER");
    EXPECT_EQ(form->AliasBox->currentIndex(), form->AliasBox->findText("LAGER"));
    EXPECT_EQ(form->AliasBox->lineEdit()->selectedText(), "GER");
    EXPECT_EQ(form->TabellenNamen->topLevelItem(0)->childCount(), 9);

    // Deleting completes nothing and leaves the tree alone; the text keeps the alias's letters.
    QTest::keyClick(form->AliasBox->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(form->AliasBox->currentText(), "LA");
    QTest::keyClick(form->AliasBox->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(form->AliasBox->currentText(), "L");
    EXPECT_EQ(form->TabellenNamen->topLevelItem(0)->childCount(), 9);
    QTest::keyClicks(form->AliasBox->lineEdit(), "e");
    EXPECT_EQ(form->AliasBox->currentText(), "LEER");
    EXPECT_EQ(treeTexts(form->TabellenNamen), QStringList({"Tabellen"}));

    // Typing over the whole text completes again, however short the new text.
    form->AliasBox->lineEdit()->selectAll();
    QTest::keyClicks(form->AliasBox->lineEdit(), "la");
    EXPECT_EQ(form->AliasBox->currentText(), "LAGER");
    EXPECT_EQ(form->TabellenNamen->topLevelItem(0)->childCount(), 9);
}

TEST_F(BrowserTest, AliasTextInOtherCaseWithoutAChosenItemShowsThePathButNoTables) {
    form->AliasBox->setEditText("lager");
    EXPECT_EQ(form->Panel7->text(), QString::fromStdString(directory));
    EXPECT_EQ(treeTexts(form->TabellenNamen), QStringList({"Tabellen"}));
}

TEST_F(BrowserTest, UnknownAliasTextChangesNothing) {
    chooseLager();
    clickTable(*form, "LOSE.DB");
    const QStringList tree = treeTexts(form->TabellenNamen);
    form->AliasBox->setEditText("LAGERX");
    EXPECT_EQ(treeTexts(form->TabellenNamen), tree);
    EXPECT_EQ(form->Panel7->text(), QString::fromStdString(directory));
    EXPECT_EQ(form->TabString->text(), "LOSE.DB");
    EXPECT_TRUE(form->DruckBtn->isEnabled());
    EXPECT_TRUE(form->AddFeldBtn->isEnabled());
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 2);
}

// Field rows of every type: name, type text (with the key marker) and length.
struct FieldRowsCase {
    const char* table;
    std::vector<std::array<const char*, 3>> rows;
    std::vector<const char*> indexes;
};

class FieldRows : public BrowserTest, public testing::WithParamInterface<FieldRowsCase> {};

TEST_P(FieldRows, ShowNameTypeAndLength) {
    chooseLager();
    clickTable(*form, GetParam().table);
    std::vector<std::array<QString, 3>> expected;
    for (const auto& row : GetParam().rows)
        expected.push_back({QString::fromUtf8(row[0]), row[1], row[2]});
    EXPECT_EQ(fieldRows(), expected);
    QStringList indexes;
    for (const char* index : GetParam().indexes) indexes << index;
    EXPECT_EQ(columnTexts(form->ListView2, 0), indexes);
    EXPECT_EQ(form->TabString->text(), GetParam().table);
    EXPECT_TRUE(form->DruckBtn->isEnabled());
    EXPECT_TRUE(form->AddFeldBtn->isEnabled());
    EXPECT_FALSE(form->PdxTable->Active());
    EXPECT_TRUE(Session().passwords().empty());
    EXPECT_FALSE(anyHourglass());
    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes[0].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Tables, FieldRows,
    testing::Values(
        FieldRowsCase{"ALLTYPES.DB",
                      {{"ID", "String (*)", "10"},
                       {"NAME", "String", "20"},
                       {"ZAHL", "Float", "8"},
                       {"GELD", "Currency", "8"},
                       {"KLEIN", "SmallInt", "2"},
                       {"LANG", "Integer", "4"},
                       {"BCD2", "BCD", "2"},
                       {"BCD0", "BCD", "34"},
                       {"DATUM", "Date", "4"},
                       {"ZEIT", "Time", "4"},
                       {"STEMPEL", "DateTime", "8"},
                       {"LOGISCH", "Boolean", "2"},
                       {"ZAEHLER", "Unknown", "4"},
                       {"ROH", "Bytes", "8"},
                       {"MEMO", "Memo", "20"},
                       {"BINAER", "Blob", "10"},
                       {"FMEMO", "Unknown", "0"},
                       {"OLE", "Unknown", "0"},
                       {"GRAFIK", "Graphic", "16"}},
                      {"ID", "NAME", "KLEIN;LANG"}},
        // Both fields of a composite key carry the marker.
        FieldRowsCase{"POSTEN.DB",
                      {{"AUFTRAG", "Integer (*)", "4"},
                       {"POS", "SmallInt (*)", "2"},
                       {"TEXT", "String", "30"}},
                      {"AUFTRAG;POS"}},
        FieldRowsCase{"LOSE.DB", {{"TEXT", "String", "30"}, {"WERT", "Float", "8"}}, {}},
        // dBase: no primary index, so no marker; the expression tag shows an empty row. As
        // dBase names them, whole numbers of 5 to 9 digits are Float and binary fields typed
        // binary ("Unknown", 0).
        FieldRowsCase{"TEILE.DBF",
                      {{"TEILNR", "String", "8"},
                       {"MENGE", "SmallInt", "2"},
                       {"ANZAHL", "Float", "8"},
                       {"GROSS", "Float", "8"},
                       {"PREIS", "Float", "8"},
                       {"FWERT", "Float", "8"},
                       {"DATUM", "Date", "4"},
                       {"OK", "Boolean", "2"},
                       {"NOTIZ", "Memo", "10"},
                       {"BILD", "Unknown", "0"},
                       {"OLE", "Unknown", "0"},
                       {"LANG", "Integer", "4"},
                       {"ZAEHLER", "Unknown", "4"},
                       {"DOPPELT", "Float", "8"},
                       {"STEMPEL", "DateTime", "8"}},
                      {"TEILNR", ""}},
        FieldRowsCase{
            "PREISE.TXT",
            {{"ARTNR", "String", "8"}, {"PREIS", "Float", "8"}, {"GUELTIGAB", "Date", "4"}},
            {}},
        // Opened with the four passwords, without asking the user.
        FieldRowsCase{"GEHEIM.DB", {{"CODE", "String", "12"}}, {}}),
    [](const auto& info) {
        std::string name = info.param.table;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

// Mode 2 speaks the definition window's codes, never marks a key field and ignores `position`.
TEST_F(BrowserTest, DefinitionModeAppendsCodesToTheThreeLists) {
    TTable table;
    table.DatabaseName = "LAGER";
    table.TableName = "ALLTYPES.DB";
    table.TableType = TTableType::ttParadox;
    table.Open();
    QListWidget names, types, sizes;
    names.addItem("vorher");
    types.addItem("A");
    sizes.addItem("1");
    std::vector<std::string> fields;
    table.GetFieldNames(fields);
    for (const std::string& field : fields)
        form->GetFeldInfos(QString::fromStdString(field), table, 2, 0, {&names, &types, &sizes});

    const QStringList expectedTypes = {"A",     "A",   "A",    "F", "$",  "S",      "I",
                                       "BCD",   "BCD", "D",    "T", "DT", "B",      "U",
                                       "Bytes", "M",   "Blob", "U", "U",  "Graphic"};
    const QStringList expectedSizes = {"1", "10", "20", "8", "8", "2",  "4",  "2", "34", "4",
                                       "4", "8",  "2",  "4", "8", "20", "10", "0", "0",  "16"};
    ASSERT_EQ(names.count(), 20);
    EXPECT_EQ(names.item(1)->text(), "ID");
    EXPECT_EQ(names.item(19)->text(), "GRAFIK");
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(types.item(i)->text(), expectedTypes[i]) << i;
        EXPECT_EQ(sizes.item(i)->text(), expectedSizes[i]) << i;
    }
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
    EXPECT_THROW(form->GetFeldInfos("ID", table, 2, 0), std::invalid_argument);
}

TEST_F(BrowserTest, IndexTextFollowsIndexRowClicksOnly) {
    chooseLager();
    clickTable(*form, "ALLTYPES.DB");
    clickItem(form->ListView2, form->ListView2->topLevelItem(2));
    EXPECT_EQ(form->IndexText->text(), "KLEIN;LANG");

    // A click beside the rows selects nothing and leaves the label alone.
    clickBesideTheItems(form->ListView2);
    EXPECT_TRUE(form->ListView2->selectedItems().isEmpty());
    EXPECT_EQ(form->IndexText->text(), "KLEIN;LANG");

    // Another table: only its fields and indexes, while the label keeps the first table's index.
    clickTable(*form, "TEILE.DBF");
    EXPECT_EQ(form->ListView1->topLevelItem(0)->text(0), "TEILNR");
    EXPECT_EQ(columnTexts(form->ListView2, 0), QStringList({"TEILNR", ""}));
    EXPECT_EQ(form->IndexText->text(), "KLEIN;LANG");

    // Nor does an alias change empty it; the expression tag's row gives an empty text.
    clickItem(form->ListView2, form->ListView2->topLevelItem(1));
    EXPECT_EQ(form->IndexText->text(), "");
    clickItem(form->ListView2, form->ListView2->topLevelItem(0));
    test::chooseAlias(*form, "LEER");
    EXPECT_EQ(form->IndexText->text(), "TEILNR");
    EXPECT_TRUE(form->TabString->text().isEmpty());
    EXPECT_FALSE(form->DruckBtn->isEnabled());
    EXPECT_FALSE(form->AddFeldBtn->isEnabled());
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
}

TEST_F(BrowserTest, IndexTextTakesTheFirstSelectedRowInListOrder) {
    chooseLager();
    clickTable(*form, "ALLTYPES.DB");
    clickItem(form->ListView2, form->ListView2->topLevelItem(2));
    form->ListView2->scrollToItem(form->ListView2->topLevelItem(1));
    QTest::mouseClick(form->ListView2->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      form->ListView2->visualItemRect(form->ListView2->topLevelItem(1)).center());
    EXPECT_EQ(form->ListView2->selectedItems().size(), 2);
    EXPECT_EQ(form->IndexText->text(), "NAME");
}

// A click on the root, or beside every node, only disables "Add Field".
TEST_F(BrowserTest, ClickOnTheRootOrBesideTheNodesKeepsTheChosenTable) {
    chooseLager();
    clickTable(*form, "POSTEN.DB");
    for (const bool onRoot : {true, false}) {
        SCOPED_TRACE(onRoot ? "root" : "beside");
        form->AddFeldBtn->setEnabled(true);
        if (onRoot) {
            clickItem(form->TabellenNamen, form->TabellenNamen->topLevelItem(0));
        } else {
            clickBesideTheItems(form->TabellenNamen);
        }
        EXPECT_FALSE(form->AddFeldBtn->isEnabled());
        EXPECT_TRUE(form->DruckBtn->isEnabled());
        EXPECT_EQ(form->TabString->text(), "POSTEN.DB");
        EXPECT_EQ(form->ListView1->topLevelItemCount(), 3);
        EXPECT_EQ(form->ListView2->topLevelItemCount(), 1);
        EXPECT_TRUE(Session().passwords().empty());
        EXPECT_FALSE(anyHourglass());
    }
}

TEST_F(BrowserTest, MovingTheSelectionByKeyboardDoesNotReload) {
    chooseLager();
    clickTable(*form, "POSTEN.DB");
    form->TabellenNamen->setFocus();
    QTest::keyClick(form->TabellenNamen, Qt::Key_Down);
    EXPECT_EQ(form->TabellenNamen->currentItem()->text(0), "PREISE.TXT");
    EXPECT_EQ(form->TabString->text(), "POSTEN.DB");
    EXPECT_EQ(form->ListView1->topLevelItem(0)->text(0), "AUFTRAG");
}

// A table the engine cannot open: its name is chosen, both lists are empty, the engine's message
// reaches the error box after the table is closed, the passwords are gone and the cursor is back.
struct UnopenableCase {
    const char* table;
    const char* messagePart;
};

class UnopenableTable : public BrowserTest, public testing::WithParamInterface<UnopenableCase> {};

TEST_P(UnopenableTable, LeavesTheNameChosenAndBothListsEmpty) {
    chooseLager();
    clickTable(*form, "ALLTYPES.DB");
    bool cleanWhenShown = false;
    struct ObservingPrompts : test::ScriptedPrompts {
        std::function<void()> onError;
        void ShowErrorBox(const QString& text) override {
            onError();
            ScriptedPrompts::ShowErrorBox(text);
        }
    } observing;
    observing.onError = [&] {
        cleanWhenShown =
            Session().passwords().empty() && !form->PdxTable->Active() && !anyHourglass();
    };
    const PromptsOverride useObserving(observing);

    clickTable(*form, GetParam().table);

    ASSERT_EQ(observing.errorBoxes.size(), 1u);
    EXPECT_TRUE(observing.errorBoxes[0].contains(GetParam().messagePart))
        << observing.errorBoxes[0].toStdString();
    EXPECT_TRUE(cleanWhenShown);
    EXPECT_EQ(form->TabString->text(), GetParam().table);
    EXPECT_TRUE(form->DruckBtn->isEnabled());
    EXPECT_TRUE(form->AddFeldBtn->isEnabled());
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
    EXPECT_EQ(form->ListView2->topLevelItemCount(), 0);
    EXPECT_TRUE(Session().passwords().empty());
}

INSTANTIATE_TEST_SUITE_P(Tables, UnopenableTable,
                         testing::Values(UnopenableCase{"KAPUTT.DB", "KAPUTT.DB"},
                                         UnopenableCase{"FREMD.DB", "password"},
                                         // A mixed-case ".Dbf" opens as Paradox, which it is not.
                                         UnopenableCase{"MIX.Dbf", "MIX.Dbf"}),
                         [](const auto& info) {
                             std::string name = info.param.table;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST_F(BrowserTest, ATableRemovedAfterListingFailsCleanly) {
    chooseLager();
    std::filesystem::remove(directory + "/LOSE.DB");
    clickTable(*form, "LOSE.DB");
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_TRUE(prompts.errorBoxes[0].contains("LOSE.DB"));
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
    EXPECT_TRUE(Session().passwords().empty());
}

// The engine asks for a password the four lack, saying so when a typed one did not fit; the one
// that fits leaves the session as well.
TEST_F(BrowserTest, PasswordOutsideTheFourIsAskedForAndRemovedAfterwards) {
    installPasswordPrompt(Session());
    chooseLager();
    prompts.passwordAnswers = {QStringLiteral("falsch"), QStringLiteral("fremdes")};
    clickTable(*form, "FREMD.DB");
    Session().OnPassword = nullptr;
    ASSERT_EQ(prompts.passwordRequests.size(), 2u);
    EXPECT_TRUE(prompts.passwordRequests[0].endsWith("FREMD.DB"));
    EXPECT_EQ(prompts.passwordToldWrong, (std::vector<bool>{false, true}));
    EXPECT_EQ(form->ListView1->topLevelItem(0)->text(0), "CODE");
    EXPECT_TRUE(Session().passwords().empty());
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

struct TableTypeCase {
    const char* name;
    TTableType type;
};

class TableTypeRule : public testing::TestWithParam<TableTypeCase> {};

TEST_P(TableTypeRule, ByExactSpellingOfTheExtension) {
    EXPECT_EQ(TableTypeOfName(GetParam().name), GetParam().type) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Names, TableTypeRule,
                         testing::Values(TableTypeCase{"KUNDEN.DB", TTableType::ttParadox},
                                         TableTypeCase{"kunden.db", TTableType::ttParadox},
                                         TableTypeCase{"KUNDEN", TTableType::ttParadox},
                                         TableTypeCase{"ARTIKEL.DBF", TTableType::ttDBase},
                                         TableTypeCase{"artikel.dbf", TTableType::ttDBase},
                                         TableTypeCase{"Artikel.Dbf", TTableType::ttParadox},
                                         TableTypeCase{"artikel.dBF", TTableType::ttParadox},
                                         TableTypeCase{"PREISE.TXT", TTableType::ttASCII},
                                         TableTypeCase{"preise.txt", TTableType::ttASCII},
                                         TableTypeCase{"preise.Txt", TTableType::ttParadox},
                                         // The text test comes last and wins.
                                         TableTypeCase{"ALT.DBF.TXT", TTableType::ttASCII},
                                         TableTypeCase{"alt.txt.dbf", TTableType::ttASCII},
                                         // Substring tests: the strings count anywhere in the name.
                                         TableTypeCase{"A.DBFX", TTableType::ttDBase}));

// The engine's names are the file system's bytes; a QString in between must give them back.
struct OemCase {
    const char* label;
    std::string bytes;
};

class OemAnsiRoundTrip : public testing::TestWithParam<OemCase> {};

TEST_P(OemAnsiRoundTrip, GivesBackTheSameBytes) {
    EXPECT_EQ(AnsiToOem(OemToAnsi(GetParam().bytes)), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Names, OemAnsiRoundTrip,
                         testing::Values(OemCase{"Ascii", "/daten/morvane"},
                                         OemCase{"Umlauts",
                                                 "/daten/B\xc3\xbc"
                                                 "cher"},
                                         OemCase{"FourByteUtf8", "/daten/\xf0\x9f\x93\x81"},
                                         OemCase{"Latin1Byte",
                                                 "/daten/B\xfc"
                                                 "cher"},
                                         OemCase{"StrayContinuation", "/x\x80\xbf/y"},
                                         OemCase{"Overlong", "/x\xc0\xaf"},
                                         OemCase{"EncodedSurrogate", "/x\xed\xa0\x80"},
                                         OemCase{"CutShort", "/x\xe2\x82"}, OemCase{"Empty", ""}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(OemAnsi, ValidUtf8ReadsAsItsCharacters) {
    EXPECT_EQ(OemToAnsi("B\xc3\xbc"
                        "cher"),
              QStringLiteral("Bücher"));
    EXPECT_EQ(AnsiToOem(QStringLiteral("Bücher")),
              "B\xc3\xbc"
              "cher");
}

class AliasPathTest : public testing::Test {
  protected:
    test::SessionAliases aliases;
};

TEST_F(AliasPathTest, DirectoryOfAFileAliasWithNonAsciiNames) {
    const std::pair<std::string, std::string> directories[] = {{"UTF",
                                                                "B\xc3\xbc"
                                                                "cher"},
                                                               {"LATIN",
                                                                "B\xfc"
                                                                "cher"}};
    for (const auto& [alias, dirName] : directories) {
        SCOPED_TRACE(alias);
        const std::string dir = aliases.addAlias(alias, dirName);
        const QString path = GetAliasPath(QString::fromStdString(alias));
        EXPECT_EQ(AnsiToOem(path), dir);
        EXPECT_TRUE(std::filesystem::is_directory(AnsiToOem(path)));
    }
}

TEST_F(AliasPathTest, ServerAliasGivesItsServerName) {
    aliases.addServerAlias("ZENTRALE", "srv01:/daten/zentrale.gdb");
    EXPECT_EQ(GetAliasPath("zentrale"), "srv01:/daten/zentrale.gdb");
}

TEST_F(AliasPathTest, UnknownAliasRaisesTheEnginesError) {
    aliases.addAlias("LAGER");
    try {
        GetAliasPath("NIRGENDS");
        FAIL() << "no error";
    } catch (const EDBEngineError& error) {
        EXPECT_NE(std::string(error.what()).find("NIRGENDS"), std::string::npos);
    }
}

TEST_F(AliasPathTest, APathLongerThanTheDescriptionHoldsIsRefusedNotCut) {
    const std::string dir =
        aliases.addAlias("TIEF", std::string(250, 'v') + "/" + std::string(40, 'w'));
    EXPECT_THROW(GetAliasPath("TIEF"), EDBEngineError);
}

// Names longer than the engine's 31-character field: the whole name counts, also beside an
// alias named like its first 31 characters; a longer name the configuration lacks still finds
// the alias of its first 31 characters.
TEST_F(AliasPathTest, LongAliasNamesAreLookedUpWhole) {
    const std::string cut = "SEHR_LANGER_ALIASNAME_MIT_VIERZ";
    ASSERT_EQ(cut.size(), 31u);
    const std::string cutDir = aliases.addAlias(cut, "kurz");
    const std::string longDir = aliases.addAlias(cut + "IG_ZEICHEN", "lang");
    EXPECT_EQ(GetAliasPath(QString::fromStdString(cut + "IG_ZEICHEN")),
              QString::fromStdString(longDir));
    EXPECT_EQ(GetAliasPath(QString::fromStdString(cut)), QString::fromStdString(cutDir));
    EXPECT_EQ(GetAliasPath(QString::fromStdString(cut + "_UNBEKANNT")),
              QString::fromStdString(cutDir));
}

TEST_F(AliasPathTest, MainWindowDelegates) {
    test::testApplication();
    const std::string dir = aliases.addAlias("LAGER");
    const TTabellenForm form(Session());
    EXPECT_EQ(form.GetAliasPath("LAGER"), QString::fromStdString(dir));
}

}  // namespace
}  // namespace kx4

namespace kx4 {
namespace {

struct BrokenMemo {
    const char* name;
    const char* table;
    const char* memo;
    bool cutToTenBytes;  // else removed
};

class MissingMemoFile : public BrowserTest, public testing::WithParamInterface<BrokenMemo> {};

// Without a usable memo file a table's records cannot all be read, but its structure shows.
TEST_P(MissingMemoFile, StillShowsTheStructure) {
    const BrokenMemo& c = GetParam();
    chooseLager();
    clickTable(*form, c.table);
    const auto rows = fieldRows();
    ASSERT_FALSE(rows.empty());
    clickTable(*form, "LOSE.DB");
    const std::string memo = directory + "/" + c.memo;
    if (c.cutToTenBytes)
        std::filesystem::resize_file(memo, 10);
    else
        std::filesystem::remove(memo);
    clickTable(*form, c.table);
    EXPECT_EQ(fieldRows(), rows);
    EXPECT_EQ(form->TabString->text(), c.table);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, MissingMemoFile,
    testing::Values(BrokenMemo{"ParadoxMissing", "ALLTYPES.DB", "ALLTYPES.MB", false},
                    BrokenMemo{"DBaseMissing", "TEILE.DBF", "TEILE.DBT", false},
                    BrokenMemo{"DBaseHeaderCut", "TEILE.DBF", "TEILE.DBT", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kx4

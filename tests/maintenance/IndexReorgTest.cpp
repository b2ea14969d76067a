// "Reorg Idxs": definition file, drop and recreate, restore from an earlier run.
#include <QDateTime>
#include <QEvent>
#include <QLabel>
#include <QRegularExpression>
#include <filesystem>
#include <fstream>

#include "tests/maintenance/MaintenanceTestSupport.h"
#include "ui/AliasPath.h"

namespace kx4 {
namespace {

using test::ShowRecorder;

class IndexReorg : public test::MaintenanceTest {
  protected:
    // POSTEN.DB: a key on two fields and two secondary indexes, one of them unique.
    void createOrderLines(bool withIndexes = true) {
        const std::string t = "POSTEN.DB";
        TableSchema schema{
            {field(t, "AUFTRAG", TFieldType::ftInteger), field(t, "POS", TFieldType::ftSmallint),
             field(t, "ARTNR", TFieldType::ftString, 8), field(t, "KUNDE", TFieldType::ftInteger),
             field(t, "LIEFERDATUM", TFieldType::ftDate), field(t, "TEXT", TFieldType::ftMemo, 20)},
            {}};
        if (withIndexes)
            schema.indexes = {
                indexOn("", "AUFTRAG;POS", IndexOption::ixPrimary),
                indexOn("ARTIDX", "ARTNR", IndexOption::ixUnique),
                indexOn("KUNDE_DATUM", "KUNDE;LIEFERDATUM", IndexOption::ixCaseInsensitive)};
        std::vector<Record> records;
        for (int i = 0; i < 30; ++i)
            records.push_back({std::int64_t{100 + i / 3}, std::int64_t{i % 3 + 1},
                               std::string("A-") + std::to_string(1000 + i),
                               std::int64_t{7 - i % 7}, dateFromYmd(2024, 1 + i % 12, 1 + i % 28),
                               i % 4 == 0
                                   ? FieldValue(std::string("Eilt, Nr. ") + std::to_string(i))
                                   : FieldValue(Blank{})});
        createTable(t, schema, records);
    }

    void reorg(std::optional<QString> typed) {
        prompts.inputAnswers.push_back(std::move(typed));
        press(&TTabellenForm::IndexReorgBtnClick);
    }
    void reorg(const char* table) {
        chooseTable(table);
        reorg(std::optional<QString>(QString::fromUtf8(table)));
    }

    std::string definitionFile(const std::string& table) const {
        return tablePath(table) + ".Index.txt";
    }
    std::string contentOf(const std::string& path) const {
        const std::vector<char> bytes = test::readFileBytes(path);
        return std::string(bytes.begin(), bytes.end());
    }
    std::vector<std::string> problemsOf(const std::string& table) const {
        TTable reader;
        reader.DatabaseName = "DEMO";
        reader.TableName = table;
        reader.Open();
        return reader.File().check();
    }
};

TEST_F(IndexReorg, KeyOnTwoFieldsAndTwoSecondaryIndexesAreRebuilt) {
    createOrderLines();
    const std::string records = test::dumpTable("DEMO", "POSTEN.DB");
    ShowRecorder waitPanel(form->WartePanel, form->Label2);
    reorg("POSTEN.DB");

    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front();
    ASSERT_EQ(prompts.inputs.size(), 1u);
    EXPECT_EQ(prompts.inputs[0].caption, "Tabelle: ");
    EXPECT_EQ(prompts.inputs[0].prompt, "Tabellen-Name: ");
    EXPECT_EQ(prompts.inputs[0].preset, "POSTEN.DB");

    EXPECT_EQ(contentOf(definitionFile("POSTEN.DB")),
              "AUFTRAG;POS*\r\nARTNR\r\nKUNDE;LIEFERDATUM\r\n");
    const std::vector<IndexDef> indexes = indexesOf("POSTEN.DB");
    ASSERT_EQ(indexes.size(), 3u);
    EXPECT_EQ(indexes[0].name, "");
    EXPECT_EQ(indexes[0].fields, "AUFTRAG;POS");
    EXPECT_TRUE(indexes[0].options.has(IndexOption::ixPrimary));
    EXPECT_EQ(indexes[1].name, "_ARTNR");  // the old name and uniqueness are not kept
    EXPECT_EQ(indexes[1].fields, "ARTNR");
    EXPECT_TRUE(indexes[1].options.has(IndexOption::ixCaseInsensitive));
    EXPECT_FALSE(indexes[1].options.has(IndexOption::ixUnique));
    EXPECT_EQ(indexes[2].name, "_KUNDE&LIEFERDATUM");
    EXPECT_EQ(indexes[2].fields, "KUNDE;LIEFERDATUM");

    EXPECT_EQ(indexRows(), QStringList({"AUFTRAG;POS", "ARTNR", "KUNDE;LIEFERDATUM"}));
    EXPECT_EQ(test::dumpTable("DEMO", "POSTEN.DB"), records);
    EXPECT_TRUE(problemsOf("POSTEN.DB").empty());
    EXPECT_EQ(waitPanel.shownWith, QStringList({"(Indizes werden neu angelegt)"}));
    EXPECT_FALSE(form->WartePanel->isVisibleTo(form.get()));
    EXPECT_EQ(form->Label2->text(), "(Indizes werden neu angelegt)");  // kept after the run
}

// A table named in an old code page, shown as the browser shows it: the name keeps its bytes on
// the way to the engine and to the definition file.
TEST_F(IndexReorg, ATableNamedInAnOldCodePageKeepsItsBytes) {
    const std::string t =
        "B\xFC"
        "CHER.DB";
    createTable(
        t, {{field(t, "NR", TFieldType::ftInteger)}, {indexOn("", "NR", IndexOption::ixPrimary)}});
    chooseTable(OemToAnsi(t));
    reorg(std::optional<QString>(OemToAnsi(t)));
    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front();
    EXPECT_EQ(contentOf(definitionFile(t)), "NR*\r\n");
    EXPECT_EQ(indexRows(), QStringList({"NR"}));
}

TEST_F(IndexReorg, AKeyAloneComesBackAlone) {
    reorg("KUNDEN.DB");
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_EQ(contentOf(definitionFile("KUNDEN.DB")), "KUNDENNR*\r\n");
    const std::vector<IndexDef> indexes = indexesOf("KUNDEN.DB");
    ASSERT_EQ(indexes.size(), 1u);
    EXPECT_EQ(indexes[0].fields, "KUNDENNR");
    EXPECT_TRUE(indexes[0].options.has(IndexOption::ixPrimary));
}

TEST_F(IndexReorg, ASecondaryIndexOverTheKeyIsNotCreatedAgain) {
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = "KUNDEN.DB";
    table.AddIndex("NRIDX", "KUNDENNR", IndexOption::ixCaseInsensitive);
    table.AddIndex("ORTIDX", "ORT", IndexOption::ixCaseInsensitive);
    reorg("KUNDEN.DB");
    EXPECT_EQ(contentOf(definitionFile("KUNDEN.DB")), "KUNDENNR*\r\nORT\r\n");
    EXPECT_EQ(indexRows(), QStringList({"KUNDENNR", "ORT"}));
}

TEST_F(IndexReorg, LongFieldListsGetADateAndTimeName) {
    const std::string t = "ADRESSEN.DB";
    createTable(t,
                {{field(t, "NR", TFieldType::ftInteger),
                  field(t, "RECHNUNGSANSCHRIFT", TFieldType::ftString, 40),
                  field(t, "LIEFERANSCHRIFT", TFieldType::ftString, 40)},
                 {indexOn("", "NR", IndexOption::ixPrimary),
                  indexOn("ANSCHRIFTEN", "RECHNUNGSANSCHRIFT;LIEFERANSCHRIFT",
                          IndexOption::ixCaseInsensitive)}},
                {{std::int64_t{1}, std::string("Hauptstr. 1"), std::string("Lager 2")}});
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    reorg("ADRESSEN.DB");
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    const std::vector<IndexDef> indexes = indexesOf(t);
    ASSERT_EQ(indexes.size(), 2u) << prompts.errorBoxes.front();
    const QString name = QString::fromStdString(indexes[1].name);
    const auto match = QRegularExpression(QStringLiteral("^_(\\d{14})1$")).match(name);
    ASSERT_TRUE(match.hasMatch()) << name;
    const QDateTime stamp =
        QDateTime::fromString(match.captured(1), QStringLiteral("ddMMyyyyHHmmss"));
    EXPECT_TRUE(stamp >= before.addMSecs(-before.time().msec()) && stamp <= after) << name;
    EXPECT_EQ(indexes[1].fields, "RECHNUNGSANSCHRIFT;LIEFERANSCHRIFT");
}

TEST_F(IndexReorg, LostIndexesComeBackFromAnEarlierRun) {
    createOrderLines();
    reorg("POSTEN.DB");
    const std::string file = contentOf(definitionFile("POSTEN.DB"));
    createOrderLines(/*withIndexes=*/false);  // the index files are gone
    ASSERT_TRUE(indexesOf("POSTEN.DB").empty());

    reorg("POSTEN.DB");
    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front();
    EXPECT_EQ(indexRows(), QStringList({"AUFTRAG;POS", "ARTNR", "KUNDE;LIEFERDATUM"}));
    EXPECT_TRUE(indexesOf("POSTEN.DB").at(0).options.has(IndexOption::ixPrimary));
    EXPECT_TRUE(problemsOf("POSTEN.DB").empty());
    EXPECT_EQ(contentOf(definitionFile("POSTEN.DB")), file);  // read, not rewritten
    EXPECT_FALSE(std::filesystem::exists(definitionFile("POSTEN.DB") + ".bak"));
}

TEST_F(IndexReorg, WithoutIndexesAndWithoutAFileTheErrorNamesTheFile) {
    createOrderLines(/*withIndexes=*/false);
    const std::string before = snapshot();
    reorg("POSTEN.DB");
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_EQ(prompts.errorBoxes[0], QStringLiteral("Datei %1 kann nicht geöffnet werden.")
                                         .arg(QString::fromStdString(definitionFile("POSTEN.DB"))));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(IndexReorg, ADBaseTableWithIndexesButNoKeyIsRefusedUnchanged) {
    const std::string before = snapshot();
    reorg("ARTIKEL.DBF");
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_NE(prompts.errorBoxes[0].indexOf("ARTIKEL.DBF"), -1) << prompts.errorBoxes[0];
    EXPECT_NE(prompts.errorBoxes[0].indexOf(QStringLiteral("Schlüsselfelder")), -1);
    EXPECT_EQ(snapshot(), before);  // no definition file either
    EXPECT_EQ(indexRows(), QStringList({"ARTNR", ""}));
}

TEST_F(IndexReorg, ADBaseTableWithoutIndexesTakesThemFromAFile) {
    const std::string t = "TEILE.DBF";
    createTable(t,
                {{field(t, "ARTNR", TFieldType::ftString, 8),
                  field(t, "BEZEICH", TFieldType::ftString, 20)},
                 {}},
                {{std::string("B-2"), std::string("Mutter")},
                 {std::string("A-1"), std::string("schraube")}});
    std::ofstream(definitionFile(t), std::ios::binary) << "ARTNR\r\nBEZEICH\r\n";
    reorg("TEILE.DBF");
    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front();
    const std::vector<IndexDef> indexes = indexesOf(t);
    ASSERT_EQ(indexes.size(), 2u);
    EXPECT_EQ(indexes[0].name, "_ARTNR");
    EXPECT_EQ(indexes[0].expression, "UPPER(ARTNR)");
    EXPECT_EQ(indexes[1].name, "_BEZEICH");
    EXPECT_EQ(indexRows(), QStringList({"", ""}));  // expression tags show no field list
    EXPECT_TRUE(problemsOf(t).empty());
}

TEST_F(IndexReorg, CancelInTheInputBoxChangesNothing) {
    createOrderLines();
    markIndexList();
    const std::string before = snapshot();
    chooseTable("POSTEN.DB");
    reorg(std::nullopt);
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(indexListMarked());
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

TEST_F(IndexReorg, TheRetryQuestionNamesTheTypedTable) {
    createOrderLines();
    chooseTable("POSTEN.DB");
    test::OtherProcessLock other(tablePath("POSTEN.DB"));
    ShowRecorder waitPanel(form->WartePanel, form->Label2);
    const std::string before = snapshot();
    prompts.messageAnswers = {mrOk, mrCancel};
    reorg(QStringLiteral("Auftragsposten"));

    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].text,
              QStringLiteral("Tabelle \"Auftragsposten\" konnte nicht exclusiv geöffnet werden - "
                             "OK zu weiterem Versuch?"));
    EXPECT_EQ(prompts.messages[0].buttons, TMsgDlgButtons{mbOK | mbCancel});
    EXPECT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(waitPanel.shownWith.isEmpty());
    EXPECT_EQ(indexRows(), QStringList({"AUFTRAG;POS", "ARTNR", "KUNDE;LIEFERDATUM"}));
}

TEST_F(IndexReorg, TwoIndexesOverTheSameFieldsBothComeBack) {
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = "KUNDEN.DB";
    table.AddIndex("ORT1", "ORT", IndexOption::ixCaseInsensitive);
    table.AddIndex("ORT2", "ORT", IndexOption::ixUnique);
    reorg("KUNDEN.DB");
    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front();
    const std::vector<IndexDef> indexes = indexesOf("KUNDEN.DB");
    ASSERT_EQ(indexes.size(), 3u);
    EXPECT_EQ(indexes[1].name, "_ORT");
    EXPECT_NE(indexes[2].name, "_ORT");
    EXPECT_EQ(indexes[2].fields, "ORT");
}

TEST_F(IndexReorg, AFailingDefinitionLeavesTheOthersCreatedAndIsNamed) {
    createOrderLines(/*withIndexes=*/false);
    std::ofstream(definitionFile("POSTEN.DB"), std::ios::binary)
        << "AUFTRAG;POS*\r\nGIBTESNICHT\r\nARTNR\r\n";
    reorg("POSTEN.DB");
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    const QString message = prompts.errorBoxes[0];
    EXPECT_NE(message.indexOf("\"_GIBTESNICHT\" (GIBTESNICHT)"), -1) << message;
    EXPECT_EQ(message.indexOf("_ARTNR"), -1) << message;
    EXPECT_EQ(indexRows(), QStringList({"AUFTRAG;POS", "ARTNR"}));
}

TEST_F(IndexReorg, ThePreviousDefinitionFileIsKept) {
    reorg("KUNDEN.DB");
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = "KUNDEN.DB";
    table.AddIndex("ORTIDX", "ORT", IndexOption::ixCaseInsensitive);
    reorg("KUNDEN.DB");
    EXPECT_EQ(contentOf(definitionFile("KUNDEN.DB")), "KUNDENNR*\r\nORT\r\n");
    EXPECT_EQ(contentOf(definitionFile("KUNDEN.DB") + ".bak"), "KUNDENNR*\r\n");
}

TEST_F(IndexReorg, ADefinitionFileThatCannotBeWrittenStopsBeforeDropping) {
    createOrderLines();
    std::filesystem::create_directory(definitionFile("POSTEN.DB"));
    const std::vector<IndexDef> before = indexesOf("POSTEN.DB");
    reorg("POSTEN.DB");
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_NE(prompts.errorBoxes[0].indexOf(QString::fromStdString(definitionFile("POSTEN.DB"))),
              -1)
        << prompts.errorBoxes[0];
    EXPECT_EQ(indexesOf("POSTEN.DB"), before);
}

TEST_F(IndexReorg, WithoutAChosenTableNothingHappens) {
    chooseTable("");
    press(&TTabellenForm::IndexReorgBtnClick);
    EXPECT_TRUE(prompts.inputs.empty());
}

}  // namespace
}  // namespace kx4

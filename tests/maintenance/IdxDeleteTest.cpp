// "Del Index" on Paradox and dBase tables of the demo alias.
#include <QLabel>
#include <QTreeWidget>

#include "tests/maintenance/MaintenanceTestSupport.h"

namespace kx4 {
namespace {

using test::DialogAnswer;

class IdxDelete : public test::MaintenanceTest {
  protected:
    // KUNDEN.DB with two more indexes; the list shows its indexes as a table click would.
    void chooseCustomersWithIndexes() {
        TTable table;
        table.DatabaseName = "DEMO";
        table.TableName = "KUNDEN.DB";
        table.AddIndex("ORTIDX", "ORT", IndexOption::ixCaseInsensitive);
        table.AddIndex("NAMEIDX", "NAME;VORNAME", IndexOption::ixCaseInsensitive);
        chooseTable("KUNDEN.DB");
        showIndexes("KUNDEN.DB");
    }
    void showIndexes(const std::string& name) {
        TTable table;
        table.DatabaseName = "DEMO";
        table.TableName = name;
        table.Open();
        form->GetIndexes(table);
    }
    void deleteIndex(DialogAnswer answer) {
        dialog.answers.push_back(std::move(answer));
        press(&TTabellenForm::IdxDelBtnClick);
    }
    std::vector<std::string> indexNames(const std::string& table) const {
        std::vector<std::string> names;
        for (const IndexDef& index : indexesOf(table)) names.push_back(index.name);
        return names;
    }
};

TEST_F(IdxDelete, DeletesTheClickedIndexOfAParadoxTable) {
    chooseCustomersWithIndexes();
    ASSERT_EQ(indexRows(), QStringList({"KUNDENNR", "ORT", "NAME;VORNAME"}));
    selectIndexRow(1);
    deleteIndex({});

    ASSERT_EQ(dialog.seen.size(), 1u);
    const test::DialogSeen& seen = dialog.seen[0];
    EXPECT_EQ(seen.tableName, "KUNDEN.DB");
    EXPECT_EQ(seen.indexName, "ORTIDX");
    EXPECT_FALSE(seen.typPanel || seen.label3 || seen.felderEdit);
    EXPECT_TRUE(seen.indexLabel && seen.indexEdit);
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_EQ(indexNames("KUNDEN.DB"), std::vector<std::string>({"", "NAMEIDX"}));
    EXPECT_EQ(indexRows(), QStringList({"KUNDENNR", "NAME;VORNAME"}));
    EXPECT_TRUE(form->IndexText->text().isEmpty());
}

TEST_F(IdxDelete, DeletesATagOfADBaseTable) {
    chooseTable("ARTIKEL.DBF");
    showIndexes("ARTIKEL.DBF");
    selectIndexRow(0);
    deleteIndex({});
    ASSERT_EQ(dialog.seen.size(), 1u);
    EXPECT_EQ(dialog.seen[0].indexName, "ARTNR");
    EXPECT_EQ(indexNames("ARTIKEL.DBF"), std::vector<std::string>({"BEZEICH"}));
    EXPECT_EQ(indexRows(), QStringList({""}));
}

TEST_F(IdxDelete, TheEmptyCaptionFindsTheExpressionIndex) {
    chooseTable("ARTIKEL.DBF");
    showIndexes("ARTIKEL.DBF");
    selectIndexRow(1);  // UPPER(BEZEICH): an empty field list
    deleteIndex({});
    EXPECT_EQ(dialog.seen.at(0).indexName, "BEZEICH");
    EXPECT_EQ(indexNames("ARTIKEL.DBF"), std::vector<std::string>({"ARTNR"}));
}

TEST_F(IdxDelete, OnlyTheIndexOfTheClickedCaptionIsOfferedAmongSeveralSelected) {
    chooseCustomersWithIndexes();
    selectIndexRow(2);
    for (int row = 0; row < 3; ++row) form->ListView2->topLevelItem(row)->setSelected(true);
    deleteIndex({.ok = false});
    EXPECT_EQ(dialog.seen.at(0).indexName, "NAMEIDX");
}

TEST_F(IdxDelete, OfTwoIndexesWithTheSameFieldsTheLaterIsOffered) {
    chooseCustomersWithIndexes();
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = "KUNDEN.DB";
    table.AddIndex("ORTIDX2", "ORT", IndexOption::ixUnique);
    showIndexes("KUNDEN.DB");
    selectIndexRow(1);
    deleteIndex({});
    EXPECT_EQ(dialog.seen.at(0).indexName, "ORTIDX2");
    EXPECT_EQ(indexNames("KUNDEN.DB"), std::vector<std::string>({"", "ORTIDX", "NAMEIDX"}));
}

TEST_F(IdxDelete, ThePrimaryIndexOffersAnEmptyNameThatGoesToTheEngine) {
    chooseTable("KUNDEN.DB");
    showIndexes("KUNDEN.DB");
    const std::string records = test::dumpTable("DEMO", "KUNDEN.DB");
    selectIndexRow(0);
    deleteIndex({});
    EXPECT_EQ(dialog.seen.at(0).indexName, "");
    EXPECT_TRUE(prompts.errorBoxes.empty());
    EXPECT_TRUE(indexesOf("KUNDEN.DB").empty());
    EXPECT_TRUE(indexRows().isEmpty());
    EXPECT_EQ(test::dumpTable("DEMO", "KUNDEN.DB"), records);
}

TEST_F(IdxDelete, ASecondClickFindsNoNameAfterADeletion) {
    chooseCustomersWithIndexes();
    selectIndexRow(1);
    deleteIndex({});
    form->ListView2->topLevelItem(0)->setSelected(true);  // selected without a click
    deleteIndex({.ok = false});
    EXPECT_EQ(dialog.seen.at(1).indexName, "");
}

TEST_F(IdxDelete, CancelDeletesNothingButShowsTheTableNamedInTheDialog) {
    createTable("ORTE.DB", {{field("ORTE.DB", "PLZ", TFieldType::ftString, 5)},
                            {indexOn("", "PLZ", IndexOption::ixPrimary)}});
    chooseCustomersWithIndexes();
    selectIndexRow(1);
    const std::string before = snapshot();
    deleteIndex({.tableName = "ORTE.DB", .ok = false});
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(indexRows(), QStringList({"PLZ"}));
    EXPECT_EQ(form->IndexText->text(), "ORT");
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

// A table of another kind typed in the dialog is opened by its own type.
TEST_F(IdxDelete, ATypedTableOfAnotherTypeLosesTheNamedIndex) {
    TTable artikel;
    artikel.DatabaseName = "DEMO";
    artikel.TableName = "ARTIKEL.DBF";
    artikel.AddIndex("LAGER", "LAGER", IndexOption::ixCaseInsensitive);
    chooseCustomersWithIndexes();
    selectIndexRow(1);
    deleteIndex({.tableName = "ARTIKEL.DBF", .indexName = "LAGER"});
    EXPECT_TRUE(prompts.messages.empty()) << prompts.messages.front().text;
    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front();
    EXPECT_FALSE(findIndex("ARTIKEL.DBF", "LAGER").has_value());
    EXPECT_TRUE(findIndex("KUNDEN.DB", "ORTIDX").has_value());
}

TEST_F(IdxDelete, WithoutASelectedRowNothingHappens) {
    chooseCustomersWithIndexes();
    form->ListView2->clearSelection();
    press(&TTabellenForm::IdxDelBtnClick);
    EXPECT_TRUE(dialog.seen.empty());
}

TEST_F(IdxDelete, AnUnknownNameIsReportedAfterTheListIsRefreshed) {
    chooseCustomersWithIndexes();
    selectIndexRow(1);
    markIndexList();
    form->ListView2->topLevelItem(0)->setSelected(true);
    deleteIndex({.indexName = "GIBTESNICHT"});
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_NE(prompts.errorBoxes[0].indexOf("GIBTESNICHT"), -1) << prompts.errorBoxes[0];
    EXPECT_EQ(indexRows(), QStringList({"KUNDENNR", "ORT", "NAME;VORNAME"}));
    EXPECT_EQ(form->IndexText->text(), "ORT");  // emptied only after a deletion
}

TEST_F(IdxDelete, RetryThenCancelWhileAnotherProgramHoldsTheTable) {
    chooseCustomersWithIndexes();
    selectIndexRow(2);
    test::OtherProcessLock other(tablePath("KUNDEN.DB"));
    const std::string before = snapshot();
    prompts.messageAnswers = {mrOk, mrCancel};
    deleteIndex({});
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text,
              QStringLiteral("\"KUNDEN.DB\" konnte nicht exclusiv geöffnet werden - OK zu "
                             "weiterem Versuch?"));
    EXPECT_EQ(prompts.errorBoxes.size(), 1u);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(indexRows(), QStringList({"KUNDENNR", "ORT", "NAME;VORNAME"}));
    EXPECT_EQ(form->IndexText->text(), "NAME;VORNAME");
}

}  // namespace
}  // namespace kx4

// The "Daten" page: the record model over every kind of table and order, checked with
// QAbstractItemModelTester and against the engine's cursors; the page driven through the real
// window; the refresh after an operation; the export from the tree's menu.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTableView>
#include <QToolButton>
#include <fstream>
#include <set>

#include "app/DataPage.h"
#include "app/StartUp.h"
#include "engine/paradox/Encryption.h"
#include "engine/paradox/ParadoxProperties.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/BrowserTestSupport.h"
#include "tests/app/ScriptedPrompts.h"
#include "tests/app/TableFixtures.h"
#include "tools/kx4table/DemoDatabase.h"

namespace kx4 {
namespace {

using FT = TFieldType;

// A Paradox table over several pages of the model and many data blocks, with blanks, empty
// memos and memos of several lines, keyed, with a case-insensitive secondary index.
void writeManyRecords(const std::string& dir) {
    std::vector<Record> records;
    for (int i = 0; i < 1500; ++i) {
        Record r = {std::int64_t{i},
                    std::string(i % 3 ? "name" : "Name") + std::to_string(i * 7919 % 1500),
                    i % 5 ? FieldValue(i * 0.25) : FieldValue(Blank{}),
                    i % 4 ? FieldValue(std::string("Zeile 1\nZeile ") + std::to_string(i))
                          : FieldValue(Blank{})};
        records.push_back(std::move(r));
    }
    test::writeTable(
        dir, "VIELE.DB", TTableType::ttParadox,
        {{"NR", FT::ftInteger},
         {"NAME", FT::ftString, 20},
         {"BETRAG", FT::ftFloat},
         {"NOTIZ", FT::ftMemo, 10}},
        {test::primaryKey("NR"), indexOn("NAMEN", "NAME", IndexOption::ixCaseInsensitive)},
        records);
}

// Marks dBase record `n` (from 1) deleted in place, as another program would.
void markDeleted(const std::string& dbf, int n) {
    std::fstream file(dbf, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char header[12];
    file.read(reinterpret_cast<char*>(header), sizeof header);
    const int headerLength = header[8] | header[9] << 8;
    const int recordLength = header[10] | header[11] << 8;
    file.seekp(headerLength + (n - 1) * recordLength);
    file.put('*');
}

class DataPageTest : public testing::Test {
  protected:
    DataPageTest() {
        test::testApplication();
        directory = aliases.addAlias("DATEN");
        writeDemoTables(directory);
        writeManyRecords(directory);
        markDeleted(directory + "/ARTIKEL.DBF", 2);
        auto foreign = std::make_shared<paradox::ParadoxProperties>();
        foreign->encryption = paradox::passwordChecksum("fremdes");
        test::writeTable(directory, "FREMD.DB", TTableType::ttParadox, {{"CODE", FT::ftString, 12}},
                         {}, {{std::string("geheim")}}, foreign);
        form = std::make_unique<TTabellenForm>(Session());
        form->show();
        test::chooseAlias(*form, "DATEN");
    }

    void clickTab(int tab) {
        QTabBar* bar = form->PageControl1->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    }

    // The table clicked in the tree, then the "Daten" tab.
    void showData(const QString& table) {
        clickTab(0);
        test::clickTable(*form, table);
        clickTab(1);
        ASSERT_EQ(form->PageControl1->currentWidget(), form->DatenPage);
    }

    QTableView* grid() const { return form->DatenPage->DataGrid; }
    QString cell(int row, int column, int role = Qt::DisplayRole) const {
        return grid()->model()->index(row, column).data(role).toString();
    }
    QString rowHeader(int row) const {
        return grid()->model()->headerData(row, Qt::Vertical).toString();
    }
    bool struckOut(int row) const {
        const QVariant font = grid()->model()->index(row, 0).data(Qt::FontRole);
        return font.isValid() && font.value<QFont>().strikeOut();
    }
    void clickCell(int row, int column) {
        const QModelIndex index = grid()->model()->index(row, column);
        grid()->scrollTo(index);
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {},
                          grid()->visualRect(index).center());
    }

    test::LocaleScope german{"de_DE.UTF-8"};
    test::ScriptedPromptsScope prompts;
    test::SessionAliases aliases;
    std::string directory;
    std::unique_ptr<TTabellenForm> form;
};

// Every row of every order, read through the model, is the record the engine's cursor gives
// in that order: whole values in the full-text role, blanks as no value, deleted dBase records
// shown struck out in their place and left out by the cursor.
class RecordModelOrders : public DataPageTest, public testing::WithParamInterface<const char*> {};

TEST_P(RecordModelOrders, AgreeWithTheEngineCursorsUnderTheModelTester) {
    const TablePath path{directory, GetParam()};
    auto table = formatFor(TTableType::ttDefault, path.fileName).open(path, {});
    TRecordModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setTable(table.get());
    std::vector<std::optional<std::string>> orders = {std::nullopt};
    for (const auto& index : table->schema().indexes)
        orders.push_back(index.options.has(IndexOption::ixPrimary) ? "" : index.name);
    for (const auto& order : orders) {
        model.setOrder(order);
        auto cursor = order ? table->scanIndex(*order) : table->scan();
        Record record;
        std::set<QString> positions;
        for (int row = 0; row < model.rowCount(); ++row) {
            positions.insert(model.headerData(row, Qt::Vertical, Qt::DisplayRole).toString());
            const QVariant font = model.index(row, 0).data(Qt::FontRole);
            if (font.isValid() && font.value<QFont>().strikeOut()) continue;  // deleted
            ASSERT_TRUE(cursor->next(record)) << "row " << row;
            for (int column = 0; column < model.columnCount(); ++column) {
                const QVariant whole = model.index(row, column).data(TRecordModel::kFullTextRole);
                const FieldValue& value = record[static_cast<std::size_t>(column)];
                EXPECT_EQ(whole.isValid(), !isBlank(value)) << "row " << row << ", " << column;
                if (whole.isValid()) {
                    EXPECT_EQ(whole.toString().toStdString(), formatValue(value));
                }
            }
        }
        EXPECT_FALSE(cursor->next(record)) << "records the model does not show";
        EXPECT_EQ(positions.size(), static_cast<std::size_t>(model.rowCount()));
    }
}

INSTANTIATE_TEST_SUITE_P(Tables, RecordModelOrders,
                         testing::Values("KUNDEN.DB", "ARTIKEL.DBF", "PREISE.TXT", "VIELE.DB"),
                         [](const auto& info) {
                             std::string name = info.param;
                             name[name.find('.')] = '_';
                             return name;
                         });

TEST_F(DataPageTest, ShowsTheClickedTablesRecordsWithBlanksMemosAndTheWholeCell) {
    showData("KUNDEN.DB");
    ASSERT_EQ(grid()->model()->rowCount(), 5);
    EXPECT_EQ(grid()->model()->headerData(0, Qt::Horizontal).toString(), "KUNDENNR\nInteger");
    EXPECT_EQ(cell(0, 1), "Müller");
    EXPECT_EQ(cell(0, 7), "Zahlt pünktlich; bevorzugt Lieferung am Vormittag.");
    EXPECT_TRUE(form->DatenPage->RecordInfo->text().startsWith("5 Datensätze"));
    EXPECT_TRUE(form->DatenPage->RecordInfo->text().contains("CP 1252"));
    // A blank memo looks different from text; the current cell's whole value shows below.
    EXPECT_NE(grid()->model()->index(1, 7).data(Qt::BackgroundRole),
              grid()->model()->index(0, 7).data(Qt::BackgroundRole));
    clickCell(2, 7);
    EXPECT_EQ(form->DatenPage->CellText->toPlainText(), "Konto ruht seit der Geschäftsaufgabe.");

    showData("VIELE.DB");
    EXPECT_EQ(cell(1, 3), "Zeile 1 …");  // the first line of a longer memo
    clickCell(1, 3);
    EXPECT_EQ(form->DatenPage->CellText->toPlainText(), "Zeile 1\nZeile 1");
    // The last row, reached with the keyboard as a user jumps there.
    grid()->setFocus();
    QTest::keyClick(grid(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(grid()->currentIndex().row(), 1499);
    EXPECT_EQ(cell(1499, 0), "1499");
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

TEST_F(DataPageTest, AnIndexOrderKeepsThePhysicalRecordNumbersVisible) {
    showData("ARTIKEL.DBF");
    ASSERT_EQ(grid()->model()->rowCount(), 4);
    EXPECT_TRUE(struckOut(1));  // the record marked deleted stays in its place, marked
    EXPECT_EQ(form->DatenPage->OrderBox->itemText(2), "BEZEICH (UPPER(BEZEICH))");
    form->DatenPage->OrderBox->setFocus();
    QTest::keyClick(form->DatenPage->OrderBox, Qt::Key_Down);
    QTest::keyClick(form->DatenPage->OrderBox, Qt::Key_Down);
    ASSERT_EQ(form->DatenPage->OrderBox->currentIndex(), 2);
    const QStringList names = {cell(0, 1), cell(1, 1), cell(2, 1), cell(3, 1)};
    EXPECT_EQ(names, QStringList({"Akkuschrauber 18 V", "Dübel 6 mm", "Mutter M4",
                                  "Schraube M4 verzinkt"}));
    EXPECT_EQ(QStringList({rowHeader(0), rowHeader(1), rowHeader(2), rowHeader(3)}),
              QStringList({"4", "3", "2", "1"}));
}

// The page lets the table go while an operation needs it alone, and shows the new state after.
TEST_F(DataPageTest, PackingTheShownTableShowsItWithoutTheDeletedRecord) {
    showData("ARTIKEL.DBF");
    ASSERT_TRUE(struckOut(1));
    prompts.inputAnswers = {QStringLiteral("ARTIKEL.DBF")};
    prompts.messageAnswers = {mrOk};
    QTest::mouseClick(form->CompressBtn, Qt::LeftButton);
    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes.front().toStdString();
    ASSERT_EQ(grid()->model()->rowCount(), 3);
    EXPECT_FALSE(struckOut(1));
    EXPECT_EQ(cell(1, 1), "Dübel 6 mm");
}

TEST_F(DataPageTest, APasswordTheFourLackIsAskedForAsTheBrowserAsks) {
    auto foreign = std::make_shared<paradox::ParadoxProperties>();
    foreign->encryption = paradox::passwordChecksum("fremdes");
    test::writeTable(directory, "FREMD.DB", TTableType::ttParadox, {{"CODE", FT::ftString, 12}}, {},
                     {{std::string("geheim")}}, foreign);
    test::chooseAlias(*form, "DATEN");  // listed again with the new table
    installPasswordPrompt(Session());
    prompts.passwordAnswers = {QStringLiteral("fremdes"), QStringLiteral("fremdes")};
    showData("FREMD.DB");
    Session().OnPassword = nullptr;
    EXPECT_EQ(prompts.passwordRequests.size(), 2u);  // the browser's, then the page's
    EXPECT_EQ(cell(0, 0), "geheim");
    EXPECT_TRUE(Session().passwords().empty());
}

TEST_F(DataPageTest, TheTreeMenuExportsTheTableIntoSqlite) {
    clickTab(0);
    QTreeWidgetItem* node = test::findRow(form->TabellenNamen, "KUNDEN.DB");
    ASSERT_NE(node, nullptr);
    QWidget* viewport = form->TabellenNamen->viewport();
    const QPoint at =
        viewport->mapTo(form.get(), form->TabellenNamen->visualItemRect(node).center());
    QTest::mouseClick(form->windowHandle(), Qt::RightButton, {}, at);
    QCoreApplication::processEvents();
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_EQ(menu, form->TreeMenu);
    const std::string target = directory + "/kunden.sqlite";
    prompts.inputAnswers = {QString::fromStdString(target)};
    prompts.messageAnswers = {mrOk};
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(form->ExportSqliteItem).center());
    ASSERT_EQ(prompts.inputs.size(), 1u);
    EXPECT_EQ(prompts.inputs[0].preset.toStdString(), directory + "/KUNDEN.sqlite");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              QString::fromStdString("5 Datensätze nach " + target + " exportiert."));
    std::string out;
    ASSERT_EQ(
        test::runCommand(
            "sqlite3 " + target + " 'SELECT count(*), sum(BEMERKUNG IS NULL) FROM KUNDEN'", out),
        0);
    EXPECT_EQ(out, "5|3\n");
}

}  // namespace
}  // namespace kx4

// The window itself: controls, menus, texts, the alias and table choosers and loading a table's
// structure into the rows.
#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/Session.h"
#include "tests/definition/DefinitionTestSupport.h"

namespace kx4 {
namespace {

using test::DefinitionTest;
using test::entries;

using DefineFormTest = DefinitionTest;

TEST_F(DefineFormTest, StartsEmptyInTableMode) {
    DefineMode = kFieldMode;
    const auto form = createForm();
    EXPECT_EQ(DefineMode, "");
    EXPECT_EQ(form->windowTitle(), "Tabelle definieren");
    EXPECT_EQ(form->AliasBox->count(), 0);
    EXPECT_EQ(form->AliasBox->currentText(), "");
    EXPECT_EQ(form->TabellenBox->count(), 0);
    EXPECT_EQ(form->TabellenBox->currentText(), "");
    EXPECT_TRUE(rows(*form).isEmpty());
    EXPECT_TRUE(form->NeuPanel->isHidden());
    EXPECT_TRUE(form->DelBtn->isEnabled());
    EXPECT_TRUE(form->SaveBtn->isEnabled());
    EXPECT_TRUE(form->EndeBtn->isEnabled());
    EXPECT_EQ(form->DelBtn->toolTip(), "löschen");
    EXPECT_EQ(form->SaveBtn->toolTip(), "Speichern");
    EXPECT_EQ(form->EndeBtn->toolTip(), "Beenden");
    EXPECT_EQ(form->Panel3->text(), "Alias: ");
    EXPECT_EQ(form->Panel4->text(), "Tabelle: ");
    EXPECT_EQ(form->OKBtn->text(), "&OK");
}

// At its smallest the window shows every type code and size whole, also with a scroll bar
// beside the rows; it starts at that size and the lists and the editor follow when it grows.
TEST_F(DefineFormTest, ResizableWithEveryCodeAndSizeReadable) {
    const auto form = createForm();
    EXPECT_LT(form->minimumWidth(), form->maximumWidth());
    EXPECT_LT(form->minimumHeight(), form->maximumHeight());
    EXPECT_EQ(form->size(), form->minimumSize());
    EXPECT_GE(form->width(), 218);
    EXPECT_GE(form->height(), 313);

    const QStringList codes = {"A", "S",  "I",     "W",        "B",    "F", "$",       "BCD", "D",
                               "T", "DT", "Bytes", "VarBytes", "Blob", "M", "Graphic", "L",   "U"};
    const QStringList sizes = {"4", "30", "255", "34", "65535"};
    for (int i = 0; i < 3; ++i) {
        form->TypListe->addItems(codes);
        form->SizeListe->addItems(sizes);
    }
    QApplication::processEvents();
    const auto fits = [](const QListWidget& list, const QString& text) {
        return list.fontMetrics().horizontalAdvance(text) + 4 <= list.viewport()->width();
    };
    ASSERT_TRUE(form->TypListe->verticalScrollBar()->isVisible());
    for (const QString& code : codes)
        EXPECT_TRUE(fits(*form->TypListe, code)) << code.toStdString();
    for (const QString& size : sizes)
        EXPECT_TRUE(fits(*form->SizeListe, size)) << size.toStdString();
    EXPECT_GE(form->FelderListe->width(), 119);

    const QSize small = form->size();
    const QRect felder = form->FelderListe->geometry();
    form->resize(small + QSize(150, 120));
    EXPECT_EQ(form->FelderListe->width(), felder.width() + 150);
    EXPECT_EQ(form->FelderListe->height(), felder.height() + 120);
    EXPECT_EQ(form->TypListe->height(), felder.height() + 120);
    EXPECT_EQ(form->SizeListe->geometry().right(), form->width() - 10);
    EXPECT_EQ(form->TabellenBox->width(), form->width() - 73);
    EXPECT_EQ(form->NeuPanel->width(), form->width() - 19);
}

TEST_F(DefineFormTest, OtherLanguagesTakeTheCatalogueTexts) {
    const test::LocaleScope english("en_US.UTF-8");
    const auto form = createForm();
    EXPECT_EQ(form->Panel3->text(), "Alias:");  // no trailing blank
    EXPECT_EQ(form->Panel4->text(), "Tabelle: ");
    EXPECT_EQ(form->OKBtn->text(), " &OK");
    EXPECT_EQ(form->Einfgen1->text(), "&Neues Feld");
    EXPECT_EQ(form->Zurcksetzen3->text(), "&Zurücksetzen");
    EXPECT_EQ(form->SaveBtn->toolTip(), "Speichern");
    EXPECT_EQ(form->windowTitle(), "Tabelle definieren");
}

TEST_F(DefineFormTest, ClosingGivesOkByTheButtonAndCancelByTheWindow) {
    auto form = createForm();
    QTest::mouseClick(form->EndeBtn, Qt::LeftButton);
    EXPECT_EQ(form->result(), mrOk);
    form = createForm();
    form->close();
    EXPECT_EQ(form->result(), mrCancel);
    EXPECT_TRUE(rows(*form).isEmpty());
}

TEST_F(DefineFormTest, AliasListFillsSortedAndEmptiesTheTableTextButNotTheRows) {
    std::ofstream(demo.dir().file("engine.ini"), std::ios::app)
        << "[alpha]\nTYPE=STANDARD\nPATH=" << demo.tables() << "\n";
    Session().setConfigPath(demo.dir().file("engine.ini"));
    const auto form = createForm();
    typeInto(form->AliasBox->lineEdit(), "DEMO");
    typeTableName(*form, "KUNDEN.DB");
    const QStringList loaded = rows(*form);
    ASSERT_FALSE(loaded.isEmpty());

    form->AliasBox->showPopup();
    form->AliasBox->hidePopup();
    EXPECT_EQ(form->AliasBox->count(), 2);
    EXPECT_EQ(form->AliasBox->itemText(0), "alpha");
    EXPECT_EQ(form->AliasBox->itemText(1), "DEMO");
    EXPECT_EQ(form->TabellenBox->currentText(), "");
    EXPECT_EQ(rows(*form), loaded);
}

TEST_F(DefineFormTest, TableListNeedsAChosenAlias) {
    const auto form = createForm();
    typeInto(form->AliasBox->lineEdit(), "DEMO");  // typed, not picked
    form->TabellenBox->showPopup();
    form->TabellenBox->hidePopup();
    EXPECT_EQ(form->TabellenBox->count(), 0);

    chooseAlias(*form, "DEMO");
    form->TabellenBox->showPopup();
    form->TabellenBox->hidePopup();
    QStringList tables;
    for (int i = 0; i < form->TabellenBox->count(); ++i) tables << form->TabellenBox->itemText(i);
    std::vector<std::string> listed;
    Session().GetTableNames("DEMO", "", true, false, listed);
    ASSERT_EQ(tables.size(), static_cast<qsizetype>(listed.size()));
    EXPECT_TRUE(tables.contains("KUNDEN.DB"));
    EXPECT_TRUE(tables.contains("ARTIKEL.DBF"));
    EXPECT_TRUE(tables.contains("PREISE.TXT"));
    QStringList sorted = tables;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    EXPECT_EQ(tables, sorted);
}

TEST_F(DefineFormTest, FieldModeListsNothing) {
    const auto form = createForm();
    DefineMode = kFieldMode;
    form->AliasBox->setEditText("DEMO");
    form->TabellenBox->setEditText("KUNDEN.DB");
    EXPECT_TRUE(rows(*form).isEmpty());  // the preset loads nothing

    form->AliasBox->showPopup();
    form->AliasBox->hidePopup();
    form->TabellenBox->showPopup();
    form->TabellenBox->hidePopup();
    EXPECT_EQ(form->AliasBox->count(), 0);
    EXPECT_EQ(form->TabellenBox->count(), 0);
    EXPECT_EQ(form->TabellenBox->currentText(), "KUNDEN.DB");

    typeTableName(*form, "ARTIKEL.DBF");  // typing still loads
    EXPECT_EQ(entries(*form->FelderListe),
              QStringList({"ARTNR", "BEZEICH", "PREIS", "LAGER", "GEAENDERT", "NOTIZ"}));
}

struct LoadCase {
    const char* table;
    QStringList rows;
};

class LoadsTheTable : public DefinitionTest, public testing::WithParamInterface<LoadCase> {};

TEST_P(LoadsTheTable, PickedFromTheList) {
    const auto form = createForm();
    chooseAlias(*form, "DEMO");
    chooseTable(*form, GetParam().table);
    EXPECT_EQ(rows(*form), GetParam().rows);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    DemoTables, LoadsTheTable,
    testing::Values(LoadCase{"KUNDEN.DB",
                             {"KUNDENNR|I|4", "NAME|A|30", "VORNAME|A|20", "ORT|A|25", "UMSATZ|$|8",
                              "KUNDESEIT|D|4", "AKTIV|B|2", "BEMERKUNG|M|40"}},
                    LoadCase{"ARTIKEL.DBF",
                             {"ARTNR|A|8", "BEZEICH|A|30", "PREIS|F|8", "LAGER|F|8",
                              "GEAENDERT|D|4", "NOTIZ|M|10"}},
                    LoadCase{"PREISE.TXT", {"ARTNR|A|8", "PREIS|F|8", "GUELTIGAB|D|4"}}));

TEST_F(DefineFormTest, LoadsAutoIncrementAndBcdWithTheirCodes) {
    test::createDemoTable(demo, "ZAEHLER.DB",
                          {{"NR", TFieldType::ftAutoInc, 0},
                           {"BETRAG", TFieldType::ftBCD, 2},
                           {"ZEIT", TFieldType::ftDateTime, 0}});
    const auto form = createForm();
    chooseAlias(*form, "DEMO");
    typeTableName(*form, "ZAEHLER.DB");
    EXPECT_EQ(rows(*form), QStringList({"NR|U|4", "BETRAG|BCD|2", "ZEIT|DT|8"}));
}

TEST_F(DefineFormTest, ANameThatNamesNoTableKeepsTheRowsWithoutAMessage) {
    const auto form = createForm();
    chooseAlias(*form, "DEMO");
    typeTableName(*form, "PREISE.TXT");
    const QStringList loaded = rows(*form);
    ASSERT_EQ(loaded.size(), 3);
    typeTableName(*form, "GIBTESNICHT.DB");
    EXPECT_EQ(rows(*form), loaded);
    form->TabellenBox->lineEdit()->clear();
    QTest::keyClick(form->TabellenBox->lineEdit(), Qt::Key_Space);
    QTest::keyClick(form->TabellenBox->lineEdit(), Qt::Key_Backspace);  // empty name
    EXPECT_EQ(rows(*form), loaded);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

// Typing loads after every keystroke: "KUNDEN" already names the Paradox table, and its rows
// stay while "KUNDEN.D" names nothing.
TEST_F(DefineFormTest, TypingLoadsAsSoonAsALeadingPartNamesATable) {
    const auto form = createForm();
    chooseAlias(*form, "DEMO");
    typeTableName(*form, "KUNDEN.D");
    EXPECT_EQ(entries(*form->FelderListe).value(0), "KUNDENNR");
    EXPECT_EQ(form->FelderListe->count(), 8);
}

// The table type follows the name as typed: ".dbf"/".DBF" is dBase, ".txt"/".TXT" text and
// wins; other spellings stay Paradox.
TEST_F(DefineFormTest, TableTypeFollowsTheSpellingOfTheName) {
    std::filesystem::copy_file(demo.table("ARTIKEL.DBF"), demo.table("artikel.dbf"));
    std::filesystem::copy_file(demo.table("ARTIKEL.DBF"), demo.table("ARTIKEL.Dbf"));
    const auto form = createForm();
    chooseAlias(*form, "DEMO");
    typeTableName(*form, "artikel.dbf");
    EXPECT_EQ(form->FelderListe->count(), 6);

    chooseFromMenu(*form, form->Zurcksetzen1);
    typeTableName(*form, "ARTIKEL.Dbf");  // opened as a Paradox table: not readable
    EXPECT_TRUE(rows(*form).isEmpty());
}

}  // namespace
}  // namespace kx4

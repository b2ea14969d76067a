#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include "app/ChangeFeldTypForm.h"
#include "app/StartUp.h"
#include "app/TabellenForm.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/ScriptedPrompts.h"
#include "ui/Images.h"
#include "ui/TabTyp.h"

namespace kx4 {
namespace {

using test::CatalogueScope;
using test::LocaleScope;

class TabellenFormTest : public testing::Test {
  protected:
    TabellenFormTest() { test::testApplication(); }

    std::unique_ptr<TTabellenForm> createForm() {
        return std::make_unique<TTabellenForm>(database.session);
    }

    QStringList treeTexts(const TTabellenForm& form) {
        QStringList texts;
        for (QTreeWidgetItemIterator it(form.TabellenNamen); *it; ++it) texts << (*it)->text(0);
        return texts;
    }

    LocaleScope german{"de_DE.UTF-8"};
    test::ScriptedPromptsScope prompts;
    test::TestDatabase database;
};

struct ButtonAtStart {
    const char* name;
    const char* caption;
    const char* hint;
    bool enabled;
};

TEST_F(TabellenFormTest, ToolbarAtStartUp) {
    database.addAlias("MORVANE");
    const auto form = createForm();
    const std::vector<ButtonAtStart> expected = {
        {"DruckBtn", "Print", "Drucken", false},
        {"ChangeFeldLenth", "Field length", "increase (!) Field Length", true},
        {"FeldTypBtn", "Field Type", "change the Field-Type", true},
        {"ZQSpeedBtn1", "Del Field", "Feld löschen", true},
        {"AddFeldBtn", "Add Field", "neues Feld definieren", false},
        {"NeuTable", "New Table", "neue Tabelle anlegen", true},
        {"CompressBtn", "Compress", "Tabelle komprimieren", true},
        {"IndexReorgBtn", "Reorg Idxs", "alle Indizes reorganisieren", true},
        {"IdxDefineBtn", "Create Idx", "Index definieren", true},
        {"IdxDelBtn", "Del Index", "Index löschen", true},
        {"EndeBtn", "Close", "Beenden", true},
    };
    const QList<QToolButton*> buttons = form->toolButtons();
    ASSERT_EQ(buttons.size(), static_cast<qsizetype>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(buttons[i]->objectName(), expected[i].name);
        EXPECT_EQ(buttons[i]->text(), QString::fromUtf8(expected[i].caption));
        EXPECT_EQ(buttons[i]->toolTip(), QString::fromUtf8(expected[i].hint));
        EXPECT_EQ(buttons[i]->isEnabled(), expected[i].enabled);
        EXPECT_FALSE(buttons[i]->icon().isNull());
    }
    // The buttons stand on the toolbar in this order.
    QList<QToolButton*> onToolbar;
    for (QAction* action : form->ToolBar1->actions()) {
        if (auto* button = qobject_cast<QToolButton*>(form->ToolBar1->widgetForAction(action))) {
            onToolbar << button;
        }
    }
    EXPECT_EQ(onToolbar, buttons);
}

TEST_F(TabellenFormTest, NothingIsChosenAtStartUp) {
    database.addAlias("MORVANE");
    database.addTableFile("MORVANE", "KUNDEN.DB");
    const auto form = createForm();

    EXPECT_EQ(form->windowTitle(), "KX4 Tabellen-Info");
    EXPECT_EQ(form->PageControl1->tabText(0), "Tabellen");
    EXPECT_TRUE(form->TabString->text().isEmpty());
    EXPECT_TRUE(form->IndexText->text().isEmpty());
    EXPECT_TRUE(form->Panel7->text().isEmpty());
    EXPECT_TRUE(form->Panel8->text().isEmpty());
    EXPECT_TRUE(form->AliasBox->currentText().isEmpty());
    EXPECT_EQ(form->AliasBox->findText("MORVANE"), 0);
    EXPECT_EQ(form->TabellenNamen->topLevelItemCount(), 0);
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
    EXPECT_EQ(form->ListView2->topLevelItemCount(), 0);
    EXPECT_FALSE(form->WartePanel->isVisibleTo(form.get()));
    EXPECT_EQ(form->Label1->text(), "Bitte warten ...");
    EXPECT_TRUE(database.session.passwords().empty());
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

TEST_F(TabellenFormTest, ListsShowTheirColumns) {
    const auto form = createForm();
    const QTreeWidgetItem* fields = form->ListView1->headerItem();
    ASSERT_EQ(form->ListView1->columnCount(), 3);
    EXPECT_EQ(fields->text(0), "Feldname");
    EXPECT_EQ(fields->text(1), "Typ");
    EXPECT_EQ(fields->text(2), QStringLiteral("Länge"));
    EXPECT_EQ(form->ListView1->columnWidth(0), 240);
    EXPECT_GE(form->ListView1->columnWidth(1), 76);  // widened for "DateTime (*)"
    EXPECT_EQ(form->ListView1->columnWidth(2), 42);
    EXPECT_EQ(form->ListView1->selectionMode(), QAbstractItemView::ExtendedSelection);
    ASSERT_EQ(form->ListView2->columnCount(), 1);
    EXPECT_EQ(form->ListView2->headerItem()->text(0), "Indizes");
    EXPECT_GE(form->ListView2->columnWidth(0), 280);
}

TEST_F(TabellenFormTest, AliasBoxListsTheSessionsAliasesSorted) {
    for (const char* alias : {"ZETA", "MORVANE", "alpha", "Beta"}) database.addAlias(alias);
    const auto form = createForm();
    EXPECT_EQ(form->AliasNames, QStringList({"ZETA", "MORVANE", "alpha", "Beta"}));
    QStringList shown;
    for (int i = 0; i < form->AliasBox->count(); ++i) shown << form->AliasBox->itemText(i);
    EXPECT_EQ(shown, QStringList({"alpha", "Beta", "MORVANE", "ZETA"}));
    EXPECT_TRUE(form->AliasBox->currentText().isEmpty());
}

TEST_F(TabellenFormTest, StartsWithoutAnyAlias) {
    const auto form = createForm();
    EXPECT_EQ(form->AliasBox->count(), 0);
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

TEST_F(TabellenFormTest, StartUpCreatesBothLongLivedDialogs) {
    const auto form = createStartUpWindows(database.session);
    ASSERT_NE(form->TabTyp, nullptr);
    ASSERT_NE(form->ChangeFeldTypForm, nullptr);
    EXPECT_EQ(form->TabTyp->windowTitle(), "Werte angeben");
    EXPECT_EQ(form->ChangeFeldTypForm->windowTitle(), "Werte angeben");
    EXPECT_FALSE(form->TabTyp->isVisible());
    // Created in this order: the main window first, then TabTyp, then ChangeFeldTypForm.
    const QObjectList children = form->children();
    EXPECT_LT(children.indexOf(form->TabTyp), children.indexOf(form->ChangeFeldTypForm));
}

// The desktop's icon: the window carries the program icon at every installed size.
TEST_F(TabellenFormTest, TheWindowHasTheProgramIconAtEverySize) {
    const auto form = createForm();
    QList<QSize> sizes;
    for (const int size : kProgramIconSizes) sizes << QSize(size, size);
    EXPECT_EQ(form->windowIcon().availableSizes(), sizes);
    // Drawn, not empty: the table's border is ink at the largest size.
    const QImage large = form->windowIcon().pixmap(QSize(256, 256)).toImage();
    EXPECT_GT(qAlpha(large.pixel(128, 24)), 200);
    EXPECT_EQ(qAlpha(large.pixel(0, 0)), 0);
}

// A long table name stays in its label: the path panel and the index label keep their places.
// The type column shows the longest type name with the key marker whole.
TEST_F(TabellenFormTest, LongTextsKeepTheLayout) {
    const auto form = createForm();
    form->resize(1000, 700);
    form->show();
    QApplication::processEvents();
    const QPoint panel = form->Panel6->pos();
    const QPoint index = form->IndexText->pos();
    form->TabString->setText(QString(150, u'T') + QStringLiteral(".DB"));
    QApplication::processEvents();
    EXPECT_EQ(form->Panel6->pos(), panel);
    EXPECT_EQ(form->IndexText->pos(), index);
    for (const char* type : {"Unknown (*)", "DateTime (*)", "Currency (*)"}) {
        EXPECT_LE(form->ListView1->fontMetrics().horizontalAdvance(QString::fromLatin1(type)) + 8,
                  form->ListView1->columnWidth(1))
            << type;
    }
}

TEST_F(TabellenFormTest, ChoosingAnAliasListsItsTablesSorted) {
    database.addAlias("MORVANE");
    for (const char* table : {"ZAHLUNG.DBF", "KUNDEN.DB", "ARTIKEL.DB"}) {
        database.addTableFile("MORVANE", table);
    }
    const auto form = createForm();
    form->AliasBox->setCurrentIndex(form->AliasBox->findText("MORVANE"));  // fires AliasBoxChange

    EXPECT_EQ(treeTexts(*form),
              QStringList({"Tabellen", "ARTIKEL.DB", "KUNDEN.DB", "ZAHLUNG.DBF"}));
    EXPECT_TRUE(form->TabellenNamen->topLevelItem(0)->isExpanded());
    EXPECT_EQ(form->Panel7->text(),
              QString::fromStdString(database.tableDirectory("MORVANE").string()));
    EXPECT_FALSE(form->DruckBtn->isEnabled());
    EXPECT_FALSE(form->AddFeldBtn->isEnabled());
    EXPECT_TRUE(form->TabString->text().isEmpty());
    EXPECT_TRUE(database.session.passwords().empty());
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

TEST_F(TabellenFormTest, TextMatchingNoAliasChangesNothing) {
    database.addAlias("MORVANE");
    database.addTableFile("MORVANE", "KUNDEN.DB");
    const auto form = createForm();
    form->AliasBox->setCurrentIndex(0);
    const QStringList before = treeTexts(*form);
    const QString path = form->Panel7->text();

    form->AliasBox->setEditText("MORVAN");
    EXPECT_EQ(treeTexts(*form), before);
    EXPECT_EQ(form->Panel7->text(), path);
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

// A table listing that fails leaves no password in the session and no hourglass behind; the
// error reaches the default error box after that clean-up.
TEST_F(TabellenFormTest, FailedTableListingCleansUpBeforeTheErrorBox) {
    database.addAlias("MORVANE");
    database.addTableFile("MORVANE", "KUNDEN.DB");
    database.addAlias("VERLOREN", false);  // its directory does not exist
    const auto form = createForm();
    form->AliasBox->setCurrentIndex(form->AliasBox->findText("MORVANE"));
    ASSERT_EQ(treeTexts(*form), QStringList({"Tabellen", "KUNDEN.DB"}));

    bool passwordsWhileShowing = true;
    bool hourglassWhileShowing = true;
    struct ObservingPrompts : test::ScriptedPrompts {
        std::function<void()> onError;
        void ShowErrorBox(const QString& text) override {
            onError();
            ScriptedPrompts::ShowErrorBox(text);
        }
    } observing;
    observing.onError = [&] {
        passwordsWhileShowing = !database.session.passwords().empty();
        hourglassWhileShowing = form->TabellenNamen->testAttribute(Qt::WA_SetCursor) ||
                                form->AliasBox->testAttribute(Qt::WA_SetCursor) ||
                                form->TablePage->testAttribute(Qt::WA_SetCursor);
    };
    const PromptsOverride useObserving(observing);

    form->AliasBox->setCurrentIndex(form->AliasBox->findText("VERLOREN"));

    ASSERT_EQ(observing.errorBoxes.size(), 1u);
    EXPECT_TRUE(observing.errorBoxes[0].contains("VERLOREN"));
    EXPECT_TRUE(observing.errorBoxes[0].endsWith(u'.'));
    EXPECT_FALSE(passwordsWhileShowing);
    EXPECT_FALSE(hourglassWhileShowing);
    EXPECT_TRUE(database.session.passwords().empty());
    // What the handler had done before the failure stays; the rest did not happen.
    EXPECT_EQ(form->Panel7->text(),
              QString::fromStdString(database.tableDirectory("VERLOREN").string()));
    EXPECT_FALSE(form->AddFeldBtn->isEnabled());
    EXPECT_EQ(treeTexts(*form), QStringList({"Tabellen", "KUNDEN.DB"}));
}

TEST_F(TabellenFormTest, CloseEndsTheMessageLoop) {
    const auto form = createForm();
    form->show();
    QTimer::singleShot(0, form.get(), [&] { QTest::mouseClick(form->EndeBtn, Qt::LeftButton); });
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    safety.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

TEST_F(TabellenFormTest, WartePanelShowsForItsScopeOnly) {
    const auto form = createForm();
    form->show();
    {
        const WartePanelScope wait(*form->WartePanel,
                                   QStringLiteral("(Indizes werden neu angelegt)"));
        EXPECT_TRUE(form->WartePanel->isVisible());
        EXPECT_EQ(form->Label2->text(), "(Indizes werden neu angelegt)");
    }
    EXPECT_FALSE(form->WartePanel->isVisible());
}

TEST_F(TabellenFormTest, NilAndFreeDestroysAndClearsTheReference) {
    auto* window = new QWidget;
    QPointer<QWidget> watch(window);
    TTabellenForm::NilAndFree(window);
    EXPECT_EQ(window, nullptr);
    EXPECT_TRUE(watch.isNull());
}

// The language rule: which texts the main window takes from the catalogue.
struct MainWindowLanguageCase {
    const char* locale;
    bool german;
};

class MainWindowLanguage : public TabellenFormTest,
                           public testing::WithParamInterface<MainWindowLanguageCase> {};

TEST_P(MainWindowLanguage, BuiltInCatalogue) {
    const LocaleScope locale(GetParam().locale);
    const auto form = createForm();
    const bool german = GetParam().german;

    EXPECT_EQ(form->IndexReorgBtn->toolTip(),
              german ? "alle Indizes reorganisieren" : "Index reorganisieren");
    EXPECT_EQ(form->TabString->text(), german ? QString() : CatalogueText(65145));
    // Texts whose catalogue entry equals the design, and texts not in the table, stay.
    EXPECT_EQ(form->windowTitle(), "KX4 Tabellen-Info");
    EXPECT_EQ(form->PageControl1->tabText(0), "Tabellen");
    EXPECT_EQ(form->DruckBtn->toolTip(), "Drucken");
    EXPECT_EQ(form->ChangeFeldLenth->toolTip(), "increase (!) Field Length");
    EXPECT_EQ(form->CompressBtn->toolTip(), "Tabelle komprimieren");
    EXPECT_EQ(form->IndexText->text(), QString());
    for (QToolButton* button : form->toolButtons()) {
        EXPECT_FALSE(button->text().isEmpty()) << "captions stay English";
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, MainWindowLanguage,
                         testing::Values(MainWindowLanguageCase{"de_DE.UTF-8", true},
                                         MainWindowLanguageCase{"de_AT.UTF-8", true},
                                         MainWindowLanguageCase{"de_CH", true},
                                         MainWindowLanguageCase{"de_LU", true},
                                         MainWindowLanguageCase{"de_LI", true},
                                         MainWindowLanguageCase{"en_US.UTF-8", false},
                                         MainWindowLanguageCase{"fr_FR.UTF-8", false},
                                         MainWindowLanguageCase{"C", false}));

TEST_F(TabellenFormTest, LanguageModuleReplacesTheMainWindowTexts) {
    const LocaleScope english("en_US.UTF-8");
    const CatalogueScope module(
        TextCatalogue::parseModule("65138=KX4 Table Info\n"
                                   "65145=CUSTOMER.DB\n"
                                   "65147=Print the structure\n"
                                   "65167=Tables\n"));
    const auto form = createForm();
    EXPECT_EQ(form->windowTitle(), "KX4 Table Info");
    EXPECT_EQ(form->TabString->text(), "CUSTOMER.DB");
    EXPECT_EQ(form->DruckBtn->toolTip(), "Print the structure");
    EXPECT_EQ(form->PageControl1->tabText(0), "Tables");
    // Entries the module lacks give empty texts.
    EXPECT_TRUE(form->IndexReorgBtn->toolTip().isEmpty());
    EXPECT_TRUE(form->EndeBtn->toolTip().isEmpty());
    // Not in the window's table: unchanged.
    EXPECT_EQ(form->FeldTypBtn->toolTip(), "change the Field-Type");
}

TEST_F(TabellenFormTest, GermanUserIgnoresALanguageModule) {
    const CatalogueScope module(TextCatalogue::parseModule("65138=KX4 Table Info\n"));
    const auto form = createForm();
    EXPECT_EQ(form->windowTitle(), "KX4 Tabellen-Info");
    EXPECT_EQ(form->EndeBtn->toolTip(), "Beenden");
}

}  // namespace
}  // namespace kx4

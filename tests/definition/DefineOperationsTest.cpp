// The main window's "New Table", "Del Field", "Add Field" and "Field length", on a main window
// showing the demo alias. The modal definition window is driven from inside its own loop.
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "app/TabellenForm.h"
#include "definition/DefineOperations.h"
#include "engine/Session.h"
#include "engine/Table.h"
#include "tests/definition/DefinitionTestSupport.h"
#include "ui/FeldInfos.h"

namespace kx4 {
namespace {

using test::DefinitionTest;
using test::directorySnapshot;
using test::dumpTable;

class DefineOperationsTest : public DefinitionTest {
  protected:
    DefineOperationsTest() {
        main = std::make_unique<TTabellenForm>(Session());
        main->AliasBox->setCurrentIndex(main->AliasBox->findText("DEMO"));  // lists the tables
    }

    // Runs one of the operations as its button does. `whileOpen` runs while the definition window
    // is shown modally; the window is closed with "Beenden" afterwards. Returns whether a window
    // was shown.
    bool press(void (*operation)(const OperationContext&),
               const std::function<void(TDefineForm&)>& whileOpen = {}) {
        bool shown = false;
        QObject context;
        QTimer::singleShot(0, &context, [&] {
            if (!DefineForm || !DefineForm->isVisible()) return;
            shown = true;
            if (whileOpen) whileOpen(*DefineForm);
            if (DefineForm->isVisible()) DefineForm->done(mrOk);
        });
        runHandler([&] { operation(main->operationContext()); });
        EXPECT_EQ(DefineForm, nullptr);  // freed in every outcome
        return shown;
    }

    QTreeWidgetItem* tableNode(const QString& table) {
        const QList<QTreeWidgetItem*> found =
            main->TabellenNamen->findItems(table, Qt::MatchExactly | Qt::MatchRecursive);
        return found.value(0);
    }

    void selectNode(QTreeWidgetItem* node) {
        main->TabellenNamen->clearSelection();
        if (node) {
            main->TabellenNamen->setCurrentItem(node);
            node->setSelected(true);
        }
    }

    // The field list and the chosen table as the browser shows them after a click on the table.
    void showFields(const std::string& table) {
        TTable t;
        t.DatabaseName = "DEMO";
        t.TableName = table;
        t.Open();
        main->ListView1->clear();
        for (int i = 0; i < t.FieldCount(); ++i) {
            const FeldInfo info = DescribeFeld(t, t.Fields(i).FieldName(), 1);
            new QTreeWidgetItem(main->ListView1, {info.name, info.typeText, info.lengthText});
        }
        main->TabString->setText(QString::fromStdString(table));
    }

    void selectField(const QString& name) {
        main->ListView1->clearSelection();
        const QList<QTreeWidgetItem*> found = main->ListView1->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        found[0]->setSelected(true);
    }

    std::unique_ptr<TTabellenForm> main;
};

TEST_F(DefineOperationsTest, NewTableStartsEmptyEveryTime) {
    EXPECT_TRUE(press(runNewTable, [&](TDefineForm& form) {
        EXPECT_EQ(DefineMode, "");
        EXPECT_TRUE(form.isModal());
        chooseAlias(form, "DEMO");
        enterRow(form, {"ERSTE", "A", "5"});
    }));
    EXPECT_TRUE(press(runNewTable, [&](TDefineForm& form) {
        EXPECT_EQ(form.AliasBox->currentText(), "");
        EXPECT_EQ(form.AliasBox->count(), 0);
        EXPECT_EQ(form.TabellenBox->currentText(), "");
        EXPECT_TRUE(rows(form).isEmpty());
    }));
}

TEST_F(DefineOperationsTest, NewTableCreatesATableButTheTreeStaysAsItWas) {
    const int tablesShown = main->TabellenNamen->topLevelItem(0)->childCount();
    EXPECT_TRUE(press(runNewTable, [&](TDefineForm& form) {
        chooseAlias(form, "DEMO");
        typeTableName(form, "LIEFER.DB");
        enterRows(form, {{"FIRMA", "A", "40"}, {"SEIT", "D", "0"}});
        prompts.messageAnswers.push_back(mrOk);
        save(form);
        EXPECT_TRUE(form.isVisible());  // saving leaves the window open
    }));
    EXPECT_EQ(messageTexts(), std::vector<QString>({"Fertig!"}));
    EXPECT_EQ(engineFields("LIEFER.DB"), std::vector<std::string>({"FIRMA:A:40", "SEIT:D:0"}));
    EXPECT_EQ(main->TabellenNamen->topLevelItem(0)->childCount(), tablesShown);
}

TEST_F(DefineOperationsTest, DelFieldDropsTheChosenFieldInTableMode) {
    showFields("KUNDEN.DB");
    EXPECT_TRUE(press(runDelField, [&](TDefineForm& form) {
        EXPECT_EQ(DefineMode, "");
        chooseAlias(form, "DEMO");
        chooseTable(form, "KUNDEN.DB");
        selectRow(form, 6);  // AKTIV
        prompts.messageAnswers.push_back(mrOk);
        QTest::mouseClick(form.DelBtn, Qt::LeftButton);
        EXPECT_EQ(form.FelderListe->count(), 7);
    }));
    EXPECT_EQ(messageTexts(), std::vector<QString>({"Fertig!"}));
    EXPECT_EQ(engineFields("KUNDEN.DB").size(), 7u);
    EXPECT_EQ(main->ListView1->topLevelItemCount(), 8);  // not refreshed
}

TEST_F(DefineOperationsTest, AddFieldNeedsATableNode) {
    selectNode(nullptr);
    EXPECT_FALSE(press(runAddField));
    selectNode(main->TabellenNamen->topLevelItem(0));  // the root "Tabellen"
    EXPECT_FALSE(press(runAddField));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(DefineOperationsTest, AddFieldOpensFieldModeWithAliasAndTablePreset) {
    QTreeWidgetItem* node = tableNode("KUNDEN.DB");
    ASSERT_NE(node, nullptr);
    selectNode(node);
    EXPECT_TRUE(press(runAddField, [&](TDefineForm& form) {
        EXPECT_EQ(DefineMode, kFieldMode);
        EXPECT_EQ(form.AliasBox->currentText(), "DEMO");
        EXPECT_EQ(form.TabellenBox->currentText(), "KUNDEN.DB");
        EXPECT_TRUE(rows(form).isEmpty());
        form.AliasBox->showPopup();  // inert in field mode
        form.AliasBox->hidePopup();
        form.TabellenBox->showPopup();
        form.TabellenBox->hidePopup();
        EXPECT_EQ(form.AliasBox->count() + form.TabellenBox->count(), 0);

        enterRows(form, {{"NOTIZ2", "M", "1"}, {"KENNZ", "A", "10"}});
        prompts.messageAnswers.push_back(mrOk);
        save(form);
    }));
    EXPECT_EQ(messageTexts(), std::vector<QString>({"Fertig!"}));
    EXPECT_EQ(engineFields("KUNDEN.DB").back(), "KENNZ:A:10");
    EXPECT_EQ(engineFields("KUNDEN.DB").size(), 9u);
    EXPECT_TRUE(Session().passwords().empty());
}

TEST_F(DefineOperationsTest, FieldLengthWithoutASelectedFieldDoesNothing) {
    showFields("KUNDEN.DB");
    runHandler([&] { runChangeFieldLength(main->operationContext()); });
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(prompts.inputs.empty());
    EXPECT_TRUE(prompts.errorBoxes.empty());
}

TEST_F(DefineOperationsTest, FieldLengthOnlyForCharacterFields) {
    showFields("KUNDEN.DB");
    for (const char* field : {"KUNDENNR", "UMSATZ", "BEMERKUNG"}) {
        prompts.messageAnswers.push_back(mrOk);
        selectField(field);
        runHandler([&] { runChangeFieldLength(main->operationContext()); });
    }
    ASSERT_EQ(prompts.messages.size(), 3u);
    for (const auto& message : prompts.messages) {
        EXPECT_EQ(message.text, "Function only for character fields!");
        EXPECT_EQ(message.type, TMsgDlgType::mtInformation);
        EXPECT_EQ(message.buttons, mbOK);
    }
    EXPECT_TRUE(prompts.inputs.empty());
}

TEST_F(DefineOperationsTest, FieldLengthCancelledChangesNothing) {
    const std::string before = directorySnapshot(demo.tables());
    showFields("KUNDEN.DB");
    selectField("NAME");
    prompts.inputAnswers.push_back(std::nullopt);
    runHandler([&] { runChangeFieldLength(main->operationContext()); });
    ASSERT_EQ(prompts.inputs.size(), 1u);
    EXPECT_EQ(prompts.inputs[0].caption, "New Field Length:");
    EXPECT_EQ(prompts.inputs[0].prompt, "set new Field Length:");
    EXPECT_EQ(prompts.inputs[0].preset, "30");
    EXPECT_EQ(directorySnapshot(demo.tables()), before);
}

TEST_F(DefineOperationsTest, FieldLengthWidensAndTheListKeepsTheOldLength) {
    const std::string data = dumpTable("DEMO", "KUNDEN.DB");
    showFields("KUNDEN.DB");
    selectField("NAME");
    prompts.inputAnswers.push_back(QStringLiteral("40"));
    runHandler([&] { runChangeFieldLength(main->operationContext()); });
    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes[0].toStdString();
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(engineFields("KUNDEN.DB")[1], "NAME:A:40");
    EXPECT_EQ(dumpTable("DEMO", "KUNDEN.DB"), data);
    EXPECT_EQ(main->ListView1->topLevelItem(1)->text(2), "30");
    EXPECT_TRUE(Session().passwords().empty());
}

// Also a key field: its type reads "String (*)".
TEST_F(DefineOperationsTest, FieldLengthOfAKeyFieldAndInHexadecimal) {
    test::createDemoTable(demo, "CODES.DB",
                          {{"CODE", TFieldType::ftString, 6}, {"TEXT", TFieldType::ftString, 20}});
    TTable codes;
    codes.DatabaseName = "DEMO";
    codes.TableName = "CODES.DB";
    codes.AddIndex("", "CODE", IndexOption::ixPrimary);
    showFields("CODES.DB");
    ASSERT_EQ(main->ListView1->topLevelItem(0)->text(1), "String (*)");
    selectField("CODE");
    prompts.inputAnswers.push_back(QStringLiteral("$0A"));
    runHandler([&] { runChangeFieldLength(main->operationContext()); });
    EXPECT_TRUE(prompts.errorBoxes.empty()) << prompts.errorBoxes[0].toStdString();
    EXPECT_EQ(engineFields("CODES.DB")[0], "CODE:A:10");
    const test::PxlibStructure px = test::pxlibStructure(demo.table("CODES.DB"));
    EXPECT_EQ(px.fields[0], "CODE:1:10");
    EXPECT_EQ(px.primaryKeyFields, 1);
}

struct LengthFailure {
    const char* table;
    const char* field;
    const char* typed;
    const char* errorBox;  // nullptr: the engine's own wording
};

class FieldLengthRefused : public DefineOperationsTest,
                           public testing::WithParamInterface<LengthFailure> {};

TEST_P(FieldLengthRefused, ReachesTheErrorBoxAndEveryFileStaysUnchanged) {
    const std::string before = directorySnapshot(demo.tables());
    showFields(GetParam().table);
    selectField(GetParam().field);
    prompts.inputAnswers.push_back(QString::fromUtf8(GetParam().typed));
    runHandler([&] { runChangeFieldLength(main->operationContext()); });
    EXPECT_EQ(DefineForm, nullptr);
    ASSERT_EQ(prompts.errorBoxes.size(), 1u);
    if (GetParam().errorBox) {
        EXPECT_EQ(prompts.errorBoxes[0], QString::fromUtf8(GetParam().errorBox));
    } else {
        EXPECT_FALSE(prompts.errorBoxes[0].isEmpty());
    }
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(directorySnapshot(demo.tables()), before);
    EXPECT_TRUE(Session().passwords().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, FieldLengthRefused,
    testing::Values(
        LengthFailure{"KUNDEN.DB", "NAME", "vierzig", "'vierzig' ist kein gültiger Integerwert."},
        LengthFailure{"KUNDEN.DB", "NAME", "", "'' ist kein gültiger Integerwert."},
        LengthFailure{"KUNDEN.DB", "NAME", "4", nullptr},  // values do not fit
        LengthFailure{"KUNDEN.DB", "NAME", "-1", nullptr},
        LengthFailure{"KUNDEN.DB", "NAME", "300", nullptr},
        LengthFailure{"KUNDEN.DB", "NAME", "99999", "Feld-Länge 99999 ist größer als 65535."},
        LengthFailure{"ARTIKEL.DBF", "BEZEICH", "10", nullptr},
        LengthFailure{"PREISE.TXT", "ARTNR", "2", nullptr}));

}  // namespace
}  // namespace kx4

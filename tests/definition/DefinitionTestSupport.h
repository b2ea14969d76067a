#pragma once
// Shared pieces of the definition window tests: a German user with scripted answers, the demo
// alias, a window driven through its menus, editor and buttons, and independent readers of the
// tables it writes.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QMenu>
#include <QStringList>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "definition/DefineForm.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/ScriptedPrompts.h"
#include "tests/support/DemoAlias.h"

namespace kx4::test {

// The entries of a list box, in order.
QStringList entries(const QListWidget& list);

// One row typed into the entry editor.
struct TypedRow {
    QString name;
    QString type;
    QString size;
};

class DefinitionTest : public testing::Test {
  protected:
    DefinitionTest();

    // A fresh definition window on the default session (which holds the demo alias).
    std::unique_ptr<TDefineForm> createForm();

    // What a user does in the window.
    void typeInto(QWidget* widget, const QString& text);
    void typeTableName(TDefineForm& form, const QString& name);  // into an emptied table box
    void chooseAlias(TDefineForm& form, const QString& alias);   // drop-down, then pick
    void chooseTable(TDefineForm& form, const QString& table);   // drop-down, then pick
    void enterRow(TDefineForm& form, const TypedRow& row);       // "&Neues Feld", type, OK
    void enterRows(TDefineForm& form, const std::vector<TypedRow>& rows);
    void selectRow(TDefineForm& form, int row);  // a click into FelderListe
    // A right click into the list or edit; returns the menu that opened (nullptr: none).
    QMenu* rightClick(TDefineForm& form, QWidget* widget);
    // A press of the Menu key while the list or edit has the focus; returns the menu.
    QMenu* menuKey(TDefineForm& form, QWidget* widget);
    // The item of a pop-up menu, chosen as a user does: a right click where that menu belongs
    // (the letters go to the type edit while the entry editor is open), then a click on it.
    void chooseFromMenu(TDefineForm& form, QAction* item);
    void save(TDefineForm& form) { QTest::mouseClick(form.SaveBtn, Qt::LeftButton); }

    // The rows of the window as "name|type|size" lines (missing entries read "-").
    QStringList rows(const TDefineForm& form);
    std::vector<QString> messageTexts() const;

    // The field structure of a table as the engine reads it: "NAME:type:size" per field.
    std::vector<std::string> engineFields(const std::string& table);

    LocaleScope german{"de_DE.UTF-8"};
    ScriptedPromptsScope prompts;
    DemoAlias demo;
};

// A table of the demo alias created through the engine with the given fields (name, type,
// size), for the field types the definition window itself cannot create.
void createDemoTable(const DemoAlias& demo, const std::string& name,
                     const std::vector<std::tuple<std::string, TFieldType, int>>& fields);

// Field structure of a Paradox file as pxlib reads it: "NAME:typecode:length" per field, plus
// the number of primary key fields.
struct PxlibStructure {
    std::string error;
    std::vector<std::string> fields;
    int primaryKeyFields = -1;
    int records = -1;
};
PxlibStructure pxlibStructure(const std::string& path);

// Field structure of a .DBF as python3-dbfread reads it: "NAME:type:length" per field.
std::vector<std::string> dbfreadFields(const std::string& path);

}  // namespace kx4::test

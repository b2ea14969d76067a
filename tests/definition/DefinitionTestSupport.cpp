#include "tests/definition/DefinitionTestSupport.h"

extern "C" {
#include <paradox.h>
}

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <sstream>

#include "app/FieldTypeNames.h"
#include "engine/Table.h"

namespace kx4::test {

QStringList entries(const QListWidget& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i) texts << list.item(i)->text();
    return texts;
}

DefinitionTest::DefinitionTest() { testApplication(); }

std::unique_ptr<TDefineForm> DefinitionTest::createForm() {
    auto form = std::make_unique<TDefineForm>(Session());
    form->show();
    return form;
}

void DefinitionTest::typeInto(QWidget* widget, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(widget);
    if (edit) {
        edit->setFocus();
        edit->selectAll();
        if (text.isEmpty() && !edit->text().isEmpty()) QTest::keyClick(edit, Qt::Key_Backspace);
    }
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(widget, static_cast<char>(c.unicode()));
        } else if (edit) {
            edit->insert(QString(c));  // as an input method enters it
        }
    }
}

void DefinitionTest::typeTableName(TDefineForm& form, const QString& name) {
    form.TabellenBox->lineEdit()->clear();
    QTest::keyClicks(form.TabellenBox->lineEdit(), name);
}

namespace {

void pick(QComboBox& box, const QString& text) {
    box.showPopup();
    box.hidePopup();
    const int index = box.findText(text);
    ASSERT_GE(index, 0) << "no entry " << text.toStdString();
    box.setCurrentIndex(index);
    Q_EMIT box.activated(index);
}

}  // namespace

void DefinitionTest::chooseAlias(TDefineForm& form, const QString& alias) {
    pick(*form.AliasBox, alias);
}

void DefinitionTest::chooseTable(TDefineForm& form, const QString& table) {
    pick(*form.TabellenBox, table);
}

namespace {

// Where a click into `widget` lands: a list's rows are drawn in its viewport.
QWidget* clickArea(QWidget* widget) {
    auto* list = qobject_cast<QAbstractScrollArea*>(widget);
    return list ? list->viewport() : widget;
}

QMenu* openPopup() {
    QCoreApplication::processEvents();
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

}  // namespace

QMenu* DefinitionTest::rightClick(TDefineForm& form, QWidget* widget) {
    QWidget* area = clickArea(widget);
    // Through the window, as the windowing system delivers it: the window turns the press into
    // the context menu request of the widget under the mouse.
    const QPoint at = area->mapTo(&form, QPoint(area->width() / 2, area->height() - 8));
    QTest::mouseClick(form.windowHandle(), Qt::RightButton, {}, at);
    return openPopup();
}

QMenu* DefinitionTest::menuKey(TDefineForm& form, QWidget* widget) {
    widget->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(form.windowHandle(), Qt::Key_Menu);
    if (QMenu* menu = openPopup()) return menu;
    // The X11 and Windows platforms answer the Menu key with a keyboard context menu request
    // to the focus widget; the offscreen platform of the tests does not, so it is sent here.
    QWidget* focus = QApplication::focusWidget();
    if (!focus) return nullptr;
    const QPoint at = focus->rect().center();
    QContextMenuEvent request(QContextMenuEvent::Keyboard, at, focus->mapToGlobal(at));
    QApplication::sendEvent(focus, &request);
    return openPopup();
}

void DefinitionTest::chooseFromMenu(TDefineForm& form, QAction* item) {
    QWidget* owner = nullptr;
    if (item->parent() == form.Pop1) owner = form.FelderListe;
    if (item->parent() == form.Pop3) owner = form.SizeListe;
    if (item->parent() == form.Pop2)
        owner = form.NeuPanel->isHidden() ? static_cast<QWidget*>(form.TypListe) : form.TypEdit;
    ASSERT_NE(owner, nullptr) << "no menu of the window holds " << item->text().toStdString();
    QMenu* menu = rightClick(form, owner);
    ASSERT_NE(menu, nullptr) << "no menu opened over " << owner->objectName().toStdString();
    ASSERT_TRUE(menu->actions().contains(item)) << menu->objectName().toStdString();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    ASSERT_FALSE(menu->isVisible());
}

void DefinitionTest::enterRow(TDefineForm& form, const TypedRow& row) {
    chooseFromMenu(form, form.Einfgen1);
    typeInto(form.NameEdit, row.name);
    typeInto(form.TypEdit, row.type);
    typeInto(form.SizeEdit, row.size);
    QTest::mouseClick(form.OKBtn, Qt::LeftButton);
}

void DefinitionTest::enterRows(TDefineForm& form, const std::vector<TypedRow>& rows) {
    for (const TypedRow& row : rows) enterRow(form, row);
}

void DefinitionTest::selectRow(TDefineForm& form, int row) {
    QListWidgetItem* item = form.FelderListe->item(row);
    ASSERT_NE(item, nullptr);
    form.FelderListe->scrollToItem(item);
    QTest::mouseClick(form.FelderListe->viewport(), Qt::LeftButton, {},
                      form.FelderListe->visualItemRect(item).center());
    ASSERT_TRUE(item->isSelected());
}

QStringList DefinitionTest::rows(const TDefineForm& form) {
    const QListWidget* lists[] = {form.FelderListe, form.TypListe, form.SizeListe};
    int count = 0;
    for (const QListWidget* list : lists) count = std::max(count, list->count());
    QStringList result;
    for (int i = 0; i < count; ++i) {
        QStringList parts;
        for (const QListWidget* list : lists) {
            parts << (i < list->count() ? list->item(i)->text() : QStringLiteral("-"));
        }
        result << parts.join(u'|');
    }
    return result;
}

std::vector<QString> DefinitionTest::messageTexts() const {
    std::vector<QString> texts;
    for (const auto& message : prompts.messages) texts.push_back(message.text);
    return texts;
}

std::vector<std::string> DefinitionTest::engineFields(const std::string& tableName) {
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = tableName;
    table.Open();
    std::vector<std::string> fields;
    for (int i = 0; i < table.FieldCount(); ++i) {
        const TField& field = table.Fields(i);
        fields.push_back(field.FieldName() + ":" + definitionTypeCode(field.DataType()) + ":" +
                         std::to_string(field.Size()));
    }
    return fields;
}

void createDemoTable(const DemoAlias& demo, const std::string& name,
                     const std::vector<std::tuple<std::string, TFieldType, int>>& fields) {
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = name;
    for (const auto& [fieldName, type, size] : fields)
        table.FieldDefs.Add(fieldName, type, size, false);
    table.CreateTable();
}

PxlibStructure pxlibStructure(const std::string& path) {
    PxlibStructure structure;
    pxdoc_t* doc = PX_new();
    if (PX_open_file(doc, path.c_str()) < 0) {
        structure.error = "pxlib cannot open " + path;
        PX_delete(doc);
        return structure;
    }
    const pxhead_t* head = doc->px_head;
    structure.primaryKeyFields = head->px_primarykeyfields;
    structure.records = head->px_numrecords;
    pxfield_t* fields = PX_get_fields(doc);
    for (int i = 0; i < head->px_numfields; ++i) {
        structure.fields.push_back(std::string(fields[i].px_fname) + ":" +
                                   std::to_string(static_cast<int>(fields[i].px_ftype)) + ":" +
                                   std::to_string(fields[i].px_flen));
    }
    PX_close(doc);
    PX_delete(doc);
    return structure;
}

std::vector<std::string> dbfreadFields(const std::string& path) {
    const std::string script =
        "import sys\n"
        "from dbfread import DBF\n"
        "for f in DBF(sys.argv[1], load=False, ignore_missing_memofile=True).fields:\n"
        "    print('%s:%s:%d' % (f.name, f.type, f.length))\n";
    std::string output;
    const int status = runCommand(
        std::string(KX4_DEBIAN_PYTHON) + " -c \"" + script + "\" '" + path + "' 2>&1", output);
    if (status != 0) return {"dbfread failed: " + output};
    std::vector<std::string> fields;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) fields.push_back(line);
    return fields;
}

}  // namespace kx4::test

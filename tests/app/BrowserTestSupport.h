#pragma once
// Driving the main window's browser the way the user does: choosing an alias, clicking tree
// nodes and list rows with the mouse.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>
#include <QTreeWidget>

#include "app/TabellenForm.h"

namespace kx4::test {

inline void chooseAlias(TTabellenForm& form, const QString& alias) {
    const int item = form.AliasBox->findText(alias);
    ASSERT_GE(item, 0) << alias.toStdString();
    form.AliasBox->setCurrentIndex(item);
}

// A left click on the viewport of a tree or list at `position` (viewport coordinates).
inline void clickAt(QTreeWidget* view, QPoint position) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, position);
}

inline void clickItem(QTreeWidget* view, QTreeWidgetItem* item) {
    view->scrollToItem(item);
    clickAt(view, view->visualItemRect(item).center());
}

// Below the last row: a click beside every node or row.
inline void clickBesideTheItems(QTreeWidget* view) {
    clickAt(view, QPoint(view->viewport()->width() / 2, view->viewport()->height() - 3));
}

inline QTreeWidgetItem* findRow(QTreeWidget* view, const QString& text) {
    const QList<QTreeWidgetItem*> found =
        view->findItems(text, Qt::MatchExactly | Qt::MatchRecursive, 0);
    return found.isEmpty() ? nullptr : found.first();
}

inline void clickTable(TTabellenForm& form, const QString& table) {
    QTreeWidgetItem* node = findRow(form.TabellenNamen, table);
    ASSERT_NE(node, nullptr) << table.toStdString();
    clickItem(form.TabellenNamen, node);
}

inline QStringList columnTexts(const QTreeWidget* view, int column) {
    QStringList texts;
    for (int i = 0; i < view->topLevelItemCount(); ++i)
        texts << view->topLevelItem(i)->text(column);
    return texts;
}

inline QStringList treeTexts(const QTreeWidget* tree) {
    QStringList texts;
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget*>(tree)); *it; ++it)
        texts << (*it)->text(0);
    return texts;
}

}  // namespace kx4::test

#include "definition/RowLists.h"

#include "ui/Convert.h"

namespace kx4 {

EListError::EListError(int index)
    : std::out_of_range(
          QStringLiteral("Listenindex überschreitet das Maximum (%1)").arg(index).toStdString()) {}

QString listEntry(const QListWidget& list, int index) {
    if (index < 0 || index >= list.count()) throw EListError(index);
    return list.item(index)->text();
}

void appendEntry(QListWidget& list, const QString& text) { list.addItem(text); }

int selectedRow(const QListWidget& list) {
    const QList<QListWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : list.row(selected.first());
}

DefinitionRow readDefinitionRow(const QListWidget& names, const QListWidget& types,
                                const QListWidget& sizes, int row) {
    DefinitionRow result;
    result.name = listEntry(names, row);
    result.type = listEntry(types, row);
    result.size = StrToInt(listEntry(sizes, row));
    return result;
}

}  // namespace kx4

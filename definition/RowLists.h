#pragma once
// Reading the definition rows out of their three list boxes. Nothing keeps the lists the same
// length, so an entry that is missing raises the list error, as a string list does.
#include <QListWidget>
#include <QString>
#include <stdexcept>

namespace kx4 {

// "Listenindex überschreitet das Maximum (INDEX)".
class EListError : public std::out_of_range {
  public:
    explicit EListError(int index);
};

// Text of entry `index` of `list`; raises EListError when there is none.
QString listEntry(const QListWidget& list, int index);

// Appends `text` as the list's new last entry.
void appendEntry(QListWidget& list, const QString& text);

// Row of the list's selected entry, -1 when none is selected.
int selectedRow(const QListWidget& list);

// One definition row as the save and the two field operations read it: name, type entry and
// size entry at the same position, the size converted to a whole number (EListError for a
// missing entry, EConvertError for a size that is not a whole number).
struct DefinitionRow {
    QString name;
    QString type;
    int size = 0;
};
DefinitionRow readDefinitionRow(const QListWidget& names, const QListWidget& types,
                                const QListWidget& sizes, int row);

}  // namespace kx4

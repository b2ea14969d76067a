#pragma once
// What the user has chosen in the main window, as the toolbar operations read it. The main
// window fills it from its controls when an operation starts.
#include <QString>
#include <optional>

namespace kx4 {

// A row of the main window's field list as it is shown: name, type name, length.
struct FieldRow {
    QString name;
    QString typeName;
    QString length;
};

struct Selection {
    QString alias;                     // the alias box's text
    QString table;                     // TabString: the chosen table, without a full stop if none
    std::optional<QString> treeTable;  // the table node selected in the tree, if one is
    std::optional<FieldRow> field;     // the first selected row of the field list
    std::optional<QString> index;      // IndexText while a row of the index list is selected
};

}  // namespace kx4

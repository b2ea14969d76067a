#pragma once
// The seven type letters of the definition rows: the field type a letter creates, whether the
// row's size is passed on, and the column type of the statement that adds such a field.
#include <QString>
#include <optional>

#include "engine/core/FieldType.h"

namespace kx4 {

struct FieldLetter {
    QString letter;      // "A", "S", "I", "L", "D", "$", "M"
    TFieldType type;     // field type of a created table
    bool sizeFromRow;    // false: 0 is passed, whatever the row says
    QString columnType;  // in ALTER TABLE ... ADD; "CHARACTER" takes the size in parentheses
};

// The letter's definition; nullopt for anything but the seven letters (compared exactly).
std::optional<FieldLetter> findFieldLetter(const QString& letter);

// The column type of the ADD statement: "CHARACTER(size)" for A, the fixed word otherwise.
QString columnTypeFor(const FieldLetter& letter, int size);

}  // namespace kx4

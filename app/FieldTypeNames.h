#pragma once
// The field-type vocabulary shown for a table's fields: the type names of the main window's
// field list, the short type codes of the table definition window, and the length shown.
#include <string>

#include "engine/core/TableSchema.h"

namespace kx4 {

// "String", "SmallInt", ... ; "Unknown" for every type without a name of its own.
std::string browserTypeName(TFieldType type);
// "A", "S", "I", ... ; the type name where a type has no short code; "U" for unknown types.
std::string definitionTypeCode(TFieldType type);
// Whether the length shown for a field of `type` is its declared size (character, byte and blob
// fields) rather than the bytes of its value.
bool lengthIsDeclaredSize(TFieldType type);
// The length column: the declared size for character, byte and blob fields, the decimal places
// for BCD (34 when there are none), the record data size otherwise.
std::string shownLength(TFieldType type, int declaredSize);

}  // namespace kx4

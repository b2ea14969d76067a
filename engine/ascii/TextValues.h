#pragma once
// Field values of text tables: how each schema type maps to the engine's field types, and the
// text form of values. Written forms are fixed: numbers with '.' and the field's decimals,
// BOOL "T"/"F", DATE "MM/DD/YYYY", TIME "HH:MM:SS" (".mmm" added when there are milliseconds),
// TIMESTAMP "MM/DD/YYYY HH:MM:SS[.mmm]". Reading also accepts ISO dates (YYYY-MM-DD), German
// dates (DD.MM.YYYY), two-digit years (50-99 = 19xx), AM/PM times and "Y"/"N"/"1"/"0".
#include <optional>
#include <string>
#include <string_view>

#include "engine/ascii/SchemaFile.h"
#include "engine/core/TableSchema.h"
#include "engine/core/Value.h"

namespace kx4::ascii {

FieldDef fieldDefOf(const TextField& field);
// The schema field for an engine definition; raises DBIERR_INVALIDFLDTYPE naming the field for
// types text tables cannot hold (memos, BLOBs, bytes).
TextField textFieldFor(const FieldDef& def);

// Text of a value (not padded); raises EDBEngineError naming the field when it does not fit
// the width (DBIERR_DATATOOLONG) or has the wrong kind (DBIERR_INVALIDFLDXFORM).
std::string formatText(const TextField& field, const FieldValue& value);
// Value of a text (already trimmed); nullopt when it is not a valid value of the field's type.
std::optional<FieldValue> parseText(const TextField& field, std::string_view text);

}  // namespace kx4::ascii

#pragma once
// Converting a value from one field definition to another during a restructure. A conversion
// either keeps the value exactly or is refused with a reason; it never rounds or cuts silently.
#include <optional>
#include <string>

#include "engine/core/TableSchema.h"
#include "engine/core/Value.h"

namespace kx4 {

class TextCodec;

// The converted value, or nullopt with `reason` saying why the value does not fit `to`. Text
// becomes binary data as the bytes of the table's code page (`tableText`), and binary data
// becomes text from them, so that such a change can be undone.
std::optional<FieldValue> convertValue(const FieldValue& value, const FieldDef& to,
                                       std::string& reason, const TextCodec& tableText);

// Text form used when a value becomes text (numbers in shortest exact form, ISO dates).
std::string valueAsText(const FieldValue& value);

}  // namespace kx4

#pragma once
// Field values in dBase records: the engine's view of each field type (FieldDef) and the
// conversion between record bytes and FieldValue.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/core/TableSchema.h"
#include "engine/core/TextCodec.h"
#include "engine/core/Value.h"
#include "engine/dbase/DbfHeader.h"

namespace kx4::dbase {

class MemoFile;

// The FieldDef the engine sees for a stored field.
FieldDef fieldDefOf(const DbfField& field, DbfLevel level);

// Types whose record bytes point into the memo file.
bool isMemoField(const DbfField& field, DbfLevel level);
// Memo fields holding text rather than binary data.
bool isTextMemo(const DbfField& field);

struct DecodeContext {
    const TextCodec& codec;
    DbfLevel level;
    MemoFile* memo;  // null when the table has no (or a missing) memo file
    const std::string& tableFile;
    std::uint32_t recordNumber;  // 1-based, for messages
    // Why the memo file is missing or unusable (naming it) when `memo` is null.
    std::string_view memoProblem = {};
};

FieldValue decodeField(const DbfField& field, const std::uint8_t* record, const DecodeContext& ctx);

// Text of a number as a right-aligned N/F field of `length` with `decimals`, or nullopt when it
// does not fit. Accepts int64, double and Decimal; other values raise naming the field.
std::optional<std::string> formatNumeric(const FieldValue& value, int length, int decimals,
                                         const std::string& fieldName);

struct EncodeContext {
    const TextCodec& codec;
    DbfLevel level;
};

// Fixed (non-memo) fields: writes the value's bytes at the field's place in `record`. Raises
// EDBEngineError naming the field for a value that does not fit (DBIERR_DATATOOLONG) or has the
// wrong kind (DBIERR_INVALIDFLDXFORM).
void encodeField(const DbfField& field, const FieldValue& value, std::uint8_t* record,
                 const EncodeContext& ctx);
// Memo fields: the bytes to store (code-page text or binary), nullopt for a blank value.
std::optional<Bytes> memoPayload(const DbfField& field, const FieldValue& value,
                                 const EncodeContext& ctx);
// Writes the block number (0 = none) into a memo field of `record`.
void writeMemoPointer(const DbfField& field, std::uint32_t block, std::uint8_t* record);
std::uint32_t readMemoPointer(const DbfField& field, const std::uint8_t* record, bool& valid);

}  // namespace kx4::dbase

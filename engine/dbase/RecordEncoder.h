#pragma once
// Turns a record of engine values into .DBF record bytes plus the memos it needs, checking
// every value before anything is written.
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/core/Value.h"
#include "engine/dbase/DbfHeader.h"
#include "engine/dbase/FieldCodec.h"
#include "engine/dbase/MemoFile.h"

namespace kx4::dbase {

struct EncodedRecord {
    std::vector<std::uint8_t> bytes;                                 // memo pointers still blank
    std::vector<std::pair<std::size_t, Bytes>> memos;                // header field index, content
    std::vector<std::pair<std::size_t, std::uint32_t>> autoIncNext;  // '+' field, next value
};

// Encodes `value` into field `index` of `out.bytes`: a memo field's content joins `out.memos`
// (its pointer stays blank until storeMemos), a blank auto-increment value takes the field's
// next number. Raises EDBEngineError naming the field.
void encodeValue(const std::vector<DbfField>& fields, std::size_t index, const FieldValue& value,
                 const EncodeContext& ctx, EncodedRecord& out);

// `fields` are the header's fields, `visible` the header index of each record value. A blank
// auto-increment value takes the field's next value. Raises EDBEngineError naming the field.
EncodedRecord encodeRecord(const std::vector<DbfField>& fields, const std::vector<int>& visible,
                           const Record& record, const EncodeContext& ctx,
                           std::uint16_t recordLength);

// Stores the memos in `memo` and fills in their pointers.
void storeMemos(EncodedRecord& record, const std::vector<DbfField>& fields, MemoFile& memo);

}  // namespace kx4::dbase

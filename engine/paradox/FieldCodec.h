#pragma once
// Paradox field types as the engine sees them (FieldDef) and the byte encodings of fixed-size
// values inside a record. Blob fields are read and written with BlobFile.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/core/TableSchema.h"
#include "engine/core/Value.h"
#include "engine/paradox/ByteOrder.h"
#include "engine/paradox/FieldTypes.h"
#include "engine/paradox/ParadoxHeader.h"

namespace kx4 {
class TextCodec;
}

namespace kx4::paradox {

// The engine's description of a field stored as `info`.
FieldDef fieldDefFor(const FieldInfo& info, std::string name);

// The storage of a field definition (physical type when set, otherwise the component type).
// Raises DBIERR_INVALIDFLDTYPE for a type Paradox cannot hold and DBIERR_INVALIDPARAM for a
// size out of range.
FieldInfo fieldInfoFor(const FieldDef& def);

// Physical type code of a Paradox type (fldPDX*), and back (0 when unknown).
std::uint16_t physicalCodeOf(std::uint8_t type);
std::uint8_t typeForPhysicalCode(std::uint16_t code);

// Record bytes of a field.
inline int storedSize(const FieldInfo& f) { return f.type == pxBcd ? kBcdRecordSize : f.size; }

// Decodes a fixed-size (non-blob) field; all-zero bytes are Blank.
FieldValue decodeValue(const FieldInfo& f, const std::uint8_t* p, const TextCodec& codec);

// Encodes a fixed-size (non-blob) field into storedSize(f) bytes. Raises DBIERR_DATATOOLONG
// for a value the field cannot hold and DBIERR_INVALIDFLDXFORM for a value of the wrong kind;
// `fieldName` goes into the message.
void encodeValue(const FieldInfo& f, const FieldValue& v, std::uint8_t* out, const TextCodec& codec,
                 const std::string& fieldName);

// Text of the table's code page as UTF-8.
std::string textFromTable(std::string_view bytes, const TextCodec& codec);
// Text in the table's code page; a character it lacks raises naming the field.
std::string tableText(const std::string& utf8, const TextCodec& codec, const std::string& field);

// The order-preserving number encodings, shared with index keys.
// (Inline: index entries carry their block numbers this way, so these run per entry.)
inline void encodeInteger(std::uint8_t* p, int bytes, std::int64_t v) {
    const std::uint64_t signBit = std::uint64_t{1} << (8 * bytes - 1);
    putBe(p, bytes, static_cast<std::uint64_t>(v) ^ signBit);
}
inline std::int64_t decodeInteger(const std::uint8_t* p, int bytes) {
    // The stored image is the value plus 2^(width-1).
    const std::uint64_t signBit = std::uint64_t{1} << (8 * bytes - 1);
    return static_cast<std::int64_t>(getBe(p, bytes)) - static_cast<std::int64_t>(signBit);
}
void encodeDouble(std::uint8_t* p, double v);
double decodeDouble(const std::uint8_t* p);

// BCD: 17 bytes, `decimals` places; text as in Decimal ("-12.50").
std::string decodeBcd(const std::uint8_t* p, int decimals);
void encodeBcd(std::uint8_t* p, int decimals, const std::string& text,
               const std::string& fieldName);

}  // namespace kx4::paradox

#include "engine/paradox/FieldCodec.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/core/Errors.h"
#include "engine/core/FieldTypeFacts.h"
#include "engine/core/TextCodec.h"
#include "engine/paradox/ByteOrder.h"

namespace kx4::paradox {

namespace {

struct TypeTraits {
    std::uint8_t type;
    TFieldType fieldType;
    std::uint16_t physical;
};

constexpr TypeTraits kTraits[] = {
    {pxAlpha, TFieldType::ftString, fldPDXCHAR},
    {pxDate, TFieldType::ftDate, fldPDXDATE},
    {pxShort, TFieldType::ftSmallint, fldPDXSHORT},
    {pxLong, TFieldType::ftInteger, fldPDXLONG},
    {pxMoney, TFieldType::ftCurrency, fldPDXMONEY},
    {pxNumber, TFieldType::ftFloat, fldPDXNUM},
    {pxLogical, TFieldType::ftBoolean, fldPDXBOOL},
    {pxMemo, TFieldType::ftMemo, fldPDXMEMO},
    {pxBinary, TFieldType::ftBlob, fldPDXBINARYBLOB},
    {pxFmtMemo, TFieldType::ftFmtMemo, fldPDXFMTMEMO},
    {pxOle, TFieldType::ftParadoxOle, fldPDXOLEBLOB},
    {pxGraphic, TFieldType::ftGraphic, fldPDXGRAPHIC},
    {pxTime, TFieldType::ftTime, fldPDXTIME},
    {pxTimestamp, TFieldType::ftDateTime, fldPDXDATETIME},
    {pxAutoInc, TFieldType::ftAutoInc, fldPDXAUTOINC},
    {pxBcd, TFieldType::ftBCD, fldPDXBCD},
    {pxBytes, TFieldType::ftBytes, fldPDXBYTES},
};

const TypeTraits& traitsOf(std::uint8_t type) {
    for (const auto& t : kTraits)
        if (t.type == type) return t;
    throwEngineError(DBIERR_INVALIDFLDTYPE, "Unknown Paradox field type " + std::to_string(type));
}

// Bytes the table component's record buffer holds for the value.
int dataSizeOf(const FieldInfo& f) {
    switch (f.type) {
        case pxAlpha:
            return f.size + 1;
        case pxLogical:
            return 2;
        case pxBcd:
            return 34;
        case pxBytes:
            return f.size;
        default:
            return isBlobType(f.type) ? 0 : fixedSizeOf(f.type);
    }
}

// Paradox type for a component field type; 0 when Paradox has none.
std::uint8_t typeForFieldType(TFieldType t) {
    switch (t) {
        case TFieldType::ftString:
        case TFieldType::ftFixedChar:
        case TFieldType::ftWideString:
            return pxAlpha;
        case TFieldType::ftSmallint:
            return pxShort;
        case TFieldType::ftInteger:
        case TFieldType::ftWord:
        case TFieldType::ftLargeint:
            return pxLong;
        case TFieldType::ftBoolean:
            return pxLogical;
        case TFieldType::ftFloat:
            return pxNumber;
        case TFieldType::ftCurrency:
            return pxMoney;
        case TFieldType::ftBCD:
            return pxBcd;
        case TFieldType::ftDate:
            return pxDate;
        case TFieldType::ftTime:
            return pxTime;
        case TFieldType::ftDateTime:
            return pxTimestamp;
        case TFieldType::ftBytes:
            return pxBytes;
        case TFieldType::ftAutoInc:
            return pxAutoInc;
        case TFieldType::ftBlob:
        case TFieldType::ftTypedBinary:
            return pxBinary;
        case TFieldType::ftMemo:
            return pxMemo;
        case TFieldType::ftGraphic:
            return pxGraphic;
        case TFieldType::ftFmtMemo:
            return pxFmtMemo;
        case TFieldType::ftParadoxOle:
            return pxOle;
        default:
            return 0;
    }
}

[[noreturn]] void throwSize(const FieldDef& def, const std::string& range) {
    throwEngineError(DBIERR_INVALIDPARAM, "Invalid size " + std::to_string(def.size) +
                                              " for field " + def.name + ": Paradox allows " +
                                              range);
}

[[noreturn]] void throwTooLong(const std::string& field, const std::string& why) {
    throwEngineError(DBIERR_DATATOOLONG, "Value of field " + field + " does not fit: " + why);
}

[[noreturn]] void throwWrongKind(const std::string& field, const char* expected) {
    throwEngineError(DBIERR_INVALIDFLDXFORM, "Value of field " + field + " is not " + expected);
}

std::int64_t integerValue(const FieldValue& v, const std::string& field) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
    if (const auto* d = std::get_if<double>(&v)) {
        if (std::isfinite(*d) && std::trunc(*d) == *d && std::fabs(*d) < 9.2e18)
            return static_cast<std::int64_t>(*d);
        throwWrongKind(field, "a whole number");
    }
    if (const auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    throwWrongKind(field, "a whole number");
}

double doubleValue(const FieldValue& v, const std::string& field) {
    double d = 0;
    if (const auto* x = std::get_if<double>(&v))
        d = *x;
    else if (const auto* i = std::get_if<std::int64_t>(&v))
        d = static_cast<double>(*i);
    else if (const auto* dec = std::get_if<Decimal>(&v))
        d = std::strtod(dec->text.c_str(), nullptr);
    else
        throwWrongKind(field, "a number");
    if (!std::isfinite(d)) throwTooLong(field, "not a finite number");
    return d;
}

void encodeChecked(std::uint8_t* p, int bytes, std::int64_t v, const std::string& field) {
    // The lowest value of the width encodes as all zero, which reads back as blank.
    const std::int64_t limit = (std::int64_t{1} << (8 * bytes - 1)) - 1;
    if (v < -limit || v > limit)
        throwTooLong(field, std::to_string(v) + " is outside " + std::to_string(-limit) + ".." +
                                std::to_string(limit));
    encodeInteger(p, bytes, v);
}

std::string textBytes(const FieldValue& v, const TextCodec& codec, const std::string& field) {
    if (const auto* s = std::get_if<std::string>(&v)) return tableText(*s, codec, field);
    throwWrongKind(field, "text");
}

Bytes rawBytes(const FieldValue& v, const std::string& field) {
    if (const auto* b = std::get_if<Bytes>(&v)) return *b;
    if (const auto* b = std::get_if<Blob>(&v)) return b->data;
    if (const auto* s = std::get_if<std::string>(&v)) return Bytes(s->begin(), s->end());
    throwWrongKind(field, "a byte string");
}

std::string decimalText(const FieldValue& v, const std::string& field) {
    if (const auto* d = std::get_if<Decimal>(&v)) return d->text;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (const auto* x = std::get_if<double>(&v)) {
        if (!std::isfinite(*x)) throwTooLong(field, "not a finite number");
        return formatValue(*x);  // plain decimal, as long as the number needs
    }
    throwWrongKind(field, "a decimal number");
}

}  // namespace

namespace {

bool isAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

// Every code page of Paradox tables keeps ASCII as it is, so plain text skips the conversion.
std::string textFromTable(std::string_view bytes, const TextCodec& codec) {
    if (isAscii(bytes)) return std::string(bytes);
    return codec.toUtf8(bytes);
}

std::string tableText(const std::string& utf8, const TextCodec& codec, const std::string& field) {
    if (isAscii(utf8)) return utf8;
    try {
        return codec.fromUtf8(utf8);
    } catch (const EDBEngineError& e) {
        throwEngineError(e.errorCode(), "Value of field " + field + ": " + e.what());
    }
}

std::uint16_t physicalCodeOf(std::uint8_t type) { return traitsOf(type).physical; }

std::uint8_t typeForPhysicalCode(std::uint16_t code) {
    for (const auto& t : kTraits)
        if (t.physical == code) return t.type;
    return 0;
}

FieldDef fieldDefFor(const FieldInfo& info, std::string name) {
    const TypeTraits& t = traitsOf(info.type);
    FieldDef def;
    def.name = std::move(name);
    def.type = t.fieldType;
    def.physicalType = t.physical;
    const EngineType engine = engineTypeOf(t.fieldType);
    def.logicalType = engine.type;
    def.subType = engine.subType;
    if (info.type == pxAlpha || info.type == pxBytes || info.type == pxBcd) def.size = info.size;
    if (isBlobType(info.type)) def.size = info.size - kBlobPointerSize;
    def.dataSize = dataSizeOf(info);
    return def;
}

FieldInfo fieldInfoFor(const FieldDef& def) {
    std::uint8_t type = def.physicalType ? typeForPhysicalCode(def.physicalType) : 0;
    if (type == 0) type = typeForFieldType(def.type);
    if (type == 0)
        throwEngineError(DBIERR_INVALIDFLDTYPE,
                         "Field " + def.name + " has a type that Paradox tables cannot hold");
    FieldInfo info{type, static_cast<std::uint8_t>(fixedSizeOf(type))};
    switch (type) {
        case pxAlpha:
        case pxBytes:
            if (def.size < 1 || def.size > 255) throwSize(def, "1 to 255");
            info.size = static_cast<std::uint8_t>(def.size);
            break;
        case pxBcd:
            if (def.size < 0 || def.size > kBcdMaxDecimals)
                throwSize(def, "0 to 32 decimal places");
            info.size = static_cast<std::uint8_t>(def.size);
            break;
        case pxMemo:
            if (def.size < 1 || def.size > kMaxBlobLeader) throwSize(def, "1 to 240");
            info.size = static_cast<std::uint8_t>(def.size + kBlobPointerSize);
            break;
        default:
            if (isBlobType(type)) {
                if (def.size < 0 || def.size > kMaxBlobLeader) throwSize(def, "0 to 240");
                info.size = static_cast<std::uint8_t>(def.size + kBlobPointerSize);
            }
    }
    return info;
}

void encodeDouble(std::uint8_t* p, double v) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    constexpr std::uint64_t kSign = std::uint64_t{1} << 63;
    bits = (bits & kSign) ? ~bits : bits | kSign;
    putBe(p, 8, bits);
}

double decodeDouble(const std::uint8_t* p) {
    std::uint64_t bits = getBe(p, 8);
    constexpr std::uint64_t kSign = std::uint64_t{1} << 63;
    bits = (bits & kSign) ? bits & ~kSign : ~bits;
    return std::bit_cast<double>(bits);
}

// BCD layout: byte 0 = 0x80 (positive) | 0x40 | decimals; bytes 1..16 = 32 digit nibbles,
// most significant first, each XOR 0xF in negative numbers.
std::string decodeBcd(const std::uint8_t* p, int decimals) {
    const bool negative = !(p[0] & 0x80);
    // Real files hold values without the 0x40 marker whose digits are not inverted.
    const std::uint8_t flip = negative && (p[0] & 0x40) ? 0x0F : 0;
    std::string digits;
    bool garbage = false;
    for (int i = 0; i < 32; ++i) {
        const std::uint8_t b = p[1 + i / 2];
        const int nibble = ((i % 2 == 0) ? b >> 4 : b & 0x0F) ^ flip;
        // Some writers leave junk nibbles after the significant digits of a converted double.
        garbage = garbage || nibble > 9;
        digits += static_cast<char>('0' + (garbage ? 0 : nibble));
    }
    std::string whole = digits.substr(0, 32 - decimals);
    const std::string fraction = digits.substr(32 - decimals);
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    if (whole.empty()) whole = "0";
    std::string text = whole;
    if (decimals > 0) text += "." + fraction;
    const bool zero = text.find_first_not_of("0.") == std::string::npos;
    return negative && !zero ? "-" + text : text;
}

void encodeBcd(std::uint8_t* p, int decimals, const std::string& text, const std::string& field) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::string whole, fraction;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) whole += text[i++];
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            fraction += text[i++];
    }
    if (i != text.size() || (whole.empty() && fraction.empty()))
        throwEngineError(DBIERR_INVALIDFLDXFORM,
                         "Value of field " + field + " is not a decimal number: '" + text + "'");
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    while (static_cast<int>(fraction.size()) > decimals && fraction.back() == '0')
        fraction.pop_back();
    if (static_cast<int>(fraction.size()) > decimals)
        throwTooLong(field,
                     text + " has more than " + std::to_string(decimals) + " decimal places");
    if (static_cast<int>(whole.size()) > 32 - decimals)
        throwTooLong(field, text + " has more than " + std::to_string(32 - decimals) +
                                " digits before the decimal point");
    fraction.resize(decimals, '0');
    const std::string digits = std::string(32 - decimals - whole.size(), '0') + whole + fraction;
    if (digits.find_first_not_of('0') == std::string::npos) negative = false;
    const std::uint8_t flip = negative ? 0x0F : 0;
    std::memset(p, 0, kBcdRecordSize);
    p[0] = static_cast<std::uint8_t>((negative ? 0x00 : 0x80) | 0x40 | decimals);
    for (int k = 0; k < 32; ++k) {
        const std::uint8_t nibble = static_cast<std::uint8_t>((digits[k] - '0') ^ flip);
        p[1 + k / 2] |= (k % 2 == 0) ? nibble << 4 : nibble;
    }
}

FieldValue decodeValue(const FieldInfo& f, const std::uint8_t* p, const TextCodec& codec) {
    const int n = storedSize(f);
    if (allZero(p, n)) return Blank{};
    switch (f.type) {
        case pxAlpha: {
            const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, n));
            const std::size_t len = end ? static_cast<std::size_t>(end - p) : n;
            return textFromTable(std::string_view(reinterpret_cast<const char*>(p), len), codec);
        }
        case pxShort:
            return decodeInteger(p, 2);
        case pxLong:
        case pxAutoInc:
            return decodeInteger(p, 4);
        case pxMoney:
        case pxNumber:
            return decodeDouble(p);
        case pxDate:
            return Date{static_cast<std::int32_t>(decodeInteger(p, 4))};
        case pxTime:
            return Time{static_cast<std::int32_t>(decodeInteger(p, 4))};
        case pxTimestamp:
            return Timestamp{std::llround(decodeDouble(p))};
        case pxLogical:
            return p[0] != 0x80;
        case pxBcd:
            return Decimal{decodeBcd(p, f.size)};
        case pxBytes:
            return Bytes(p, p + n);
        default:
            throwEngineError(DBIERR_INVALIDFLDTYPE, "Blob field decoded as a fixed-size value");
    }
}

void encodeValue(const FieldInfo& f, const FieldValue& v, std::uint8_t* out, const TextCodec& codec,
                 const std::string& field) {
    const int n = storedSize(f);
    std::memset(out, 0, n);
    if (isBlank(v)) return;
    switch (f.type) {
        case pxAlpha: {
            const std::string bytes = textBytes(v, codec, field);
            if (bytes.size() > static_cast<std::size_t>(n))
                throwTooLong(field, std::to_string(bytes.size()) + " characters, the field holds " +
                                        std::to_string(n));
            if (bytes.find('\0') != std::string::npos)
                throwWrongKind(field, "text without NUL characters");
            std::memcpy(out, bytes.data(), bytes.size());
            return;
        }
        case pxShort:
            return encodeChecked(out, 2, integerValue(v, field), field);
        case pxLong:
        case pxAutoInc:
            return encodeChecked(out, 4, integerValue(v, field), field);
        case pxMoney:
        case pxNumber:
            return encodeDouble(out, doubleValue(v, field));
        case pxDate: {
            const auto* d = std::get_if<Date>(&v);
            if (!d) throwWrongKind(field, "a date");
            return encodeChecked(out, 4, d->day, field);
        }
        case pxTime: {
            const auto* t = std::get_if<Time>(&v);
            if (!t) throwWrongKind(field, "a time");
            if (t->msec < 0 || t->msec >= 86'400'000)
                throwTooLong(field, "time outside 00:00:00.000..23:59:59.999");
            return encodeInteger(out, 4, t->msec);
        }
        case pxTimestamp: {
            std::int64_t msec = 0;
            if (const auto* t = std::get_if<Timestamp>(&v))
                msec = t->msec;
            else if (const auto* d = std::get_if<Date>(&v))
                msec = std::int64_t{d->day} * 86'400'000;
            else
                throwWrongKind(field, "a timestamp");
            return encodeDouble(out, static_cast<double>(msec));
        }
        case pxLogical: {
            const auto* b = std::get_if<bool>(&v);
            const bool value = b ? *b : integerValue(v, field) != 0;
            out[0] = value ? 0x81 : 0x80;
            return;
        }
        case pxBcd:
            return encodeBcd(out, f.size, decimalText(v, field), field);
        case pxBytes: {
            const Bytes bytes = rawBytes(v, field);
            if (bytes.size() > static_cast<std::size_t>(n))
                throwTooLong(field, std::to_string(bytes.size()) + " bytes, the field holds " +
                                        std::to_string(n));
            if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
            return;
        }
        default:
            throwEngineError(DBIERR_INVALIDFLDTYPE, "Blob field encoded as a fixed-size value");
    }
}

}  // namespace kx4::paradox

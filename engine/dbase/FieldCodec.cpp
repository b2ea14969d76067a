#include "engine/dbase/FieldCodec.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "engine/core/Errors.h"
#include "engine/core/FieldTypeFacts.h"
#include "engine/core/MemoSalvage.h"
#include "engine/dbase/ByteOrder.h"
#include "engine/dbase/MemoFile.h"

namespace kx4::dbase {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kJulianDayOfOrdinalZero = 1'721'425;  // Julian day = ordinal + this
constexpr std::uint32_t kLongSignFlip = 0x8000'0000u;
constexpr std::uint64_t kDoubleSignBit = 0x8000'0000'0000'0000ull;

FieldDef makeDef(const DbfField& f, TFieldType type, std::uint16_t physical, int dataSize) {
    const EngineType engine = engineTypeOf(type);
    FieldDef d;
    d.name = f.name;
    d.type = type;
    d.physicalType = physical;
    d.logicalType = engine.type;
    d.subType = engine.subType;
    d.size = 0;
    d.decimals = f.decimals;
    d.dataSize = dataSize;
    return d;
}

// Field-level messages name the field, the record and the file.
[[noreturn]] void badValue(const DbfField& f, const DecodeContext& ctx, const std::string& what) {
    throwCorrupt(ctx.tableFile,
                 "record " + std::to_string(ctx.recordNumber) + ", field " + f.name + ": " + what);
}

std::string_view trimmed(const std::uint8_t* p, int length) {
    std::string_view s(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
    const auto isPad = [](char c) { return c == ' ' || c == '\0'; };
    while (!s.empty() && isPad(s.back())) s.remove_suffix(1);
    while (!s.empty() && isPad(s.front())) s.remove_prefix(1);
    return s;
}

bool allBytes(const std::uint8_t* p, int n, std::uint8_t value) {
    for (int i = 0; i < n; ++i)
        if (p[i] != value) return false;
    return true;
}

FieldValue decodeNumber(const DbfField& f, const std::uint8_t* p, const DecodeContext& ctx,
                        TFieldType type) {
    std::string text(trimmed(p, f.length));
    // Overflowed values are stored as asterisks; some writers use ',' as the decimal point.
    if (text.find_first_not_of('*') == std::string::npos) return Blank{};
    for (auto& c : text)
        if (c == ',') c = '.';
    std::string_view s = text;
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty())
        badValue(f, ctx, "'" + text + "' is not a number");
    if (type == TFieldType::ftFloat) return value;
    return static_cast<std::int64_t>(std::llround(value));
}

FieldValue decodeDate(const DbfField& f, const std::uint8_t* p, const DecodeContext& ctx) {
    const std::string_view s = trimmed(p, f.length);
    if (s.empty() || s.find_first_not_of('0') == std::string_view::npos) return Blank{};
    int digits[8];
    if (s.size() < 8) badValue(f, ctx, "'" + std::string(s) + "' is not a date");
    for (int i = 0; i < 8; ++i) {
        if (s[i] < '0' || s[i] > '9') badValue(f, ctx, "'" + std::string(s) + "' is not a date");
        digits[i] = s[i] - '0';
    }
    const int year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    const int month = digits[4] * 10 + digits[5];
    const int day = digits[6] * 10 + digits[7];
    if (!isValidYmd(year, month, day) || year == 0)
        badValue(f, ctx, "'" + std::string(s) + "' is not a valid date");
    return dateFromYmd(year, month, day);
}

FieldValue decodeLogical(const std::uint8_t* p) {
    switch (p[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
        case '1':
            return true;
        case 'F':
        case 'f':
        case 'N':
        case 'n':
        case '0':
            return false;
        // '?' means "not initialised"; other bytes (writers store digits) are read as blank.
        default:
            return Blank{};
    }
}

FieldValue decodeMemo(const DbfField& f, const std::uint8_t* p, const DecodeContext& ctx) {
    bool valid = true;
    const std::uint32_t block = readMemoPointer(f, p, valid);
    if (!valid) badValue(f, ctx, "the memo block number is not a number");
    if (block == 0) return Blank{};
    if (!ctx.memo) {
        const std::string why =
            ctx.memoProblem.empty() ? "the table has no memo file" : std::string(ctx.memoProblem);
        if (MemoSalvage::report(f.name, why)) return Blank{};
        badValue(f, ctx, why + " (memo block " + std::to_string(block) + ")");
    }
    Bytes data;
    try {
        data = ctx.memo->read(block);
    } catch (const EDBEngineError& e) {
        if (MemoSalvage::report(f.name, e.what())) return Blank{};
        throw;
    }
    if (isTextMemo(f)) {
        // Some writers store the C string's terminating NUL as part of the memo.
        while (!data.empty() && data.back() == 0) data.pop_back();
        if (data.empty()) return Blank{};
        return ctx.codec.toUtf8(
            std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    }
    return Blob{std::move(data)};
}

FieldValue decodeLevel7Long(const std::uint8_t* p) {
    if (allBytes(p, 4, 0)) return Blank{};
    return static_cast<std::int64_t>(static_cast<std::int32_t>(getBe32(p) ^ kLongSignFlip));
}

FieldValue decodeLevel7Double(const std::uint8_t* p) {
    if (allBytes(p, 8, 0)) return Blank{};
    std::uint64_t bits = getBe64(p);
    bits = (bits & kDoubleSignBit) ? bits ^ kDoubleSignBit : ~bits;
    return doubleFromBits(bits);
}

FieldValue decodeLevel7Timestamp(const std::uint8_t* p) {
    if (allBytes(p, 8, 0)) return Blank{};
    // Milliseconds counted so that day 1 (0001-01-01) starts at 86 400 000: the Date scale.
    return Timestamp{static_cast<std::int64_t>(std::llround(doubleFromBits(getBe64(p))))};
}

FieldValue decodeFoxDateTime(const std::uint8_t* p) {
    const std::uint32_t julian = getLe32(p);
    if (julian == 0) return Blank{};
    const std::int64_t day = static_cast<std::int64_t>(julian) - kJulianDayOfOrdinalZero;
    return Timestamp{day * kMsPerDay + getLe32(p + 4)};
}

FieldValue decodeText(const DbfField& f, const std::uint8_t* p, const DecodeContext& ctx) {
    std::string_view s(reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.length));
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    if (s.empty()) return Blank{};
    return ctx.codec.toUtf8(s);
}

[[noreturn]] void wrongKind(const DbfField& f, const std::string& expected) {
    throwEngineError(DBIERR_INVALIDFLDXFORM, "Field " + f.name + " needs " + expected + " value");
}

[[noreturn]] void tooLong(const DbfField& f, const std::string& what) {
    throwEngineError(DBIERR_DATATOOLONG, "Value does not fit field " + f.name + ": " + what);
}

// Digits of a decimal text with exactly `decimals` places, with sign; nullopt when the text is
// not a number or has significant digits beyond those places (a value is never rounded).
std::optional<std::string> fixedText(std::string_view text, int decimals) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const auto dot = text.find('.');
    std::string whole(text.substr(0, dot));
    std::string frac(dot == std::string_view::npos ? "" : text.substr(dot + 1));
    if (whole.empty()) whole = "0";
    for (char c : whole + frac)
        if (c < '0' || c > '9') return std::nullopt;
    while (static_cast<int>(frac.size()) > decimals && frac.back() == '0') frac.pop_back();
    if (static_cast<int>(frac.size()) > decimals) return std::nullopt;
    frac.append(static_cast<std::size_t>(decimals) - frac.size(), '0');
    const auto firstNonZero = whole.find_first_not_of('0');
    const std::string intPart =
        firstNonZero == std::string::npos ? "0" : whole.substr(firstNonZero);
    const bool zero = (intPart + frac).find_first_not_of('0') == std::string::npos;
    std::string out = (negative && !zero ? "-" : "") + intPart;
    if (decimals > 0) out += "." + frac;
    return out;
}

void putPadded(std::uint8_t* dest, const std::string& bytes, int length, bool rightAlign) {
    std::memset(dest, ' ', static_cast<std::size_t>(length));
    const std::size_t at = rightAlign ? static_cast<std::size_t>(length) - bytes.size() : 0;
    std::memcpy(dest + at, bytes.data(), bytes.size());
}

std::string encodeText(const DbfField& f, const std::string& utf8, const TextCodec& codec) {
    try {
        return codec.fromUtf8(utf8);
    } catch (const EDBEngineError& e) {
        throwEngineError(e.errorCode(), "Field " + f.name + ": " + e.what());
    }
}

void encodeCharacter(const DbfField& f, const FieldValue& v, std::uint8_t* dest,
                     const EncodeContext& ctx) {
    if (isBlank(v)) return putPadded(dest, "", f.length, false);
    const auto* text = std::get_if<std::string>(&v);
    if (!text) wrongKind(f, "a text");
    const std::string bytes = encodeText(f, *text, ctx.codec);
    if (static_cast<int>(bytes.size()) > f.length)
        tooLong(f, std::to_string(bytes.size()) + " characters, the field holds " +
                       std::to_string(f.length));
    putPadded(dest, bytes, f.length, false);
}

void encodeNumeric(const DbfField& f, const FieldValue& v, std::uint8_t* dest) {
    if (isBlank(v)) return putPadded(dest, "", f.length, false);
    const auto text = formatNumeric(v, f.length, f.decimals, f.name);
    if (!text)
        tooLong(f, formatValue(v) + " cannot be held exactly by N(" + std::to_string(f.length) +
                       "," + std::to_string(f.decimals) + ")");
    putPadded(dest, *text, f.length, true);
}

void encodeDate(const DbfField& f, const FieldValue& v, std::uint8_t* dest) {
    if (isBlank(v)) return putPadded(dest, "", f.length, false);
    const auto* date = std::get_if<Date>(&v);
    if (!date) wrongKind(f, "a date");
    int y, m, d;
    ymdFromDate(*date, y, m, d);
    if (y < 1 || y > 9999) tooLong(f, "year " + std::to_string(y) + " is outside 1..9999");
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    putPadded(dest, buf, f.length, false);
}

void encodeLogical(const DbfField& f, const FieldValue& v, std::uint8_t* dest) {
    if (isBlank(v)) {
        dest[0] = ' ';
        return;
    }
    const auto* b = std::get_if<bool>(&v);
    if (!b) wrongKind(f, "a logical");
    dest[0] = *b ? 'T' : 'F';
}

std::optional<std::int64_t> integerOf(const FieldValue& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
    if (const auto* d = std::get_if<double>(&v)) {
        if (std::isfinite(*d) && *d == std::trunc(*d) && std::fabs(*d) < 9.2e18)
            return static_cast<std::int64_t>(*d);
    }
    return std::nullopt;
}

void encodeLong(const DbfField& f, const FieldValue& v, std::uint8_t* dest) {
    if (isBlank(v)) return std::memset(dest, 0, 4), void();
    const auto i = integerOf(v);
    if (!i) wrongKind(f, "an integer");
    // The smallest int32 would encode as four zero bytes, which mean "blank".
    if (*i <= std::numeric_limits<std::int32_t>::min() ||
        *i > std::numeric_limits<std::int32_t>::max())
        tooLong(f, std::to_string(*i) + " is outside the long integer range");
    putBe32(dest, static_cast<std::uint32_t>(static_cast<std::int32_t>(*i)) ^ kLongSignFlip);
}

void encodeDouble(const DbfField& f, const FieldValue& v, std::uint8_t* dest) {
    if (isBlank(v)) return std::memset(dest, 0, 8), void();
    double d;
    if (const auto* x = std::get_if<double>(&v))
        d = *x;
    else if (const auto* i = std::get_if<std::int64_t>(&v))
        d = static_cast<double>(*i);
    else
        wrongKind(f, "a number");
    if (!std::isfinite(d)) tooLong(f, "the number is not finite");
    std::uint64_t bits = bitsFromDouble(d);
    bits = (bits & kDoubleSignBit) ? ~bits : bits | kDoubleSignBit;
    putBe64(dest, bits);
}

void encodeTimestamp(const DbfField& f, const FieldValue& v, std::uint8_t* dest) {
    if (isBlank(v)) return std::memset(dest, 0, 8), void();
    std::int64_t ms;
    if (const auto* t = std::get_if<Timestamp>(&v))
        ms = t->msec;
    else if (const auto* d = std::get_if<Date>(&v))
        ms = d->day * kMsPerDay;
    else
        wrongKind(f, "a timestamp");
    if (ms < kMsPerDay || ms >= dateFromYmd(10000, 1, 1).day * kMsPerDay)
        tooLong(f, "the timestamp lies outside the years 1..9999");
    putBe64(dest, bitsFromDouble(static_cast<double>(ms)));
}

}  // namespace

FieldDef fieldDefOf(const DbfField& f, DbfLevel level) {
    const bool fox = level == DbfLevel::FoxPro;
    FieldDef d;
    switch (f.type) {
        case 'C':
        case 'V':
            d = makeDef(f, TFieldType::ftString, fldDBCHAR, f.length + 1);
            d.size = f.length;
            return d;
        case 'N':
        case 'F': {
            // As dBase presents them: whole numbers of up to 4 digits are small integers, every
            // other number a floating-point one.
            const std::uint16_t phys = f.type == 'N' ? fldDBNUM : fldDBFLOAT;
            if (f.type == 'N' && f.decimals == 0 && f.length < 5)
                d = makeDef(f, TFieldType::ftSmallint, phys, 2);
            else
                d = makeDef(f, TFieldType::ftFloat, phys, 8);
            d.size = f.length;
            return d;
        }
        case 'D':
            return makeDef(f, TFieldType::ftDate, fldDBDATE, 4);
        case 'L':
            return makeDef(f, TFieldType::ftBoolean, fldDBBOOL, 2);
        case 'M':
            d = makeDef(f, TFieldType::ftMemo, fldDBMEMO, f.length);
            d.size = f.length;
            return d;
        case 'B':
            if (fox) return makeDef(f, TFieldType::ftFloat, fldDBDOUBLE, 8);
            // dBase types its binary fields: typed binary, not a plain blob.
            d = makeDef(f, TFieldType::ftTypedBinary, fldDBBINARY, f.length);
            d.size = f.length;
            return d;
        case 'W':
            d = makeDef(f, TFieldType::ftBlob, fldDBBINARY, f.length);
            d.size = f.length;
            return d;
        case 'G':
            d = makeDef(f, TFieldType::ftDBaseOle, fldDBOLEBLOB, 0);
            d.size = f.length;
            return d;
        case 'P':
            d = makeDef(f, TFieldType::ftGraphic, fldDBOLEBLOB, f.length);
            d.size = f.length;
            return d;
        case 'I':
            return makeDef(f, TFieldType::ftInteger, fldDBLONG, 4);
        case '+':
            return makeDef(f, TFieldType::ftAutoInc, fldDBAUTOINC, 4);
        case 'O':
            return makeDef(f, TFieldType::ftFloat, fldDBDOUBLE, 8);
        case '@':
        case 'T':
            return makeDef(f, TFieldType::ftDateTime, fldDBDATETIME, 8);
        case 'Y':
            return makeDef(f, TFieldType::ftCurrency, fldDBDOUBLE, 8);
        case 'Q':
            d = makeDef(f, TFieldType::ftVarBytes, fldDBBYTES, f.length);
            d.size = f.length;
            return d;
        default:
            return makeDef(f, TFieldType::ftUnknown, 0, f.length);
    }
}

bool isMemoField(const DbfField& f, DbfLevel level) {
    switch (f.type) {
        case 'M':
        case 'G':
        case 'P':
        case 'W':
            return true;
        case 'B':
            return level != DbfLevel::FoxPro;
        default:
            return false;
    }
}

bool isTextMemo(const DbfField& f) { return f.type == 'M'; }

std::uint32_t readMemoPointer(const DbfField& f, const std::uint8_t* record, bool& valid) {
    const std::uint8_t* p = record + f.offset;
    valid = true;
    if (f.length == 4) return getLe32(p);  // FoxPro: binary block number
    const std::string_view s = trimmed(p, f.length);
    std::uint32_t block = 0;
    if (s.empty()) return 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), block);
    valid = ec == std::errc() && end == s.data() + s.size();
    return valid ? block : 0;
}

void writeMemoPointer(const DbfField& f, std::uint32_t block, std::uint8_t* record) {
    putPadded(record + f.offset, block == 0 ? "" : std::to_string(block), f.length, true);
}

FieldValue decodeField(const DbfField& f, const std::uint8_t* record, const DecodeContext& ctx) {
    const std::uint8_t* p = record + f.offset;
    const bool fox = ctx.level == DbfLevel::FoxPro;
    if (f.length == 0) return Blank{};
    switch (f.type) {
        case 'C':
        case 'V':
            return decodeText(f, p, ctx);
        case 'N':
        case 'F':
            return decodeNumber(f, p, ctx, fieldDefOf(f, ctx.level).type);
        case 'D':
            return decodeDate(f, p, ctx);
        case 'L':
            return decodeLogical(p);
        case 'I':
            if (fox || ctx.level != DbfLevel::Seven)
                return static_cast<std::int64_t>(static_cast<std::int32_t>(getLe32(p)));
            return decodeLevel7Long(p);
        case '+':
            return decodeLevel7Long(p);
        case 'O':
            if (fox) return doubleFromBits(getLe64(p));
            return decodeLevel7Double(p);
        case '@':
            return decodeLevel7Timestamp(p);
        case 'T':
            return decodeFoxDateTime(p);
        case 'Y':
            return static_cast<double>(static_cast<std::int64_t>(getLe64(p))) / 10000.0;
        case 'B':
            if (fox) return doubleFromBits(getLe64(p));
            return decodeMemo(f, record, ctx);
        case 'M':
        case 'G':
        case 'P':
        case 'W':
            return decodeMemo(f, record, ctx);
        case 'Q':
            return Bytes(p, p + f.length);
        default:
            return Blank{};
    }
}

std::optional<std::string> formatNumeric(const FieldValue& v, int length, int decimals,
                                         const std::string& fieldName) {
    std::optional<std::string> text;
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        text = fixedText(std::to_string(*i), decimals);
    } else if (const auto* d = std::get_if<double>(&v)) {
        if (!std::isfinite(*d)) return std::nullopt;
        // The shortest text that reproduces the double.
        char buf[400];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *d, std::chars_format::fixed);
        if (ec != std::errc()) return std::nullopt;
        text = fixedText(std::string_view(buf, static_cast<std::size_t>(end - buf)), decimals);
    } else if (const auto* dec = std::get_if<Decimal>(&v)) {
        text = fixedText(dec->text, decimals);
        if (!text)
            throwEngineError(DBIERR_INVALIDFLDXFORM,
                             "Field " + fieldName + ": '" + dec->text + "' is not a number");
    } else {
        throwEngineError(DBIERR_INVALIDFLDXFORM, "Field " + fieldName + " needs a number value");
    }
    if (!text || static_cast<int>(text->size()) > length) return std::nullopt;
    return text;
}

void encodeField(const DbfField& f, const FieldValue& v, std::uint8_t* record,
                 const EncodeContext& ctx) {
    std::uint8_t* dest = record + f.offset;
    switch (f.type) {
        case 'C':
            return encodeCharacter(f, v, dest, ctx);
        case 'N':
        case 'F':
            return encodeNumeric(f, v, dest);
        case 'D':
            return encodeDate(f, v, dest);
        case 'L':
            return encodeLogical(f, v, dest);
        case 'I':
        case '+':
            return encodeLong(f, v, dest);
        case 'O':
            return encodeDouble(f, v, dest);
        case '@':
            return encodeTimestamp(f, v, dest);
        default:
            throwEngineError(
                DBIERR_NOTSUPPORTED,
                "Field " + f.name + " of type " + std::string(1, f.type) + " cannot be written");
    }
}

std::optional<Bytes> memoPayload(const DbfField& f, const FieldValue& v, const EncodeContext& ctx) {
    if (isBlank(v)) return std::nullopt;
    if (isTextMemo(f)) {
        const auto* text = std::get_if<std::string>(&v);
        if (!text) wrongKind(f, "a text");
        if (text->empty()) return std::nullopt;
        const std::string bytes = encodeText(f, *text, ctx.codec);
        if (ctx.level == DbfLevel::III && bytes.find('\x1A') != std::string::npos)
            throwEngineError(
                DBIERR_INVALIDFLDXFORM,
                "Field " + f.name + ": a dBase III memo cannot hold the character 0x1A");
        if (bytes.size() > kMaxMemoSize) tooLong(f, "the memo is larger than 64 MB");
        return Bytes(bytes.begin(), bytes.end());
    }
    const Bytes* data = nullptr;
    if (const auto* b = std::get_if<Blob>(&v))
        data = &b->data;
    else if (const auto* raw = std::get_if<Bytes>(&v))
        data = raw;
    else
        wrongKind(f, "a binary");
    if (data->empty()) return std::nullopt;
    if (data->size() > kMaxMemoSize) tooLong(f, "the value is larger than 64 MB");
    return *data;
}

}  // namespace kx4::dbase

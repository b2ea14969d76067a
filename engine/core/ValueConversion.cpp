#include "engine/core/ValueConversion.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "engine/core/TextCodec.h"

namespace kx4 {

namespace {

enum class Kind {
    Text,
    Integer,
    Float,
    Boolean,
    DateKind,
    TimeKind,
    TimestampKind,
    Bcd,
    Binary,
    Other
};

Kind kindOf(TFieldType t) {
    switch (t) {
        case TFieldType::ftString:
        case TFieldType::ftFixedChar:
        case TFieldType::ftWideString:
        case TFieldType::ftMemo:
        case TFieldType::ftFmtMemo:
            return Kind::Text;
        case TFieldType::ftSmallint:
        case TFieldType::ftInteger:
        case TFieldType::ftWord:
        case TFieldType::ftAutoInc:
        case TFieldType::ftLargeint:
            return Kind::Integer;
        case TFieldType::ftFloat:
        case TFieldType::ftCurrency:
            return Kind::Float;
        case TFieldType::ftBoolean:
            return Kind::Boolean;
        case TFieldType::ftDate:
            return Kind::DateKind;
        case TFieldType::ftTime:
            return Kind::TimeKind;
        case TFieldType::ftDateTime:
            return Kind::TimestampKind;
        case TFieldType::ftBCD:
            return Kind::Bcd;
        case TFieldType::ftBytes:
        case TFieldType::ftVarBytes:
        case TFieldType::ftBlob:
        case TFieldType::ftGraphic:
        case TFieldType::ftParadoxOle:
        case TFieldType::ftDBaseOle:
        case TFieldType::ftTypedBinary:
            return Kind::Binary;
        default:
            return Kind::Other;
    }
}

struct IntegerRange {
    std::int64_t min, max;
};

IntegerRange rangeOf(const FieldDef& f) {
    switch (f.type) {
        case TFieldType::ftSmallint:
            return {-32767, 32767};  // -32768 marks a blank
        case TFieldType::ftWord:
            return {0, 65535};
        case TFieldType::ftInteger:
        case TFieldType::ftAutoInc:
            return {-2147483647, 2147483647};
        default:
            return {INT64_MIN + 1, INT64_MAX};
    }
}

std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::optional<std::int64_t> parseInteger(const std::string& text) {
    std::int64_t v = 0;
    const char* begin = text.data();
    if (!text.empty() && text[0] == '+') ++begin;
    auto [end, ec] = std::from_chars(begin, text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return v;
}

std::optional<double> parseDouble(const std::string& text) {
    if (text.empty()) return std::nullopt;
    double v = 0;
    const char* begin = text.data();
    if (text[0] == '+') ++begin;
    auto [end, ec] = std::from_chars(begin, text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// Exact decimal text of a value, for BCD targets and integer checks of decimals.
std::optional<std::string> decimalText(const FieldValue& v) {
    if (auto i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) return valueAsText(*d);
    if (auto b = std::get_if<Decimal>(&v)) return b->text;
    if (auto s = std::get_if<std::string>(&v)) {
        const std::string t = trimmed(*s);
        if (parseDouble(t)) return t;
    }
    return std::nullopt;
}

// Splits a decimal text into sign, integer digits and fraction digits (without trailing zeros).
bool splitDecimal(const std::string& text, bool& negative, std::string& intPart,
                  std::string& frac) {
    std::string t = text;
    negative = !t.empty() && t[0] == '-';
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.erase(0, 1);
    if (t.find_first_of("eE") != std::string::npos) {
        // Shortest double text may use an exponent; expand it through long double printing.
        char buf[512];
        std::snprintf(buf, sizeof buf, "%.40Lf", std::strtold(t.c_str(), nullptr));
        t = buf;
        while (!t.empty() && t.back() == '0') t.pop_back();
        if (!t.empty() && t.back() == '.') t.pop_back();
    }
    const auto dot = t.find('.');
    intPart = t.substr(0, dot);
    frac = dot == std::string::npos ? std::string() : t.substr(dot + 1);
    if (intPart.empty() && frac.empty()) return false;
    for (char c : intPart + frac)
        if (c < '0' || c > '9') return false;
    while (intPart.size() > 1 && intPart[0] == '0') intPart.erase(0, 1);
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    return true;
}

std::optional<FieldValue> toInteger(const FieldValue& v, const FieldDef& to, std::string& reason) {
    std::optional<std::int64_t> result;
    if (auto i = std::get_if<std::int64_t>(&v))
        result = *i;
    else if (auto b = std::get_if<bool>(&v))
        result = *b ? 1 : 0;
    else if (auto text = decimalText(v)) {
        bool negative;
        std::string intPart, frac;
        if (splitDecimal(*text, negative, intPart, frac)) {
            if (!frac.empty()) {
                reason = "the value " + *text + " is not a whole number";
                return std::nullopt;
            }
            result = parseInteger((negative ? "-" : "") + (intPart.empty() ? "0" : intPart));
        }
    }
    if (!result) {
        reason = "the value '" + valueAsText(v) + "' is not a number";
        return std::nullopt;
    }
    const IntegerRange r = rangeOf(to);
    if (*result < r.min || *result > r.max) {
        reason = "the value " + std::to_string(*result) + " is out of the field's range " +
                 std::to_string(r.min) + " to " + std::to_string(r.max);
        return std::nullopt;
    }
    return FieldValue(*result);
}

std::optional<FieldValue> toFloat(const FieldValue& v, std::string& reason) {
    if (auto d = std::get_if<double>(&v)) return FieldValue(*d);
    if (auto i = std::get_if<std::int64_t>(&v)) {
        const double d = static_cast<double>(*i);
        if (static_cast<std::int64_t>(d) == *i && std::abs(*i) <= (std::int64_t{1} << 53))
            return FieldValue(d);
        reason =
            "the value " + std::to_string(*i) + " cannot be held exactly by a floating-point field";
        return std::nullopt;
    }
    if (auto text = decimalText(v)) {
        if (auto d = parseDouble(*text)) return FieldValue(*d);
    }
    reason = "the value '" + valueAsText(v) + "' is not a number";
    return std::nullopt;
}

std::optional<FieldValue> toBcd(const FieldValue& v, const FieldDef& to, std::string& reason) {
    const auto text = decimalText(v);
    bool negative;
    std::string intPart, frac;
    if (!text || !splitDecimal(*text, negative, intPart, frac)) {
        reason = "the value '" + valueAsText(v) + "' is not a number";
        return std::nullopt;
    }
    const int decimals = to.size;
    const int intDigits = 32 - decimals;
    if (static_cast<int>(frac.size()) > decimals) {
        reason =
            "the value " + *text + " has more than " + std::to_string(decimals) + " decimal places";
        return std::nullopt;
    }
    if (intPart != "0" && static_cast<int>(intPart.size()) > intDigits) {
        reason = "the value " + *text + " has more than " + std::to_string(intDigits) +
                 " digits before the point";
        return std::nullopt;
    }
    std::string out = (negative ? "-" : "") + (intPart.empty() ? "0" : intPart);
    if (!frac.empty()) out += "." + frac;
    return FieldValue(Decimal{out});
}

// Binary data as text of the table's code page, when every byte is a character of it.
std::optional<std::string> textOfBytes(const Bytes& bytes, const TextCodec& tableText,
                                       std::string& reason) {
    const std::string_view stored(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::string text = tableText.toUtf8(stored);
    if (tableText.canEncode(text) && tableText.fromUtf8(text) == stored) return text;
    reason = "the binary data is no text of code page " + std::to_string(tableText.codePage());
    return std::nullopt;
}

std::optional<FieldValue> toText(const FieldValue& v, const FieldDef& to, std::string& reason,
                                 const TextCodec& tableText) {
    std::string text;
    if (std::holds_alternative<Bytes>(v) || std::holds_alternative<Blob>(v)) {
        const Bytes& b =
            std::holds_alternative<Bytes>(v) ? std::get<Bytes>(v) : std::get<Blob>(v).data;
        auto decoded = textOfBytes(b, tableText, reason);
        if (!decoded) return std::nullopt;
        text = std::move(*decoded);
    } else {
        text = valueAsText(v);
    }
    if (to.type == TFieldType::ftString || to.type == TFieldType::ftFixedChar ||
        to.type == TFieldType::ftWideString) {
        // A character field ends at its first NUL: such text would not read back whole.
        if (text.find('\0') != std::string::npos) {
            reason = "the value is not text without NUL characters";
            return std::nullopt;
        }
        // Characters, not bytes: the driver checks the encoded length against the field.
        std::size_t chars = 0;
        for (unsigned char c : text) chars += (c & 0xC0) != 0x80;
        if (to.size > 0 && chars > static_cast<std::size_t>(to.size)) {
            reason =
                "the text '" + text + "' is longer than " + std::to_string(to.size) + " characters";
            return std::nullopt;
        }
    }
    return FieldValue(text);
}

std::optional<FieldValue> toBoolean(const FieldValue& v, std::string& reason) {
    if (auto b = std::get_if<bool>(&v)) return FieldValue(*b);
    if (auto i = std::get_if<std::int64_t>(&v); i && (*i == 0 || *i == 1))
        return FieldValue(*i == 1);
    // Whole numbers of dBase number fields read as floating-point numbers.
    if (auto d = std::get_if<double>(&v); d && (*d == 0 || *d == 1)) return FieldValue(*d == 1);
    if (auto s = std::get_if<std::string>(&v)) {
        const std::string t = trimmed(*s);
        if (t == "true" || t == "T" || t == "t" || t == "Y" || t == "y") return FieldValue(true);
        if (t == "false" || t == "F" || t == "f" || t == "N" || t == "n") return FieldValue(false);
    }
    reason = "the value '" + valueAsText(v) + "' is not a logical value";
    return std::nullopt;
}

std::optional<Date> parseIsoDate(const std::string& s) {
    int y, m, d;
    char tail;
    if (std::sscanf(s.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3) return std::nullopt;
    if (!isValidYmd(y, m, d) || y < 1) return std::nullopt;
    return dateFromYmd(y, m, d);
}

std::optional<FieldValue> toDate(const FieldValue& v, std::string& reason) {
    if (auto d = std::get_if<Date>(&v)) return FieldValue(*d);
    if (auto ts = std::get_if<Timestamp>(&v)) {
        if (ts->msec % 86400000 == 0)
            return FieldValue(Date{static_cast<std::int32_t>(ts->msec / 86400000)});
        reason = "the timestamp " + valueAsText(v) + " has a time of day that a date cannot hold";
        return std::nullopt;
    }
    if (auto s = std::get_if<std::string>(&v))
        if (auto d = parseIsoDate(trimmed(*s))) return FieldValue(*d);
    reason = "the value '" + valueAsText(v) + "' is not a date";
    return std::nullopt;
}

std::optional<FieldValue> toTime(const FieldValue& v, std::string& reason) {
    if (auto t = std::get_if<Time>(&v)) return FieldValue(*t);
    if (auto s = std::get_if<std::string>(&v)) {
        int h, m, sec, ms = 0;
        const std::string t = trimmed(*s);
        if (std::sscanf(t.c_str(), "%d:%d:%d.%d", &h, &m, &sec, &ms) >= 3 && h >= 0 && h < 24 &&
            m >= 0 && m < 60 && sec >= 0 && sec < 60 && ms >= 0 && ms < 1000)
            return FieldValue(Time{((h * 60 + m) * 60 + sec) * 1000 + ms});
    }
    reason = "the value '" + valueAsText(v) + "' is not a time";
    return std::nullopt;
}

std::optional<FieldValue> toTimestamp(const FieldValue& v, std::string& reason) {
    if (auto t = std::get_if<Timestamp>(&v)) return FieldValue(*t);
    if (auto d = std::get_if<Date>(&v))
        return FieldValue(Timestamp{std::int64_t{d->day} * 86400000});
    if (auto s = std::get_if<std::string>(&v)) {
        const std::string t = trimmed(*s);
        const auto sep = t.find_first_of("T ");
        if (auto d = parseIsoDate(t.substr(0, sep))) {
            std::int64_t ms = std::int64_t{d->day} * 86400000;
            if (sep != std::string::npos) {
                std::string why;
                auto time = toTime(FieldValue(t.substr(sep + 1)), why);
                if (!time) {
                    reason = "the value '" + t + "' is not a timestamp";
                    return std::nullopt;
                }
                ms += std::get<Time>(*time).msec;
            }
            return FieldValue(Timestamp{ms});
        }
    }
    reason = "the value '" + valueAsText(v) + "' is not a timestamp";
    return std::nullopt;
}

std::optional<FieldValue> toBinary(const FieldValue& v, const FieldDef& to, std::string& reason,
                                   const TextCodec& tableText) {
    Bytes data;
    if (auto b = std::get_if<Bytes>(&v))
        data = *b;
    else if (auto blob = std::get_if<Blob>(&v))
        data = blob->data;
    else if (auto s = std::get_if<std::string>(&v)) {
        if (!tableText.canEncode(*s)) {
            reason = "the text '" + *s + "' has characters that code page " +
                     std::to_string(tableText.codePage()) + " cannot hold";
            return std::nullopt;
        }
        const std::string stored = tableText.fromUtf8(*s);
        data.assign(stored.begin(), stored.end());
    } else {
        reason = "the value '" + valueAsText(v) + "' cannot become binary data";
        return std::nullopt;
    }
    if (to.type == TFieldType::ftBytes || to.type == TFieldType::ftVarBytes) {
        if (to.size > 0 && data.size() > static_cast<std::size_t>(to.size)) {
            reason =
                std::to_string(data.size()) + " bytes do not fit into " + std::to_string(to.size);
            return std::nullopt;
        }
        return FieldValue(data);
    }
    return FieldValue(Blob{data});
}

}  // namespace

std::string valueAsText(const FieldValue& value) { return formatValue(value); }

std::optional<FieldValue> convertValue(const FieldValue& value, const FieldDef& to,
                                       std::string& reason, const TextCodec& tableText) {
    if (isBlank(value)) return FieldValue(Blank{});
    switch (kindOf(to.type)) {
        case Kind::Text:
            return toText(value, to, reason, tableText);
        case Kind::Integer:
            return toInteger(value, to, reason);
        case Kind::Float:
            return toFloat(value, reason);
        case Kind::Boolean:
            return toBoolean(value, reason);
        case Kind::DateKind:
            return toDate(value, reason);
        case Kind::TimeKind:
            return toTime(value, reason);
        case Kind::TimestampKind:
            return toTimestamp(value, reason);
        case Kind::Bcd:
            return toBcd(value, to, reason);
        case Kind::Binary:
            return toBinary(value, to, reason, tableText);
        case Kind::Other:
            break;
    }
    reason = "the field type cannot hold values";
    return std::nullopt;
}

}  // namespace kx4

#include "engine/ascii/TextValues.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "engine/core/Errors.h"
#include "engine/core/FieldTypeFacts.h"

namespace kx4::ascii {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

struct TypeInfo {
    TFieldType type;
    int dataSize;
    int defaultWidth;
};

TypeInfo infoOf(TextType t) {
    switch (t) {
        case TextType::Char:
            return {TFieldType::ftString, 0, 0};
        case TextType::Float:
            return {TFieldType::ftFloat, 8, 20};
        case TextType::Number:
            return {TFieldType::ftSmallint, 2, 6};
        case TextType::LongInt:
            return {TFieldType::ftInteger, 4, 11};
        case TextType::Bool:
            return {TFieldType::ftBoolean, 2, 1};
        case TextType::Date:
            return {TFieldType::ftDate, 4, 10};
        case TextType::Time:
            return {TFieldType::ftTime, 4, 12};
        case TextType::Timestamp:
            return {TFieldType::ftDateTime, 8, 23};
    }
    return {TFieldType::ftString, 0, 0};
}

[[noreturn]] void wrongKind(const TextField& f, const std::string& what) {
    throwEngineError(DBIERR_INVALIDFLDXFORM, "Field " + f.name + " needs " + what + " value");
}

std::string dateText(Date d) {
    int y, m, day;
    ymdFromDate(d, y, m, day);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", m, day, y);
    return buf;
}

std::string timeText(std::int64_t ms) {
    char buf[32];
    const int h = static_cast<int>(ms / 3'600'000), mi = static_cast<int>(ms / 60'000 % 60),
              s = static_cast<int>(ms / 1000 % 60), milli = static_cast<int>(ms % 1000);
    if (milli)
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", h, mi, s, milli);
    else
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
    return buf;
}

std::string numberText(const TextField& f, const FieldValue& v) {
    if (f.type == TextType::Float) {
        double d;
        if (auto* x = std::get_if<double>(&v))
            d = *x;
        else if (auto* i = std::get_if<std::int64_t>(&v))
            d = static_cast<double>(*i);
        else
            wrongKind(f, "a number");
        if (!std::isfinite(d))
            throwEngineError(DBIERR_DATATOOLONG, "Field " + f.name + ": the number is not finite");
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", f.decimals, d);
        return buf;
    }
    std::int64_t i;
    if (auto* x = std::get_if<std::int64_t>(&v))
        i = *x;
    else if (auto* d = std::get_if<double>(&v); d && *d == std::trunc(*d) && std::fabs(*d) < 1e18)
        i = static_cast<std::int64_t>(*d);
    else
        wrongKind(f, "an integer");
    const std::int64_t limit = f.type == TextType::Number ? 32767 : 2147483647;
    if (i > limit || i < -limit - 1)
        throwEngineError(DBIERR_DATATOOLONG, "Field " + f.name + ": " + std::to_string(i) +
                                                 " is outside the range of a " + typeName(f.type) +
                                                 " field");
    return std::to_string(i);
}

bool digits(std::string_view s, int& out) {
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size() && !s.empty();
}

std::optional<Date> parseDate(std::string_view s) {
    int a, b, c;
    char sep = 0;
    for (char ch : {'/', '-', '.'})
        if (s.find(ch) != std::string_view::npos) sep = ch;
    if (!sep) return std::nullopt;
    const auto p1 = s.find(sep), p2 = s.find(sep, p1 + 1);
    if (p2 == std::string_view::npos || !digits(s.substr(0, p1), a) ||
        !digits(s.substr(p1 + 1, p2 - p1 - 1), b) || !digits(s.substr(p2 + 1), c))
        return std::nullopt;
    int y, m, d;
    if (sep == '-' && p1 == 4) {
        y = a;
        m = b;
        d = c;
    }  // ISO
    else if (sep == '.') {
        d = a;
        m = b;
        y = c;
    }  // German
    else {
        m = a;
        d = b;
        y = c;
    }                                                        // US
    if (s.size() - p2 - 1 <= 2) y += y >= 50 ? 1900 : 2000;  // two-digit years
    if (y < 1 || !isValidYmd(y, m, d)) return std::nullopt;
    return dateFromYmd(y, m, d);
}

std::optional<std::int64_t> parseTime(std::string_view s) {
    bool pm = false, am = false;
    if (s.size() > 2) {
        std::string tail(s.substr(s.size() - 2));
        for (auto& ch : tail) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        pm = tail == "PM";
        am = tail == "AM";
        if (pm || am) {
            s.remove_suffix(2);
            while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
        }
    }
    int h = 0, m = 0, sec = 0, ms = 0;
    const auto c1 = s.find(':');
    if (c1 == std::string_view::npos || !digits(s.substr(0, c1), h)) return std::nullopt;
    auto rest = s.substr(c1 + 1);
    const auto c2 = rest.find(':');
    if (!digits(rest.substr(0, c2), m)) return std::nullopt;
    if (c2 != std::string_view::npos) {
        auto secText = rest.substr(c2 + 1);
        const auto dot = secText.find('.');
        if (!digits(secText.substr(0, dot), sec)) return std::nullopt;
        if (dot != std::string_view::npos) {
            std::string frac(secText.substr(dot + 1));
            frac.resize(3, '0');
            if (!digits(frac, ms)) return std::nullopt;
        }
    }
    if ((am || pm) && (h < 1 || h > 12)) return std::nullopt;
    if (pm && h != 12) h += 12;
    if (am && h == 12) h = 0;
    if (h > 23 || m > 59 || sec > 59) return std::nullopt;
    return ((h * 60LL + m) * 60 + sec) * 1000 + ms;
}

}  // namespace

FieldDef fieldDefOf(const TextField& f) {
    const TypeInfo info = infoOf(f.type);
    FieldDef d;
    d.name = f.name;
    d.type = info.type;
    // Text tables use the logical codes as their physical ones.
    d.physicalType = engineTypeOf(info.type).type;
    d.logicalType = d.physicalType;
    d.size = f.width;
    d.decimals = f.decimals;
    d.dataSize = f.type == TextType::Char ? f.width + 1 : info.dataSize;
    return d;
}

TextField textFieldFor(const FieldDef& def) {
    TextField f;
    f.name = def.name;
    switch (def.type) {
        case TFieldType::ftString:
        case TFieldType::ftFixedChar:
        case TFieldType::ftWideString:
            f.type = TextType::Char;
            break;
        case TFieldType::ftSmallint:
        case TFieldType::ftWord:
            f.type = TextType::Number;
            break;
        case TFieldType::ftInteger:
        case TFieldType::ftAutoInc:
            f.type = TextType::LongInt;
            break;
        case TFieldType::ftFloat:
        case TFieldType::ftCurrency:
        case TFieldType::ftBCD:
        case TFieldType::ftLargeint:
            f.type = TextType::Float;
            break;
        case TFieldType::ftBoolean:
            f.type = TextType::Bool;
            break;
        case TFieldType::ftDate:
            f.type = TextType::Date;
            break;
        case TFieldType::ftTime:
            f.type = TextType::Time;
            break;
        case TFieldType::ftDateTime:
            f.type = TextType::Timestamp;
            break;
        default:
            throwEngineError(
                DBIERR_INVALIDFLDTYPE,
                "Field " + def.name + ": text tables cannot hold memo, BLOB or byte fields");
    }
    const int fallback = infoOf(f.type).defaultWidth;
    if (f.type == TextType::Char) {
        if (def.size < 1 || def.size > 4096)
            throwEngineError(DBIERR_INVALIDPARAM,
                             "Field " + def.name + ": a CHAR field is 1 to 4096 characters wide");
        f.width = def.size;
    } else if (f.type == TextType::Float) {
        f.width = def.size >= 3 && def.size <= 64 ? def.size : fallback;
        f.decimals = def.decimals > 0 && def.decimals < f.width - 1 ? def.decimals
                     : def.type == TFieldType::ftLargeint           ? 0
                     : def.type == TFieldType::ftCurrency           ? 2
                                                                    : 4;
    } else {
        f.width = std::max(def.size, fallback);
    }
    if (def.name.empty() || def.name.find(',') != std::string::npos)
        throwEngineError(DBIERR_INVALIDPARAM,
                         "Field name '" + def.name + "' is empty or contains a comma");
    return f;
}

std::string formatText(const TextField& f, const FieldValue& v) {
    if (isBlank(v)) return {};
    std::string text;
    switch (f.type) {
        case TextType::Char:
            if (auto* s = std::get_if<std::string>(&v))
                text = *s;
            else
                wrongKind(f, "a text");
            if (text.find_first_of("\r\n") != std::string::npos)
                throwEngineError(DBIERR_INVALIDFLDXFORM,
                                 "Field " + f.name + ": a text table cannot hold line breaks");
            break;
        case TextType::Float:
        case TextType::Number:
        case TextType::LongInt:
            text = numberText(f, v);
            break;
        case TextType::Bool:
            if (auto* b = std::get_if<bool>(&v))
                text = *b ? "T" : "F";
            else
                wrongKind(f, "a logical");
            break;
        case TextType::Date:
            if (auto* d = std::get_if<Date>(&v))
                text = dateText(*d);
            else
                wrongKind(f, "a date");
            break;
        case TextType::Time:
            if (auto* t = std::get_if<Time>(&v))
                text = timeText(t->msec);
            else
                wrongKind(f, "a time");
            break;
        case TextType::Timestamp:
            if (auto* t = std::get_if<Timestamp>(&v))
                text = dateText(Date{static_cast<std::int32_t>(t->msec / kMsPerDay)}) + " " +
                       timeText(t->msec % kMsPerDay);
            else
                wrongKind(f, "a timestamp");
            break;
    }
    return text;
}

std::optional<FieldValue> parseText(const TextField& f, std::string_view s) {
    if (s.empty()) return FieldValue{Blank{}};
    switch (f.type) {
        case TextType::Char:
            return FieldValue{std::string(s)};
        case TextType::Float: {
            if (s.front() == '+') s.remove_prefix(1);
            double d = 0;
            const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
            if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
            return FieldValue{d};
        }
        case TextType::Number:
        case TextType::LongInt: {
            if (s.front() == '+') s.remove_prefix(1);
            std::int64_t i = 0;
            const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), i);
            const std::int64_t limit = f.type == TextType::Number ? 32767 : 2147483647;
            if (ec != std::errc() || end != s.data() + s.size() || i > limit || i < -limit - 1)
                return std::nullopt;
            return FieldValue{i};
        }
        case TextType::Bool:
            if (s == "T" || s == "t" || s == "Y" || s == "y" || s == "1") return FieldValue{true};
            if (s == "F" || s == "f" || s == "N" || s == "n" || s == "0") return FieldValue{false};
            return std::nullopt;
        case TextType::Date:
            if (auto d = parseDate(s)) return FieldValue{*d};
            return std::nullopt;
        case TextType::Time:
            if (auto t = parseTime(s)) return FieldValue{Time{static_cast<std::int32_t>(*t)}};
            return std::nullopt;
        case TextType::Timestamp: {
            const auto space = s.find(' ');
            const auto d = parseDate(s.substr(0, space));
            if (!d) return std::nullopt;
            std::int64_t ms = 0;
            if (space != std::string_view::npos) {
                auto t = parseTime(s.substr(space + 1));
                if (!t) return std::nullopt;
                ms = *t;
            }
            return FieldValue{Timestamp{d->day * kMsPerDay + ms}};
        }
    }
    return std::nullopt;
}

}  // namespace kx4::ascii

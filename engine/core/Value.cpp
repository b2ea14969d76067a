#include "engine/core/Value.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace kx4 {

namespace {

// Days from 0001-01-01 (day 1) using the civil-from-days algorithm shifted to year 1.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;  // days since 1970-01-01
}

constexpr std::int64_t kEpoch1970FromDay1 =
    719163;  // 1970-01-01 is day 719163 (day 1 = 0001-01-01)

}  // namespace

bool isValidYmd(int year, int month, int day) {
    if (month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int max = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= max;
}

Date dateFromYmd(int year, int month, int day) {
    return Date{static_cast<std::int32_t>(daysFromCivil(year, month, day) + kEpoch1970FromDay1)};
}

void ymdFromDate(Date date, int& year, int& month, int& day) {
    std::int64_t z = static_cast<std::int64_t>(date.day) - kEpoch1970FromDay1 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

namespace {

std::string hex(const Bytes& b) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(b.size() * 2);
    for (auto c : b) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

std::string dateText(Date d) {
    int y, m, dd;
    ymdFromDate(d, y, m, dd);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, dd);
    return buf;
}

std::string timeText(std::int64_t msec) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", static_cast<int>(msec / 3600000),
                  static_cast<int>(msec / 60000 % 60), static_cast<int>(msec / 1000 % 60),
                  static_cast<int>(msec % 1000));
    return buf;
}

// The shortest digits that read back as the same double, as plain decimal text: a user who
// turns a number column into text must get "100000", never "1e+05".
std::string shortestDouble(double v) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string text(buf, end);
    const auto e = text.find('e');
    if (e == std::string::npos) return text;  // inf, nan
    const bool negative = text[0] == '-';
    std::string digits = text.substr(negative ? 1 : 0, e - (negative ? 1 : 0));
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    const long point = std::strtol(text.c_str() + e + 1, nullptr, 10) + 1;  // digits before it
    std::string plain;
    if (point <= 0)
        plain = "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
    else if (static_cast<std::size_t>(point) >= digits.size())
        plain = digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
    else
        plain = digits.substr(0, point) + "." + digits.substr(point);
    return negative ? "-" + plain : plain;
}

}  // namespace

std::string formatValue(const FieldValue& v) {
    struct Visitor {
        std::string operator()(const Blank&) const { return {}; }
        std::string operator()(bool b) const { return b ? "true" : "false"; }
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const { return shortestDouble(d); }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const Bytes& b) const { return hex(b); }
        std::string operator()(const Blob& b) const { return hex(b.data); }
        std::string operator()(Date d) const { return dateText(d); }
        std::string operator()(Time t) const { return timeText(t.msec); }
        std::string operator()(Timestamp t) const {
            const std::int64_t day = t.msec / 86400000;
            return dateText(Date{static_cast<std::int32_t>(day)}) + "T" +
                   timeText(t.msec % 86400000);
        }
        std::string operator()(const Decimal& d) const { return d.text; }
    };
    return std::visit(Visitor{}, v);
}

}  // namespace kx4

#pragma once
// A field value as the engine hands it out: blank, or one typed value. Text is UTF-8; the format
// drivers convert from and to the table's code page at their edge.
#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace kx4 {

using Bytes = std::vector<std::uint8_t>;

// Days in the proleptic Gregorian calendar; day 1 is 0001-01-01.
struct Date {
    std::int32_t day = 0;
    auto operator<=>(const Date&) const = default;
};

// Milliseconds since midnight.
struct Time {
    std::int32_t msec = 0;
    auto operator<=>(const Time&) const = default;
};

// Milliseconds on the Date scale: day d at midnight is d * 86'400'000.
struct Timestamp {
    std::int64_t msec = 0;
    auto operator<=>(const Timestamp&) const = default;
};

// An exact decimal number as text: optional "-", digits, optional "." and digits ("-12.50").
struct Decimal {
    std::string text;
    auto operator<=>(const Decimal&) const = default;
};

// Binary large object content (graphic, OLE, binary and formatted memo fields).
struct Blob {
    Bytes data;
    auto operator<=>(const Blob&) const = default;
};

struct Blank {
    auto operator<=>(const Blank&) const = default;
};

// Text values (alpha, memo) are std::string; integer types int64_t; number, money and float double.
using FieldValue = std::variant<Blank, bool, std::int64_t, double, std::string, Bytes, Date, Time,
                                Timestamp, Decimal, Blob>;

using Record = std::vector<FieldValue>;

inline bool isBlank(const FieldValue& v) { return std::holds_alternative<Blank>(v); }

// Calendar helpers shared by every driver.
Date dateFromYmd(int year, int month, int day);
void ymdFromDate(Date d, int& year, int& month, int& day);
bool isValidYmd(int year, int month, int day);

// Plain text form of a value as the command-line companion prints it (see tools/).
std::string formatValue(const FieldValue& v);

}  // namespace kx4

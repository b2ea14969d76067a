#pragma once
// Index key bytes of .MDX and .NDX tags and their order.
#include <cstdint>
#include <string>
#include <vector>

namespace kx4::dbase {

using KeyBytes = std::vector<std::uint8_t>;

enum class KeyType : char { Character = 'C', Numeric = 'N', Date = 'D' };

inline constexpr int kNumericKeyLength = 12;   // .MDX BCD number
inline constexpr int kDateKeyLength = 8;       // .MDX Julian day as a double
inline constexpr int kNdxNumberKeyLength = 8;  // .NDX numbers and dates: double
inline constexpr double kJulianDayOfOrdinalZero = 1721425.0;

// .MDX numeric key: byte 0 = 52 + decimal exponent, byte 1 = the count of significant digits
// rounded up to an even count, << 2 | 1 (0xFD for a negative value), bytes 2-11 = up to 20 BCD
// digits. Byte 1 is written as dBase writes it, so that its seeks find our keys.
KeyBytes encodeNumericKey(double value);
double decodeNumericKey(const std::uint8_t* key);
// .MDX date key: little-endian double holding the Julian day (ordinal day + 1 721 425).
KeyBytes encodeDateKey(std::int32_t ordinalDay);
// Blank dates and numbers index as this (dBase sorts them first).
double decodeDoubleKey(const std::uint8_t* key);

// Three-way comparison in ascending key order for a tag of `type`.
int compareKeys(KeyType type, const std::uint8_t* a, const std::uint8_t* b, int length,
                bool ndxNumbers = false);
// The same for keys as read from a file, which a damaged file may make shorter than the tag's
// key length: missing bytes compare as zeros, never read past the key.
int compareKeys(KeyType type, const KeyBytes& a, const KeyBytes& b, int length,
                bool ndxNumbers = false);

}  // namespace kx4::dbase

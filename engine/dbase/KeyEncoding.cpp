#include "engine/dbase/KeyEncoding.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "engine/dbase/ByteOrder.h"

namespace kx4::dbase {

namespace {

constexpr int kExponentBias = 52;
constexpr std::uint8_t kDigitCountFlag = 0x01;
constexpr std::uint8_t kNegativeFlag = 0x80;
// Byte 1 of every negative key dBase writes.
constexpr std::uint8_t kNegativeCount = 0xFD;
constexpr int kMaxDigits = 20;

// Below this every whole number is a double exactly, so its decimal digits are the integer's.
constexpr double kExactWholeNumbers = 9007199254740992.0;  // 2^53

// The significant digits of `magnitude` (> 0) and its exponent, for value = 0.d1d2... x 10^exp.
// Whole numbers, the usual keys, take the integer route: formatting a double with 17 digits
// cost most of a numeric key.
int significantDigits(double magnitude, char (&digits)[kMaxDigits], int& exponent) {
    char buf[64];
    int length = 0;
    if (magnitude < kExactWholeNumbers && magnitude == std::floor(magnitude)) {
        const char* end =
            std::to_chars(buf, buf + sizeof buf, static_cast<std::uint64_t>(magnitude)).ptr;
        exponent = static_cast<int>(end - buf);
        for (const char* p = buf; p < end; ++p) digits[length++] = *p;
    } else {
        // 17 significant digits in scientific form: d.dddd...e±x
        const char* end =
            std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 16).ptr;
        const char* p = buf;
        for (; p < end && *p != 'e'; ++p)
            if (*p >= '0' && *p <= '9' && length < kMaxDigits) digits[length++] = *p;
        std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
        ++exponent;
    }
    while (length > 0 && digits[length - 1] == '0') --length;
    return length;
}

}  // namespace

KeyBytes encodeNumericKey(double value) {
    KeyBytes key(kNumericKeyLength, 0);
    if (value == 0 || !std::isfinite(value)) {
        key[0] = kExponentBias;
        key[1] = kDigitCountFlag;
        return key;
    }
    const bool negative = value < 0;
    char digits[kMaxDigits];
    int exponent = 0;
    const int length = significantDigits(std::fabs(value), digits, exponent);
    const int evenCount = (length + 1) / 2 * 2;
    key[0] = static_cast<std::uint8_t>(kExponentBias + exponent);
    key[1] = negative ? kNegativeCount
                      : static_cast<std::uint8_t>((evenCount & 0x1F) << 2 | kDigitCountFlag);
    for (int i = 0; i < length; ++i) {
        const auto d = static_cast<std::uint8_t>(digits[i] - '0');
        key[2 + i / 2] |= (i % 2 == 0) ? static_cast<std::uint8_t>(d << 4) : d;
    }
    return key;
}

namespace {

// Powers of ten for every exponent byte, computed once: sorting a numeric tag decodes each key
// many times, and powl is slow.
const std::array<long double, 256>& powersOfTen() {
    static const std::array<long double, 256> table = [] {
        std::array<long double, 256> t{};
        for (int byte = 0; byte < 256; ++byte)
            t[static_cast<std::size_t>(byte)] = std::pow(10.0L, byte - kExponentBias);
        return t;
    }();
    return table;
}

}  // namespace

double decodeNumericKey(const std::uint8_t* key) {
    // The twenty digits as two exact halves of ten.
    std::uint64_t high = 0, low = 0;
    for (int i = 0; i < kMaxDigits / 2; ++i) {
        const int d = (i % 2 == 0) ? key[2 + i / 2] >> 4 : key[2 + i / 2] & 0x0F;
        high = high * 10 + static_cast<std::uint64_t>(d);
    }
    for (int i = kMaxDigits / 2; i < kMaxDigits; ++i) {
        const int d = (i % 2 == 0) ? key[2 + i / 2] >> 4 : key[2 + i / 2] & 0x0F;
        low = low * 10 + static_cast<std::uint64_t>(d);
    }
    const long double mantissa = (static_cast<long double>(high) * 1e10L + low) * 1e-20L;
    const long double value = mantissa * powersOfTen()[key[0]];
    return static_cast<double>((key[1] & kNegativeFlag) ? -value : value);
}

KeyBytes encodeDateKey(std::int32_t ordinalDay) {
    KeyBytes key(kDateKeyLength, 0);
    const double julian = ordinalDay == 0 ? 0.0 : ordinalDay + kJulianDayOfOrdinalZero;
    putLe64(key.data(), bitsFromDouble(julian));
    return key;
}

double decodeDoubleKey(const std::uint8_t* key) { return doubleFromBits(getLe64(key)); }

int compareKeys(KeyType type, const std::uint8_t* a, const std::uint8_t* b, int length,
                bool ndxNumbers) {
    if (type == KeyType::Character) {
        const int c = std::memcmp(a, b, static_cast<std::size_t>(length));
        return (c > 0) - (c < 0);
    }
    double x, y;
    if (type == KeyType::Numeric && !ndxNumbers) {
        x = decodeNumericKey(a);
        y = decodeNumericKey(b);
    } else {
        x = decodeDoubleKey(a);
        y = decodeDoubleKey(b);
    }
    return (x > y) - (x < y);
}

int compareKeys(KeyType type, const KeyBytes& a, const KeyBytes& b, int length, bool ndxNumbers) {
    const int fixed = type == KeyType::Character                ? 0
                      : type == KeyType::Numeric && !ndxNumbers ? kNumericKeyLength
                                                                : kDateKeyLength;
    const std::size_t need = static_cast<std::size_t>(std::max({length, fixed, 0}));
    if (a.size() >= need && b.size() >= need)
        return compareKeys(type, a.data(), b.data(), length, ndxNumbers);
    KeyBytes paddedA = a, paddedB = b;
    paddedA.resize(std::max(need, a.size()), 0);
    paddedB.resize(std::max(need, b.size()), 0);
    return compareKeys(type, paddedA.data(), paddedB.data(), length, ndxNumbers);
}

}  // namespace kx4::dbase

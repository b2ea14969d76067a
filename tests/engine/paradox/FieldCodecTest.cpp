// Byte encodings of field values, against worked values of real files.
#include <gtest/gtest.h>

#include "engine/core/Errors.h"
#include "engine/core/TextCodec.h"
#include "engine/paradox/FieldCodec.h"

namespace kx4::paradox {
namespace {

std::string hex(const std::uint8_t* p, std::size_t n) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        if (i) out += ' ';
        out += kDigits[p[i] >> 4];
        out += kDigits[p[i] & 15];
    }
    return out;
}

struct EncodingCase {
    const char* label;
    FieldInfo field;
    FieldValue value;
    const char* bytes;
};

class Encoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(Encoding, MatchesStoredBytesBothWays) {
    const auto& c = GetParam();
    const TextCodec codec(1252);
    std::vector<std::uint8_t> out(storedSize(c.field));
    encodeValue(c.field, c.value, out.data(), codec, "F");
    EXPECT_EQ(hex(out.data(), out.size()), c.bytes);
    EXPECT_EQ(decodeValue(c.field, out.data(), codec), c.value);
}

const std::string kZeros14 = "00 00 00 00 00 00 00 00 00 00 00 00 00 00";
const std::string kFs14 = "FF FF FF FF FF FF FF FF FF FF FF FF FF FF";
const std::string kBcdPlus = "C2 " + kZeros14 + " 01 23";
const std::string kBcdMinus = "42 " + kFs14 + " FE DC";

INSTANTIATE_TEST_SUITE_P(
    Paradox, Encoding,
    ::testing::Values(
        EncodingCase{"date", {pxDate, 4}, Date{736695}, "80 0B 3D B7"},
        EncodingCase{"time", {pxTime, 4}, Time{36000000}, "82 25 51 00"},
        EncodingCase{
            "timestamp", {pxTimestamp, 8}, Timestamp{63716202001000}, "C2 CC F9 8A CB 19 34 00"},
        EncodingCase{"short one", {pxShort, 2}, std::int64_t{1}, "80 01"},
        EncodingCase{"short minus one", {pxShort, 2}, std::int64_t{-1}, "7F FF"},
        EncodingCase{"long 256", {pxLong, 4}, std::int64_t{256}, "80 00 01 00"},
        EncodingCase{"number zero", {pxNumber, 8}, 0.0, "80 00 00 00 00 00 00 00"},
        EncodingCase{"number minus two", {pxNumber, 8}, -2.0, "3F FF FF FF FF FF FF FF"},
        EncodingCase{"logical true", {pxLogical, 1}, true, "81"},
        EncodingCase{"logical false", {pxLogical, 1}, false, "80"},
        EncodingCase{"alpha",
                     {pxAlpha, 4},
                     std::string("\xC3\xA4"
                                 "b"),
                     "E4 62 00 00"},
        EncodingCase{"blank", {pxLong, 4}, Blank{}, "00 00 00 00"},
        EncodingCase{"bcd", {pxBcd, 2}, Decimal{"1.23"}, kBcdPlus.c_str()},
        EncodingCase{"bcd negative", {pxBcd, 2}, Decimal{"-1.23"}, kBcdMinus.c_str()}),
    [](const auto& info) {
        std::string n = info.param.label;
        for (char& c : n)
            if (c == ' ') c = '_';
        return n;
    });

struct RejectCase {
    const char* label;
    FieldInfo field;
    FieldValue value;
    DBIResult code;
};

class Rejected : public ::testing::TestWithParam<RejectCase> {};

TEST_P(Rejected, RaisesInsteadOfTruncating) {
    const auto& c = GetParam();
    const TextCodec codec(1252);
    std::vector<std::uint8_t> out(storedSize(c.field));
    try {
        encodeValue(c.field, c.value, out.data(), codec, "F");
        FAIL() << "accepted";
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), c.code) << e.what();
        EXPECT_NE(std::string(e.what()).find('F'), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paradox, Rejected,
    ::testing::Values(
        RejectCase{"alpha_too_long", {pxAlpha, 3}, std::string("abcd"), DBIERR_DATATOOLONG},
        RejectCase{"short_overflow", {pxShort, 2}, std::int64_t{32768}, DBIERR_DATATOOLONG},
        RejectCase{"short_lowest", {pxShort, 2}, std::int64_t{-32768}, DBIERR_DATATOOLONG},
        RejectCase{"long_overflow", {pxLong, 4}, std::int64_t{1} << 31, DBIERR_DATATOOLONG},
        RejectCase{"bcd_decimals", {pxBcd, 2}, Decimal{"1.234"}, DBIERR_DATATOOLONG},
        RejectCase{"bcd_digits", {pxBcd, 30}, Decimal{"123.5"}, DBIERR_DATATOOLONG},
        RejectCase{"time_range", {pxTime, 4}, Time{86400000}, DBIERR_DATATOOLONG},
        RejectCase{"number_nan",
                   {pxNumber, 8},
                   std::numeric_limits<double>::quiet_NaN(),
                   DBIERR_DATATOOLONG},
        RejectCase{"bytes_too_long", {pxBytes, 2}, Bytes{1, 2, 3}, DBIERR_DATATOOLONG},
        RejectCase{"date_as_text", {pxDate, 4}, std::string("2020-01-01"), DBIERR_INVALIDFLDXFORM}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(BcdDecoding, KeepsTrailingZerosOfTheScaleAndNeverShowsMinusZero) {
    std::uint8_t b[17];
    encodeBcd(b, 2, "-0.00", "F");
    EXPECT_EQ(decodeBcd(b, 2), "0.00");
    encodeBcd(b, 32, "0.5", "F");
    EXPECT_EQ(decodeBcd(b, 32), "0.50000000000000000000000000000000");
    encodeBcd(b, 0, "-99999999999999999999999999999999", "F");
    EXPECT_EQ(decodeBcd(b, 0), "-99999999999999999999999999999999");
}

}  // namespace
}  // namespace kx4::paradox

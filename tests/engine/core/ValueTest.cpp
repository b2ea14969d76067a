#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/core/TextCodec.h"
#include "engine/core/Value.h"
#include "engine/core/ValueConversion.h"

namespace kx4 {
namespace {

struct DateCase {
    int y, m, d;
    std::int32_t day;
};

class DateScale : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateScale, MatchesKnownDayNumbers) {
    const DateCase c = GetParam();
    EXPECT_EQ(dateFromYmd(c.y, c.m, c.d).day, c.day);
    int y, m, d;
    ymdFromDate(Date{c.day}, y, m, d);
    EXPECT_EQ(y, c.y);
    EXPECT_EQ(m, c.m);
    EXPECT_EQ(d, c.d);
}

INSTANTIATE_TEST_SUITE_P(Calendar, DateScale,
                         ::testing::Values(DateCase{1, 1, 1, 1}, DateCase{1, 12, 31, 365},
                                           DateCase{1899, 12, 30, 693594},
                                           DateCase{1970, 1, 1, 719163},
                                           DateCase{2000, 2, 29, 730179},
                                           DateCase{2038, 1, 19, 744018},
                                           DateCase{9999, 12, 31, 3652059}));

TEST(FormatValue, PrintsEachKindAsTheCompanionToolDoes) {
    EXPECT_EQ(formatValue(Blank{}), "");
    EXPECT_EQ(formatValue(true), "true");
    EXPECT_EQ(formatValue(std::int64_t{-42}), "-42");
    EXPECT_EQ(formatValue(0.1), "0.1");
    EXPECT_EQ(formatValue(dateFromYmd(1899, 1, 2)), "1899-01-02");
    EXPECT_EQ(formatValue(Time{(13 * 3600 + 5 * 60 + 7) * 1000 + 42}), "13:05:07.042");
    EXPECT_EQ(formatValue(Timestamp{std::int64_t{dateFromYmd(2040, 7, 1).day} * 86400000 + 1000}),
              "2040-07-01T00:00:01.000");
    EXPECT_EQ(formatValue(Bytes{0x00, 0xAB, 0x10}), "00ab10");
    EXPECT_EQ(formatValue(Decimal{"-12.5"}), "-12.5");
}

struct NumberText {
    double value;
    const char* text;
};

class NumberAsText : public ::testing::TestWithParam<NumberText> {};

// Plain decimal with the fewest digits that read back as the same number; never an exponent,
// neither in the dump nor where a number becomes the text of an alpha field.
TEST_P(NumberAsText, IsPlainDecimalThatReadsBack) {
    const auto [value, expected] = GetParam();
    // The smallest double: "0." with 323 zeros, then its one digit.
    const std::string text = expected ? expected : "0." + std::string(323, '0') + "5";
    EXPECT_EQ(formatValue(value), text);
    EXPECT_EQ(std::strtod(formatValue(value).c_str(), nullptr), value);
    FieldDef alpha;
    alpha.type = TFieldType::ftString;
    alpha.size = 255;
    std::string reason;
    const auto converted = convertValue(value, alpha, reason, TextCodec(1252));
    if (text.size() <= 255) {
        ASSERT_TRUE(converted.has_value()) << reason;
        EXPECT_EQ(*converted, FieldValue{text});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, NumberAsText,
    ::testing::Values(NumberText{33000000, "33000000"}, NumberText{100000, "100000"},
                      NumberText{-100000, "-100000"}, NumberText{1e21, "1000000000000000000000"},
                      NumberText{-4.2e22, "-42000000000000000000000"}, NumberText{0.0, "0"},
                      NumberText{5e-324, nullptr}, NumberText{0.1, "0.1"},
                      NumberText{1.5e-7, "0.00000015"}, NumberText{-2.5e-5, "-0.000025"},
                      NumberText{12345.678, "12345.678"},
                      NumberText{9007199254740993.0, "9007199254740992"},
                      NumberText{1.7976931348623157e308,
                                 "179769313486231570000000000000000000000000000000000000000000"
                                 "000000000000000000000000000000000000000000000000000000000000"
                                 "000000000000000000000000000000000000000000000000000000000000"
                                 "000000000000000000000000000000000000000000000000000000000000"
                                 "000000000000000000000000000000000000000000000000000000000000"
                                 "000000000"}));

}  // namespace
}  // namespace kx4

#include <gtest/gtest.h>

#include "Value.h"

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
    EXPECT_EQ(formatValue(1e21), "1e+21");
    EXPECT_EQ(formatValue(dateFromYmd(1899, 1, 2)), "1899-01-02");
    EXPECT_EQ(formatValue(Time{(13 * 3600 + 5 * 60 + 7) * 1000 + 42}), "13:05:07.042");
    EXPECT_EQ(formatValue(Timestamp{std::int64_t{dateFromYmd(2040, 7, 1).day} * 86400000 + 1000}),
              "2040-07-01T00:00:01.000");
    EXPECT_EQ(formatValue(Bytes{0x00, 0xAB, 0x10}), "00ab10");
    EXPECT_EQ(formatValue(Decimal{"-12.5"}), "-12.5");
}

}  // namespace
}  // namespace kx4

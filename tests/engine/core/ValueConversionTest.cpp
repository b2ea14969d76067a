#include <gtest/gtest.h>

#include "engine/core/TextCodec.h"
#include "engine/core/ValueConversion.h"

namespace kx4 {
namespace {

FieldDef field(TFieldType type, int size = 0) {
    FieldDef f;
    f.name = "F";
    f.type = type;
    f.size = size;
    return f;
}

struct Case {
    const char* name;
    FieldValue in;
    FieldDef to;
    std::optional<FieldValue> expected;  // nullopt: refused
};

class Conversions : public ::testing::TestWithParam<Case> {};

TEST_P(Conversions, KeepValuesExactlyOrRefuse) {
    const Case& c = GetParam();
    std::string reason;
    const TextCodec tableText(1252);
    const auto out = convertValue(c.in, c.to, reason, tableText);
    if (c.expected) {
        ASSERT_TRUE(out.has_value()) << reason;
        EXPECT_EQ(*out, *c.expected);
    } else {
        EXPECT_FALSE(out.has_value());
        EXPECT_FALSE(reason.empty());
    }
}

const Date kDate = dateFromYmd(2024, 2, 29);

INSTANTIATE_TEST_SUITE_P(
    Restructure, Conversions,
    ::testing::Values(
        Case{"BlankStaysBlank", Blank{}, field(TFieldType::ftSmallint), FieldValue(Blank{})},
        Case{"WiderText", std::string("Müller"), field(TFieldType::ftString, 6),
             FieldValue(std::string("Müller"))},
        Case{"TextCut", std::string("Müllers"), field(TFieldType::ftString, 6), std::nullopt},
        Case{"IntegerToText", std::int64_t{-17}, field(TFieldType::ftString, 3),
             FieldValue(std::string("-17"))},
        Case{"IntegerTooWideForText", std::int64_t{-170}, field(TFieldType::ftString, 3),
             std::nullopt},
        Case{"LongFitsShort", std::int64_t{32767}, field(TFieldType::ftSmallint),
             FieldValue(std::int64_t{32767})},
        Case{"LongTooBigForShort", std::int64_t{32768}, field(TFieldType::ftSmallint),
             std::nullopt},
        Case{"NegativeIntoWord", std::int64_t{-1}, field(TFieldType::ftWord), std::nullopt},
        Case{"WholeFloatToInteger", 12.0, field(TFieldType::ftInteger),
             FieldValue(std::int64_t{12})},
        Case{"FractionToInteger", 12.5, field(TFieldType::ftInteger), std::nullopt},
        Case{"HugeFloatToInteger", 1e12, field(TFieldType::ftInteger), std::nullopt},
        Case{"NumericTextToInteger", std::string(" 42 "), field(TFieldType::ftInteger),
             FieldValue(std::int64_t{42})},
        Case{"WordsToInteger", std::string("zwölf"), field(TFieldType::ftInteger), std::nullopt},
        Case{"IntegerToFloat", std::int64_t{123456789}, field(TFieldType::ftFloat),
             FieldValue(123456789.0)},
        Case{"LargeIntegerLosesPrecision", std::int64_t{(1LL << 53) + 1},
             field(TFieldType::ftFloat), std::nullopt},
        Case{"FloatToBcd", 12.25, field(TFieldType::ftBCD, 2), FieldValue(Decimal{"12.25"})},
        Case{"BcdTooFewDecimals", 12.125, field(TFieldType::ftBCD, 2), std::nullopt},
        Case{"BcdToFloat", Decimal{"-0.5"}, field(TFieldType::ftCurrency), FieldValue(-0.5)},
        Case{"DateToTimestamp", kDate, field(TFieldType::ftDateTime),
             FieldValue(Timestamp{std::int64_t{kDate.day} * 86400000})},
        Case{"MidnightTimestampToDate", Timestamp{std::int64_t{kDate.day} * 86400000},
             field(TFieldType::ftDate), FieldValue(kDate)},
        Case{"TimestampWithTimeToDate", Timestamp{std::int64_t{kDate.day} * 86400000 + 1},
             field(TFieldType::ftDate), std::nullopt},
        Case{"DateToText", kDate, field(TFieldType::ftString, 10),
             FieldValue(std::string("2024-02-29"))},
        Case{"TextToDate", std::string("2024-02-29"), field(TFieldType::ftDate), FieldValue(kDate)},
        Case{"InvalidTextDate", std::string("2023-02-29"), field(TFieldType::ftDate), std::nullopt},
        Case{"TextToLogical", std::string("T"), field(TFieldType::ftBoolean), FieldValue(true)},
        Case{"NumberToLogical", std::int64_t{2}, field(TFieldType::ftBoolean), std::nullopt},
        Case{"WholeFloatToLogical", 1.0, field(TFieldType::ftBoolean), FieldValue(true)},
        Case{"FractionToLogical", 0.5, field(TFieldType::ftBoolean), std::nullopt},
        Case{"MemoToAlpha", std::string("kurz"), field(TFieldType::ftString, 10),
             FieldValue(std::string("kurz"))},
        Case{"TextToMemo", std::string(300, 'x'), field(TFieldType::ftMemo, 10),
             FieldValue(std::string(300, 'x'))},
        Case{"BytesTooLong", Bytes(5, 1), field(TFieldType::ftBytes, 4), std::nullopt},
        // Text and binary data meet in the bytes of the table's code page (1252 here), so that
        // either change can be undone.
        Case{"TextToBytes", std::string("Müller"), field(TFieldType::ftBytes, 6),
             FieldValue(Bytes{'M', 0xFC, 'l', 'l', 'e', 'r'})},
        Case{"TextToBlob", std::string("Müller"), field(TFieldType::ftBlob),
             FieldValue(Blob{Bytes{'M', 0xFC, 'l', 'l', 'e', 'r'}})},
        Case{"BytesToText", Bytes{'M', 0xFC, 'l', 'l', 'e', 'r'}, field(TFieldType::ftString, 6),
             FieldValue(std::string("Müller"))},
        Case{"BlobToMemo", Blob{Bytes{'G', 'r', 0xF6, 0xDF, 'e'}}, field(TFieldType::ftMemo, 10),
             FieldValue(std::string("Größe"))},
        Case{"BytesToTooShortText", Bytes{'M', 0xFC, 'l', 'l', 'e', 'r'},
             field(TFieldType::ftString, 5), std::nullopt},
        Case{"BytesNoTextOfTheCodePage", Bytes{'a', 0x81}, field(TFieldType::ftString, 5),
             std::nullopt},
        Case{"TextTheCodePageCannotHold", std::string("Ωmega"), field(TFieldType::ftBytes, 10),
             std::nullopt},
        Case{"DateToInteger", kDate, field(TFieldType::ftInteger), std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kx4

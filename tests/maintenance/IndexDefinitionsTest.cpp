// The definition list of the index rebuild and the names it gives the indexes it creates.
#include <gtest/gtest.h>

#include "maintenance/IndexDefinitions.h"
#include "tests/app/AppTestSupport.h"

namespace kx4 {
namespace {

struct CollectCase {
    const char* label;
    std::vector<IndexDef> indexes;
    QString keyFields;
    QStringList expected;
};

class CollectDefinitions : public testing::TestWithParam<CollectCase> {};

TEST_P(CollectDefinitions, KeyFirstThenEveryOtherFieldList) {
    EXPECT_EQ(collectIndexDefinitions(GetParam().indexes, GetParam().keyFields),
              GetParam().expected);
}

const TIndexOptions kPrimary = IndexOption::ixPrimary;
const TIndexOptions kCaseless = IndexOption::ixCaseInsensitive;
const TIndexOptions kExpression = IndexOption::ixExpression;

INSTANTIATE_TEST_SUITE_P(
    Tables, CollectDefinitions,
    testing::Values(CollectCase{"KeyOnTwoFieldsAndTwoSecondary",
                                {indexOn("", "NR;POS", kPrimary), indexOn("ORT", "ORT", kCaseless),
                                 indexOn("NAME_VORNAME", "NAME;VORNAME", kCaseless)},
                                "NR;POS",
                                {"NR;POS*", "ORT", "NAME;VORNAME"}},
                    CollectCase{"OnlyTheKey", {indexOn("", "NR", kPrimary)}, "NR", {"NR*"}},
                    CollectCase{"SecondaryOverTheKeyIsLeftOut",
                                {indexOn("", "NR", kPrimary), indexOn("NRX", "NR", kCaseless),
                                 indexOn("ORT", "ORT", kCaseless)},
                                "NR",
                                {"NR*", "ORT"}},
                    CollectCase{"ExpressionIndexesAreLeftOut",
                                {indexOn("", "NR", kPrimary), indexOn("UP", "", kExpression)},
                                "NR",
                                {"NR*"}},
                    CollectCase{"SameFieldListTwiceStaysTwice",
                                {indexOn("", "NR", kPrimary), indexOn("A", "ORT", kCaseless),
                                 indexOn("B", "ORT", IndexOption::ixUnique)},
                                "NR",
                                {"NR*", "ORT", "ORT"}},
                    CollectCase{"ComparedCaseSensitively",
                                {indexOn("", "NR", kPrimary), indexOn("nr", "nr", kCaseless)},
                                "NR",
                                {"NR*", "nr"}},
                    CollectCase{"WithoutKeyFields",
                                {indexOn("ARTNR", "ARTNR", IndexOption::ixUnique)},
                                "",
                                {"ARTNR"}}),
    [](const auto& info) { return std::string(info.param.label); });

const QDateTime kNow(QDate(2024, 3, 7), QTime(9, 5, 1));

struct NameCase {
    const char* entry;
    int position;
    const char* expected;
};

class GeneratedName : public testing::TestWithParam<NameCase> {};

TEST_P(GeneratedName, JoinsTheFieldsOrFallsBackToDateAndTime) {
    EXPECT_EQ(generatedIndexName(QString::fromUtf8(GetParam().entry), GetParam().position, kNow),
              QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Entries, GeneratedName,
    testing::Values(NameCase{"ORT", 1, "_ORT"}, NameCase{"NAME;VORNAME", 2, "_NAME&VORNAME"},
                    // 24 characters once joined: still the field form, 25 characters in all.
                    NameCase{"ABCDEFGHIJK;LMNOPQRSTUVW", 3, "_ABCDEFGHIJK&LMNOPQRSTUVW"},
                    NameCase{"ABCDEFGHIJK;LMNOPQRSTUVWX", 3, "_070320240905013"},
                    NameCase{"STRASSE;HAUSNUMMER;POSTLEITZAHL", 12, "_0703202409050112"},
                    NameCase{"ÄÖÜ;ß", 1, "_ÄÖÜ&ß"}));

TEST(IndexesToCreate, KeyEntryGivesTheUnnamedPrimaryIndex) {
    const auto indexes = indexesToCreate({"NR;POS*", "ORT", "NAME;VORNAME"}, kNow);
    const std::vector<IndexToCreate> expected = {
        {"", "NR;POS", IndexOption::ixPrimary},
        {"_ORT", "ORT", IndexOption::ixCaseInsensitive},
        {"_NAME&VORNAME", "NAME;VORNAME", IndexOption::ixCaseInsensitive}};
    EXPECT_EQ(indexes, expected);
}

TEST(IndexesToCreate, EmptyEntriesCreateNothingButKeepTheirPosition) {
    const auto indexes = indexesToCreate({"NR*", "", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", ""}, kNow);
    ASSERT_EQ(indexes.size(), 2u);
    EXPECT_EQ(indexes[1].name, "_070320240905012");
}

TEST(IndexesToCreate, ASecondIndexWithTheSameFieldsGetsADistinctName) {
    const auto indexes = indexesToCreate({"NR*", "ORT", "ort", "ORT"}, kNow);
    ASSERT_EQ(indexes.size(), 4u);
    EXPECT_EQ(indexes[1].name, "_ORT");
    EXPECT_EQ(indexes[2].name, "_070320240905012");  // "_ort" counts as the same name
    EXPECT_EQ(indexes[3].name, "_070320240905013");
    for (const auto& index : indexes) EXPECT_NE(index.fields, "");
}

TEST(IndexesToCreate, WithoutKeyEntryOnlySecondaryIndexes) {
    const auto indexes = indexesToCreate({"ORT", "NAME"}, kNow);
    ASSERT_EQ(indexes.size(), 2u);
    EXPECT_EQ(indexes[0], (IndexToCreate{"_ORT", "ORT", IndexOption::ixCaseInsensitive}));
}

}  // namespace
}  // namespace kx4

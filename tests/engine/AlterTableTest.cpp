#include <gtest/gtest.h>

#include "engine/core/Errors.h"
#include "engine/sql/AlterTable.h"

namespace kx4 {
namespace {

using Action = AlterTableStatement::Action;

struct Good {
    const char* sql;
    Action action;
    const char* table;
    const char* column;
    TFieldType type;
    int size;
};

class Statements : public ::testing::TestWithParam<Good> {};

TEST_P(Statements, Parse) {
    const Good& g = GetParam();
    const AlterTableStatement st = parseAlterTable(g.sql);
    EXPECT_EQ(st.action, g.action);
    EXPECT_EQ(st.table, g.table);
    EXPECT_EQ(st.column, g.column);
    if (g.action == Action::Add) {
        EXPECT_EQ(st.type, g.type);
        EXPECT_EQ(st.size, g.size);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AddAndDrop, Statements,
    ::testing::Values(
        Good{R"(ALTER TABLE "KUNDEN.DB" ADD "KUNDEN.DB"."PLZ" CHARACTER(10))", Action::Add,
             "KUNDEN.DB", "PLZ", TFieldType::ftString, 10},
        Good{R"(alter table "k" add "k"."N" SMALLINT)", Action::Add, "k", "N",
             TFieldType::ftSmallint, 0},
        Good{R"(ALTER TABLE "T" ADD "T"."I" INTEGER)", Action::Add, "T", "I", TFieldType::ftInteger,
             0},
        Good{R"(ALTER TABLE "T" ADD "T"."L" LARGEINT)", Action::Add, "T", "L",
             TFieldType::ftLargeint, 0},
        Good{R"(ALTER TABLE "T" ADD "T"."D" DATE)", Action::Add, "T", "D", TFieldType::ftDate, 0},
        Good{R"(ALTER TABLE "T" ADD "T"."C" CURRENCY)", Action::Add, "T", "C",
             TFieldType::ftCurrency, 0},
        Good{R"(ALTER TABLE "T" ADD "T"."M" BLOB(100,1))", Action::Add, "T", "M",
             TFieldType::ftMemo, 100},
        Good{R"(ALTER TABLE "T" ADD "T"."G" BLOB(10, 5);)", Action::Add, "T", "G",
             TFieldType::ftGraphic, 10},
        Good{R"(ALTER TABLE "A ""B"".DB" ADD "A ""B"".DB"."x""y" DATE)", Action::Add, "A \"B\".DB",
             "x\"y", TFieldType::ftDate, 0},
        Good{R"(ALTER TABLE "T" DROP "T"."Straße")", Action::Drop, "T", "Straße",
             TFieldType::ftUnknown, 0},
        Good{R"(ALTER TABLE T DROP NAME)", Action::Drop, "T", "NAME", TFieldType::ftUnknown, 0}));

struct Bad {
    const char* sql;
    std::size_t position;
};

class Refused : public ::testing::TestWithParam<Bad> {};

TEST_P(Refused, NamesThePosition) {
    try {
        parseAlterTable(GetParam().sql);
        FAIL() << "accepted: " << GetParam().sql;
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), DBIERR_QRYSYNTAX);
        EXPECT_NE(std::string(e.what()).find("position " + std::to_string(GetParam().position)),
                  std::string::npos)
            << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, Refused,
    ::testing::Values(Bad{"", 1}, Bad{"DROP TABLE \"T\"", 1}, Bad{"ALTER TABLE \"T\" RENAME x", 17},
                      Bad{"ALTER TABLE \"T\" ADD \"T\".\"F\" CHARACTER", 38},
                      Bad{"ALTER TABLE \"T\" ADD \"T\".\"F\" WIDGET", 29},
                      Bad{"ALTER TABLE \"T\" ADD \"U\".\"F\" DATE", 21},
                      Bad{"ALTER TABLE \"T\" DROP \"T\".\"F\"; DROP TABLE \"T\"", 31},
                      Bad{"ALTER TABLE \"T\" DROP \"T\".\"F", 26},
                      Bad{"ALTER TABLE \"T\" ADD \"T\".\"M\" BLOB(100,9)", 38},
                      Bad{"ALTER TABLE \"\" DROP \"F\"", 13}));

}  // namespace
}  // namespace kx4

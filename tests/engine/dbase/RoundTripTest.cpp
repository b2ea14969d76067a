// Tables we write read back identically, in the engine and in independent readers; values that
// do not fit are refused with an error naming the field.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/Errors.h"
#include "engine/core/FieldType.h"
#include "engine/dbase/DbaseProperties.h"
#include "engine/dbase/FieldCodec.h"
#include "tests/engine/dbase/DbaseTestSupport.h"

namespace kx4::test {
namespace {

struct ValueCase {
    std::string label;
    FieldDef field;
    FieldValue value;
    FieldValue expected;            // what reads back (when no error)
    DBIResult error = DBIERR_NONE;  // expected refusal
};

std::ostream& operator<<(std::ostream& os, const ValueCase& c) { return os << c.label; }

std::vector<ValueCase> valueCases() {
    const auto C = [](int n) { return dbField("F", fldDBCHAR, n); };
    const auto N = [](int n, int d) { return dbField("F", fldDBNUM, n, d); };
    const FieldDef D = dbField("F", fldDBDATE), L = dbField("F", fldDBBOOL),
                   M = dbField("F", fldDBMEMO);
    const FieldDef I = dbField("F", fldDBLONG), O = dbField("F", fldDBDOUBLE),
                   TS = dbField("F", fldDBDATETIME);
    const FieldDef B = dbField("F", fldDBBINARY);
    const std::int64_t i32max = 2147483647;
    return {
        {"char_full", C(5), std::string("abcde"), std::string("abcde")},
        {"char_umlaut", C(3), std::string("äöü"), std::string("äöü")},
        {"char_too_long", C(4), std::string("abcde"), Blank{}, DBIERR_DATATOOLONG},
        {"char_not_in_code_page", C(4), std::string("日本"), Blank{}, DBIERR_INVALIDFLDXFORM},
        {"char_empty_is_blank", C(4), std::string(""), Blank{}},
        {"char_wrong_kind", C(4), std::int64_t{5}, Blank{}, DBIERR_INVALIDFLDXFORM},
        {"num_max_width", N(5, 0), std::int64_t{99999}, std::int64_t{99999}},
        {"num_negative_fits", N(5, 0), std::int64_t{-9999}, std::int64_t{-9999}},
        {"num_too_wide", N(5, 0), std::int64_t{100000}, Blank{}, DBIERR_DATATOOLONG},
        {"num_negative_too_wide", N(5, 0), std::int64_t{-10000}, Blank{}, DBIERR_DATATOOLONG},
        {"num_decimals_refused", N(8, 2), 1.005, Blank{}, DBIERR_DATATOOLONG},
        {"num_decimals_exact", N(20, 4), Decimal{"-1234567890123.4567"}, -1234567890123.4567},
        {"num_rounding_overflows", N(4, 1), 99.96, Blank{}, DBIERR_DATATOOLONG},
        {"num_infinite", N(10, 2), HUGE_VAL, Blank{}, DBIERR_DATATOOLONG},
        {"num_blank", N(10, 2), Blank{}, Blank{}},
        {"date_low", D, dateFromYmd(1, 1, 1), dateFromYmd(1, 1, 1)},
        {"date_high", D, dateFromYmd(9999, 12, 31), dateFromYmd(9999, 12, 31)},
        {"date_leap", D, dateFromYmd(2000, 2, 29), dateFromYmd(2000, 2, 29)},
        {"date_year_10000", D, dateFromYmd(10000, 1, 1), Blank{}, DBIERR_DATATOOLONG},
        {"date_wrong_kind", D, std::string("2020-01-01"), Blank{}, DBIERR_INVALIDFLDXFORM},
        {"logical_true", L, true, true},
        {"logical_false", L, false, false},
        {"logical_blank", L, Blank{}, Blank{}},
        {"memo_text", M, std::string("line 1\r\nline 2 äß"), std::string("line 1\r\nline 2 äß")},
        {"memo_two_blocks", M, std::string(700, 'x'), std::string(700, 'x')},
        {"memo_exact_block", M, std::string(504, 'y'), std::string(504, 'y')},
        {"memo_blank", M, Blank{}, Blank{}},
        {"binary_memo", B, Blob{{0, 1, 0x1A, 0xFF, 0x1F}}, Blob{{0, 1, 0x1A, 0xFF, 0x1F}}},
        {"long_max", I, i32max, i32max},
        {"long_min_plus_one", I, -i32max, -i32max},
        {"long_zero", I, std::int64_t{0}, std::int64_t{0}},
        {"long_overflow", I, i32max + 1, Blank{}, DBIERR_DATATOOLONG},
        {"long_int_min_is_null", I, -i32max - 1, Blank{}, DBIERR_DATATOOLONG},
        {"double_negative", O, -2.5e-300, -2.5e-300},
        {"double_zero", O, 0.0, 0.0},
        {"double_large", O, 1.7e308, 1.7e308},
        {"timestamp", TS, Timestamp{dateFromYmd(2024, 4, 11).day * 86400000LL + 45296789},
         Timestamp{dateFromYmd(2024, 4, 11).day * 86400000LL + 45296789}},
        {"timestamp_before_year_1", TS, Timestamp{0}, Blank{}, DBIERR_DATATOOLONG},
    };
}

class ValueRoundTrip : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueRoundTrip, ReadsBackOrIsRefused) {
    const ValueCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.file("T.DBF");
    TableSchema schema;
    schema.fields = {dbField("ID", fldDBNUM, 4, 0), c.field};
    if (c.error != DBIERR_NONE) {
        try {
            buildDbase(path, schema, {{std::int64_t{1}, c.value}});
            FAIL() << "no error";
        } catch (const EDBEngineError& e) {
            EXPECT_EQ(e.errorCode(), c.error) << e.what();
            EXPECT_NE(std::string(e.what()).find('F'), std::string::npos) << e.what();
        }
        EXPECT_FALSE(std::filesystem::exists(path)) << "a failed build leaves no table";
        return;
    }
    buildDbase(path, schema, {{std::int64_t{1}, c.value}});
    auto table = openDbase(path);
    const auto records = readAll(*table->scan());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(dumpValue(records[0][1]), dumpValue(c.expected));
    EXPECT_TRUE(table->check().empty());
}

INSTANTIATE_TEST_SUITE_P(Types, ValueRoundTrip, ::testing::ValuesIn(valueCases()),
                         [](const auto& info) { return info.param.label; });

std::vector<std::uint8_t> headBytes(const std::string& path, std::size_t n) {
    auto bytes = readFileBytes(path);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(n));
}

TEST(DbaseDefaults, NewTableIsDbaseIVWithWindowsAnsiDriverAnd512ByteMemoBlocks) {
    TempDir dir;
    TableSchema schema;
    schema.fields = {dbField("NAME", fldDBCHAR, 10), dbField("NOTES", fldDBMEMO)};
    buildDbase(dir.file("T.DBF"), schema, {{std::string("a"), std::string("memo")}});
    const auto head = headBytes(dir.file("T.DBF"), 32);
    EXPECT_EQ(head[0], 0x8B);   // dBase IV with memo
    EXPECT_EQ(head[29], 0x57);  // code page 1252
    const auto memo = headBytes(dir.file("T.DBT"), 24);
    EXPECT_EQ(memo[20] | (memo[21] << 8), 512);

    schema.fields.pop_back();
    buildDbase(dir.file("U.DBF"), schema, {});
    EXPECT_EQ(headBytes(dir.file("U.DBF"), 1)[0], 0x03);
    EXPECT_FALSE(std::filesystem::exists(dir.file("U.DBT")));
}

TEST(DbaseLevel7, BinaryTypesAndAutoIncrementCarryOver) {
    TempDir dir;
    const std::string path = dir.file("L7.DBF");
    TableSchema schema;
    schema.fields = {dbField("ID", fldDBAUTOINC), dbField("AMOUNT", fldDBDOUBLE),
                     dbField("A_LONG_FIELD_NAME_OF_31_CHARS_X", fldDBLONG)};
    buildDbase(path, schema, {{Blank{}, 1.5, std::int64_t{-7}}, {Blank{}, -2.0, Blank{}}});
    EXPECT_EQ(headBytes(path, 1)[0], 0x04);
    {
        auto table = openDbase(path, true);
        EXPECT_EQ(table->schema().fields[0].type, TFieldType::ftAutoInc);
        EXPECT_EQ(table->schema().fields[2].name, "A_LONG_FIELD_NAME_OF_31_CHARS_X");
        table->appendRecord({Blank{}, 3.0, std::int64_t{1}});
        const auto records = readAll(*table->scan());
        ASSERT_EQ(records.size(), 3u);
        EXPECT_EQ(dumpValue(records[2][0]), "N:3");
    }
    packDbase(path);  // the counter survives a rewrite
    auto table = openDbase(path, true);
    table->appendRecord({Blank{}, 4.0, Blank{}});
    const auto records = readAll(*table->scan());
    EXPECT_EQ(dumpValue(records.back()[0]), "N:4");
    EXPECT_EQ(dumpValue(records[0][1]), "N:1.5");
    EXPECT_EQ(dumpValue(records[0][2]), "N:-7");
}

TEST(DbaseCodePages, TextIsConvertedAtTheEdgeAndReadableByDbfread) {
    TempDir dir;
    const std::string path = dir.file("RU.DBF");
    auto like = std::make_shared<dbase::DbaseProperties>();
    like->codePage = 866;
    like->ldid = 0x26;
    TableSchema schema;
    schema.fields = {dbField("NAME", fldDBCHAR, 12)};
    buildDbase(path, schema, {{std::string("Привет мир")}}, like);
    EXPECT_EQ(headBytes(path, 30)[29], 0x26);
    auto table = openDbase(path);
    EXPECT_EQ(table->info().codePage, 866);
    EXPECT_EQ(dumpValue(readAll(*table->scan())[0][0]), "S:Привет мир");
    EXPECT_EQ(dbfreadRecords(path, 866)[0][0], "S:Привет мир");
}

// A table with every dBase IV type, as the independent readers see it.
struct Sample {
    TableSchema schema;
    std::vector<Record> records;
};

Sample sampleTable() {
    Sample s;
    s.schema.fields = {dbField("NAME", fldDBCHAR, 20),    dbField("QTY", fldDBNUM, 6, 0),
                       dbField("PRICE", fldDBNUM, 12, 2), dbField("RATE", fldDBFLOAT, 20, 8),
                       dbField("BORN", fldDBDATE),        dbField("ACTIVE", fldDBBOOL),
                       dbField("NOTES", fldDBMEMO)};
    s.records = {
        {std::string("Müller"), std::int64_t{12}, 1234.5, 0.125, dateFromYmd(1970, 1, 1), true,
         std::string("first\r\nmemo")},
        {std::string("O'Brien, \"Pat\""), std::int64_t{-5}, -0.01, -1e9, dateFromYmd(2024, 2, 29),
         false, Blank{}},
        {Blank{}, Blank{}, Blank{}, Blank{}, Blank{}, Blank{}, std::string(1500, 'z')},
    };
    return s;
}

TEST(DbaseIndependentReaders, DbfreadReadsWhatWeWrite) {
    TempDir dir;
    const std::string path = dir.file("SAMPLE.DBF");
    const Sample s = sampleTable();
    buildDbase(path, s.schema, s.records);
    const auto theirs = dbfreadRecords(path, 1252);
    ASSERT_EQ(theirs.size(), s.records.size());
    for (std::size_t r = 0; r < s.records.size(); ++r)
        for (std::size_t f = 0; f < s.records[r].size(); ++f)
            EXPECT_TRUE(sameDumpedValue(dumpValue(s.records[r][f]), theirs[r][f]))
                << "record " << r + 1 << " field " << f << ": " << theirs[r][f];
}

// python3-dbf reads dBase III tables only (0x03 / 0x83).
TEST(DbaseIndependentReaders, PythonDbfReadsWhatWeWriteAtLevelIII) {
    TempDir dir;
    const std::string path = dir.file("SAMPLE.DBF");
    Sample s = sampleTable();
    s.schema.fields[3] = dbField("RATE", fldDBNUM, 19, 6);  // III has no F fields
    auto like = std::make_shared<dbase::DbaseProperties>();
    like->level = dbase::DbfLevel::III;
    buildDbase(path, s.schema, s.records, like);
    EXPECT_EQ(headBytes(path, 1)[0], 0x83);
    const std::string script =
        "import dbf,sys\n"
        "t=dbf.Table(sys.argv[1]); t.open()\n"
        "for r in t:\n"
        "  print('|'.join(repr(v.strip() if isinstance(v,str) else v) for v in r))\n";
    std::string out;
    ASSERT_EQ(runCommand(std::string(KX4_DEBIAN_PYTHON) + " -c " + shellQuote(script) + " " + path +
                             " 2>&1",
                         out),
              0)
        << out;
    std::istringstream lines(out);
    std::string first, second, third;
    std::getline(lines, first);
    std::getline(lines, second);
    std::getline(lines, third);
    EXPECT_EQ(first, "'Müller'|12|1234.5|0.125|datetime.date(1970, 1, 1)|True|'first\\r\\nmemo'")
        << out;
    EXPECT_EQ(second,
              "'O\\'Brien, \"Pat\"'|-5|-0.01|-1000000000.0|datetime.date(2024, 2, 29)|False|''")
        << out;
    EXPECT_NE(third.find("'" + std::string(1500, 'z') + "'"), std::string::npos) << out;
}

TEST(DbaseIndependentReaders, OgrinfoReadsWhatWeWrite) {
    TempDir dir;
    const std::string path = dir.file("SAMPLE.DBF");
    const Sample s = sampleTable();
    buildDbase(path, s.schema, s.records);
    std::string out;
    ASSERT_EQ(runCommand("ogrinfo -q -al " + path + " 2>&1", out), 0) << out;
    for (const char* expected :
         {"NAME (String) = Müller", "QTY (Integer) = 12", "PRICE (Real) = 1234.50",
          "BORN (Date) = 1970/01/01", "ACTIVE (String) = T", "QTY (Integer) = -5",
          "PRICE (Real) = -0.01", "BORN (Date) = 2024/02/29", "ACTIVE (String) = F"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
}

}  // namespace
}  // namespace kx4::test

namespace kx4::test {
namespace {

struct Presented {
    char type;
    int length, decimals;
    dbase::DbfLevel level;
    TFieldType shown;
    int dataSize;
};

std::ostream& operator<<(std::ostream& os, const Presented& p) {
    return os << p.type << "(" << p.length << "," << p.decimals << ")";
}

class FieldTypeNames : public ::testing::TestWithParam<Presented> {};

// dBase fields carry the types dBase gives them: whole numbers of up to 4 digits are small
// integers, every other number a floating-point one, and binary fields typed binary.
TEST_P(FieldTypeNames, AreTheOnesDBaseGives) {
    const auto& c = GetParam();
    dbase::DbfField f;
    f.name = "F";
    f.type = c.type;
    f.length = c.length;
    f.decimals = c.decimals;
    const FieldDef def = dbase::fieldDefOf(f, c.level);
    EXPECT_EQ(def.type, c.shown);
    EXPECT_EQ(def.dataSize, c.dataSize);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, FieldTypeNames,
    ::testing::Values(Presented{'N', 1, 0, dbase::DbfLevel::IV, TFieldType::ftSmallint, 2},
                      Presented{'N', 4, 0, dbase::DbfLevel::IV, TFieldType::ftSmallint, 2},
                      Presented{'N', 5, 0, dbase::DbfLevel::IV, TFieldType::ftFloat, 8},
                      Presented{'N', 9, 0, dbase::DbfLevel::III, TFieldType::ftFloat, 8},
                      Presented{'N', 10, 0, dbase::DbfLevel::IV, TFieldType::ftFloat, 8},
                      Presented{'N', 4, 1, dbase::DbfLevel::IV, TFieldType::ftFloat, 8},
                      Presented{'F', 4, 0, dbase::DbfLevel::IV, TFieldType::ftFloat, 8},
                      Presented{'B', 10, 0, dbase::DbfLevel::IV, TFieldType::ftTypedBinary, 10},
                      Presented{'B', 10, 0, dbase::DbfLevel::Seven, TFieldType::ftTypedBinary, 10},
                      Presented{'B', 8, 0, dbase::DbfLevel::FoxPro, TFieldType::ftFloat, 8}));

// The stored digits stay as they are: a whole number of N(6,0) reads as that number.
TEST(FieldTypeNames, KeepTheStoredNumbers) {
    TempDir dir;
    const std::string path = dir.file("N.DBF");
    TableSchema schema;
    schema.fields = {dbField("QTY", fldDBNUM, 6, 0)};
    buildDbase(path, schema, {{std::int64_t{123456}}, {std::int64_t{-42}}});
    const auto records = readAll(*openDbase(path)->scan());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0][0], FieldValue(123456.0));
    EXPECT_EQ(records[1][0], FieldValue(-42.0));
    const auto bytes = readFileBytes(path);
    const std::string stored(bytes.end() - 15, bytes.end() - 1);  // two records, then 0x1A
    EXPECT_EQ(stored, " 123456    -42");
}

}  // namespace
}  // namespace kx4::test

// Tables written by the builder read back value for value: every field type with boundary
// values, in several code pages, levels and block sizes, plain and password protected.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/paradox/Encryption.h"
#include "engine/paradox/ParadoxProperties.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

using paradox::ParadoxProperties;

TableSchema allTypes() {
    TableSchema s;
    s.fields = {field("Name", TFieldType::ftString, 20),  field("Zahl", TFieldType::ftFloat),
                field("Geld", TFieldType::ftCurrency),    field("Kurz", TFieldType::ftSmallint),
                field("Lang", TFieldType::ftInteger),     field("Bcd", TFieldType::ftBCD, 2),
                field("Datum", TFieldType::ftDate),       field("Zeit", TFieldType::ftTime),
                field("Stempel", TFieldType::ftDateTime), field("Ja", TFieldType::ftBoolean),
                field("Nr", TFieldType::ftAutoInc),       field("Roh", TFieldType::ftBytes, 5),
                field("Notiz", TFieldType::ftMemo, 10),   field("Format", TFieldType::ftFmtMemo, 5),
                field("Binaer", TFieldType::ftBlob, 5),   field("Ole", TFieldType::ftParadoxOle, 0),
                field("Bild", TFieldType::ftGraphic, 0)};
    return s;
}

Bytes pattern(std::size_t n, int seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>((i * 31 + seed) % 251);
    return b;
}

Timestamp at(int y, int m, int d, std::int64_t msOfDay) {
    return Timestamp{std::int64_t{dateFromYmd(y, m, d).day} * 86400000 + msOfDay};
}

std::vector<Record> boundaryRecords() {
    const std::string umlauts = "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F";
    std::vector<Record> r;
    r.push_back(Record(17, Blank{}));
    r.push_back({umlauts + " max", 1.7976931348623157e308, 922337203685477.5, std::int64_t{32767},
                 std::int64_t{2147483647}, Decimal{"999999999999999999999999999999.99"},
                 dateFromYmd(9999, 12, 31), Time{86399999}, at(2100, 1, 1, 43200000), true,
                 std::int64_t{100}, Bytes{255, 255, 255, 255, 255}, std::string("kurz"),
                 Blob{{1, 2, 3}}, Blob{pattern(3 * 1024 * 1024 + 17, 1)},
                 pictureBlob(2, pattern(100, 2)), pictureBlob(1, pattern(5000, 3))});
    r.push_back({std::string("min"), -1.7976931348623157e308, -0.01, std::int64_t{-32767},
                 std::int64_t{-2147483647}, Decimal{"-0.01"}, Date{1}, Time{0},
                 at(1899, 12, 31, 86399999), false, Blank{}, Bytes{1},
                 std::string(2048, 'x') + umlauts, Blob{pattern(2049, 4)}, Blob{},
                 pictureBlob(2, pattern(2048, 5)), pictureBlob(1, pattern(1, 6))});
    r.push_back({std::string("y2038"), 0.0, 0.0, std::int64_t{0}, std::int64_t{0}, Decimal{"0.00"},
                 dateFromYmd(2039, 1, 20), Time{1}, at(2038, 1, 19, 11647000), true, Blank{},
                 Bytes{0, 0, 0, 0, 7}, std::string(umlauts), Blob{pattern(10, 7)},
                 Blob{pattern(5, 8)}, pictureBlob(2, pattern(2047, 9)),
                 pictureBlob(1, pattern(std::size_t{64} * 1024, 10))});
    return r;
}

// What the table gives back: assigned counters, padded bytes, empty values as blank.
std::vector<Record> expectedRecords() {
    auto r = boundaryRecords();
    r[0][10] = std::int64_t{1};
    r[2][10] = std::int64_t{101};
    r[2][11] = Bytes{1, 0, 0, 0, 0};
    r[2][14] = Blank{};
    r[3][10] = std::int64_t{102};
    return r;
}

struct Variant {
    const char* label;
    int codePage;
    std::uint8_t version;
    std::uint8_t blockSizeKb;
    const char* password;
};

class RoundTrip : public ::testing::TestWithParam<Variant> {
  protected:
    std::shared_ptr<ParadoxProperties> properties() const {
        const auto& v = GetParam();
        auto p = std::make_shared<ParadoxProperties>();
        p->codePage = v.codePage;
        p->version = v.version;
        p->blockSizeKb = v.blockSizeKb;
        p->encryption = paradox::passwordChecksum(v.password);
        return p;
    }
};

TEST_P(RoundTrip, EveryTypeReadsBackAsWritten) {
    TempDir dir;
    const std::string path = dir.file("ALLTYPES.DB");
    writeParadox(path, allTypes(), boundaryRecords(), properties());
    ScriptedPasswords passwords({GetParam().password});
    auto table = openParadox(path, false, &passwords);
    EXPECT_EQ(table->schema().fields.size(), 17u);
    EXPECT_EQ(table->info().codePage, GetParam().codePage);
    EXPECT_EQ(table->info().encrypted, *GetParam().password != '\0');
    const auto records = readAll(*table);
    const auto expected = expectedRecords();
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t r = 0; r < records.size(); ++r)
        for (std::size_t f = 0; f < expected[r].size(); ++f)
            EXPECT_EQ(records[r][f], expected[r][f])
                << "record " << r + 1 << ", field " << table->schema().fields[f].name;
    EXPECT_TRUE(table->check().empty());
}

TEST_P(RoundTrip, RewriteKeepsLevelCodePagePasswordAndCounter) {
    TempDir dir;
    const std::string path = dir.file("ALLTYPES.DB");
    writeParadox(path, allTypes(), boundaryRecords(), properties());
    ScriptedPasswords passwords({GetParam().password});
    auto table = openParadox(path, true, &passwords);
    const auto before = readAll(*table);
    table->appendRecord(Record(17, Blank{}));
    const auto after = readAll(*table);
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after.back()[10], FieldValue{std::int64_t{103}});
    table.reset();

    ScriptedPasswords none;
    if (*GetParam().password) {
        EXPECT_THROW(openParadox(path, false, &none), EDBEngineError);
    }
    auto reopened = openParadox(path, false, &passwords);
    EXPECT_EQ(reopened->info().codePage, GetParam().codePage);
    EXPECT_EQ(reopened->info().version, GetParam().version == 0x0C ? 7 : 5);
}

INSTANTIATE_TEST_SUITE_P(Paradox, RoundTrip,
                         ::testing::Values(Variant{"level7_cp1252_2k", 1252, 0x0C, 2, ""},
                                           Variant{"level7_cp1252_encrypted", 1252, 0x0C, 4,
                                                   "Geheim!"},
                                           Variant{"level5_cp850_16k", 850, 0x0B, 16, ""},
                                           Variant{"level5_cp437_encrypted", 437, 0x0B, 2, "x"}),
                         [](const auto& info) { return std::string(info.param.label); });

TableSchema keyed() {
    TableSchema s;
    s.fields = {field("Land", TFieldType::ftString, 10), field("Nr", TFieldType::ftInteger),
                field("Text", TFieldType::ftString, 40)};
    s.indexes = {primaryKey("Land;Nr")};
    return s;
}

TEST(KeyedTable, RecordsComeBackInKeyOrderWithAValidPrimaryIndex) {
    TempDir dir;
    const std::string path = dir.file("KEYED.DB");
    std::vector<Record> records;
    for (int i = 0; i < 5000; ++i) {
        const int n = (i * 7919) % 5000;
        records.push_back({std::string(n % 2 ? "DE" : "AT"), std::int64_t{n - 2500},
                           std::string("row ") + std::to_string(n)});
    }
    writeParadox(path, keyed(), records);
    auto table = openParadox(path);
    ASSERT_EQ(table->schema().indexes.size(), 1u);
    EXPECT_EQ(table->schema().indexes[0].fields, "Land;Nr");
    EXPECT_TRUE(defaultFileSystem().exists(dir.file("KEYED.PX")));
    const auto read = readAll(*table);
    ASSERT_EQ(read.size(), records.size());
    for (std::size_t i = 1; i < read.size(); ++i) {
        const auto prev = std::make_pair(std::get<std::string>(read[i - 1][0]),
                                         std::get<std::int64_t>(read[i - 1][1]));
        const auto cur =
            std::make_pair(std::get<std::string>(read[i][0]), std::get<std::int64_t>(read[i][1]));
        ASSERT_LT(prev, cur) << "at record " << i + 1;
    }
    EXPECT_TRUE(table->check().empty());
}

TEST(KeyedTable, DuplicateKeyIsRefusedAndNothingIsWritten) {
    TempDir dir;
    const std::string path = dir.file("DUP.DB");
    const std::string before = directorySnapshot(dir.path());
    try {
        writeParadox(path, keyed(),
                     {{std::string("DE"), std::int64_t{1}, std::string("a")},
                      {std::string("DE"), std::int64_t{1}, std::string("b")}});
        FAIL() << "accepted a duplicate key";
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), DBIERR_KEYVIOL);
    }
    EXPECT_EQ(directorySnapshot(dir.path()), before);
}

TEST(KeyedTable, KeyFieldsMustLeadTheRecord) {
    TempDir dir;
    auto schema = keyed();
    schema.indexes[0].fields = "Nr";
    EXPECT_THROW(writeParadox(dir.file("BAD.DB"), schema, {}), EDBEngineError);
}

TEST(NewTable, DefaultsToLevel7Code1252AndFieldsAsDefined) {
    TempDir dir;
    const std::string path = dir.file("neu.db");
    TableSchema s;
    s.fields = {field("Name", TFieldType::ftString, 30), field("Datum", TFieldType::ftDate),
                field("Betrag", TFieldType::ftCurrency)};
    writeParadox(path, s, {});
    auto table = openParadox(path);
    EXPECT_EQ(table->info().version, 7);
    EXPECT_EQ(table->info().codePage, 1252);
    EXPECT_EQ(table->info().recordCount, 0u);
    EXPECT_TRUE(table->schema().indexes.empty());
    ASSERT_EQ(table->schema().fields.size(), 3u);
    EXPECT_EQ(table->schema().fields[0].type, TFieldType::ftString);
    EXPECT_EQ(table->schema().fields[0].size, 30);
    EXPECT_EQ(table->schema().fields[0].dataSize, 31);
    EXPECT_EQ(table->schema().fields[2].type, TFieldType::ftCurrency);
    EXPECT_FALSE(defaultFileSystem().exists(dir.file("neu.px")));
    EXPECT_FALSE(defaultFileSystem().exists(dir.file("neu.mb")));
}

TEST(Append, NeedsAnExclusiveOpen) {
    TempDir dir;
    const std::string path = dir.file("A.DB");
    writeParadox(path, keyed(), {});
    auto table = openParadox(path);
    try {
        table->appendRecord({std::string("DE"), std::int64_t{1}, Blank{}});
        FAIL();
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), DBIERR_NEEDEXCLACCESS);
    }
}

TEST(Companions, ListsEveryFileOfTheTableButNotOthers) {
    KX4_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    copyCorpusTable("paradox/lazarus-paradox/CARIKRT.DB", dir.path());
    copyCorpusTable("paradox/paradoxdriver/db/CUSTOMER.DB", dir.path());
    const auto files =
        paradoxFormat().companionFiles(tablePath(dir.file("CARIKRT.DB")), defaultFileSystem());
    ASSERT_EQ(files.size(), 11u);  // DB, MB, PX, XG0-3, YG0-3
    EXPECT_EQ(files[0], dir.file("CARIKRT.DB"));
    for (const auto& f : files) EXPECT_NE(f.find("CARIKRT"), std::string::npos);
}

TEST(SecondaryIndexes, AreListedAfterThePrimaryWithNamesAndFields) {
    KX4_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    auto table = openParadox(copyCorpusTable("paradox/lazarus-paradox/CARIKRT.DB", dir.path()));
    const auto& ix = table->schema().indexes;
    ASSERT_EQ(ix.size(), 5u);
    EXPECT_TRUE(ix[0].options.has(IndexOption::ixPrimary));
    EXPECT_EQ(ix[1].name, "NDXKOD");
    EXPECT_EQ(ix[1].fields, "HESAPKODU");
    auto joins = openParadox(copyCorpusTable("paradox/paradoxdriver/joins/indexed.db", dir.path()));
    ASSERT_EQ(joins->schema().indexes.size(), 1u);
    EXPECT_EQ(joins->schema().indexes[0].name, "Descending");
    EXPECT_TRUE(joins->schema().indexes[0].options.has(IndexOption::ixDescending));
    EXPECT_TRUE(joins->schema().indexes[0].options.has(IndexOption::ixNonMaintained));
}

TEST(SecondaryIndexes, ScanInTheIndexOrder) {
    KX4_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    auto table = openParadox(copyCorpusTable("paradox/paradoxdriver/db/CUSTOMER.DB", dir.path()));
    auto cursor = table->scanIndex("City");
    Record r, previous;
    int n = 0;
    while (cursor->next(r)) {
        // City, field 6; the table's sort order ignores case.
        if (n++ && !isBlank(previous[5]) && !isBlank(r[5])) {
            EXPECT_LE(toUpperAscii(std::get<std::string>(previous[5])),
                      toUpperAscii(std::get<std::string>(r[5])));
        }
        previous = r;
    }
    EXPECT_EQ(n, 20);
    EXPECT_THROW(table->scanIndex("NoSuchIndex"), EDBEngineError);
}

// A graphic value is the bytes the blob file holds, prefix included, as the original's export
// gives it; a bare picture gets the prefix once when stored, and the leader holds the
// picture's first bytes.
TEST(Graphic, ValuesAreTheStoredBytes) {
    TempDir dir;
    const std::string path = dir.file("BILDER.DB");
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger), field("Bild", TFieldType::ftGraphic, 10)};
    s.indexes = {primaryKey("Nr")};
    const Bytes bmp = {'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    writeParadox(path, s, {{std::int64_t{1}, Blob{bmp}}, {std::int64_t{2}, pictureBlob(1, bmp)}});
    auto table = openParadox(path);
    const auto records = readAll(*table);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0][1], FieldValue{pictureBlob(1, bmp)});
    EXPECT_EQ(records[1][1], FieldValue{pictureBlob(1, bmp)});
    // Leader: the first 10 bytes of the record's field repeat the picture, not the prefix.
    const auto data = readFileBytes(path);
    const auto header = static_cast<std::size_t>(static_cast<std::uint8_t>(data[2]) |
                                                 static_cast<std::uint8_t>(data[3]) << 8);
    EXPECT_EQ(std::string(data.begin() + header + 6 + 4, data.begin() + header + 6 + 4 + 10),
              std::string(bmp.begin(), bmp.begin() + 10));
}

TEST(Graphic, CorpusValuesKeepTheirPrefix) {
    const std::string table = "paradox/paradoxdriver/fields/graphic.db";
    KX4_SKIP_WITHOUT_CORPUS(table);
    TempDir dir;
    auto file = openParadox(copyCorpusTable(table, dir.path()));
    int pictures = 0;
    for (const auto& r : readAll(*file)) {
        const auto* b = std::get_if<Blob>(&r[1]);
        if (!b) continue;
        ++pictures;
        ASSERT_GE(b->data.size(), 8u);
        EXPECT_EQ(Bytes(b->data.begin(), b->data.begin() + 4), (Bytes{1, 0, 0, 1}));
        const std::size_t length = b->data[4] | b->data[5] << 8 | b->data[6] << 16 |
                                   static_cast<std::size_t>(b->data[7]) << 24;
        EXPECT_EQ(length, b->data.size() - 8);
    }
    EXPECT_GT(pictures, 0);
}

}  // namespace
}  // namespace kx4::test

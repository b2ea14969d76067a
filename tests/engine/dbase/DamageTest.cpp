// Damaged files give an EDBEngineError naming the file; locks keep other openers out.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

#include "engine/core/Errors.h"
#include "engine/core/FieldType.h"
#include "tests/engine/dbase/DbaseTestSupport.h"

namespace kx4::test {
namespace {

// Opens, reads every record and every tag, and checks; only engine errors may come out.
void exercise(const std::string& path) {
    auto table = openDbase(path);
    readAll(*table->scan());
    for (const auto& index : table->schema().indexes) readAll(*table->scanIndex(index.name));
    table->check();
}

std::string sampleWithIndex(const TempDir& dir) {
    const std::string path = dir.file("T.DBF");
    TableSchema schema;
    schema.fields = {dbField("ID", fldDBNUM, 6, 0), dbField("NAME", fldDBCHAR, 30),
                     dbField("NOTES", fldDBMEMO)};
    schema.indexes = {indexOn("NAME", "NAME"), indexOn("ID", "ID")};
    std::vector<Record> records;
    for (std::int64_t i = 1; i <= 120; ++i)
        records.push_back(
            {i, "name " + std::to_string(i * 7919 % 1000), std::string(i * 13 % 900, 'm')});
    buildDbase(path, schema, records);
    return path;
}

struct Damage {
    std::string label;
    std::string file;  // "DBF", "DBT", "MDX"
    std::uint64_t offset;
    std::uint8_t value;
    DBIResult code;
};

std::ostream& operator<<(std::ostream& os, const Damage& d) { return os << d.label; }

class DamagedFile : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedFile, GivesAPreciseError) {
    const Damage& d = GetParam();
    TempDir dir;
    const std::string path = sampleWithIndex(dir);
    const std::string target = dir.file("T." + d.file);
    setByte(target, d.offset, d.value);
    try {
        exercise(path);
        FAIL() << "no error";
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), d.code) << e.what();
        EXPECT_NE(std::string(e.what()).find(dir.path().string()), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, DamagedFile,
    ::testing::Values(Damage{"unknown_version", "DBF", 0, 0x77, DBIERR_HEADERCORRUPT},
                      Damage{"header_length_too_small", "DBF", 8, 0x10, DBIERR_HEADERCORRUPT},
                      Damage{"memo_field_length", "DBF", 32 + 64 + 16, 5, DBIERR_HEADERCORRUPT},
                      Damage{"field_type_unknown", "DBF", 32 + 11, 'Z', DBIERR_HEADERCORRUPT},
                      Damage{"numeric_garbage", "DBF", 130, 'x', DBIERR_FILECORRUPT},
                      Damage{"memo_pointer_garbage", "DBF", 130 + 37 + 1, '9', DBIERR_FILECORRUPT},
                      Damage{"memo_length_huge", "DBT", 512 + 7, 0x7F, DBIERR_BLOBCORRUPT},
                      Damage{"mdx_block_size", "MDX", 22, 0x01, DBIERR_INDEXCORRUPT},
                      Damage{"mdx_tag_header_outside", "MDX", 544 + 1, 0x7F, DBIERR_INDEXCORRUPT},
                      Damage{"mdx_key_length", "MDX", 2048 + 12, 0xFF, DBIERR_INDEXCORRUPT},
                      Damage{"mdx_root_outside", "MDX", 2048 + 2, 0x7F, DBIERR_INDEXCORRUPT}),
    [](const auto& info) { return info.param.label; });

TEST(DamagedFiles, RandomByteFlipsAndTruncationsNeverCrash) {
    std::mt19937 rng(1234);
    for (const char* ext : {"DBF", "DBT", "MDX"}) {
        for (int round = 0; round < 60; ++round) {
            TempDir dir;
            const std::string path = sampleWithIndex(dir);
            const std::string target = dir.file(std::string("T.") + ext);
            const auto size = std::filesystem::file_size(target);
            if (round % 4 == 0) {
                std::filesystem::resize_file(target, rng() % size);
            } else {
                const std::uint64_t limit = std::min<std::uint64_t>(size, round % 2 ? 600 : size);
                for (int k = 0; k < 4; ++k)
                    setByte(target, rng() % limit, static_cast<std::uint8_t>(rng()));
            }
            try {
                exercise(path);
            } catch (const EDBEngineError&) {
            }
        }
    }
}

TEST(DbaseLocking, ExclusiveAndSharedOpensExcludeEachOther) {
    TempDir dir;
    const std::string path = sampleWithIndex(dir);
    {
        auto first = openDbase(path, true);
        try {
            openDbase(path, false);
            FAIL() << "second open succeeded";
        } catch (const EDBEngineError& e) {
            EXPECT_EQ(e.errorCode(), DBIERR_TABLEINUSE);
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
        }
    }
    auto a = openDbase(path, false);
    auto b = openDbase(path, false);
    EXPECT_THROW(openDbase(path, true), EDBEngineError);
}

// A header that counts records its file does not hold: the sample's 120 records of 47 bytes
// after a 129-byte header, with the file cut or a header word changed.
struct Disagreement {
    std::string label;
    std::function<void(const std::string& path)> damage;
    std::size_t wholeRecords;  // records read before the error
    std::string named;         // what the error says
};

std::ostream& operator<<(std::ostream& os, const Disagreement& d) { return os << d.label; }

void setLe(const std::string& path, std::uint64_t offset, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        setByte(path, offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
}

class HeaderDisagreesWithFile : public ::testing::TestWithParam<Disagreement> {
  protected:
    void SetUp() override {
        path = sampleWithIndex(dir);
        GetParam().damage(path);
    }
    void expectNamed(const std::function<void()>& action) {
        try {
            action();
            FAIL() << "no error";
        } catch (const EDBEngineError& e) {
            EXPECT_NE(std::string(e.what()).find(GetParam().named), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }

    TempDir dir;
    std::string path;
};

TEST_P(HeaderDisagreesWithFile, ReadingReportsItAfterTheWholeRecords) {
    auto table = openDbase(path);
    auto cursor = table->scan();
    std::size_t read = 0;
    Record record;
    expectNamed([&] {
        while (cursor->next(record)) ++read;
    });
    EXPECT_EQ(read, GetParam().wholeRecords);
    for (const auto& index : table->schema().indexes)
        expectNamed([&] { readAll(*table->scanIndex(index.name)); });
    const auto problems = table->check();
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems.front().find(GetParam().named), std::string::npos) << problems.front();
}

TEST_P(HeaderDisagreesWithFile, NothingIsWrittenToTheTable) {
    const auto before = readFileBytes(path);
    {
        auto table = openDbase(path, true);
        expectNamed([&] { table->appendRecord({std::int64_t{1}, std::string("x"), Blank{}}); });
    }
    expectNamed([&] { packDbase(path); });
    EXPECT_TRUE(readFileBytes(path) == before);
}

INSTANTIATE_TEST_SUITE_P(
    Damages, HeaderDisagreesWithFile,
    ::testing::Values(
        Disagreement{"cut_short",
                     [](const std::string& p) {
                         std::filesystem::resize_file(p, std::filesystem::file_size(p) - 200);
                     },
                     115, "the header counts 120 records of 47 bytes, but the file holds only 115"},
        Disagreement{"count_too_high", [](const std::string& p) { setLe(p, 4, 500, 4); }, 120,
                     "the header counts 500 records of 47 bytes, but the file holds only 120"},
        Disagreement{"record_length_word_too_high",
                     [](const std::string& p) { setLe(p, 10, 57, 2); }, 0,
                     "the header's record length is 57 bytes, but its fields take 47"},
        Disagreement{"record_length_word_huge",
                     [](const std::string& p) { setLe(p, 10, 0xFFFF, 2); }, 0,
                     "the header's record length is 65535 bytes, but its fields take 47"}),
    [](const auto& info) { return info.param.label; });

TEST(DbaseMissingMemo, SchemaOpensReadingAMemoNamesTheProblem) {
    KX4_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    const std::string path =
        copyCorpusTable("dbase/infused-dbf/dbase_83_missing_memo.dbf", dir.path());
    auto table = openDbase(path);
    EXPECT_EQ(table->schema().fields.size(), 15u);
    try {
        readAll(*table->scan());
        FAIL() << "memo read without memo file";
    } catch (const EDBEngineError& e) {
        EXPECT_NE(std::string(e.what()).find("memo file"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(table->check().empty());
}

}  // namespace
}  // namespace kx4::test

namespace kx4::test {
namespace {

TEST(DbaseUnreadableIndex, DataStaysReadableButNothingIsWritten) {
    TempDir dir;
    const std::string path = sampleWithIndex(dir);
    setByte(dir.file("T.MDX"), 26, 48);  // a tag-entry layout this engine cannot maintain
    {
        auto table = openDbase(path, true);
        EXPECT_EQ(readAll(*table->scan()).size(), 120u);
        EXPECT_FALSE(table->check().empty());
        EXPECT_THROW(table->appendRecord({std::int64_t{1}, std::string("x"), Blank{}}),
                     EDBEngineError);
    }
    EXPECT_THROW(packDbase(path), EDBEngineError);  // a rewrite would drop the tags
}

}  // namespace
}  // namespace kx4::test

// Sorting tag keys within a memory budget: the external sort (many runs, merged in several
// passes when the budget is small) must give exactly the in-memory order of every kind of tag,
// and a whole table rewrite must stay within its memory however many records it has.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "engine/core/FieldType.h"
#include "engine/core/FileTransaction.h"
#include "engine/dbase/KeyEncoding.h"
#include "engine/dbase/TagKeySorter.h"
#include "tests/engine/dbase/DbaseTestSupport.h"

// clang says AddressSanitizer through __has_feature, gcc through __SANITIZE_ADDRESS__.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KX4_CLANG_ASAN 1
#endif
#endif
#ifndef KX4_CLANG_ASAN
#define KX4_CLANG_ASAN 0
#endif

namespace kx4::test {
namespace {

using dbase::IndexEntry;
using dbase::KeyBytes;
using dbase::KeyType;
using dbase::MdxTagSpec;

struct SortCase {
    std::string label;
    KeyType type;
    bool unique, descending;
    std::size_t budget;
};

std::ostream& operator<<(std::ostream& os, const SortCase& c) { return os << c.label; }

// Keys with many duplicates, negative and positive numbers, blank dates.
KeyBytes randomKey(KeyType type, std::mt19937& rng) {
    switch (type) {
        case KeyType::Character: {
            std::string s = "k" + std::to_string(rng() % 3000);
            s.resize(12, ' ');
            return KeyBytes(s.begin(), s.end());
        }
        case KeyType::Numeric:
            return dbase::encodeNumericKey(
                static_cast<double>(static_cast<int>(rng() % 4000) - 2000) / 8);
        case KeyType::Date:
            return dbase::encodeDateKey(rng() % 10 == 0 ? 0
                                                        : 700000 + static_cast<int>(rng() % 2000));
    }
    return {};
}

class KeySort : public ::testing::TestWithParam<SortCase> {};

TEST_P(KeySort, GivesTheInMemoryOrderAndLeavesNoScratchFiles) {
    const SortCase& c = GetParam();
    TempDir dir;
    MdxTagSpec tag;
    tag.name = "T";
    tag.keyType = c.type;
    tag.keyLength = c.type == KeyType::Character ? 12
                    : c.type == KeyType::Numeric ? dbase::kNumericKeyLength
                                                 : dbase::kDateKeyLength;
    tag.unique = c.unique;
    tag.descending = c.descending;
    std::mt19937 rng(42);
    std::vector<IndexEntry> expected;
    {
        dbase::TagKeySorter sorter(defaultFileSystem(), tag, dir.file("T.DBF"), c.budget);
        for (std::uint32_t record = 1; record <= 40000; ++record) {
            expected.push_back({randomKey(c.type, rng), record});
            sorter.add(expected.back().key, record);
        }
        dbase::sortEntries(expected, tag.keyType, tag.keyLength, tag.unique, tag.descending);
        ASSERT_EQ(sorter.count(), expected.size());
        IndexEntry e;
        std::size_t i = 0;
        for (; sorter.next(e); ++i) {
            ASSERT_LT(i, expected.size());
            ASSERT_EQ(e.record, expected[i].record) << "entry " << i;
            ASSERT_EQ(e.key, expected[i].key) << "entry " << i;
        }
        EXPECT_EQ(i, expected.size());
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

constexpr std::size_t kTiny = 64 << 10;   // many runs, merged in several passes
constexpr std::size_t kLarge = 16 << 20;  // everything in memory

INSTANTIATE_TEST_SUITE_P(
    Tags, KeySort,
    ::testing::Values(SortCase{"character", KeyType::Character, false, false, kTiny},
                      SortCase{"character_in_memory", KeyType::Character, false, false, kLarge},
                      SortCase{"character_descending", KeyType::Character, false, true, kTiny},
                      SortCase{"character_unique", KeyType::Character, true, false, kTiny},
                      SortCase{"numeric", KeyType::Numeric, false, false, kTiny},
                      SortCase{"numeric_descending_unique", KeyType::Numeric, true, true, kTiny},
                      SortCase{"numeric_unique_in_memory", KeyType::Numeric, true, false, kLarge},
                      SortCase{"date", KeyType::Date, false, false, kTiny},
                      SortCase{"date_descending", KeyType::Date, false, true, kTiny}),
    [](const auto& info) { return info.param.label; });

long peakMemoryKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// In a child process, so that the peak belongs to the build alone.
TEST(DbaseScale, BuildingATableNeedsTheSameMemoryForAnyNumberOfRecords) {
#if defined(__SANITIZE_ADDRESS__) || KX4_CLANG_ASAN
    GTEST_SKIP() << "AddressSanitizer keeps freed memory aside, so the peak says nothing here";
#endif
    TempDir dir;
    const std::string path = dir.file("BIG.DBF");
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        long peak = -1;
        try {
            std::ofstream("/proc/self/clear_refs") << "5";
            TableSchema schema;
            schema.fields = {dbField("ID", fldDBNUM, 8), dbField("NAME", fldDBCHAR, 60),
                             dbField("PLACE", fldDBCHAR, 40), dbField("NOTE", fldDBMEMO)};
            schema.indexes = {indexOn("ID", "ID"), indexOn("NAME", "NAME"),
                              indexOn("PLACE", "PLACE;ID")};
            FileTransaction tx(defaultFileSystem(), path);
            auto builder = dbaseFormat().build(tablePathOf(path), schema, nullptr, tx);
            for (std::int64_t i = 1; i <= 400000; ++i)
                builder->append({(i * 7919) % 400000, "name " + std::to_string(i * 31 % 99991),
                                 "place " + std::to_string(i % 5003),
                                 i % 10 == 0 ? FieldValue(std::string(300, 'm')) : Blank{}});
            builder->finish();
            tx.commit();
            peak = peakMemoryKb();
        } catch (...) {
        }
        (void)!::write(pipeFds[1], &peak, sizeof peak);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    long peak = -1;
    ASSERT_EQ(::read(pipeFds[0], &peak, sizeof peak), static_cast<ssize_t>(sizeof peak));
    ::close(pipeFds[0]);
    ::waitpid(child, nullptr, 0);
    ASSERT_GT(peak, 0) << "the build failed";
    // The keys alone would take about 50 MB if they were held in memory.
    EXPECT_LT(peak, 48 * 1024) << "peak memory in KB";
    auto table = openDbase(path);
    EXPECT_EQ(table->info().recordCount, 400000u);
}

}  // namespace
}  // namespace kx4::test

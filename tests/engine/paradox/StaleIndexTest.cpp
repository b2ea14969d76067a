// Index files that no longer fit their table (written for an older layout, left behind by
// inserts, or overwritten with junk) never lock the data away: the table opens, reads and
// checks, marks the index, refuses writes that would have to maintain it, and a rebuild
// repairs every index whose fields are still known.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "engine/TableMaintenance.h"
#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/paradox/ParadoxTable.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

namespace fs = std::filesystem;

FieldDef text(const std::string& name, int size) { return field(name, TFieldType::ftString, size); }

// Nr (key), Name, Ort, with a composite index over Ort and Name.
TableSchema current() {
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger), text("Name", 12), text("Ort", 10)};
    s.indexes = {primaryKey("Nr"), indexOn("_Ort&Name", "Ort;Name")};
    return s;
}

// The same table before a field between Name and Ort was dropped.
TableSchema older() {
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger), text("Name", 12),
                field("Alter", TFieldType::ftSmallint), text("Ort", 10)};
    s.indexes = {primaryKey("Nr"), indexOn("_Ort&Name", "Ort;Name")};
    return s;
}

std::vector<Record> rows(int n, bool withAge) {
    std::vector<Record> out;
    for (int i = 1; i <= n; ++i) {
        Record r{std::int64_t{i}, "Name" + std::to_string(i * 7 % n),
                 "Ort" + std::to_string(i % 4)};
        if (withAge) r.insert(r.begin() + 2, std::int64_t{20 + i});
        out.push_back(r);
    }
    return out;
}

// A table of 23 records whose composite index still holds the 16 entries, field numbers and
// change count it had under the older layout.
std::string tableWithStaleIndex(const TempDir& dir) {
    const std::string old = dir.file("OLD.DB");
    writeParadox(old, older(), rows(16, true));
    const std::string path = dir.file("KUNDEN.DB");
    writeParadox(path, current(), rows(23, false));
    fs::copy_file(dir.file("OLD.XG0"), dir.file("KUNDEN.XG0"),
                  fs::copy_options::overwrite_existing);
    fs::copy_file(dir.file("OLD.YG0"), dir.file("KUNDEN.YG0"),
                  fs::copy_options::overwrite_existing);
    return path;
}

void junk(const std::string& path) {
    std::mt19937 random(22);
    std::string bytes(4096, '\0');
    for (auto& b : bytes) b = static_cast<char>(random());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

const IndexDef& indexNamed(const TableFile& table, const std::string& name) {
    for (const auto& index : table.schema().indexes)
        if (index.name == name) return index;
    throw std::runtime_error("no index " + name);
}

std::vector<std::int64_t> keysInIndexOrder(TableFile& table, const std::string& index) {
    std::vector<std::int64_t> keys;
    auto cursor = table.scanIndex(index);
    Record r;
    while (cursor->next(r)) keys.push_back(std::get<std::int64_t>(r[0]));
    return keys;
}

TEST(StaleIndex, OlderLayoutIsMarkedAndTheDataStaysReadable) {
    TempDir dir;
    const std::string path = tableWithStaleIndex(dir);
    auto table = openParadox(path);
    const IndexDef& stale = indexNamed(*table, "_Ort&Name");
    EXPECT_EQ(stale.fields, "Ort;Name");
    EXPECT_EQ(stale.fault.rfind("out of date", 0), 0u) << stale.fault;
    EXPECT_EQ(readAll(*table), rows(23, false));

    const auto problems = table->check();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("KUNDEN.XG0 is out of date"), std::string::npos) << problems[0];

    // Its order comes from the records, not from the stale entries.
    const auto keys = keysInIndexOrder(*table, "_Ort&Name");
    EXPECT_EQ(keys.size(), 23u);
}

TEST(StaleIndex, WritesThatWouldMaintainItAskForARebuild) {
    TempDir dir;
    const std::string path = tableWithStaleIndex(dir);
    const std::string before = directorySnapshot(dir.path());
    auto table = openParadox(path, true);
    try {
        table->appendRecord({std::int64_t{99}, std::string("Neu"), std::string("Ort1")});
        FAIL() << "record added beside a stale index";
    } catch (const EDBEngineError& e) {
        EXPECT_NE(std::string(e.what()).find("Rebuild the indexes"), std::string::npos) << e.what();
    }
    EXPECT_EQ(directorySnapshot(dir.path()), before);
}

TEST(StaleIndex, RebuildRepairsItFromItsFieldNames) {
    TempDir dir;
    const std::string path = tableWithStaleIndex(dir);
    {
        auto table = openParadox(path, true);
        rebuildIndexes(paradoxFormat(), *table);
    }
    auto table = openParadox(path);
    EXPECT_TRUE(indexNamed(*table, "_Ort&Name").fault.empty());
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
    EXPECT_EQ(readAll(*table), rows(23, false));
}

TEST(StaleIndex, PackRebuildsIt) {
    TempDir dir;
    const std::string path = tableWithStaleIndex(dir);
    {
        auto table = openParadox(path, true);
        packTable(paradoxFormat(), *table);
    }
    auto table = openParadox(path);
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
    EXPECT_EQ(readAll(*table), rows(23, false));
}

// Junk in place of a composite index and of the primary index: both are marked damaged;
// the rebuild writes the primary index and every index whose fields are known, and names
// the one it could not rebuild.
TEST(StaleIndex, DamagedHeadersAreMarkedAndTheRestIsRebuilt) {
    TempDir dir;
    const std::string path = dir.file("KUNDEN.DB");
    auto schema = current();
    schema.indexes.push_back(indexOn("_Name", "Name", IndexOption::ixCaseInsensitive));
    writeParadox(path, schema, rows(23, false));
    junk(dir.file("KUNDEN.XG1"));
    junk(dir.file("KUNDEN.PX"));
    {
        auto table = openParadox(path);
        EXPECT_EQ(readAll(*table), rows(23, false));
        const auto& indexes = table->schema().indexes;
        ASSERT_EQ(indexes.size(), 3u);
        EXPECT_EQ(indexes[0].fault.rfind("damaged", 0), 0u) << indexes[0].fault;
        EXPECT_TRUE(indexes[1].fault.empty()) << indexes[1].fault;
        EXPECT_EQ(indexes[2].fault.rfind("damaged", 0), 0u) << indexes[2].fault;
        EXPECT_EQ(indexes[2].fields, "");
        EXPECT_EQ(table->check().size(), 2u);
    }
    {
        auto table = openParadox(path, true);
        try {
            rebuildIndexes(paradoxFormat(), *table);
            FAIL() << "a damaged index without fields counted as rebuilt";
        } catch (const EDBEngineError& e) {
            EXPECT_NE(std::string(e.what()).find("XG1"), std::string::npos) << e.what();
        }
    }
    auto table = openParadox(path);
    const auto problems = table->check();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("KUNDEN.XG1 is damaged"), std::string::npos) << problems[0];
    EXPECT_TRUE(table->schema().indexes[0].fault.empty());
    EXPECT_EQ(keysInIndexOrder(*table, "_Ort&Name").size(), 23u);
}

}  // namespace
}  // namespace kx4::test

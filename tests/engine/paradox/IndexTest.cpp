// Primary and secondary indexes: rebuilt from real tables they match the files the product
// wrote; added, deleted and kept in step with writes they stay consistent with the data.
#include <gtest/gtest.h>

#include <map>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/TextCodec.h"
#include "engine/paradox/DataBlocks.h"
#include "engine/paradox/Encryption.h"
#include "engine/paradox/FieldCodec.h"
#include "engine/paradox/IndexTree.h"
#include "engine/paradox/ParadoxHeader.h"
#include "engine/paradox/ParadoxProperties.h"
#include "engine/paradox/ParadoxTable.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/engine/paradox/PxlibReader.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

namespace fs = std::filesystem;
using paradox::ParadoxTable;

// Entries of a file of the data-block layout (.DB, X file) in chain order.
std::vector<std::string> entriesOf(const std::string& path) {
    auto file = defaultFileSystem().open(path, OpenMode::Read);
    const paradox::Header header = paradox::readHeader(*file);
    paradox::BlockChain chain(*file, header);
    paradox::DataBlock block;
    std::vector<std::string> entries;
    while (chain.next(block))
        for (std::size_t i = 0; i < block.records; ++i)
            entries.emplace_back(reinterpret_cast<const char*>(block.record(i, header.recordSize)),
                                 header.recordSize);
    return entries;
}

std::vector<std::string> leavesOf(const std::string& path) {
    auto file = defaultFileSystem().open(path, OpenMode::Read);
    std::vector<std::string> out;
    for (const auto& e : paradox::readIndexLeaves(*file, paradox::readHeader(*file)))
        out.push_back(e.key + "/" + std::to_string(e.block) + "/" + std::to_string(e.count));
    return out;
}

// Index files beside a table, by upper-case extension.
std::map<std::string, std::string> indexFiles(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string ext = toUpperAscii(entry.path().extension().string());
        if (ext == ".PX" || (ext.size() == 4 && (ext[1] == 'X' || ext[1] == 'Y')))
            files[ext] = entry.path().string();
    }
    return files;
}

ParadoxTable& asParadox(TableFile& file) { return dynamic_cast<ParadoxTable&>(file); }

void rebuild(TableFile& file) {
    FileTransaction tx(defaultFileSystem(), file.path().full());
    paradoxFormat().rebuildIndexes(file, tx);
    tx.commit();
}

void addIndex(const std::string& path, const IndexDef& index) {
    auto file = openParadox(path, true);
    FileTransaction tx(defaultFileSystem(), path);
    paradoxFormat().addIndex(*file, index, tx);
    tx.commit();
}

void deleteIndex(const std::string& path, const std::string& name) {
    auto file = openParadox(path, true);
    FileTransaction tx(defaultFileSystem(), path);
    paradoxFormat().deleteIndex(*file, name, tx);
    tx.commit();
}

IndexDef index(const std::string& name, const std::string& fields, TIndexOptions options = {}) {
    IndexDef def;
    def.name = name;
    def.fields = fields;
    def.options = options;
    return def;
}

std::vector<std::string> corpusTablesWithIndexes() {
    const auto listed = corpusTables("paradox", {".DB"});
    if (listed == std::vector<std::string>{kNoCorpus}) return listed;
    std::vector<std::string> tables;
    for (const auto& t : listed) {
        TempDir dir;
        copyCorpusTable(t, dir.path());
        if (!indexFiles(dir.path()).empty()) tables.push_back(t);
    }
    return tables;
}

class CorpusIndexes : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusIndexes, RebuildGivesTheSameEntriesAndLeavesTheDataAlone) {
    KX4_SKIP_WITHOUT_CORPUS(GetParam());
    TempDir dir;
    const std::string path = copyCorpusTable(GetParam(), dir.path());
    const auto before = indexFiles(dir.path());
    std::map<std::string, std::vector<std::string>> expected;
    std::uint32_t records = 0;
    {
        auto table = openParadox(path);
        records = static_cast<std::uint32_t>(table->info().recordCount);
    }
    for (const auto& [ext, file] : before) {
        // A non-maintained index may be out of date; the rebuild brings it up to date.
        if (ext[1] == 'X' && entriesOf(file).size() != records) continue;
        expected[ext] = ext[1] == 'X' ? entriesOf(file) : leavesOf(file);
    }
    const auto dataBefore = readFileBytes(path);
    const PxlibTable pxBefore = readWithPxlib(path);

    {
        auto table = openParadox(path, true);
        rebuild(*table);
    }
    EXPECT_EQ(readFileBytes(path), dataBefore);
    const auto after = indexFiles(dir.path());
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [ext, file] : after) {
        // Product files fill blocks differently, so only X entries and tree leaves over the
        // (unchanged) data blocks compare; Y leaves follow our X blocks.
        if (ext[1] == 'Y' || !expected.count(ext)) continue;
        const auto got = ext[1] == 'X' ? entriesOf(file) : leavesOf(file);
        EXPECT_EQ(got, expected[ext]) << ext;
    }
    auto table = openParadox(path);
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
    const PxlibTable pxAfter = readWithPxlib(path);
    EXPECT_EQ(pxAfter.records, pxBefore.records);
}

TEST_P(CorpusIndexes, IndexOrderAndKeyLookupFollowTheIndexFiles) {
    KX4_SKIP_WITHOUT_CORPUS(GetParam());
    TempDir dir;
    const std::string path = copyCorpusTable(GetParam(), dir.path());
    auto file = openParadox(path);
    auto& table = asParadox(*file);
    const auto records = readAll(table);
    const std::size_t keys = table.header().primaryKeyFields;
    const auto files = indexFiles(dir.path());
    if (table.header().fileType == paradox::FileType::KeyedTable && files.count(".PX")) {
        for (const auto& r : records) {
            const Record key(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(keys));
            const auto found = table.findKey(key);
            ASSERT_TRUE(found.has_value());
            EXPECT_EQ(*found, r);
        }
    }
    for (const auto& ix : table.secondaryIndexes()) {
        if (ix.definition.options.has(IndexOption::ixNonMaintained)) continue;
        // The records come in the order of the X entries, whose key part names each record.
        const auto entries = entriesOf(ix.path);
        auto cursor = table.scanIndex(ix.definition.name);
        Record r;
        std::size_t n = 0;
        const std::size_t size = ix.header.recordSize;
        std::size_t keySize = 0;
        for (std::size_t k = 0; k < keys; ++k)
            keySize += paradox::storedSize(table.header().fields[k]);
        const TextCodec codec(table.info().codePage);
        while (cursor->next(r)) {
            ASSERT_LT(n, entries.size());
            std::size_t offset = size - 2 - keySize;
            for (std::size_t k = 0; k < keys; ++k) {
                const auto& info = table.header().fields[k];
                const auto* p = reinterpret_cast<const std::uint8_t*>(entries[n].data()) + offset;
                EXPECT_EQ(paradox::decodeValue(info, p, codec), r[k]);
                offset += paradox::storedSize(info);
            }
            ++n;
        }
        EXPECT_EQ(n, records.size());
    }
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name;
    for (char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Paradox, CorpusIndexes, ::testing::ValuesIn(corpusTablesWithIndexes()),
                         testName);

// A keyed table with a memo and text that differs in case only.
TableSchema people() {
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger), field("Name", TFieldType::ftString, 20),
                field("Vorname", TFieldType::ftString, 20), field("Ort", TFieldType::ftString, 20),
                field("Notiz", TFieldType::ftMemo, 5)};
    s.indexes = {primaryKey("Nr")};
    return s;
}

std::vector<Record> peopleRows(int n) {
    const char* names[] = {"meier", "Meier", "MEIER", "Albers", "zander", "\xC3\x84rger", "Bauer"};
    std::vector<Record> rows;
    for (int i = 0; i < n; ++i)
        rows.push_back({std::int64_t{(i * 37) % n + 1}, std::string(names[i % 7]),
                        std::string("V") + std::to_string(i % 5),
                        std::string("Ort") + std::to_string(i % 3),
                        i % 4 ? FieldValue{std::string(i * 3 % 3000, 'm')} : FieldValue{Blank{}}});
    return rows;
}

TEST(IndexMaintenance, AddedIndexesAreListedInOrderAndReadInTheirOrder) {
    TempDir dir;
    const std::string path = dir.file("PEOPLE.DB");
    writeParadox(path, people(), peopleRows(500));
    addIndex(path, index("_Name&Vorname", "Name;Vorname", IndexOption::ixCaseInsensitive));
    addIndex(path, index("Ort", "Ort"));
    EXPECT_TRUE(fs::exists(dir.file("PEOPLE.XG0")));
    EXPECT_TRUE(fs::exists(dir.file("PEOPLE.YG0")));
    EXPECT_TRUE(fs::exists(dir.file("PEOPLE.X04")));
    EXPECT_TRUE(fs::exists(dir.file("PEOPLE.Y04")));

    auto table = openParadox(path);
    const auto& ix = table->schema().indexes;
    ASSERT_EQ(ix.size(), 3u);
    EXPECT_TRUE(ix[0].options.has(IndexOption::ixPrimary));
    EXPECT_EQ(ix[0].fields, "Nr");
    EXPECT_EQ(ix[1].name, "Ort");
    EXPECT_EQ(ix[1].fields, "Ort");
    EXPECT_FALSE(ix[1].options.has(IndexOption::ixCaseInsensitive));
    EXPECT_EQ(ix[2].name, "_Name&Vorname");
    EXPECT_EQ(ix[2].fields, "Name;Vorname");
    EXPECT_TRUE(ix[2].options.has(IndexOption::ixCaseInsensitive));
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;

    // Case-insensitive order: all spellings of "meier" together, after "Bauer".
    auto cursor = table->scanIndex("_Name&Vorname");
    Record r;
    std::vector<std::string> order;
    while (cursor->next(r))
        order.push_back(toUpperAscii(std::get<std::string>(r[1])) + "|" +
                        std::get<std::string>(r[2]));
    ASSERT_EQ(order.size(), 500u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end())) << order.front();
}

TEST(IndexMaintenance, AppendsKeepEveryIndexInStep) {
    TempDir dir;
    const std::string path = dir.file("PEOPLE.DB");
    writeParadox(path, people(), peopleRows(50));
    addIndex(path, index("_Name", "Name", IndexOption::ixCaseInsensitive));
    auto table = openParadox(path, true);
    table->appendRecord(
        {std::int64_t{1000}, std::string("aaa"), Blank{}, Blank{}, std::string(5000, 'x')});
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
    auto cursor = table->scanIndex("_Name");
    Record first;
    ASSERT_TRUE(cursor->next(first));
    EXPECT_EQ(first[0], FieldValue{std::int64_t{1000}});
    EXPECT_EQ(first[4], FieldValue{std::string(5000, 'x')});
}

// Records that come in key order go straight to the data file; one out of order afterwards
// (here appended with the smallest key) makes the builder sort everything it has placed.
TEST(IndexMaintenance, ARecordOutOfKeyOrderAfterManyInOrderIsSortedIn) {
    TempDir dir;
    const std::string path = dir.file("SECRET.DB");
    auto props = std::make_shared<paradox::ParadoxProperties>();
    props->encryption = paradox::passwordChecksum("geheim");
    auto rows = peopleRows(3000);
    for (auto& r : rows) r[0] = std::get<std::int64_t>(r[0]) + 10;
    std::sort(rows.begin(), rows.end(),
              [](const Record& a, const Record& b) { return a[0] < b[0]; });
    auto schema = people();
    schema.indexes.push_back(index("_Name", "Name", IndexOption::ixCaseInsensitive));
    writeParadox(path, schema, rows, props);
    ScriptedPasswords passwords({"geheim"});
    {
        auto table = openParadox(path, true, &passwords);
        table->appendRecord({std::int64_t{1}, std::string("Zuletzt"), Blank{}, Blank{}, Blank{}});
        EXPECT_THROW(table->appendRecord({std::int64_t{500}, Blank{}, Blank{}, Blank{}, Blank{}}),
                     EDBEngineError);
    }
    auto table = openParadox(path, false, &passwords);
    const auto got = readAll(*table);
    ASSERT_EQ(got.size(), rows.size() + 1);
    EXPECT_EQ(got[0][1], FieldValue{std::string("Zuletzt")});
    EXPECT_TRUE(std::equal(rows.begin(), rows.end(), got.begin() + 1));
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
}

struct Refusal {
    const char* label;
    IndexDef index;
    DBIResult code;
};

class RefusedIndex : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedIndex, LeavesEveryFileAsItWas) {
    TempDir dir;
    const std::string path = dir.file("PEOPLE.DB");
    writeParadox(path, people(), peopleRows(100));
    addIndex(path, index("_Name", "Name", IndexOption::ixCaseInsensitive));
    const std::string before = directorySnapshot(dir.path());
    try {
        addIndex(path, GetParam().index);
        FAIL() << "index accepted";
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), GetParam().code) << e.what();
        EXPECT_FALSE(std::string(e.what()).empty());
    }
    EXPECT_EQ(directorySnapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Paradox, RefusedIndex,
    ::testing::Values(
        Refusal{"same_name", index("_Name", "Vorname"), DBIERR_INDEXEXISTS},
        Refusal{"unknown_field", index("_X", "Strasse"), DBIERR_NOSUCHFIELD},
        Refusal{"blob_field", index("_Notiz", "Notiz"), DBIERR_INVALIDPARAM},
        Refusal{"case_insensitive_named_after_its_field",
                index("Vorname", "Vorname", IndexOption::ixCaseInsensitive), DBIERR_INVALIDPARAM},
        Refusal{"unique_with_duplicates", index("_U", "Name", IndexOption::ixUnique),
                DBIERR_KEYVIOL},
        Refusal{"unique_case_insensitive",
                index("_UC", "Name;Vorname",
                      TIndexOptions(IndexOption::ixUnique).add(IndexOption::ixCaseInsensitive)),
                DBIERR_KEYVIOL},
        Refusal{"second_primary", index("", "Nr", IndexOption::ixPrimary), DBIERR_INDEXEXISTS}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(IndexMaintenance, UniqueViolationNamesTheKey) {
    TempDir dir;
    const std::string path = dir.file("PEOPLE.DB");
    writeParadox(path, people(), peopleRows(20));
    try {
        addIndex(path,
                 index("_U", "Name",
                       TIndexOptions(IndexOption::ixUnique).add(IndexOption::ixCaseInsensitive)));
        FAIL();
    } catch (const EDBEngineError& e) {
        EXPECT_NE(std::string(e.what()).find("Name = "), std::string::npos) << e.what();
    }
}

TEST(IndexMaintenance, SecondaryIndexesNeedAPrimaryKey) {
    TempDir dir;
    const std::string path = dir.file("LOOSE.DB");
    auto schema = people();
    schema.indexes.clear();
    writeParadox(path, schema, peopleRows(10));
    try {
        addIndex(path, index("_Name", "Name", IndexOption::ixCaseInsensitive));
        FAIL();
    } catch (const EDBEngineError& e) {
        EXPECT_NE(std::string(e.what()).find("primary key"), std::string::npos) << e.what();
    }
}

// The reorganisation of the index window: drop every index, then add them again.
TEST(IndexMaintenance, DropAllAndRecreateKeepsTheRecords) {
    TempDir dir;
    const std::string path = dir.file("PEOPLE.DB");
    writeParadox(path, people(), peopleRows(300));
    addIndex(path, index("_Name", "Name", IndexOption::ixCaseInsensitive));
    addIndex(path, index("_Ort&Vorname", "Ort;Vorname", IndexOption::ixCaseInsensitive));
    std::vector<Record> before;
    {
        auto t = openParadox(path);
        before = readAll(*t);
    }
    try {
        deleteIndex(path, "");
        FAIL() << "primary index deleted under secondary ones";
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), DBIERR_INVALIDPARAM);
    }
    EXPECT_THROW(deleteIndex(path, "NoSuchIndex"), EDBEngineError);
    deleteIndex(path, "_Ort&Vorname");
    deleteIndex(path, "XG0");  // by its file suffix
    deleteIndex(path, "");
    EXPECT_FALSE(fs::exists(dir.file("PEOPLE.PX")));
    EXPECT_FALSE(fs::exists(dir.file("PEOPLE.XG0")));
    EXPECT_FALSE(fs::exists(dir.file("PEOPLE.YG1")));
    {
        auto t = openParadox(path);
        EXPECT_TRUE(t->schema().indexes.empty());
        EXPECT_EQ(readAll(*t), before);
    }
    addIndex(path, index("", "Nr", IndexOption::ixPrimary));
    addIndex(path, index("_Name", "Name", IndexOption::ixCaseInsensitive));
    addIndex(path, index("_Ort&Vorname", "Ort;Vorname", IndexOption::ixCaseInsensitive));
    auto t = openParadox(path);
    EXPECT_EQ(readAll(*t), before);
    EXPECT_EQ(t->schema().indexes.size(), 3u);
    for (const auto& problem : t->check()) ADD_FAILURE() << problem;
}

TEST(IndexMaintenance, PrimaryKeyOnDuplicatesIsRefusedNamingTheKey) {
    TempDir dir;
    const std::string path = dir.file("LOOSE.DB");
    auto schema = people();
    schema.indexes.clear();
    auto rows = peopleRows(10);
    rows[3][1] = rows[7][1];
    writeParadox(path, schema, rows);
    try {
        addIndex(path, index("", "Name", IndexOption::ixPrimary));
        FAIL();
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), DBIERR_INVALIDPARAM)
            << "Name is not the first field: " << e.what();
    }
    try {
        addIndex(path, index("", "Nr;Name", IndexOption::ixPrimary));
    } catch (const EDBEngineError& e) {
        ADD_FAILURE() << e.what();
    }
    auto schema2 = people();
    schema2.indexes.clear();
    rows[3][0] = rows[7][0];
    writeParadox(dir.file("DUP.DB"), schema2, rows);
    try {
        addIndex(dir.file("DUP.DB"), index("", "Nr", IndexOption::ixPrimary));
        FAIL();
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), DBIERR_KEYVIOL);
        EXPECT_NE(std::string(e.what()).find("Nr = " + formatValue(rows[7][0])), std::string::npos)
            << e.what();
    }
}

TEST(IndexMaintenance, CheckFindsAnIndexThatDisagreesWithTheData) {
    TempDir dir;
    const std::string path = dir.file("PEOPLE.DB");
    writeParadox(path, people(), peopleRows(200));
    addIndex(path, index("_Name", "Name", IndexOption::ixCaseInsensitive));
    // Swap two entries of the X file: same count, wrong order.
    auto bytes = readFileBytes(dir.file("PEOPLE.XG0"));
    auto file = defaultFileSystem().open(dir.file("PEOPLE.XG0"), OpenMode::ReadWrite);
    const paradox::Header h = paradox::readHeader(*file);
    const std::size_t first = h.headerSize + 6, size = h.recordSize;
    std::vector<char> a(bytes.begin() + first, bytes.begin() + first + size);
    std::vector<char> b(bytes.begin() + first + 50 * size, bytes.begin() + first + 51 * size);
    file->writeAt(first, b.data(), size);
    file->writeAt(first + 50 * size, a.data(), size);
    file.reset();
    auto table = openParadox(path);
    const auto problems = table->check();
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems[0].find("PEOPLE.XG0"), std::string::npos) << problems[0];
    table.reset();
    rebuild(*openParadox(path, true));
    EXPECT_TRUE(openParadox(path)->check().empty());
}

TEST(IndexMaintenance, EncryptedTableKeepsItsIndexesScrambled) {
    TempDir dir;
    const std::string path = dir.file("SECRET.DB");
    auto props = std::make_shared<paradox::ParadoxProperties>();
    props->encryption = paradox::passwordChecksum("geheim");
    writeParadox(path, people(), peopleRows(120), props);
    ScriptedPasswords passwords({"geheim"});
    {
        auto file = openParadox(path, true, &passwords);
        FileTransaction tx(defaultFileSystem(), path);
        paradoxFormat().addIndex(*file, index("_Name", "Name", IndexOption::ixCaseInsensitive), tx);
        tx.commit();
    }
    auto table = openParadox(path, false, &passwords);
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
    const auto x = readFileBytes(dir.file("SECRET.XG0"));
    const std::string text(x.begin(), x.end());
    EXPECT_EQ(text.find("Albers"), std::string::npos) << "index entries stored in clear";
}

}  // namespace
}  // namespace kx4::test

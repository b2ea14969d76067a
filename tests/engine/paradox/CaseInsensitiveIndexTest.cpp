// Case-insensitive secondary indexes as the original engine stores them: text keys in capitals
// of the table's code page, header byte 0x55 bit 0 set, 0x2B zero. Files this engine wrote
// before (0x2B = 0x01, keys as typed) still read as case-insensitive.
#include <gtest/gtest.h>

#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/paradox/DataBlocks.h"
#include "engine/paradox/ParadoxHeader.h"
#include "engine/paradox/ParadoxProperties.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

using namespace paradox;

// Nr (key), Name, Ort; a case-insensitive index over Name and Ort.
TableSchema people() {
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger), field("Name", TFieldType::ftString, 10),
                field("Ort", TFieldType::ftString, 8)};
    s.indexes = {primaryKey("Nr"),
                 indexOn("_Name&Ort", "Name;Ort", IndexOption::ixCaseInsensitive)};
    return s;
}

// UTF-8 names with the capitals the code page gives them, as bytes of that code page.
struct Spelling {
    const char* utf8;
    std::string capitals;
};

struct CodePageCase {
    const char* label;
    int codePage;
    std::vector<Spelling> names;
};

std::vector<std::string> entriesOf(const std::string& path) {
    auto file = defaultFileSystem().open(path, OpenMode::Read);
    const Header header = readHeader(*file);
    BlockChain chain(*file, header);
    DataBlock block;
    std::vector<std::string> entries;
    while (chain.next(block))
        for (std::size_t i = 0; i < block.records; ++i)
            entries.emplace_back(reinterpret_cast<const char*>(block.record(i, header.recordSize)),
                                 header.recordSize);
    return entries;
}

std::string nameKey(const std::string& entry) {
    const std::string field = entry.substr(0, 10);
    return field.substr(0, field.find('\0'));
}

void writeTable(const std::string& path, int codePage, const std::vector<Spelling>& names) {
    auto props = std::make_shared<ParadoxProperties>();
    props->codePage = codePage;
    props->version = kVersion5;
    std::vector<Record> rows;
    for (std::size_t i = 0; i < names.size(); ++i)
        rows.push_back({std::int64_t(i + 1), std::string(names[i].utf8), std::string("ort")});
    writeParadox(path, people(), rows, props);
}

class CaseInsensitiveIndex : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(CaseInsensitiveIndex, StoresCapitalsWithTheOriginalsHeaderBytes) {
    TempDir dir;
    const std::string path = dir.file("LEUTE.DB");
    writeTable(path, GetParam().codePage, GetParam().names);
    const auto header = readFileBytes(dir.file("LEUTE.XG0"));
    EXPECT_EQ(header[0x2B], 0x00);
    EXPECT_EQ(header[0x55], 0x01);

    std::multiset<std::string> keys, expected;
    for (const auto& e : entriesOf(dir.file("LEUTE.XG0"))) {
        keys.insert(nameKey(e));
        EXPECT_EQ(e.substr(10, 3), "ORT");
    }
    for (const auto& n : GetParam().names) expected.insert(n.capitals);
    EXPECT_EQ(keys, expected);

    auto table = openParadox(path);
    EXPECT_TRUE(table->schema().indexes[1].options.has(IndexOption::ixCaseInsensitive));
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Paradox, CaseInsensitiveIndex,
    ::testing::Values(CodePageCase{"cp1252",
                                   1252,
                                   {{"meier", "MEIER"},
                                    {"Meier", "MEIER"},
                                    {"\xC3\xA4rger", "\xC4RGER"},  // ärger
                                    {"Stra\xC3\x9F"
                                     "e",
                                     "STRA\xDF"
                                     "E"},                     // ß stays
                                    {"\xC5\xA1ik", "\x8AIK"},  // šik: Š is 0x8A
                                    {"\xC3\xBF", "\x9F"}}},    // ÿ: Ÿ is 0x9F
                      CodePageCase{"cp850",
                                   850,
                                   {{"\xC3\xA4rger", "\x8ERGER"},  // Ä is 0x8E
                                    {"Stra\xC3\x9F"
                                     "e",
                                     "STRA\xE1"
                                     "E"},                                  // ß (0xE1) stays
                                    {"\xC3\xBF", "\x98"},                   // ÿ: no Ÿ in 850
                                    {"\xC3\xA9t\xC3\xA9", "\x90T\x90"}}}),  // été
    [](const auto& info) { return std::string(info.param.label); });

// Rewrites the header bytes of an X file.
void patchHeader(const std::string& path, std::size_t at, std::uint8_t value) {
    auto file = defaultFileSystem().open(path, OpenMode::ReadWrite);
    file->writeAt(at, &value, 1);
}

// Puts the alpha keys of an index back into the case of the records, as this engine stored
// them before: the index file then matches what it wrote with 0x2B = 0x01 and 0x55 = 0.
void storeKeysAsTyped(const std::string& xPath, const std::vector<Spelling>& names) {
    auto file = defaultFileSystem().open(xPath, OpenMode::ReadWrite);
    const Header h = readHeader(*file);
    BlockChain chain(*file, h);
    DataBlock block;
    std::vector<std::pair<std::uint64_t, std::string>> edits;
    while (chain.next(block))
        for (std::size_t i = 0; i < block.records; ++i) {
            const auto* e = block.record(i, h.recordSize);
            const std::string key(reinterpret_cast<const char*>(e), h.recordSize);
            const auto nr = std::uint32_t(e[18]) << 24 | e[19] << 16 | e[20] << 8 | e[21];
            const auto& typed = names[(nr & 0x7FFFFFFF) - 1].utf8;
            std::string bytes = key;
            std::string name(typed);
            name.resize(10, '\0');
            bytes.replace(0, 10, name);
            bytes.replace(10, 3, "ort");
            edits.emplace_back(h.blockOffset(block.number) + kBlockHeaderSize + i * h.recordSize,
                               bytes);
        }
    for (const auto& [at, bytes] : edits) file->writeAt(at, bytes.data(), bytes.size());
}

const std::vector<Spelling> kAscii = {
    {"meier", "MEIER"}, {"Bauer", "BAUER"}, {"MEIER", "MEIER"}, {"albers", "ALBERS"}};

TEST(CaseInsensitiveIndexFiles, EarlierMarkStillReadsAndCheckAsksForCapitals) {
    TempDir dir;
    const std::string path = dir.file("LEUTE.DB");
    writeTable(path, 1252, kAscii);
    storeKeysAsTyped(dir.file("LEUTE.XG0"), kAscii);
    patchHeader(dir.file("LEUTE.XG0"), 0x2B, 0x01);
    patchHeader(dir.file("LEUTE.XG0"), 0x55, 0x00);
    {
        auto table = openParadox(path);
        EXPECT_TRUE(table->schema().indexes[1].options.has(IndexOption::ixCaseInsensitive));
        const auto problems = table->check();
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find("capitals"), std::string::npos) << problems[0];
    }
    {
        auto table = openParadox(path, true);
        FileTransaction tx(defaultFileSystem(), path);
        paradoxFormat().rebuildIndexes(*table, tx);
        tx.commit();
    }
    const auto header = readFileBytes(dir.file("LEUTE.XG0"));
    EXPECT_EQ(header[0x2B], 0x00);
    EXPECT_EQ(header[0x55], 0x01);
    for (const auto& e : entriesOf(dir.file("LEUTE.XG0")))
        EXPECT_EQ(nameKey(e), toUpperAscii(nameKey(e)));
    auto table = openParadox(path);
    EXPECT_TRUE(table->schema().indexes[1].options.has(IndexOption::ixCaseInsensitive));
    EXPECT_TRUE(table->check().empty());
}

// This engine once set 0x55 = 0x01 on every level-7 composite index, case-sensitive ones too;
// their keys as typed tell them apart from the original's case-insensitive ones.
TEST(CaseInsensitiveIndexFiles, KeysInSmallLettersOverruleTheFlag) {
    TempDir dir;
    const std::string path = dir.file("LEUTE.DB");
    auto schema = people();
    schema.indexes[1].options = {};
    auto props = std::make_shared<ParadoxProperties>();
    std::vector<Record> rows;
    for (std::size_t i = 0; i < kAscii.size(); ++i)
        rows.push_back({std::int64_t(i + 1), std::string(kAscii[i].utf8), std::string("ort")});
    writeParadox(path, schema, rows, props);
    EXPECT_EQ(readFileBytes(dir.file("LEUTE.XG0"))[0x55], 0x00);
    patchHeader(dir.file("LEUTE.XG0"), 0x55, 0x01);
    auto table = openParadox(path);
    EXPECT_FALSE(table->schema().indexes[1].options.has(IndexOption::ixCaseInsensitive));
    EXPECT_TRUE(table->check().empty());
}

TEST(CaseInsensitiveIndexFiles, DescendingIsBitFour) {
    TempDir dir;
    const std::string path = dir.file("LEUTE.DB");
    auto schema = people();
    schema.indexes[1].options =
        TIndexOptions(IndexOption::ixCaseInsensitive).add(IndexOption::ixDescending);
    std::vector<Record> rows;
    for (std::size_t i = 0; i < kAscii.size(); ++i)
        rows.push_back({std::int64_t(i + 1), std::string(kAscii[i].utf8), std::string("ort")});
    writeParadox(path, schema, rows);
    EXPECT_EQ(readFileBytes(dir.file("LEUTE.XG0"))[0x55], 0x11);
    auto table = openParadox(path);
    const auto& options = table->schema().indexes[1].options;
    EXPECT_TRUE(options.has(IndexOption::ixCaseInsensitive));
    EXPECT_TRUE(options.has(IndexOption::ixDescending));
    EXPECT_TRUE(table->check().empty());
}

}  // namespace
}  // namespace kx4::test

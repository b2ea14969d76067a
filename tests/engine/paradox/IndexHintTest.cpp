// The block number at the end of a secondary index entry is a hint: the original engine does
// not rewrite entries when data blocks split, so in its files most hints may name an earlier
// block. The table's key fields in the entry identify the record.
#include <gtest/gtest.h>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/paradox/DataBlocks.h"
#include "engine/paradox/FieldCodec.h"
#include "engine/paradox/ParadoxHeader.h"
#include "engine/paradox/ParadoxTable.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

using namespace paradox;

// 600 records over many 2 KiB data blocks; Ort orders them differently from the key.
TableSchema places() {
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger), field("Ort", TFieldType::ftString, 30)};
    s.indexes = {primaryKey("Nr"), indexOn("Ort", "Ort")};
    return s;
}

std::vector<Record> placeRows() {
    std::vector<Record> rows;
    for (int i = 1; i <= 600; ++i)
        rows.push_back({std::int64_t{i}, "Ort" + std::to_string(i % 37)});
    return rows;
}

std::vector<std::int64_t> keysInIndexOrder(TableFile& table) {
    std::vector<std::int64_t> keys;
    auto cursor = table.scanIndex("Ort");
    Record r;
    while (cursor->next(r)) keys.push_back(std::get<std::int64_t>(r[0]));
    return keys;
}

// Rewrites the entries of an X file in place: `change(entry, ordinal)` edits the bytes of each.
template <typename Change>
void editEntries(const std::string& path, Change change) {
    auto file = defaultFileSystem().open(path, OpenMode::ReadWrite);
    const Header h = readHeader(*file);
    std::vector<std::pair<std::uint16_t, std::size_t>> blocks;
    {
        BlockChain chain(*file, h);
        DataBlock b;
        while (chain.next(b)) blocks.emplace_back(b.number, b.records);
    }
    std::size_t ordinal = 0;
    for (const auto& [number, records] : blocks) {
        for (std::size_t i = 0; i < records; ++i, ++ordinal) {
            const std::uint64_t at = h.blockOffset(number) + kBlockHeaderSize + i * h.recordSize;
            std::vector<std::uint8_t> entry(h.recordSize);
            file->readAt(at, entry.data(), entry.size());
            change(entry.data(), entry.size(), ordinal);
            file->writeAt(at, entry.data(), entry.size());
        }
    }
}

// As the original leaves them: nine of ten hints name the block before the record's.
void staleHints(const std::string& xPath) {
    editEntries(xPath, [](std::uint8_t* e, std::size_t size, std::size_t ordinal) {
        const auto block = decodeInteger(e + size - 2, 2);
        if (ordinal % 10 != 0 && block > 1) encodeInteger(e + size - 2, 2, block - 1);
    });
}

TEST(IndexHints, StaleHintsReadInIndexOrderAndCheckOnlyNotesThem) {
    TempDir dir;
    const std::string path = dir.file("ORTE.DB");
    writeParadox(path, places(), placeRows());
    std::vector<std::int64_t> expected;
    {
        auto table = openParadox(path);
        ASSERT_GT(dynamic_cast<ParadoxTable&>(*table).header().fileBlocks, 5);
        expected = keysInIndexOrder(*table);
    }
    staleHints(dir.file("ORTE.X02"));
    auto table = openParadox(path);
    EXPECT_EQ(keysInIndexOrder(*table), expected);
    EXPECT_TRUE(table->check().empty()) << table->check().front();
    const auto notes = table->checkNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("ORTE.X02"), std::string::npos) << notes[0];
}

TEST(IndexHints, AnEntryWhoseKeyNoRecordHasStillFails) {
    TempDir dir;
    const std::string path = dir.file("ORTE.DB");
    writeParadox(path, places(), placeRows());
    staleHints(dir.file("ORTE.X02"));
    // The last entry (highest Ort) gets a key above every record's: still in order.
    editEntries(dir.file("ORTE.X02"), [](std::uint8_t* e, std::size_t size, std::size_t ordinal) {
        if (ordinal == 599) encodeInteger(e + size - 6, 4, 100000);
    });
    auto table = openParadox(path);
    const auto problems = table->check();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("entry 600 holds a key that no record has"), std::string::npos)
        << problems[0];
    EXPECT_THROW(keysInIndexOrder(*table), EDBEngineError);
}

TEST(IndexHints, RebuildWritesCurrentHints) {
    TempDir dir;
    const std::string path = dir.file("ORTE.DB");
    writeParadox(path, places(), placeRows());
    staleHints(dir.file("ORTE.X02"));
    {
        auto table = openParadox(path, true);
        FileTransaction tx(defaultFileSystem(), path);
        paradoxFormat().rebuildIndexes(*table, tx);
        tx.commit();
    }
    auto table = openParadox(path);
    EXPECT_TRUE(table->check().empty());
    EXPECT_TRUE(table->checkNotes().empty());
}

}  // namespace
}  // namespace kx4::test

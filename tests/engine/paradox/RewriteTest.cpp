// Pack, restructure and index rebuild copy stored bytes and take the order of secondary indexes
// from the table's own index files. An index file that does not list exactly the records'
// entries in order must not leak into the new table: whatever its damage, the result holds the
// index the records need.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/TableMaintenance.h"
#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/paradox/ByteOrder.h"
#include "engine/paradox/Encryption.h"
#include "engine/paradox/FieldCodec.h"
#include "engine/paradox/ParadoxHeader.h"
#include "engine/paradox/ParadoxProperties.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

using namespace paradox;

// Nr (key), Name (case-insensitive index), Ort (index "Ort", file .X03), Notiz (memo).
TableSchema people() {
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger), field("Name", TFieldType::ftString, 12),
                field("Ort", TFieldType::ftString, 10), field("Notiz", TFieldType::ftMemo, 5)};
    s.indexes = {primaryKey("Nr"),
                 indexOn("_Name", "Name", TIndexOptions(IndexOption::ixCaseInsensitive)),
                 indexOn("", "Ort")};
    return s;
}

// Keys in mixed order, so that each index orders the records differently.
std::vector<Record> peopleRows() {
    std::vector<Record> rows;
    for (int i = 0; i < 400; ++i) {
        const int nr = (i * 37) % 400 + 1;
        rows.push_back({std::int64_t{nr},
                        std::string(nr % 3 ? "meyer" : "Meyer") + std::to_string(nr % 17),
                        "Ort" + std::to_string(nr % 23),
                        nr % 4 ? FieldValue{std::string(nr % 7 * 400 + 2, 'a' + nr % 26)}
                               : FieldValue{Blank{}}});
    }
    return rows;
}

std::vector<std::int64_t> keysInPlaceOrder(std::vector<Record> rows) {
    std::sort(rows.begin(), rows.end(), [](const Record& a, const Record& b) {
        const auto& x = std::get<std::string>(a[2]);
        const auto& y = std::get<std::string>(b[2]);
        return x != y ? x < y : std::get<std::int64_t>(a[0]) < std::get<std::int64_t>(b[0]);
    });
    std::vector<std::int64_t> keys;
    for (const auto& r : rows) keys.push_back(std::get<std::int64_t>(r[0]));
    return keys;
}

std::vector<std::int64_t> keysInIndexOrder(TableFile& table, const std::string& index) {
    std::vector<std::int64_t> keys;
    auto cursor = table.scanIndex(index);
    Record r;
    while (cursor->next(r)) keys.push_back(std::get<std::int64_t>(r[0]));
    return keys;
}

enum class Damage { None, ValueChanged, BlockChanged, EntriesSwapped, EntryMissing, ChainBroken };

// Changes the first block of an X file: its first entries, its count or its chain.
void damage(const std::string& xFile, Damage how) {
    auto file = defaultFileSystem().open(xFile, OpenMode::ReadWrite);
    const Header h = readHeader(*file);
    std::vector<std::uint8_t> block(h.blockSize());
    const std::uint64_t offset = h.blockOffset(h.firstBlock);
    file->readAt(offset, block.data(), block.size());
    std::uint8_t* first = block.data() + 6;
    std::uint8_t* second = first + h.recordSize;
    std::uint8_t* blockNumber = first + h.recordSize - 2;
    switch (how) {
        case Damage::None:
            return;
        case Damage::ValueChanged:  // still the smallest value, but not the record's
            std::fill(first, first + 10, 0);
            first[0] = 'A';
            break;
        case Damage::BlockChanged:
            encodeInteger(blockNumber, 2, decodeInteger(blockNumber, 2) == 1 ? 2 : 1);
            break;
        case Damage::EntriesSwapped:
            std::swap_ranges(first, first + h.recordSize, second);
            break;
        case Damage::EntryMissing:
            putLe16(block.data() + 4,
                    static_cast<std::uint16_t>(getLe16(block.data() + 4) - h.recordSize));
            break;
        case Damage::ChainBroken:
            putLe16(block.data(), 0xFFF0);
            break;
    }
    file->writeAt(offset, block.data(), block.size());
}

enum class Operation {
    Pack,
    WidenIndexedField,
    ShrinkIndexedField,
    WidenOtherIndexedField,
    Rebuild
};

void run(Operation op, const std::string& path) {
    auto file = openParadox(path, true);
    RestructurePlan plan = identityPlan(file->schema());
    switch (op) {
        case Operation::Pack:
            return packTable(paradoxFormat(), *file);
        case Operation::Rebuild:
            return rebuildIndexes(paradoxFormat(), *file);
        case Operation::WidenIndexedField:
            plan.fields[2].target.size = 20;
            break;
        case Operation::ShrinkIndexedField:
            plan.fields[2].target.size = 6;
            break;
        case Operation::WidenOtherIndexedField:
            plan.fields[1].target.size = 30;
            break;
    }
    restructureTable(paradoxFormat(), *file, plan);
}

std::string caseName(Operation op, Damage how) {
    const char* ops[] = {"Pack", "WidenIndexed", "ShrinkIndexed", "WidenOtherIndexed", "Rebuild"};
    const char* damages[] = {"Intact",         "ValueChanged", "BlockChanged",
                             "EntriesSwapped", "EntryMissing", "ChainBroken"};
    return std::string(ops[static_cast<int>(op)]) + "_" + damages[static_cast<int>(how)];
}

class IndexOrder : public ::testing::TestWithParam<std::tuple<Operation, Damage>> {};

TEST_P(IndexOrder, FollowsTheRecordsWhateverTheOldIndexFileSays) {
    const auto [op, how] = GetParam();
    TempDir dir;
    const std::string path = dir.file("LEUTE.DB");
    const auto rows = peopleRows();
    writeParadox(path, people(), rows);
    damage(dir.file("LEUTE.X03"), how);
    {
        auto before = openParadox(path);
        const bool faulty = !before->check().empty();
        // A wrong block number is only a stale hint: noted, not a fault.
        if (how == Damage::BlockChanged)
            ASSERT_TRUE(!faulty && !before->checkNotes().empty());
        else
            ASSERT_EQ(faulty, how != Damage::None);
    }

    run(op, path);

    auto table = openParadox(path);
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
    EXPECT_EQ(keysInIndexOrder(*table, "Ort"), keysInPlaceOrder(rows));
    auto sorted = rows;
    std::sort(sorted.begin(), sorted.end(), [](const Record& a, const Record& b) {
        return std::get<std::int64_t>(a[0]) < std::get<std::int64_t>(b[0]);
    });
    EXPECT_EQ(readAll(*table), sorted);
}

INSTANTIATE_TEST_SUITE_P(
    Paradox, IndexOrder,
    ::testing::Combine(::testing::Values(Operation::Pack, Operation::WidenIndexedField,
                                         Operation::ShrinkIndexedField,
                                         Operation::WidenOtherIndexedField, Operation::Rebuild),
                       ::testing::Values(Damage::None, Damage::ValueChanged, Damage::BlockChanged,
                                         Damage::EntriesSwapped, Damage::EntryMissing,
                                         Damage::ChainBroken)),
    [](const auto& info) { return caseName(std::get<0>(info.param), std::get<1>(info.param)); });

// An appended record takes its place in every index, wherever its values sort.
class Append : public ::testing::TestWithParam<const char*> {};

TEST_P(Append, PutsTheRecordInPlaceInEveryIndex) {
    TempDir dir;
    const std::string path = dir.file("LEUTE.DB");
    auto rows = peopleRows();
    writeParadox(path, people(), rows);
    const Record added{std::int64_t{1000}, std::string(GetParam()), std::string(GetParam()),
                       std::string(3000, 'm')};
    openParadox(path, true)->appendRecord(added);
    rows.push_back(added);
    auto table = openParadox(path);
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
    EXPECT_EQ(keysInIndexOrder(*table, "Ort"), keysInPlaceOrder(rows));
    EXPECT_EQ(readAll(*table).back(), added);
}

INSTANTIATE_TEST_SUITE_P(Paradox, Append, ::testing::Values("A", "Ort15", "zz"),
                         [](const auto& info) { return std::string(info.param); });

TEST(Append, ARepeatedValueOfAUniqueIndexIsRefusedLeavingTheTable) {
    TempDir dir;
    const std::string path = dir.file("LEUTE.DB");
    TableSchema s = people();
    s.indexes[1].options.add(IndexOption::ixUnique);
    std::vector<Record> rows;
    for (std::int64_t nr = 1; nr <= 100; ++nr)
        rows.push_back({nr, "Name" + std::to_string(nr), std::string("Ort"), Blank{}});
    writeParadox(path, s, rows);
    const std::string before = directorySnapshot(dir.path());
    try {
        openParadox(path, true)
            ->appendRecord({std::int64_t{500}, std::string("NAME42"), Blank{}, Blank{}});
        ADD_FAILURE() << "a repeated unique value was accepted";
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), DBIERR_KEYVIOL) << e.what();
        EXPECT_NE(std::string(e.what()).find("Name = "), std::string::npos) << e.what();
    }
    EXPECT_EQ(directorySnapshot(dir.path()), before);
}

// Every kind of blob, empty, held in the record alone, in a shared block and in a block of its
// own, comes through a pack as it was, with and without a password.
class BlobPack : public ::testing::TestWithParam<bool> {};

TEST_P(BlobPack, KeepsEveryBlobKind) {
    TempDir dir;
    const std::string path = dir.file("BLOBS.DB");
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger)};
    const TFieldType kinds[] = {TFieldType::ftMemo, TFieldType::ftBlob, TFieldType::ftGraphic,
                                TFieldType::ftParadoxOle, TFieldType::ftFmtMemo};
    for (std::size_t k = 0; k < std::size(kinds); ++k)
        s.fields.push_back(field("B" + std::to_string(k), kinds[k], 8));
    s.indexes = {primaryKey("Nr")};
    std::vector<Record> rows;
    const std::size_t sizes[] = {0, 5, 300, 5000};
    for (std::int64_t nr = 1; nr <= 12; ++nr) {
        Record r{nr};
        for (std::size_t k = 0; k < std::size(kinds); ++k) {
            const std::size_t n = sizes[(nr + k) % 4];
            if (n == 0)
                r.push_back(Blank{});
            else if (k == 0)
                r.push_back(std::string(n, static_cast<char>('a' + nr)));
            else if (kinds[k] == TFieldType::ftGraphic || kinds[k] == TFieldType::ftParadoxOle)
                r.push_back(pictureBlob(kinds[k] == TFieldType::ftGraphic ? 1 : 2,
                                        Bytes(n, static_cast<std::uint8_t>(nr * 7 + k))));
            else
                r.push_back(Blob{Bytes(n, static_cast<std::uint8_t>(nr * 7 + k))});
        }
        rows.push_back(r);
    }
    auto props = std::make_shared<ParadoxProperties>();
    ScriptedPasswords passwords({"kx4"});
    if (GetParam()) props->encryption = passwordChecksum("kx4");
    writeParadox(path, s, rows, props);
    packTable(paradoxFormat(), *openParadox(path, true, &passwords));
    auto table = openParadox(path, false, &passwords);
    EXPECT_EQ(readAll(*table), rows);
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
}

INSTANTIATE_TEST_SUITE_P(Paradox, BlobPack, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "WithPassword" : "Plain");
});

}  // namespace
}  // namespace kx4::test

// Field IDs (the array after the field names, header 0x64 the next free one) as the original
// engine keeps them: a pack changes no field and keeps them; a restructure keeps the IDs of the
// fields it keeps and numbers new fields from 0x64 on. The .VAL, whose footer copies the
// array, is never dropped: when the field list changes the user is told it was left as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/TableMaintenance.h"
#include "engine/core/FileSystem.h"
#include "engine/paradox/ByteOrder.h"
#include "engine/paradox/ParadoxHeader.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/engine/paradox/PxlibReader.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

using namespace paradox;

const std::vector<std::uint16_t> kIds = {1, 2, 3, 10, 4};
constexpr std::uint16_t kNextId = 17;

TableSchema fiveFields() {
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger), field("Name", TFieldType::ftString, 12),
                field("Ort", TFieldType::ftString, 10), field("Betrag", TFieldType::ftFloat),
                field("Datum", TFieldType::ftDate)};
    s.indexes = {primaryKey("Nr")};
    return s;
}

std::vector<Record> rows() {
    std::vector<Record> out;
    for (int i = 1; i <= 40; ++i)
        out.push_back({std::int64_t{i}, "N" + std::to_string(i), "O" + std::to_string(i % 3),
                       i * 1.5, dateFromYmd(2001, 1 + i % 12, 1 + i % 28)});
    return out;
}

struct Ids {
    std::vector<std::uint16_t> ids;
    std::uint16_t next = 0;
    std::uint16_t byte70 = 0;
    std::uint8_t byte74 = 0;
};

Ids idsOf(const std::string& path) {
    const auto bytes = readFileBytes(path);
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    Ids out;
    const std::size_t at = 0x58 + getLe16(p + 0x66);
    for (std::size_t i = 0; i < getLe16(p + 0x21); ++i) out.ids.push_back(getLe16(p + at + 2 * i));
    out.next = getLe16(p + 0x64);
    out.byte70 = getLe16(p + 0x70);
    out.byte74 = p[0x74];
    return out;
}

// The layout the original engine leaves after restructures: IDs [1,2,3,10,4], 0x64 = 17,
// 0x70 = 0x27, 0x74 = 13, and a .VAL (byte 0 = the table's 0x2E) whose footer copies the IDs.
std::string originalTable(const TempDir& dir) {
    const std::string path = dir.file("KASSE.DB");
    writeParadox(path, fiveFields(), rows());
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<char> head(0x78);
    f.read(head.data(), head.size());
    auto* p = reinterpret_cast<std::uint8_t*>(head.data());
    const std::size_t at = 0x58 + getLe16(p + 0x66);
    putLe16(p + 0x64, kNextId);
    putLe16(p + 0x70, 0x27);
    p[0x74] = 13;
    f.seekp(0);
    f.write(head.data(), head.size());
    for (std::size_t i = 0; i < kIds.size(); ++i) {
        std::uint8_t le[2];
        putLe16(le, kIds[i]);
        f.seekp(static_cast<std::streamoff>(at + 2 * i));
        f.write(reinterpret_cast<const char*>(le), 2);
    }
    f.close();
    std::vector<std::uint8_t> val(0x35, 0);
    val[0] = p[0x2E];
    val[1] = 0x0B;
    putLe32(val.data() + 0x09, static_cast<std::uint32_t>(val.size()));
    for (auto id : kIds) {
        val.push_back(static_cast<std::uint8_t>(id));
        val.push_back(static_cast<std::uint8_t>(id >> 8));
    }
    std::ofstream(dir.file("KASSE.VAL"), std::ios::binary)
        .write(reinterpret_cast<const char*>(val.data()), static_cast<std::streamsize>(val.size()));
    return path;
}

TEST(FieldIds, PackKeepsThemAndTheOriginalsHeaderBytes) {
    TempDir dir;
    const std::string path = originalTable(dir);
    const auto valBefore = readFileBytes(dir.file("KASSE.VAL"));
    std::vector<std::string> notes;
    {
        auto table = openParadox(path, true);
        restructureTable(paradoxFormat(), *table, identityPlan(table->schema()), &notes);
    }
    EXPECT_TRUE(notes.empty());
    const Ids after = idsOf(path);
    EXPECT_EQ(after.ids, kIds);
    EXPECT_EQ(after.next, kNextId);
    EXPECT_EQ(after.byte70, 0x27);
    EXPECT_EQ(after.byte74, 13);
    EXPECT_EQ(readFileBytes(dir.file("KASSE.VAL")), valBefore);
    auto table = openParadox(path);
    EXPECT_EQ(readAll(*table), rows());
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
    EXPECT_EQ(readWithPxlib(path).records.size(), rows().size());
}

struct Change {
    const char* label;
    std::vector<int> sources;  // per new field: the old field, -1 for a new one
    std::vector<std::uint16_t> ids;
    std::uint16_t next;
    bool told;  // that the validity checks were left unchanged
};

class Restructure : public ::testing::TestWithParam<Change> {};

TEST_P(Restructure, KeepsTheIdsOfKeptFieldsAndNumbersNewOnes) {
    TempDir dir;
    const std::string path = originalTable(dir);
    const auto valBefore = readFileBytes(dir.file("KASSE.VAL"));
    std::vector<std::string> notes;
    {
        auto table = openParadox(path, true);
        RestructurePlan plan;
        int added = 0;
        for (int source : GetParam().sources) {
            FieldDef target = source >= 0
                                  ? table->schema().fields[source]
                                  : field("Neu" + std::to_string(++added), TFieldType::ftString, 5);
            if (source == 2) target.size = 20;  // a longer Ort
            plan.fields.push_back({target, source});
        }
        restructureTable(paradoxFormat(), *table, plan, &notes);
    }
    const Ids after = idsOf(path);
    EXPECT_EQ(after.ids, GetParam().ids);
    EXPECT_EQ(after.next, GetParam().next);
    EXPECT_EQ(readFileBytes(dir.file("KASSE.VAL")), valBefore);
    EXPECT_EQ(notes.size(), GetParam().told ? 1u : 0u);
    if (!notes.empty()) {
        EXPECT_NE(notes[0].find("validity checks"), std::string::npos);
    }
    auto table = openParadox(path);
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
    EXPECT_EQ(readWithPxlib(path).records.size(), rows().size());
}

INSTANTIATE_TEST_SUITE_P(
    Paradox, Restructure,
    ::testing::Values(
        Change{"longer_field", {0, 1, 2, 3, 4}, {1, 2, 3, 10, 4}, 17, false},
        Change{"dropped_field", {0, 1, 3, 4}, {1, 2, 10, 4}, 17, true},
        Change{"added_fields", {0, 1, 2, 3, 4, -1, -1}, {1, 2, 3, 10, 4, 17, 18}, 19, true},
        Change{"moved_and_added", {0, 4, -1, 1, 2, 3}, {1, 4, 17, 2, 3, 10}, 18, true}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kx4::test

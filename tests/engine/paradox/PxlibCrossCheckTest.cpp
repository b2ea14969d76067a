// Tables this driver writes read back identically through pxlib, an independent reader.
#include <gtest/gtest.h>

extern "C" {
#include <paradox.h>
}

#include "engine/paradox/Encryption.h"
#include "engine/paradox/ParadoxProperties.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/engine/paradox/PxlibReader.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

TableSchema fixedTypes() {
    TableSchema s;
    s.fields = {field("Kunde", TFieldType::ftString, 12), field("Zahl", TFieldType::ftFloat),
                field("Geld", TFieldType::ftCurrency),    field("Kurz", TFieldType::ftSmallint),
                field("Lang", TFieldType::ftInteger),     field("Bcd", TFieldType::ftBCD, 4),
                field("Datum", TFieldType::ftDate),       field("Zeit", TFieldType::ftTime),
                field("Stempel", TFieldType::ftDateTime), field("Ja", TFieldType::ftBoolean),
                field("Nr", TFieldType::ftAutoInc),       field("Roh", TFieldType::ftBytes, 3)};
    IndexDef primary;
    primary.fields = "Kunde";
    primary.options.add(IndexOption::ixPrimary);
    s.indexes = {primary};
    return s;
}

std::vector<Record> rows(int n) {
    std::vector<Record> out;
    for (int i = 0; i < n; ++i) {
        Record r{std::string("K\xC3\xBC") + std::to_string(100000 + (i * 37) % n),
                 i * 0.5 - 3,
                 -i * 1.25,
                 std::int64_t{i % 30000 - 15000},
                 std::int64_t{i * 4099 - 20000000},
                 Decimal{std::to_string(i) + ".0125"},
                 dateFromYmd(1850 + i % 300, 1 + i % 12, 1 + i % 28),
                 Time{i * 997 % 86400000},
                 Timestamp{63716202001000 + i},
                 i % 2 == 0,
                 Blank{},
                 Bytes{static_cast<std::uint8_t>(i % 250 + 1), 0, 3}};
        if (i % 17 == 0) r[1] = Blank{};
        out.push_back(r);
    }
    return out;
}

struct CrossCase {
    const char* label;
    int records;
    const char* password;
};

class PxlibReadsOurTables : public ::testing::TestWithParam<CrossCase> {};

TEST_P(PxlibReadsOurTables, SameValuesAndAnIndexItAccepts) {
    TempDir dir;
    const std::string path = dir.file("CROSS.DB");
    auto props = std::make_shared<paradox::ParadoxProperties>();
    props->encryption = paradox::passwordChecksum(GetParam().password);
    writeParadox(path, fixedTypes(), rows(GetParam().records), props);
    ScriptedPasswords passwords({GetParam().password});
    auto table = openParadox(path, false, &passwords);
    const auto ours = readAll(*table);

    const PxlibTable px = readWithPxlib(path);
    ASSERT_TRUE(px.error.empty()) << px.error;
    ASSERT_EQ(px.records.size(), ours.size());
    for (std::size_t r = 0; r < ours.size(); ++r)
        for (std::size_t f = 0; f < ours[r].size(); ++f)
            ASSERT_EQ(px.records[r][f], canonical(ours[r][f]))
                << "record " << r + 1 << ", field " << px.fieldNames[f];
    EXPECT_EQ(px.fieldNames[0], "Kunde");

    pxdoc_t* index = PX_new();
    ASSERT_EQ(PX_open_file(index, dir.file("CROSS.PX").c_str()), 0);
    EXPECT_EQ(index->px_head->px_filetype, pxfFileTypPrimIndex);
    EXPECT_GE(PX_get_num_records(index), 1);
    PX_close(index);
    PX_delete(index);
}

INSTANTIATE_TEST_SUITE_P(Paradox, PxlibReadsOurTables,
                         ::testing::Values(CrossCase{"one_block", 10, ""},
                                           CrossCase{"two_index_levels", 20000, ""},
                                           CrossCase{"encrypted", 500, "Kennwort"}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kx4::test

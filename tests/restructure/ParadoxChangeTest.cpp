#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>

#include "restructure/ParadoxChange.h"
#include "tests/support/DemoAlias.h"

namespace kx4 {
namespace {

using test::DemoAlias;
using test::directorySnapshot;
using test::dumpTable;

TEST(FieldTypeToEngineType, MapsTheInterfaceCodes) {
    EXPECT_EQ(FieldTypeToEngineType(1), fldZSTRING);
    EXPECT_EQ(FieldTypeToEngineType(24), fldZSTRING);
    EXPECT_EQ(FieldTypeToEngineType(2), fldPDXSHORT);
    EXPECT_EQ(FieldTypeToEngineType(3), fldINT32);  // a long integer, not a 16-bit one
    EXPECT_EQ(FieldTypeToEngineType(25), fldINT32);
    EXPECT_EQ(FieldTypeToEngineType(7), fldPDXMONEY);
    EXPECT_EQ(FieldTypeToEngineType(14), fldPDXAUTOINC);
    EXPECT_EQ(FieldTypeToEngineType(23), fldPDXCHAR);
    EXPECT_EQ(FieldTypeToEngineType(0), 0);
    EXPECT_EQ(FieldTypeToEngineType(20), 0);
    EXPECT_EQ(FieldTypeToEngineType(29), 0);
}

class ParadoxChangeTest : public ::testing::Test {
  protected:
    DemoAlias demo_;

    void change(const std::string& table, const std::string& field, int type, int size) {
        TParadoxChange c;
        c.DatabaseName = "DEMO";
        c.TableName = table;
        c.ChangeField(field, static_cast<std::uint8_t>(type), static_cast<std::uint16_t>(size));
    }

    const TField& fieldOf(TTable& t, const std::string& table, const std::string& field) {
        t.DatabaseName = "DEMO";
        t.TableName = table;
        t.Open();
        return t.FieldByName(field);
    }
};

TEST_F(ParadoxChangeTest, WidensAFieldAndKeepsEveryValue) {
    const std::string before = dumpTable("DEMO", "KUNDEN.DB");
    change("KUNDEN.DB", "NAME", 1, 40);
    TTable t;
    EXPECT_EQ(fieldOf(t, "KUNDEN.DB", "NAME").Size(), 40);
    t.Close();
    EXPECT_EQ(dumpTable("DEMO", "KUNDEN.DB"), before);
}

TEST_F(ParadoxChangeTest, SizeZeroChangesOnlyTheType) {
    change("KUNDEN.DB", "UMSATZ", 6, 0);  // money to number
    TTable t;
    EXPECT_EQ(fieldOf(t, "KUNDEN.DB", "UMSATZ").DataType(), TFieldType::ftFloat);
    t.Close();
    EXPECT_NE(dumpTable("DEMO", "KUNDEN.DB").find(";15230.5;"), std::string::npos);
}

TEST_F(ParadoxChangeTest, UnmappedTypeWithSizeChangesOnlyTheLength) {
    change("KUNDEN.DB", "ORT", 0, 12);
    TTable t;
    const TField& f = fieldOf(t, "KUNDEN.DB", "ORT");
    EXPECT_EQ(f.DataType(), TFieldType::ftString);
    EXPECT_EQ(f.Size(), 12);
}

struct Refusal {
    const char* table;
    const char* field;
    int type;
    int size;
};

class RefusedChange : public ParadoxChangeTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedChange, LeavesEveryFileByteIdentical) {
    const Refusal& r = GetParam();
    const std::string before = directorySnapshot(demo_.tables());
    EXPECT_THROW(change(r.table, r.field, r.type, r.size), EDBEngineError);
    EXPECT_EQ(directorySnapshot(demo_.tables()), before);
    TTable t;  // and the table opens again
    EXPECT_NO_THROW(fieldOf(t, r.table, r.field));
}

INSTANTIATE_TEST_SUITE_P(
    Loss, RefusedChange,
    ::testing::Values(Refusal{"KUNDEN.DB", "ORT", 1, 5},        // "Düsseldorf" would be cut
                      Refusal{"KUNDEN.DB", "UMSATZ", 2, 0},     // 15230.5 is no short integer
                      Refusal{"KUNDEN.DB", "NAME", 9, 0},       // names are no dates
                      Refusal{"KUNDEN.DB", "KUNDESEIT", 2, 0},  // dates are no numbers
                      Refusal{"ARTIKEL.DBF", "BEZEICH", 1, 5},  // dBase text cut
                      Refusal{"ARTIKEL.DBF", "PREIS", 3, 0}));  // 0.12 is no integer

TEST_F(ParadoxChangeTest, MissingFieldIsReportedBeforeAnythingChanges) {
    EXPECT_THROW(change("KUNDEN.DB", "PLZ", 1, 10), EDatabaseError);
}

}  // namespace
}  // namespace kx4

namespace kx4 {
namespace {

// The interface's codes name Paradox types; a dBase table gets the same kind of field.
// ftSmallint, whose Paradox code is a dBase date's, on a number of width 11: dBase would store it
// as the N(11,0) it is, so the change is refused, and the field never becomes a date.
TEST_F(ParadoxChangeTest, DBaseFieldsNeverTakeAParadoxCodesMeaning) {
    EXPECT_THROW(change("ARTIKEL.DBF", "LAGER", 2, 0), EDBEngineError);
    TTable t;
    EXPECT_EQ(fieldOf(t, "ARTIKEL.DBF", "LAGER").DataType(), TFieldType::ftFloat);
    t.Close();
    EXPECT_NE(dumpTable("DEMO", "ARTIKEL.DBF").find(";5400;"), std::string::npos);
}

// Deletion flag of each record of a .DBF, read from its header's lengths.
std::string deletionFlags(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto le = [&](std::size_t at, int n) {
        std::uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
        return v;
    };
    std::string flags;
    for (std::uint32_t n = 0; n < le(4, 4); ++n) flags += bytes[le(8, 2) + n * le(10, 2)];
    return flags;
}

struct FieldChange {
    const char* name;
    const char* field;
    int type;
    int size;
};

class DBaseChange : public ParadoxChangeTest, public ::testing::WithParamInterface<FieldChange> {};

// A field change rewrites the table but does not pack it: a record marked deleted stays, marked.
TEST_P(DBaseChange, KeepsTheRecordsMarkedDeleted) {
    const std::string path = demo_.table("ARTIKEL.DBF");
    std::string flags = deletionFlags(path);
    ASSERT_GE(flags.size(), 2u);
    {
        std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
        f.seekg(8);
        unsigned char head[4];
        f.read(reinterpret_cast<char*>(head), 4);
        f.seekp((head[0] | head[1] << 8) + (head[2] | head[3] << 8));  // the second record
        f.put('*');
    }
    flags[1] = '*';
    change("ARTIKEL.DBF", GetParam().field, GetParam().type, GetParam().size);
    EXPECT_EQ(deletionFlags(path), flags);
}

INSTANTIATE_TEST_SUITE_P(Changes, DBaseChange,
                         ::testing::Values(FieldChange{"Length", "BEZEICH", 1, 40},
                                           FieldChange{"Type", "LAGER", 1, 12}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kx4

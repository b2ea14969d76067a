// A rewrite keeps a dBase table's level (III, IV or 7): a field that needs a higher level is
// refused, and the version byte written is the one of the table's own level.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "engine/TableMaintenance.h"
#include "engine/core/DbiTypes.h"
#include "engine/core/Errors.h"
#include "engine/dbase/DbaseProperties.h"
#include "engine/paradox/ParadoxFormat.h"
#include "tests/engine/dbase/DbaseTestSupport.h"

namespace kx4::test {
namespace {

using PlanEdit = std::function<void(std::vector<FieldPlan>&)>;

struct Table {
    dbase::DbfLevel level;
    bool memo;
    bool tag;
};

// Five records of ID, NAME (and NOTES when `memo`), the third deleted, with a tag on ID.
std::string makeTable(const TempDir& dir, const Table& t) {
    const std::string path = dir.file("LEVEL.DBF");
    TableSchema schema;
    schema.fields = {dbField("ID", fldDBNUM, 6, 0), dbField("NAME", fldDBCHAR, 20)};
    if (t.memo) schema.fields.push_back(dbField("NOTES", fldDBMEMO));
    if (t.level == dbase::DbfLevel::Seven) schema.fields.push_back(dbField("AT", fldDBDATETIME));
    if (t.tag) schema.indexes = {indexOn("ID", "ID")};
    std::vector<Record> records;
    for (std::int64_t id = 1; id <= 5; ++id) {
        Record r{id, "name " + std::to_string(id)};
        if (t.memo) r.push_back("memo " + std::to_string(id));
        if (t.level == dbase::DbfLevel::Seven) r.push_back(Timestamp{63000000000000 + id});
        records.push_back(r);
    }
    auto like = std::make_shared<dbase::DbaseProperties>();
    like->level = t.level == dbase::DbfLevel::Seven ? dbase::DbfLevel::IV : t.level;
    buildDbase(path, schema, records, like);
    markDeleted(path, 3);
    return path;
}

void restructure(const std::string& path, const PlanEdit& edit) {
    auto table = openDbase(path, true);
    RestructurePlan plan = identityPlan(table->schema());
    edit(plan.fields);
    restructureTable(dbaseFormat(), *table, plan);
}

void addField(std::vector<FieldPlan>& f, const FieldDef& field) { f.push_back({field, -1}); }

int versionByte(const std::string& path) {
    return static_cast<unsigned char>(readFileBytes(path).at(0));
}

// The records as Perl's XBase reads them (deleted flag, then the values), one line each.
std::string perlRecords(const std::string& path) {
    const std::string script =
        "use XBase; my $t = XBase->new($ARGV[0]) or die XBase->errstr;"
        "for my $i (0 .. $t->last_record) { my @r = $t->get_record($i);"
        "print join('|', map { defined $_ ? $_ : '' } @r), \"\\n\" }";
    std::string out;
    EXPECT_EQ(runCommand("perl -e " + shellQuote(script) + " " + shellQuote(path) + " 2>&1", out),
              0)
        << out;
    return out;
}

struct Kept {
    const char* name;
    Table table;
    PlanEdit edit;
    int version;
};

class RewriteLevel : public ::testing::TestWithParam<Kept> {};

TEST_P(RewriteLevel, StaysTheTablesOwn) {
    TempDir dir;
    const std::string path = makeTable(dir, GetParam().table);
    restructure(path, GetParam().edit);
    EXPECT_EQ(versionByte(path), GetParam().version);
    auto table = openDbase(path);
    EXPECT_EQ(table->check(), std::vector<std::string>{});
    const auto ours = readAll(*table->scan());
    ASSERT_EQ(ours.size(), 4u);
    if (GetParam().table.level == dbase::DbfLevel::Seven) return;  // no reader of level 7 here
    const auto theirs = dbfreadRecords(path, table->info().codePage, true);
    ASSERT_EQ(theirs.size(), 5u);
    EXPECT_EQ(theirs[2].front(), "*");
    for (std::size_t r = 0, n = 0; n < theirs.size(); ++n) {
        if (n == 2) continue;
        ASSERT_EQ(theirs[n].size(), ours[r].size() + 1);
        for (std::size_t i = 0; i < ours[r].size(); ++i)
            EXPECT_TRUE(sameDumpedValue(dumpValue(ours[r][i]), theirs[n][i + 1]))
                << "record " << n + 1 << " field " << i << ": " << theirs[n][i + 1];
        ++r;
    }
    const std::string perl = perlRecords(path);
    EXPECT_NE(perl.find("1|3|name 3"), std::string::npos) << perl;
    EXPECT_NE(perl.find("0|1|name 1"), std::string::npos) << perl;
}

INSTANTIATE_TEST_SUITE_P(
    Levels, RewriteLevel,
    ::testing::Values(
        // dBase IV without memo fields is 0x03 too; its production index says it is dBase IV.
        Kept{"IvWithIndexGetsAMemo",
             {dbase::DbfLevel::IV, false, true},
             [](auto& f) { addField(f, dbField("NOTES", fldDBMEMO)); },
             0x8B},
        Kept{"IvGetsABinaryField",
             {dbase::DbfLevel::IV, false, false},
             [](auto& f) { addField(f, dbField("DATA", fldDBBINARY)); },
             0x8B},
        Kept{"IvWithMemoGetsAField",
             {dbase::DbfLevel::IV, true, true},
             [](auto& f) { addField(f, dbField("QTY", fldDBFLOAT, 10, 2)); },
             0x8B},
        Kept{"IiiGetsAMemo",
             {dbase::DbfLevel::III, false, false},
             [](auto& f) { addField(f, dbField("NOTES", fldDBMEMO)); },
             0x83},
        Kept{"IiiLosesItsMemo",
             {dbase::DbfLevel::III, true, false},
             [](auto& f) { f.pop_back(); },
             0x03},
        Kept{"SevenWithoutMemo",
             {dbase::DbfLevel::Seven, false, true},
             [](auto& f) { f[1].target = dbField("NAME", fldDBCHAR, 30); },
             0x04}),
    [](const auto& info) { return std::string(info.param.name); });

struct Refused {
    const char* name;
    Table table;
    PlanEdit edit;
    const char* field;
    const char* needed;
};

class HigherLevel : public ::testing::TestWithParam<Refused> {};

TEST_P(HigherLevel, IsRefusedNamingFieldAndLevel) {
    TempDir dir;
    const std::string path = makeTable(dir, GetParam().table);
    const std::string before = directorySnapshot(dir.path());
    try {
        restructure(path, GetParam().edit);
        FAIL() << "the rewrite was not refused";
    } catch (const EDBEngineError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find(std::string("field ") + GetParam().field), std::string::npos)
            << message;
        EXPECT_NE(message.find(GetParam().needed), std::string::npos) << message;
    }
    EXPECT_EQ(directorySnapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, HigherLevel,
    ::testing::Values(Refused{"IvFieldBecomesATimestamp",
                              {dbase::DbfLevel::IV, true, true},
                              [](auto& f) { f[1].target = dbField("NAME", fldDBDATETIME); },
                              "NAME",
                              "dBase 7"},
                      Refused{"IvGetsAnAutoIncrement",
                              {dbase::DbfLevel::IV, false, true},
                              [](auto& f) { addField(f, dbField("NR", fldDBAUTOINC)); },
                              "NR",
                              "dBase 7"},
                      Refused{"IiiWithMemoGetsAFloat",
                              {dbase::DbfLevel::III, true, false},
                              [](auto& f) { addField(f, dbField("QTY", fldDBFLOAT, 10, 2)); },
                              "QTY",
                              "dBase IV"},
                      Refused{"IiiWithMemoGetsABinaryField",
                              {dbase::DbfLevel::III, true, false},
                              [](auto& f) { addField(f, dbField("DATA", fldDBBINARY)); },
                              "DATA",
                              "dBase IV"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kx4::test

namespace kx4::test {
namespace {

struct TextAndBinary {
    const char* name;
    const char* file;
    TableFormat& (*format)();
    FieldDef text, binary;
};

class TextToBinary : public ::testing::TestWithParam<TextAndBinary> {};

// Text that becomes binary data keeps the bytes of the table's code page (1252), so that the
// change back gives the same text.
TEST_P(TextToBinary, KeepsTheCodePagesBytesAndCanBeUndone) {
    const auto& c = GetParam();
    TempDir dir;
    const std::string path = dir.file(c.file);
    TableSchema schema;
    schema.fields = {c.text};
    createTable(c.format(), tablePathOf(path), schema, {{std::string("Müller")}, {Blank{}}});
    const auto change = [&](const FieldDef& to) {
        auto table = c.format().open(tablePathOf(path), OpenOptions{true, nullptr});
        ASSERT_EQ(table->info().codePage, 1252);
        RestructurePlan plan = identityPlan(table->schema());
        plan.fields[0].target = to;
        restructureTable(c.format(), *table, plan);
    };
    change(c.binary);
    auto records = readAll(*c.format().open(tablePathOf(path), {})->scan());
    ASSERT_EQ(records.size(), 2u);
    const Bytes stored = {'M', 0xFC, 'l', 'l', 'e', 'r'};
    if (const auto* blob = std::get_if<Blob>(&records[0][0]))
        EXPECT_EQ(blob->data, stored);
    else
        EXPECT_EQ(std::get<Bytes>(records[0][0]), stored);
    change(c.text);
    records = readAll(*c.format().open(tablePathOf(path), {})->scan());
    EXPECT_EQ(records[0][0], FieldValue(std::string("Müller")));
    EXPECT_TRUE(isBlank(records[1][0]));
}

FieldDef paradoxField(const char* name, TFieldType type, int size) {
    return fieldForCreate(paradoxFormat(), name, type, size, false);
}

// A dBase field as a restructure gets it: from an engine descriptor.
FieldDef dbaseField(const char* name, std::uint16_t physicalType, int size = 0) {
    FLDDesc desc;
    std::snprintf(desc.szName, sizeof desc.szName, "%s", name);
    desc.iFldType = physicalType;
    desc.iUnits1 = static_cast<std::int16_t>(size);
    return dbaseFormat().fieldFromDescriptor(desc);
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, TextToBinary,
    ::testing::Values(TextAndBinary{"DbaseBinaryMemo", "T.DBF", &dbaseFormat,
                                    dbaseField("NAME", fldDBCHAR, 10),
                                    dbaseField("NAME", fldDBBINARY)},
                      TextAndBinary{"ParadoxBytes", "T.DB", &paradoxFormat,
                                    paradoxField("NAME", TFieldType::ftString, 10),
                                    paradoxField("NAME", TFieldType::ftBytes, 6)},
                      TextAndBinary{"ParadoxBlob", "T.DB", &paradoxFormat,
                                    paradoxField("NAME", TFieldType::ftString, 10),
                                    paradoxField("NAME", TFieldType::ftBlob, 10)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kx4::test

// Rewrites of a dBase table from its stored records (pack, restructure, ALTER TABLE) copy the
// bytes of fields and memos that keep their storage and take tag orders from the old index.
// Whatever they take that way, the files must be those that going through values and sorting
// every key gives, also when the old index is stale or damaged.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>

#include "engine/TableMaintenance.h"
#include "engine/core/DbiTypes.h"
#include "engine/core/Errors.h"
#include "engine/core/FieldType.h"
#include "engine/dbase/DbaseTable.h"
#include "tests/engine/dbase/DbaseTestSupport.h"

namespace kx4::test {
namespace {

namespace fs = std::filesystem;

// Shows a table through the generic interface only, so that a rewrite of it goes value by
// value and sorts every key.
class ValuesOnly : public TableFile {
  public:
    explicit ValuesOnly(TableFile& inner) : inner_(inner) {}
    const TablePath& path() const override { return inner_.path(); }
    const TableSchema& schema() const override { return inner_.schema(); }
    TableInfo info() const override { return inner_.info(); }
    std::shared_ptr<const FormatProperties> properties() const override {
        return inner_.properties();
    }
    std::unique_ptr<RecordCursor> scan() override { return inner_.scan(); }
    std::unique_ptr<RecordCursor> scanIndex(const std::string& name) override {
        return inner_.scanIndex(name);
    }
    void appendRecord(const Record& record) override { inner_.appendRecord(record); }
    std::vector<std::string> check() override { return inner_.check(); }
    bool exclusive() const override { return inner_.exclusive(); }
    FileSystem& fileSystem() const override { return inner_.fileSystem(); }

  private:
    TableFile& inner_;
};

using PlanEdit = std::function<void(std::vector<FieldPlan>&)>;

// A field as a restructure gets it: through the format, from an engine descriptor.
FieldDef newField(const std::string& name, std::uint16_t physicalType, int size = 0,
                  int decimals = 0) {
    FLDDesc desc;
    std::snprintf(desc.szName, sizeof desc.szName, "%s", name.c_str());
    desc.iFldType = physicalType;
    desc.iUnits1 = static_cast<std::int16_t>(size);
    desc.iUnits2 = static_cast<std::int16_t>(decimals);
    FieldDef field = dbaseFormat().fieldFromDescriptor(desc);
    field.name = name;
    return field;
}

RestructurePlan planFor(const TableSchema& schema, const PlanEdit& edit, bool pack) {
    RestructurePlan plan = identityPlan(schema);
    plan.pack = pack;
    edit(plan.fields);
    return plan;
}

FieldPlan& fieldNamed(std::vector<FieldPlan>& fields, const std::string& name) {
    for (auto& f : fields)
        if (f.target.name == name) return f;
    throw std::runtime_error("no field " + name);
}

// A people table of `records` records, every fourth deleted, in `dir`.
std::string peopleTable(const fs::path& dir, int records) {
    const std::string path = (dir / "PEOPLE.DBF").string();
    std::mt19937 rng(5);
    std::vector<Record> rows;
    for (std::int64_t id = 1; id <= records; ++id) rows.push_back(person(id, rng));
    buildDbase(path, peopleSchema(), rows);
    for (int n = 1; n <= records; n += 4) markDeleted(path, static_cast<std::uint32_t>(n));
    return path;
}

// Through the generic interface (`throughValues`) only live records can be read, so the two
// paths are compared on rewrites that pack.
void restructure(const std::string& path, const PlanEdit& edit, bool throughValues,
                 bool pack = true) {
    auto table = openDbase(path, true);
    const RestructurePlan plan = planFor(table->schema(), edit, pack);
    if (!throughValues) return restructureTable(dbaseFormat(), *table, plan);
    ValuesOnly values(*table);
    restructureTable(dbaseFormat(), values, plan);
}

// Every file of a directory by name, with its bytes.
std::map<std::string, std::vector<char>> filesIn(const std::string& dir) {
    std::map<std::string, std::vector<char>> out;
    for (const auto& entry : fs::directory_iterator(dir))
        out[entry.path().filename().string()] = readFileBytes(entry.path().string());
    return out;
}

// Rewrites copies of the same table both ways; every file must come out byte for byte alike.
void expectSameFiles(const std::string& original, const PlanEdit& edit,
                     const std::function<void(const std::string&)>& damage = {}) {
    TempDir copied, valued;
    for (const auto& entry : fs::directory_iterator(directoryOf(original))) {
        fs::copy_file(entry.path(), fs::path(copied.path()) / entry.path().filename());
        fs::copy_file(entry.path(), fs::path(valued.path()) / entry.path().filename());
    }
    const std::string name = fileNameOf(original);
    const std::string a = copied.file(name), b = valued.file(name);
    if (damage) {
        damage(a);
        damage(b);
    }
    restructure(a, edit, false);
    restructure(b, edit, true);
    const auto ours = filesIn(copied.path()), theirs = filesIn(valued.path());
    ASSERT_EQ(ours.size(), theirs.size());
    for (const auto& [file, bytes] : ours) {
        ASSERT_TRUE(theirs.count(file)) << file;
        EXPECT_TRUE(bytes == theirs.at(file)) << file << " differs";
    }
    EXPECT_EQ(openDbase(a)->check(), std::vector<std::string>{});
}

struct Change {
    const char* name;
    PlanEdit edit;
};

class CopiedRewrite : public ::testing::TestWithParam<Change> {};

TEST_P(CopiedRewrite, GivesTheFilesOfTheValuePath) {
    TempDir dir;
    expectSameFiles(peopleTable(dir.path(), 1500), GetParam().edit);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, CopiedRewrite,
    ::testing::Values(
        Change{"Pack", [](std::vector<FieldPlan>&) {}},
        Change{"NameWidened",
               [](auto& f) { fieldNamed(f, "NAME").target = newField("NAME", fldDBCHAR, 60); }},
        Change{"NameNarrowedWhereTheTextsFit",
               [](auto& f) { fieldNamed(f, "NAME").target = newField("NAME", fldDBCHAR, 12); }},
        Change{"IdWidened",
               [](auto& f) { fieldNamed(f, "ID").target = newField("ID", fldDBNUM, 9, 0); }},
        Change{"ScoreBecomesText",
               [](auto& f) { fieldNamed(f, "SCORE").target = newField("SCORE", fldDBCHAR, 12); }},
        Change{"MemoDropped", [](auto& f) { f.pop_back(); }},
        Change{"FieldsAddedInFrontAndNameMovedLast",
               [](auto& f) {
                   const FieldPlan name = fieldNamed(f, "NAME");
                   f.erase(f.begin() + 1);
                   f.push_back(name);
                   f.insert(f.begin(), {FieldPlan{newField("EXTRA", fldDBCHAR, 5), -1},
                                        FieldPlan{newField("REMARK", fldDBMEMO), -1},
                                        FieldPlan{newField("AMOUNT", fldDBNUM, 8, 2), -1}});
               }}),
    [](const auto& info) { return std::string(info.param.name); });

// Deletion flag of every stored record.
std::string deletionMarks(const std::string& path) {
    auto file = openDbase(path);
    auto& table = dynamic_cast<dbase::DbaseTable&>(*file);
    std::string marks;
    table.forEachStored([&](const std::uint8_t* raw, std::uint32_t) { marks += char(raw[0]); });
    return marks;
}

// A restructure is not a pack: the records marked deleted stay, marked, with their values and
// index entries. Packing afterwards gives the files of a rewrite that packs at once.
TEST_P(CopiedRewrite, KeepsTheDeletedRecordsUnlessItPacks) {
    TempDir dir, kept, packed;
    const std::string original = peopleTable(dir.path(), 1500);
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        fs::copy_file(entry.path(), fs::path(kept.path()) / entry.path().filename());
        fs::copy_file(entry.path(), fs::path(packed.path()) / entry.path().filename());
    }
    const std::string a = kept.file("PEOPLE.DBF"), b = packed.file("PEOPLE.DBF");
    restructure(a, GetParam().edit, false, false);
    EXPECT_EQ(deletionMarks(a), deletionMarks(original));
    EXPECT_EQ(openDbase(a)->check(), std::vector<std::string>{});
    const auto theirs = dbfreadRecords(a, 1252, true);
    ASSERT_EQ(theirs.size(), 1500u);
    for (std::size_t n = 0; n < theirs.size(); ++n)
        EXPECT_EQ(theirs[n].front(), n % 4 == 0 ? "*" : " ") << "record " << n + 1;
    // The deleted records keep their values: recalled, they read as the live ones do.
    auto table = openDbase(a);
    for (std::uint32_t n = 1; n <= 1500; n += 4) {
        auto raw = dynamic_cast<dbase::DbaseTable&>(*table).readRaw(n);
        raw[0] = dbase::kRecordLive;
        const Record values = dynamic_cast<dbase::DbaseTable&>(*table).decode(raw, n);
        ASSERT_EQ(values.size() + 1, theirs[n - 1].size());
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_TRUE(sameDumpedValue(dumpValue(values[i]), theirs[n - 1][i + 1]))
                << "record " << n << " field " << i;
    }
    table.reset();
    packDbase(a);
    restructure(b, GetParam().edit, false, true);
    for (const char* name : {"PEOPLE.DBF", "PEOPLE.MDX", "PEOPLE.DBT"}) {
        const bool exists = fs::exists(kept.file(name));
        ASSERT_EQ(exists, fs::exists(packed.file(name))) << name;
        if (exists) {
            EXPECT_TRUE(readFileBytes(kept.file(name)) == readFileBytes(packed.file(name))) << name;
        }
    }
    EXPECT_EQ(readAll(*openDbase(a)->scan()), readAll(*openDbase(b)->scan()));
}

// Damage to the leftmost leaf (or the root) of tag `tagName` in the table's .MDX.
using MdxDamage = std::function<void(const std::string& mdx, const dbase::MdxTag& tag,
                                     std::size_t leaf, const std::vector<char>& bytes)>;

std::function<void(const std::string&)> damageTag(const std::string& tagName,
                                                  const MdxDamage& damage) {
    return [=](const std::string& table) {
        const std::string mdx = directoryOf(table) + "/PEOPLE.MDX";
        auto file = openDbase(table);
        auto* index = dynamic_cast<dbase::DbaseTable&>(*file).mdx();
        const dbase::MdxTag tag = index->tags()[static_cast<std::size_t>(index->findTag(tagName))];
        file.reset();
        const auto bytes = readFileBytes(mdx);
        const auto le32 = [&](std::size_t at) {
            std::uint32_t v = 0;
            for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
            return v;
        };
        damage(mdx, tag, le32(tag.headerPage * 512ull + 248) * 512ull, bytes);
    };
}

void copyBytes(const std::string& file, std::size_t to, const std::vector<char>& bytes,
               std::size_t from, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        setByte(file, to + i, static_cast<std::uint8_t>(bytes[from + i]));
}

struct Damage {
    const char* name;
    const char* tag;
    MdxDamage damage;
};

class StaleIndex : public ::testing::TestWithParam<Damage> {};

TEST_P(StaleIndex, PackSortsTheKeysInstead) {
    TempDir dir;
    expectSameFiles(
        peopleTable(dir.path(), 1500), [](auto&) {}, damageTag(GetParam().tag, GetParam().damage));
}

// The leftmost leaf's items start at offset 8: record number (4), then the key.
INSTANTIATE_TEST_SUITE_P(
    Damages, StaleIndex,
    ::testing::Values(
        Damage{"EntryPointsToAnotherRecord", "NAME",
               [](const auto& mdx, const auto& tag, std::size_t leaf, const auto& bytes) {
                   copyBytes(mdx, leaf + 8, bytes, leaf + 8 + tag.itemLength, 4);
               }},
        Damage{"KeysOutOfOrder", "SCORE",
               [](const auto& mdx, const auto& tag, std::size_t leaf, const auto& bytes) {
                   copyBytes(mdx, leaf + 12, bytes, leaf + 12 + 3 * tag.itemLength, 12);
               }},
        Damage{"EntryMissing", "DSCORE",
               [](const auto& mdx, const auto&, std::size_t leaf, const auto& bytes) {
                   setByte(mdx, leaf, static_cast<std::uint8_t>(bytes[leaf] - 1));
               }},
        Damage{"RootPointsOutOfTheFile", "BORN",
               [](const auto& mdx, const auto& tag, std::size_t, const auto&) {
                   for (int i = 0; i < 4; ++i) setByte(mdx, tag.rootPage * 512ull + 8 + i, 0x7F);
               }}),
    [](const auto& info) { return std::string(info.param.name); });

// Binary fields, an auto-increment counter and binary memos of a level 7 table.
TEST(CopiedRewrite, Level7TablesToo) {
    TempDir dir;
    const std::string path = dir.file("L7.DBF");
    TableSchema schema;
    schema.fields = {newField("ID", fldDBAUTOINC),     newField("AMOUNT", fldDBDOUBLE),
                     newField("COUNT", fldDBLONG),     newField("STAMP", fldDBDATETIME),
                     newField("NAME", fldDBCHAR, 20),  newField("DONE", fldDBBOOL),
                     newField("PICTURE", fldDBBINARY), newField("NOTES", fldDBMEMO)};
    schema.indexes = {indexOn("ID", "ID"), indexOn("AMOUNT", "AMOUNT"), indexOn("NAME", "NAME")};
    std::vector<Record> records;
    for (std::int64_t i = 1; i <= 300; ++i)
        records.push_back(
            {Blank{}, static_cast<double>((i * 37) % 101) / 8, i * (i % 2 ? -1 : 1),
             Timestamp{63000000000000 + 86400123 * i}, "name " + std::to_string((i * 7) % 50),
             i % 3 == 0,
             i % 4 == 0 ? FieldValue(Blob{Bytes(i, static_cast<std::uint8_t>(i))})
                        : FieldValue(Blank{}),
             i % 5 == 0 ? FieldValue("note " + std::to_string(i)) : FieldValue(Blank{})});
    buildDbase(path, schema, records);
    for (std::uint32_t n = 3; n <= 300; n += 7) markDeleted(path, n);
    expectSameFiles(path, [](auto&) {});
    expectSameFiles(path, [](auto& f) {
        f.insert(f.begin() + 2, FieldPlan{newField("EXTRA", fldDBLONG), -1});
        fieldNamed(f, "NAME").target = newField("NAME", fldDBCHAR, 30);
    });
}

TEST(CopiedRewriteRefusal, NamesFieldAndRecordAndChangesNothing) {
    TempDir dir;
    const std::string path = peopleTable(dir.path(), 40);
    const auto before = readFileBytes(path);
    const PlanEdit narrow = [](auto& f) {
        fieldNamed(f, "NAME").target = newField("NAME", fldDBCHAR, 3);
    };
    std::string copied, valued;
    try {
        restructure(path, narrow, false);
    } catch (const EDBEngineError& e) {
        copied = e.what();
    }
    try {
        restructure(path, narrow, true);
    } catch (const EDBEngineError& e) {
        valued = e.what();
    }
    EXPECT_NE(copied.find("NAME"), std::string::npos) << copied;
    EXPECT_NE(copied.find("record 1"), std::string::npos) << copied;
    EXPECT_EQ(copied, valued);
    EXPECT_TRUE(readFileBytes(path) == before);
}

// A header counting records the file does not hold, or with a wrong record-length word: a
// rewrite of what can be read would drop the rest for good, so every rewrite is refused.
struct Rewrite {
    const char* name;
    std::function<void(TableFile&)> run;
};

std::ostream& operator<<(std::ostream& os, const Rewrite& r) { return os << r.name; }

class RewriteOfDisagreeingHeader : public ::testing::TestWithParam<Rewrite> {};

TEST_P(RewriteOfDisagreeingHeader, IsRefusedNamingTheDisagreement) {
    const std::vector<std::pair<std::function<void(const std::string&)>, std::string>> damages = {
        {[](const std::string& p) { fs::resize_file(p, fs::file_size(p) / 2); },
         "the header counts 40 records of"},
        {[](const std::string& p) { setByte(p, 11, 0x40); }, "the header's record length is"}};
    for (const auto& [damage, named] : damages) {
        TempDir dir;
        const std::string path = peopleTable(dir.path(), 40);
        damage(path);
        const auto before = filesIn(dir.path());
        try {
            auto table = openDbase(path, true);
            GetParam().run(*table);
            ADD_FAILURE() << "the rewrite went through";
        } catch (const EDBEngineError& e) {
            EXPECT_NE(std::string(e.what()).find(named), std::string::npos) << e.what();
        }
        EXPECT_TRUE(filesIn(dir.path()) == before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Operations, RewriteOfDisagreeingHeader,
    ::testing::Values(Rewrite{"Pack", [](TableFile& t) { packTable(dbaseFormat(), t); }},
                      Rewrite{"Restructure",
                              [](TableFile& t) {
                                  restructureTable(dbaseFormat(), t,
                                                   planFor(
                                                       t.schema(),
                                                       [](auto& f) {
                                                           fieldNamed(f, "NAME").target =
                                                               newField("NAME", fldDBCHAR, 60);
                                                       },
                                                       false));
                              }},
                      Rewrite{"RestructureValueByValue",
                              [](TableFile& t) {
                                  ValuesOnly values(t);
                                  restructureTable(dbaseFormat(), values, identityPlan(t.schema()));
                              }},
                      Rewrite{"Reindex", [](TableFile& t) { rebuildIndexes(dbaseFormat(), t); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kx4::test

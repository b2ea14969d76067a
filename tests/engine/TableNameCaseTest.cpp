// Tables whose names differ only in the case of their letters: a table alone finds its
// companions whatever their case, but two such tables never take or remove each other's files.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "engine/Session.h"
#include "engine/Table.h"
#include "engine/TableMaintenance.h"
#include "engine/paradox/ParadoxFormat.h"
#include "tests/support/DemoAlias.h"

namespace kx4 {
namespace {

namespace fs = std::filesystem;
using test::DemoAlias;
using test::readFileBytes;

// The files of a directory whose stem is `stem` exactly, with their bytes.
std::map<std::string, std::vector<char>> filesOf(const std::string& dir, const std::string& stem) {
    std::map<std::string, std::vector<char>> out;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().stem().string() == stem)
            out[entry.path().filename().string()] = readFileBytes(entry.path().string());
    return out;
}

std::unique_ptr<TTable> open(const std::string& name, bool exclusive = false) {
    auto table = std::make_unique<TTable>();
    table->DatabaseName = "DEMO";
    table->TableName = name;
    table->Exclusive = exclusive;
    table->Open();
    return table;
}

void create(const std::string& name) {
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = name;
    table.FieldDefs.Add("NUR", TFieldType::ftString, 5, false);
    table.FieldDefs.Add("NOTIZ", TFieldType::ftMemo, 10, false);
    table.CreateTable();
}

struct CaseTwin {
    const char* label;
    const char* existing;  // a demo table with memos and indexes
    const char* twin;      // the same name in other letter case
    std::string existingStem() const { return fs::path(existing).stem().string(); }
    std::string twinStem() const { return fs::path(twin).stem().string(); }
};

std::ostream& operator<<(std::ostream& os, const CaseTwin& c) { return os << c.label; }

class TablesDifferingInCase : public ::testing::TestWithParam<CaseTwin> {
  protected:
    void SetUp() override {
        for (const char* p : {"86Gm2yB3E7", "Rq58Tn204K", "362VN4Qc81", "hW714kP9j3"})
            Session().AddPassword(p);
        const TablePath existing{demo.tables(), GetParam().existing};
        if (fs::path(GetParam().existing).extension() == ".DB")  // a secondary index as well
            addIndexToTable(paradoxFormat(), existing, indexOn("NAME", "NAME"),
                            Session().openOptions(existing, true));
    }

    std::vector<std::string> indexesOf(const std::string& name) {
        auto table = open(name);
        std::vector<std::string> out;
        for (const auto& index : table->IndexDefs().items()) out.push_back(index.fields);
        return out;
    }

    DemoAlias demo;
};

TEST_P(TablesDifferingInCase, CreatingOneLeavesTheOtherWithAllItsFiles) {
    const auto before = filesOf(demo.tables(), GetParam().existingStem());
    const auto indexes = indexesOf(GetParam().existing);
    ASSERT_GE(before.size(), 3u);
    create(GetParam().twin);
    EXPECT_TRUE(filesOf(demo.tables(), GetParam().existingStem()) == before);
    EXPECT_EQ(indexesOf(GetParam().existing), indexes);
    EXPECT_TRUE(open(GetParam().existing)->File().check().empty());
    EXPECT_TRUE(indexesOf(GetParam().twin).empty());
    EXPECT_TRUE(open(GetParam().twin)->File().check().empty());
}

TEST_P(TablesDifferingInCase, PackingOneLeavesTheOtherAlone) {
    create(GetParam().twin);
    const auto twinFiles = filesOf(demo.tables(), GetParam().twinStem());
    const auto existingFiles = filesOf(demo.tables(), GetParam().existingStem());
    {
        auto table = open(GetParam().existing, true);
        packTable(table->Format(), table->File());
    }
    EXPECT_TRUE(filesOf(demo.tables(), GetParam().twinStem()) == twinFiles);
    {
        auto table = open(GetParam().twin, true);
        packTable(table->Format(), table->File());
    }
    EXPECT_EQ(filesOf(demo.tables(), GetParam().existingStem()).size(), existingFiles.size());
    EXPECT_TRUE(open(GetParam().existing)->File().check().empty());
}

INSTANTIATE_TEST_SUITE_P(Names, TablesDifferingInCase,
                         ::testing::Values(CaseTwin{"ParadoxLowerCase", "KUNDEN.DB", "kunden.db"},
                                           CaseTwin{"ParadoxMixedCase", "KUNDEN.DB", "Kunden.DB"},
                                           CaseTwin{"DbaseLowerCase", "ARTIKEL.DBF",
                                                    "artikel.dbf"}),
                         [](const auto& info) { return std::string(info.param.label); });

// A table copied from Windows may keep its companions in another case than its own name.
class TableAloneWithCompanionsInOtherCase : public ::testing::TestWithParam<CaseTwin> {};

TEST_P(TableAloneWithCompanionsInOtherCase, FindsThemAndKeepsThemThroughAPack) {
    DemoAlias demo;
    Session().AddPassword("86Gm2yB3E7");
    const std::string stem = GetParam().existingStem(), lower = GetParam().twinStem();
    for (const auto& [name, bytes] : filesOf(demo.tables(), stem))
        if (name != GetParam().existing)
            fs::rename(demo.table(name), demo.table(lower + fs::path(name).extension().string()));
    const std::string before = test::dumpTable("DEMO", GetParam().existing);
    const auto indexes = open(GetParam().existing)->IndexDefs().Count();
    EXPECT_GT(indexes, 0);
    {
        auto table = open(GetParam().existing, true);
        packTable(table->Format(), table->File());
    }
    EXPECT_EQ(test::dumpTable("DEMO", GetParam().existing), before);
    EXPECT_EQ(open(GetParam().existing)->IndexDefs().Count(), indexes);
    EXPECT_TRUE(open(GetParam().existing)->File().check().empty());
    EXPECT_EQ(filesOf(demo.tables(), stem).size(), 1u);  // the companions kept their names
}

INSTANTIATE_TEST_SUITE_P(Names, TableAloneWithCompanionsInOtherCase,
                         ::testing::Values(CaseTwin{"Paradox", "KUNDEN.DB", "kunden"},
                                           CaseTwin{"Dbase", "ARTIKEL.DBF", "artikel"}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kx4

// Tables in directories other programs and users share: files of unexpected kinds, other
// owners and modes, readers without write access.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "DemoAlias.h"
#include "Errors.h"
#include "Session.h"
#include "Table.h"
#include "TableMaintenance.h"

namespace kx4 {
namespace {

using test::DemoAlias;

bool mentions(const std::exception& e, const std::string& text) {
    return std::string(e.what()).find(text) != std::string::npos;
}

// What a user does with a table: read every record, check it and, when sound, pack it. Returns
// the problems the check found.
std::vector<std::string> useTable(const std::string& name) {
    test::dumpTable("DEMO", name);
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = name;
    table.Exclusive = true;
    table.Open();
    const auto problems = table.File().check();
    if (problems.empty()) packTable(table.Format(), table.File());
    return problems;
}

struct SpecialFile {
    const char* table;
    const char* file;  // the table itself or one of its companions
};

class FifoInPlaceOf : public ::testing::TestWithParam<SpecialFile> {};

// A FIFO blocks whoever opens it until a writer comes; a table must not wait for that.
TEST_P(FifoInPlaceOf, IsRefusedAtOnce) {
    DemoAlias demo;
    const std::string path = demo.table(GetParam().file);
    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    const std::string table = GetParam().table;
    const int outcome = test::inChildProcess([&] {
        ::alarm(30);  // a hang ends the child, which fails the test
        const std::string refusal = GetParam().file + std::string(" is not a regular file");
        try {
            for (const auto& problem : useTable(table))
                if (problem.find(refusal) != std::string::npos) return 0;
            return 1;
        } catch (const EDBEngineError& e) {
            return mentions(e, refusal) ? 0 : 2;
        }
    });
    EXPECT_EQ(outcome, 0) << "1: the table was used, 2: another error, -1: it hung";
}

INSTANTIATE_TEST_SUITE_P(Files, FifoInPlaceOf,
                         ::testing::Values(SpecialFile{"KUNDEN.DB", "KUNDEN.DB"},
                                           SpecialFile{"KUNDEN.DB", "KUNDEN.MB"},
                                           SpecialFile{"KUNDEN.DB", "KUNDEN.PX"},
                                           SpecialFile{"ARTIKEL.DBF", "ARTIKEL.DBF"},
                                           SpecialFile{"ARTIKEL.DBF", "ARTIKEL.DBT"},
                                           SpecialFile{"ARTIKEL.DBF", "ARTIKEL.MDX"},
                                           SpecialFile{"PREISE.TXT", "PREISE.TXT"},
                                           SpecialFile{"PREISE.TXT", "PREISE.SCH"}));

TEST(SharedDirectory, TableListShowsRegularFilesAndLinksToThemOnly) {
    DemoAlias demo;
    ASSERT_EQ(::mkfifo(demo.table("FIFO.DB").c_str(), 0644), 0);
    std::filesystem::create_directory(demo.table("ORDNER.DBF"));
    std::filesystem::create_symlink(demo.table("KUNDEN.DB"), demo.table("VERWEIS.DB"));
    std::filesystem::create_symlink(demo.table("FEHLT.DB"), demo.table("TOT.DB"));
    std::vector<std::string> names;
    Session().GetTableNames("DEMO", "", true, false, names);
    EXPECT_EQ(names, (std::vector<std::string>{"ARTIKEL.DBF", "KONTEN.DB", "KUNDEN.DB",
                                               "PREISE.TXT", "VERWEIS.DB"}));
}

}  // namespace
}  // namespace kx4

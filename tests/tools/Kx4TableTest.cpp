// kx4table run as its own process on real table files: exit status, output and the files it
// leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "DBaseFormat.h"
#include "FieldType.h"
#include "ParadoxFormat.h"
#include "Session.h"
#include "TableMaintenance.h"
#include "TestSupport.h"

namespace kx4::test {
namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(KX4_BINARY_DIR) + "/bin/kx4table";

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs kx4table with `args` (already quoted where needed) and standard input from /dev/null.
ToolRun runTool(const std::string& args, const TempDir& scratch, const std::string& env = "") {
    const std::string errFile = scratch.file("stderr.txt");
    ToolRun run;
    run.status = runCommand(
        env + " " + quoted(kTool) + " " + args + " </dev/null 2>" + quoted(errFile), run.out);
    std::ifstream in(errFile);
    std::stringstream err;
    err << in.rdbuf();
    run.err = err.str();
    fs::remove(errFile);
    return run;
}

// A dBase table of 500 records with a tag, as the engine writes it.
std::string articles(const fs::path& dir) {
    const std::string path = (dir / "ARTIKEL.DBF").string();
    TableSchema schema;
    schema.fields = {fieldForCreate(dbaseFormat(), "ARTNR", TFieldType::ftInteger, 0, false),
                     fieldForCreate(dbaseFormat(), "NAME", TFieldType::ftString, 20, false)};
    schema.indexes = {indexOn("ARTNR", "ARTNR")};
    std::vector<Record> records;
    for (std::int64_t i = 1; i <= 500; ++i) records.push_back({i, "Artikel " + std::to_string(i)});
    createTable(dbaseFormat(), TablePath{dir.string(), "ARTIKEL.DBF"}, schema, records);
    return path;
}

struct ShortFile {
    const char* name;
    void (*damage)(const std::string& path);
    const char* named;
};

std::ostream& operator<<(std::ostream& os, const ShortFile& f) { return os << f.name; }

class DbaseHeaderDisagrees : public ::testing::TestWithParam<ShortFile> {};

TEST_P(DbaseHeaderDisagrees, DumpFailsAndPackAndReindexLeaveTheFilesAlone) {
    TempDir dir, scratch;
    const std::string path = articles(dir.path());
    GetParam().damage(path);
    const std::string before = directorySnapshot(dir.path());

    const ToolRun dump = runTool("dump " + quoted(path), scratch);
    EXPECT_EQ(dump.status, 1) << dump.out;
    EXPECT_NE(dump.err.find(GetParam().named), std::string::npos) << dump.err;

    const ToolRun check = runTool("check " + quoted(path), scratch);
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(check.out.find(GetParam().named), std::string::npos) << check.out;

    for (const char* command : {"pack", "reindex"}) {
        const ToolRun run = runTool(std::string(command) + " " + quoted(path), scratch);
        EXPECT_EQ(run.status, 1) << command << ": " << run.out;
        EXPECT_NE(run.err.find(GetParam().named), std::string::npos) << command << ": " << run.err;
        EXPECT_EQ(directorySnapshot(dir.path()), before) << command;
    }
}

void setBytes(const std::string& path, std::streamoff at, std::initializer_list<unsigned char> b) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(at);
    for (unsigned char c : b) f.put(static_cast<char>(c));
}

INSTANTIATE_TEST_SUITE_P(
    Files, DbaseHeaderDisagrees,
    ::testing::Values(
        ShortFile{"CutShort",
                  [](const std::string& p) {
                      // 40 of the 500 records stay: header 97 bytes, records 32 bytes
                      fs::resize_file(p, 97 + 40 * 32 + 7);
                  },
                  "the header counts 500 records of 32 bytes, but the file holds only 40"},
        ShortFile{"CountedTooMany",
                  [](const std::string& p) {
                      setBytes(p, 4, {0x88, 0x13});
                  },  // 5000
                  "the header counts 5000 records of 32 bytes, but the file holds only 500"},
        ShortFile{"RecordLengthWordWrong", [](const std::string& p) { setBytes(p, 10, {0xFF}); },
                  "the header's record length is 255 bytes, but its fields take 32"}),
    [](const auto& info) { return std::string(info.param.name); });

// C.DB with a primary and a secondary index, and c.db beside it without any.
TEST(TablesDifferingInCase, DescribeListsOnlyTheTablesOwnIndexes) {
    TempDir dir, scratch;
    TableSchema keyed;
    keyed.fields = {fieldForCreate(paradoxFormat(), "NR", TFieldType::ftInteger, 0, true),
                    fieldForCreate(paradoxFormat(), "NAME", TFieldType::ftString, 20, false)};
    keyed.indexes = {indexOn("", "NR", IndexOption::ixPrimary)};
    createTable(paradoxFormat(), TablePath{dir.path().string(), "C.DB"}, keyed, {{1, "eins"}});
    addIndexToTable(paradoxFormat(), TablePath{dir.path().string(), "C.DB"},
                    indexOn("NAME", "NAME"), Session());
    TableSchema plain;
    plain.fields = {keyed.fields[1]};
    createTable(paradoxFormat(), TablePath{dir.path().string(), "c.db"}, plain, {{"zwei"}});

    const ToolRun upper = runTool("describe " + quoted(dir.file("C.DB")), scratch);
    EXPECT_EQ(upper.status, 0) << upper.err;
    EXPECT_NE(upper.out.find("index\tNAME"), std::string::npos) << upper.out;
    const ToolRun lower = runTool("describe " + quoted(dir.file("c.db")), scratch);
    EXPECT_EQ(lower.status, 0) << lower.err;
    EXPECT_EQ(lower.out, "NAME\tString\t20\n");
    const ToolRun check = runTool("check " + quoted(dir.file("c.db")), scratch);
    EXPECT_EQ(check.status, 0) << check.out;
}

}  // namespace
}  // namespace kx4::test

// kx4table run as its own process on real table files: exit status, output and the files it
// leaves behind.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "engine/Session.h"
#include "engine/TableMaintenance.h"
#include "engine/core/FieldType.h"
#include "engine/core/FileTransaction.h"
#include "engine/dbase/DBaseFormat.h"
#include "engine/paradox/ParadoxFormat.h"
#include "tests/support/TestSupport.h"
#include "tools/kx4table/DemoDatabase.h"

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
    const TablePath keyedPath{dir.path().string(), "C.DB"};
    addIndexToTable(paradoxFormat(), keyedPath, indexOn("NAME", "NAME"),
                    Session().openOptions(keyedPath, true));
    TableSchema plain;
    plain.fields = {keyed.fields[1]};
    createTable(paradoxFormat(), TablePath{dir.path().string(), "c.db"}, plain, {{"zwei"}});

    const ToolRun upper = runTool("describe " + quoted(dir.file("C.DB")), scratch);
    EXPECT_EQ(upper.status, 0) << upper.err;
    EXPECT_NE(upper.out.find("index\tNAME"), std::string::npos) << upper.out;
    const ToolRun lower = runTool("describe " + quoted(dir.file("c.db")), scratch);
    EXPECT_EQ(lower.status, 0) << lower.err;
    EXPECT_EQ(lower.out, "NAME\tString\t20\ncodepage\t1252\ttable\n");
    const ToolRun check = runTool("check " + quoted(dir.file("c.db")), scratch);
    EXPECT_EQ(check.status, 0) << check.out;
}

// KONTEN.DB of the demo tables is protected with this password.
constexpr const char* kPassword = "86Gm2yB3E7";

struct PasswordCase {
    const char* name;
    std::string args;      // after the table path; PWFILE stands for a file holding `fileText`
    std::string fileText;  // contents of the password file
    std::string env;       // variables set for the run
    int status;
    const char* says;  // in the output (status 0) or the error
};

std::ostream& operator<<(std::ostream& os, const PasswordCase& c) { return os << c.name; }

class PasswordSources : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(PasswordSources, OpenTheProtectedTableOrSayWhyNot) {
    TempDir dir, scratch;
    writeDemoTables(dir.path().string());
    std::string args = GetParam().args;
    if (const auto at = args.find("PWFILE"); at != std::string::npos) {
        std::ofstream(scratch.file("pw")) << GetParam().fileText;
        fs::permissions(scratch.file("pw"), fs::perms::owner_read | fs::perms::owner_write);
        args.replace(at, 6, quoted(scratch.file("pw")));
    }
    const ToolRun run = runTool("describe " + quoted(dir.file("KONTEN.DB")) + " " + args, scratch,
                                "env -u KX4_PASSWORDS " + GetParam().env);
    EXPECT_EQ(run.status, GetParam().status) << run.err;
    const std::string& text = GetParam().status == 0 ? run.out : run.err;
    EXPECT_NE(text.find(GetParam().says), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Sources, PasswordSources,
    ::testing::Values(
        PasswordCase{"None", "", "", "", 1, "is password protected and no password was given"},
        PasswordCase{"Option", std::string("--password ") + kPassword, "", "", 0, "KONTO"},
        PasswordCase{"WrongOption", "--password 1234567890", "", "", 1,
                     "The password given does not fit table"},
        PasswordCase{"File", "--password-file PWFILE", std::string("other\r\n") + kPassword + "\n",
                     "", 0, "KONTO"},
        PasswordCase{"FileWithoutTheRightOne", "--password-file=PWFILE", "one\ntwo\n", "", 1,
                     "None of the 2 passwords given fits table"},
        PasswordCase{"MissingFile", "--password-file /nonexistent/pw", "", "", 1,
                     "cannot read the password file /nonexistent/pw"},
        PasswordCase{"Environment", "", "", std::string("KX4_PASSWORDS=abc:") + kPassword + ":xyz",
                     0, "KONTO"},
        PasswordCase{"WrongEnvironment", "", "", "KX4_PASSWORDS=abc:xyz", 1,
                     "None of the 2 passwords given fits table"}),
    [](const auto& info) { return std::string(info.param.name); });

// Runs kx4table on a pseudo terminal and returns all it wrote there; `status` gets its exit
// status. `react` sees the output so far each time more comes, and may answer or signal once.
using Reaction = std::function<bool(const std::string& seen, pid_t child, int terminal)>;
std::string onTerminal(const std::vector<std::string>& args, const Reaction& react, int& status) {
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        std::vector<char*> argv{const_cast<char*>(kTool.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::unsetenv("KX4_PASSWORDS");
        ::execv(kTool.c_str(), argv.data());
        ::_exit(127);
    }
    std::string seen;
    bool answered = false;
    char buffer[512];
    for (;;) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 30000) <= 0) {  // the tool waits for nothing this long
            ADD_FAILURE() << "kx4table hangs; it wrote: " << seen;
            ::kill(child, SIGKILL);
            break;
        }
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the child has gone
        seen.append(buffer, static_cast<std::size_t>(n));
        if (!answered) answered = react(seen, child, master);
    }
    ::close(master);
    int raw = 0;
    ::waitpid(child, &raw, 0);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return seen;
}

TEST(PasswordOnTerminal, IsAskedWithoutEchoWhenNoneFits) {
    TempDir dir;
    writeDemoTables(dir.path().string());
    int status = -1;
    const auto answer = [](const std::string& seen, pid_t, int terminal) {
        if (seen.find("Password for") == std::string::npos) return false;
        const std::string line = kPassword + std::string("\n");
        EXPECT_EQ(::write(terminal, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        return true;
    };
    const std::string seen = onTerminal({"dump", dir.file("KONTEN.DB")}, answer, status);
    EXPECT_EQ(status, 0) << seen;
    EXPECT_NE(seen.find("Password for " + dir.file("KONTEN.DB")), std::string::npos) << seen;
    EXPECT_NE(seen.find("DE-1001-01"), std::string::npos) << seen;
    EXPECT_EQ(seen.find(kPassword), std::string::npos) << "echoed: " << seen;
}

// A dBase table large enough that a pack takes a while, with two tags.
std::string largeTable(const fs::path& dir) {
    constexpr std::int64_t kRecords = 200000;
    const TablePath path{dir.string(), "GROSS.DBF"};
    TableSchema schema;
    schema.fields = {fieldForCreate(dbaseFormat(), "NR", TFieldType::ftInteger, 0, false),
                     fieldForCreate(dbaseFormat(), "NAME", TFieldType::ftString, 30, false)};
    schema.indexes = {indexOn("NR", "NR"), indexOn("NAME", "NAME")};
    FileTransaction tx(defaultFileSystem(), path.full());
    auto builder = dbaseFormat().build(path, schema, nullptr, tx);
    for (std::int64_t i = 1; i <= kRecords; ++i)
        builder->append({i * 7919 % kRecords, "Name " + std::to_string(i % 10007)});
    builder->finish();
    tx.commit();
    return path.full();
}

// Ctrl-C during a pack on a terminal: the bar was drawn, the table stays as it was, status 130.
// Without a terminal the same pack draws nothing.
TEST(ProgressOnTerminal, CtrlCStopsThePackAndLeavesTheTable) {
    TempDir dir, scratch;
    const std::string table = largeTable(dir.path());
    const std::string before = directorySnapshot(dir.path());
    int status = -1;
    const auto interrupt = [](const std::string& seen, pid_t child, int) {
        if (seen.find("records  [") == std::string::npos) return false;
        ::kill(child, SIGINT);
        return true;
    };
    const std::string seen = onTerminal({"pack", table}, interrupt, status);
    EXPECT_EQ(status, 130) << seen;
    EXPECT_NE(seen.find("was not changed"), std::string::npos) << seen;
    EXPECT_EQ(directorySnapshot(dir.path()), before);

    const ToolRun run = runTool("pack " + quoted(table), scratch);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace kx4::test

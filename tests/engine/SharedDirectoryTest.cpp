// Tables in directories other programs and users share: files of unexpected kinds, other
// owners and modes, readers without write access.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/Session.h"
#include "engine/Table.h"
#include "engine/TableMaintenance.h"
#include "engine/core/Errors.h"
#include "tests/support/DemoAlias.h"

namespace kx4 {
namespace {

using test::DemoAlias;

constexpr uid_t kNobody = 65534;

// Turns the calling (child) process into user and group "nobody"; false when it cannot.
bool becomeNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

void packCustomers() {
    TTable table;
    table.DatabaseName = "DEMO";
    table.TableName = "KUNDEN.DB";
    table.Exclusive = true;
    table.Open();
    packTable(table.Format(), table.File());
}

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

struct Access {
    mode_t mode;
    uid_t owner;
    gid_t group;
    bool operator==(const Access&) const = default;
};

Access accessOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return {st.st_mode & 07777, st.st_uid, st.st_gid};
}

std::vector<std::string> filesOfCustomers(const DemoAlias& demo) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(demo.tables()))
        if (e.path().stem() == "KUNDEN") files.push_back(e.path().string());
    return files;
}

class RewrittenTable : public ::testing::TestWithParam<mode_t> {};

// A rewrite gives nobody access the table's files did not give, and takes none away; new
// companions (a new secondary index) are accessible like the data file.
TEST_P(RewrittenTable, KeepsModeOwnerAndGroupOfItsFiles) {
    DemoAlias demo;
    // Another owner and group where this process may give files away (as root), else its own.
    const Access wanted{GetParam(), ::geteuid() == 0 ? 65534u : ::geteuid(),
                        ::geteuid() == 0 ? 65534u : ::getegid()};
    for (const auto& file : filesOfCustomers(demo)) {
        ASSERT_EQ(::chown(file.c_str(), wanted.owner, wanted.group), 0);
        ASSERT_EQ(::chmod(file.c_str(), wanted.mode), 0);
    }
    {
        TTable table;
        table.DatabaseName = "DEMO";
        table.TableName = "KUNDEN.DB";
        table.Exclusive = true;
        table.Open();
        packTable(table.Format(), table.File());
        table.AddIndex("ORT", "ORT", {});
    }
    const auto files = filesOfCustomers(demo);
    EXPECT_GE(files.size(), 5u);  // .DB, .MB, .PX and the index's .X and .Y files
    for (const auto& file : files) EXPECT_EQ(accessOf(file), wanted) << file;
}

INSTANTIATE_TEST_SUITE_P(Modes, RewrittenTable, ::testing::Values(0600, 0640, 0660, 0664));

// Sets or clears the immutable flag; false where the file system or the process cannot.
bool setImmutable(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (fd >= 0) ::close(fd);
    return done;
}

class UnreplaceableCompanion : public ::testing::TestWithParam<const char*> {};

// A file that cannot be replaced is found before the point of no return: the pack fails and
// leaves the table as it was, instead of switching the data file alone.
TEST_P(UnreplaceableCompanion, LeavesTheTableUnchanged) {
    DemoAlias demo;
    {
        TTable table;
        table.DatabaseName = "DEMO";
        table.TableName = "KUNDEN.DB";
        table.AddIndex("NAMEN", "NAME", IndexOption::ixCaseInsensitive);
    }
    const std::string file = demo.table(GetParam());
    ASSERT_TRUE(std::filesystem::exists(file));
    const auto before = test::directorySnapshot(demo.tables());
    if (!setImmutable(file, true)) GTEST_SKIP() << "files cannot be made immutable here";
    try {
        packCustomers();
        ADD_FAILURE() << "the pack succeeded";
    } catch (const EDBEngineError& e) {
        EXPECT_TRUE(mentions(e, GetParam())) << e.what();
        EXPECT_TRUE(mentions(e, "was not changed")) << e.what();
    }
    ASSERT_TRUE(setImmutable(file, false));
    EXPECT_EQ(test::directorySnapshot(demo.tables()), before);
    EXPECT_NE(test::dumpTable("DEMO", "KUNDEN.DB"), "");
}

INSTANTIATE_TEST_SUITE_P(Files, UnreplaceableCompanion,
                         ::testing::Values("KUNDEN.MB", "KUNDEN.PX", "KUNDEN.XG0", "KUNDEN.YG0"));

// In a sticky directory only a file's owner may replace it: another user's pack must fail
// before anything is switched.
TEST(SharedDirectory, PackInAStickyDirectoryOfAnotherUserLeavesTheTableUnchanged) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    DemoAlias demo;
    ASSERT_EQ(::chmod(demo.tables().c_str(), 01777), 0);
    for (const auto& f : filesOfCustomers(demo)) ASSERT_EQ(::chmod(f.c_str(), 0666), 0);
    const auto before = test::directorySnapshot(demo.tables());
    const int outcome = test::inChildProcess([] {
        if (!becomeNobody()) return 3;
        try {
            packCustomers();
            return 1;
        } catch (const EDBEngineError& e) {
            return mentions(e, "was not changed") ? 0 : 2;
        }
    });
    ASSERT_NE(outcome, 3) << "cannot become user nobody";
    EXPECT_EQ(outcome, 0) << "1: packed, 2: another error";
    EXPECT_EQ(test::directorySnapshot(demo.tables()), before);
}

// A user who may only read: the table as it was before an interrupted change, or, once a change
// was committed and is half in place, a clear word who must finish it.
TEST(SharedDirectory, ReaderWithoutWriteAccessAfterAnInterruptedChange) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    DemoAlias demo;
    const std::string before = test::dumpTable("DEMO", "KUNDEN.DB");
    const auto readAsNobody = [](std::string& out) {
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0) return -1;
        const int outcome = test::inChildProcess([&] {
            if (!becomeNobody()) return 3;
            std::string text;
            try {
                text = test::dumpTable("DEMO", "KUNDEN.DB");
            } catch (const EDBEngineError& e) {
                text = std::string("error: ") + e.what();
            }
            (void)!::write(pipeEnds[1], text.data(), text.size());
            return 0;
        });
        ::close(pipeEnds[1]);
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
            out.append(buffer, n);
        ::close(pipeEnds[0]);
        return outcome;
    };
    // Interrupted before the journal: staged files of the pack lie beside the old table.
    std::filesystem::copy_file(demo.table("KUNDEN.MB"), demo.table("KUNDEN.DB.MB.kx4tmp"));
    std::filesystem::copy_file(demo.table("KUNDEN.DB"), demo.table("KUNDEN.DB.DB.kx4tmp"));
    std::string read;
    ASSERT_NE(readAsNobody(read), 3) << "cannot become user nobody";
    EXPECT_EQ(read, before);

    // Interrupted after the journal, the data file already switched.
    std::ofstream(demo.table("KUNDEN.DB.kx4journal"))
        << "KX4JOURNAL "
           "1\nR\tKUNDEN.DB.DB.kx4tmp\tKUNDEN.DB\nR\tKUNDEN.DB.MB.kx4tmp\tKUNDEN.MB\nEND\n";
    std::filesystem::rename(demo.table("KUNDEN.DB.DB.kx4tmp"), demo.table("KUNDEN.DB"));
    read.clear();
    readAsNobody(read);
    EXPECT_EQ(read,
              "error: an interrupted change of KUNDEN.DB must be finished by a user with "
              "write access");
    // A user with write access finishes it.
    EXPECT_EQ(test::dumpTable("DEMO", "KUNDEN.DB"), before);
    EXPECT_FALSE(std::filesystem::exists(demo.table("KUNDEN.DB.kx4journal")));
}

}  // namespace
}  // namespace kx4

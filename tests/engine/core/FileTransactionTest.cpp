#include <gtest/gtest.h>

#include <fstream>

#include "engine/core/Errors.h"
#include "engine/core/ExternalSort.h"
#include "engine/core/FileTransaction.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/TestSupport.h"

namespace kx4 {
namespace {

using test::FaultyFileSystem;
using test::SimulatedCrash;
using test::TempDir;

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const std::string& path) {
    const auto bytes = test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The companions of the table T.DB of these tests.
bool isCompanionOfT(const std::string& name) {
    return name == "T.MB" || name == "T.PX" || name.starts_with("T.X0");
}

void stageText(FileTransaction& tx, const std::string& target, const std::string& text) {
    tx.stage(target).writeAt(0, text.data(), text.size());
}

// Old table: data, blob file and one index. New table: data and blob rewritten, index dropped,
// a new index added.
void replaceTable(const TempDir& dir, FileSystem& fs = realFileSystem()) {
    FileTransaction tx(fs, dir.file("T.DB"));
    stageText(tx, dir.file("T.DB"), "new data");
    stageText(tx, dir.file("T.MB"), "new blobs");
    stageText(tx, dir.file("T.X02"), "new index");
    tx.removeOnCommit(dir.file("T.X01"));
    tx.commit();
}

void writeOldTable(const TempDir& dir) {
    writeText(dir.file("T.DB"), "old data");
    writeText(dir.file("T.MB"), "old blobs");
    writeText(dir.file("T.X01"), "old index");
}

bool isOld(const TempDir& dir) {
    return readText(dir.file("T.DB")) == "old data" && readText(dir.file("T.MB")) == "old blobs" &&
           readText(dir.file("T.X01")) == "old index" &&
           !std::filesystem::exists(dir.file("T.X02"));
}

bool isNew(const TempDir& dir) {
    return readText(dir.file("T.DB")) == "new data" && readText(dir.file("T.MB")) == "new blobs" &&
           readText(dir.file("T.X02")) == "new index" &&
           !std::filesystem::exists(dir.file("T.X01"));
}

TEST(FileTransaction, CommitReplacesEveryFileAndLeavesNoTemporaries) {
    TempDir dir;
    writeOldTable(dir);
    replaceTable(dir);
    EXPECT_TRUE(isNew(dir));
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 3);
}

TEST(FileTransaction, AbandonedTransactionLeavesTheOldFiles) {
    TempDir dir;
    writeOldTable(dir);
    {
        FileTransaction tx(realFileSystem(), dir.file("T.DB"));
        stageText(tx, dir.file("T.DB"), "new data");
        tx.removeOnCommit(dir.file("T.X01"));
    }
    EXPECT_TRUE(isOld(dir));
    EXPECT_FALSE(std::filesystem::exists(dir.file("T.DB.DB.kx4tmp")));
}

// Crash at every mutating step of a commit; after recovery the table is wholly old or wholly new.
TEST(FileTransaction, CrashAtAnyStepRecoversToOldOrNew) {
    int total = 0;
    {
        TempDir dir;
        writeOldTable(dir);
        FaultyFileSystem counting(0);
        replaceTable(dir, counting);
        total = counting.operations();
    }
    ASSERT_GT(total, 8);
    bool sawOld = false, sawNew = false;
    for (int crashAt = 1; crashAt <= total; ++crashAt) {
        SCOPED_TRACE("crash at operation " + std::to_string(crashAt));
        TempDir dir;
        writeOldTable(dir);
        {
            FaultyFileSystem faulty(crashAt);
            EXPECT_THROW(replaceTable(dir, faulty), SimulatedCrash);
        }
        FileTransaction::recover(realFileSystem(), dir.file("T.DB"), isCompanionOfT);
        const bool old = isOld(dir), fresh = isNew(dir);
        EXPECT_TRUE(old || fresh);
        sawOld |= old;
        sawNew |= fresh;
        for (auto& e : std::filesystem::directory_iterator(dir.path()))
            EXPECT_EQ(e.path().filename().string().find("kx4"), std::string::npos) << e.path();
    }
    EXPECT_TRUE(sawOld);
    EXPECT_TRUE(sawNew);
}

TEST(FileTransaction, FullDiskFailsCleanlyAndKeepsTheOldFiles) {
    TempDir dir;
    writeOldTable(dir);
    {
        FaultyFileSystem full(2, /*diskFull=*/true);
        try {
            replaceTable(dir, full);
            FAIL() << "expected a full-disk error";
        } catch (const EDBEngineError& e) {
            EXPECT_EQ(e.errorCode(), DBIERR_OSENOSPC);
            EXPECT_NE(std::string(e.what()).find("No space left"), std::string::npos);
        }
    }
    EXPECT_TRUE(isOld(dir));
}

TEST(FileTransaction, RecoveryWaitsWhileAnotherHolderHasTheTable) {
    TempDir dir;
    writeOldTable(dir);
    // A journal as a crashed commit would leave it, but the table is held exclusively.
    writeText(dir.file("T.DB.DB.kx4tmp"), "new data");
    writeText(dir.file("T.DB.kx4journal"), "KX4JOURNAL 1\nR\tT.DB.DB.kx4tmp\tT.DB\nEND\n");
    auto holder = realFileSystem().open(dir.file("T.DB"), OpenMode::ReadWrite);
    ASSERT_TRUE(holder->tryLock(LockMode::Exclusive));
    FileTransaction::recover(realFileSystem(), dir.file("T.DB"), isCompanionOfT);
    EXPECT_EQ(readText(dir.file("T.DB")), "old data");
    holder.reset();
    FileTransaction::recover(realFileSystem(), dir.file("T.DB"), isCompanionOfT);
    EXPECT_EQ(readText(dir.file("T.DB")), "new data");
    EXPECT_FALSE(std::filesystem::exists(dir.file("T.DB.kx4journal")));
}

// A neighbour of table X.DB: another table of the directory (existing or not) whose opening
// runs recovery in another process while X.DB is being rewritten.
struct Neighbour {
    std::string name;
    bool exists;
};

class RecoveryOfANeighbour : public ::testing::TestWithParam<Neighbour> {};

TEST_P(RecoveryOfANeighbour, LeavesTheStagedFilesOfARunningRewrite) {
    TempDir dir;
    writeText(dir.file("X.DB"), "old data");
    writeText(dir.file("X.MB"), "old blobs");
    if (GetParam().exists) writeText(dir.file(GetParam().name), "another table");
    auto holder = realFileSystem().open(dir.file("X.DB"), OpenMode::ReadWrite);
    ASSERT_TRUE(holder->tryLock(LockMode::Exclusive));
    FileTransaction tx(realFileSystem(), dir.file("X.DB"));
    stageText(tx, dir.file("X.DB"), "new data");
    stageText(tx, dir.file("X.MB"), "new blobs");

    const std::string neighbour = dir.file(GetParam().name);
    ASSERT_EQ(test::inChildProcess([&] {
                  FileTransaction::recover(realFileSystem(), neighbour,
                                           [](const std::string&) { return false; });
                  return 0;
              }),
              0);
    tx.commit();
    EXPECT_EQ(readText(dir.file("X.DB")), "new data");
    EXPECT_EQ(readText(dir.file("X.MB")), "new blobs");
    if (GetParam().exists) {
        EXPECT_EQ(readText(neighbour), "another table");
    }
}

INSTANTIATE_TEST_SUITE_P(Neighbours, RecoveryOfANeighbour,
                         ::testing::Values(Neighbour{"X.DBF", true}, Neighbour{"X.TXT", true},
                                           Neighbour{"x.db", true}, Neighbour{"X.B.DB", true},
                                           Neighbour{"X", true}, Neighbour{"X.Y", false},
                                           Neighbour{"x.db", false}));

// A table being created has no data file to lock yet: its temporary files are left alone.
TEST(FileTransaction, RecoveryLeavesTheFilesOfATableBeingCreated) {
    TempDir dir;
    FileTransaction tx(realFileSystem(), dir.file("NEU.DB"));
    stageText(tx, dir.file("NEU.DB"), "new data");
    stageText(tx, dir.file("NEU.MB"), "new blobs");
    const std::string table = dir.file("NEU.DB");
    ASSERT_EQ(test::inChildProcess([&] {
                  FileTransaction::recover(realFileSystem(), table,
                                           [](const std::string&) { return false; });
                  return 0;
              }),
              0);
    tx.commit();
    EXPECT_EQ(readText(dir.file("NEU.DB")), "new data");
    EXPECT_EQ(readText(dir.file("NEU.MB")), "new blobs");
}

TEST(FileTransaction, CommitFailsWhenAStagedFileVanished) {
    TempDir dir;
    writeOldTable(dir);
    FileTransaction tx(realFileSystem(), dir.file("T.DB"));
    stageText(tx, dir.file("T.DB"), "new data");
    stageText(tx, dir.file("T.MB"), "new blobs");
    std::filesystem::remove(dir.file("T.DB.MB.kx4tmp"));
    try {
        tx.commit();
        FAIL() << "a commit without its staged blob file succeeded";
    } catch (const EDBEngineError& e) {
        EXPECT_NE(std::string(e.what()).find("T.MB"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(isOld(dir));
}

// A journal that names anything but the table's own files (written by another program, or
// planted) is refused: nothing of it is carried out, inside the directory or beyond.
class ForeignJournal : public ::testing::TestWithParam<std::string> {};

TEST_P(ForeignJournal, IsRefusedAndNothingHappens) {
    TempDir dir;
    writeOldTable(dir);
    std::filesystem::create_directory(dir.file("sub"));
    writeText(dir.file("sub/T.DB"), "outside");
    writeText(dir.file("T.DBF"), "another table");
    writeText(dir.file("T.DB.DB.kx4tmp"), "planted data");
    writeText(dir.file("T.DB.MB.kx4tmp"), "planted blobs");
    const std::string journal = "KX4JOURNAL 1\n" + GetParam() + "\nEND\n";
    writeText(dir.file("T.DB.kx4journal"), journal);
    const auto before = test::directorySnapshot(dir.path());
    try {
        FileTransaction::recover(realFileSystem(), dir.file("T.DB"), isCompanionOfT);
        FAIL() << "the journal was accepted";
    } catch (const EDBEngineError& e) {
        EXPECT_NE(std::string(e.what()).find("not carried out"), std::string::npos) << e.what();
    }
    EXPECT_EQ(test::directorySnapshot(dir.path()), before);
    EXPECT_EQ(readText(dir.file("sub/T.DB")), "outside");
}

INSTANTIATE_TEST_SUITE_P(Entries, ForeignJournal,
                         ::testing::Values("D\tsub/T.DB", "D\t../T.DB",
                                           "R\tT.DB.DB.kx4tmp\tsub/T.DB",
                                           "R\t../T.DB.DB.kx4tmp\tT.DB", "R\tT.MB\tT.DB",
                                           "R\tT.X01\tT.DB", "R\tT.DB.MB.kx4tmp\tT.DB", "D\tT.DB",
                                           "D\tT.DBF", "R\tT.DB.DB.kx4tmp\tT.DBF",
                                           "R\tT.DB.DB.kx4tmp\t.", "D\t..", "D\t/etc/T.MB",
                                           "R\tT.DB.MB.kx4tmp\tT.MB\nQ\tT.X01"));

// Links planted under every name the temporary files of a rewrite, a sort and a small-file
// replacement could take: each of them is replaced, never written through.
TEST(TemporaryFiles, AreNeverWrittenThroughAPlantedLink) {
    TempDir dir, outside;
    const std::string victim = outside.file("precious");
    writeText(victim, "precious");
    writeOldTable(dir);
    std::vector<std::string> names = {"T.DB.kx4tmp", "T.MB.kx4tmp", "T.X02.kx4tmp",
                                      "T.DB.kx4journal.kx4tmp", "REPORT.TXT.kx4tmp"};
    for (const std::string tag : {"DB", "MB", "X02", "journal"})
        names.push_back("T.DB." + tag + ".kx4tmp");
    for (int i = 0; i < 200; ++i) names.push_back("T.DB.sort" + std::to_string(i) + ".kx4tmp");
    for (const auto& name : names) std::filesystem::create_symlink(victim, dir.file(name));

    replaceTable(dir);
    EXPECT_TRUE(isNew(dir));
    {
        ExternalSorter sorter(realFileSystem(), dir.file("T.DB"), 64 * 1024);
        for (int i = 0; i < 20000; ++i) sorter.add(std::to_string(i % 997), std::string(16, 'x'));
        std::string key, payload, last;
        int count = 0;
        while (sorter.next(key, payload)) {
            EXPECT_LE(last, key);
            last = key;
            ++count;
        }
        EXPECT_EQ(count, 20000);
    }
    replaceWholeFile(dir.file("REPORT.TXT"), "report", 6);
    EXPECT_EQ(readText(dir.file("REPORT.TXT")), "report");
    EXPECT_EQ(readText(victim), "precious");
}

TEST(FileLock, ExclusiveLockConflictsAcrossOpenFilesOfOneProcess) {
    TempDir dir;
    writeText(dir.file("T.DB"), "x");
    auto a = realFileSystem().open(dir.file("T.DB"), OpenMode::ReadWrite);
    auto b = realFileSystem().open(dir.file("T.DB"), OpenMode::ReadWrite);
    ASSERT_TRUE(a->tryLock(LockMode::Shared));
    EXPECT_TRUE(b->tryLock(LockMode::Shared));
    b->unlock();
    EXPECT_FALSE(b->tryLock(LockMode::Exclusive));
    a->unlock();
    EXPECT_TRUE(b->tryLock(LockMode::Exclusive));
    EXPECT_FALSE(a->tryLock(LockMode::Shared));
}

}  // namespace
}  // namespace kx4

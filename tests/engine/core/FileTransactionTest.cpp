#include <gtest/gtest.h>

#include <fstream>

#include "Errors.h"
#include "FaultyFileSystem.h"
#include "FileTransaction.h"
#include "TestSupport.h"

namespace kx4 {
namespace {

using test::FaultyFileSystem;
using test::ScopedFileSystem;
using test::SimulatedCrash;
using test::TempDir;

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const std::string& path) {
    const auto bytes = test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void stageText(FileTransaction& tx, const std::string& target, const std::string& text) {
    tx.stage(target).writeAt(0, text.data(), text.size());
}

// Old table: data, blob file and one index. New table: data and blob rewritten, index dropped,
// a new index added.
void replaceTable(const TempDir& dir) {
    FileTransaction tx(dir.file("T.DB"));
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
           readText(dir.file("T.X01")) == "old index" && !std::filesystem::exists(dir.file("T.X02"));
}

bool isNew(const TempDir& dir) {
    return readText(dir.file("T.DB")) == "new data" && readText(dir.file("T.MB")) == "new blobs" &&
           readText(dir.file("T.X02")) == "new index" && !std::filesystem::exists(dir.file("T.X01"));
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
        FileTransaction tx(dir.file("T.DB"));
        stageText(tx, dir.file("T.DB"), "new data");
        tx.removeOnCommit(dir.file("T.X01"));
    }
    EXPECT_TRUE(isOld(dir));
    EXPECT_FALSE(std::filesystem::exists(dir.file("T.DB.kx4tmp")));
}

// Crash at every mutating step of a commit; after recovery the table is wholly old or wholly new.
TEST(FileTransaction, CrashAtAnyStepRecoversToOldOrNew) {
    int total = 0;
    {
        TempDir dir;
        writeOldTable(dir);
        FaultyFileSystem counting(0);
        ScopedFileSystem scope(counting);
        replaceTable(dir);
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
            ScopedFileSystem scope(faulty);
            EXPECT_THROW(replaceTable(dir), SimulatedCrash);
        }
        FileTransaction::recover(dir.file("T.DB"));
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
        ScopedFileSystem scope(full);
        try {
            replaceTable(dir);
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
    writeText(dir.file("T.DB.kx4tmp"), "new data");
    writeText(dir.file("T.DB.kx4journal"), "KX4JOURNAL 1\nR\tT.DB.kx4tmp\tT.DB\nEND\n");
    auto holder = fileSystem().open(dir.file("T.DB"), OpenMode::ReadWrite);
    ASSERT_TRUE(holder->tryLock(LockMode::Exclusive));
    FileTransaction::recover(dir.file("T.DB"));
    EXPECT_EQ(readText(dir.file("T.DB")), "old data");
    holder.reset();
    FileTransaction::recover(dir.file("T.DB"));
    EXPECT_EQ(readText(dir.file("T.DB")), "new data");
    EXPECT_FALSE(std::filesystem::exists(dir.file("T.DB.kx4journal")));
}

TEST(FileLock, ExclusiveLockConflictsAcrossOpenFilesOfOneProcess) {
    TempDir dir;
    writeText(dir.file("T.DB"), "x");
    auto a = fileSystem().open(dir.file("T.DB"), OpenMode::ReadWrite);
    auto b = fileSystem().open(dir.file("T.DB"), OpenMode::ReadWrite);
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

// A restructure, a pack or an index build interrupted at any step leaves the table old or new:
// every record present, every index agreeing with the data.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "engine/TableMaintenance.h"
#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

TableSchema schema() {
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger), field("Name", TFieldType::ftString, 20),
                field("Ort", TFieldType::ftString, 15), field("Notiz", TFieldType::ftMemo, 5)};
    s.indexes = {primaryKey("Nr"),
                 indexOn("_Name", "Name", TIndexOptions(IndexOption::ixCaseInsensitive))};
    return s;
}

std::vector<Record> rows(int n) {
    std::vector<Record> out;
    for (int i = 0; i < n; ++i)
        out.push_back({std::int64_t{(i * 7919) % n + 1},
                       std::string("Name ") + std::to_string(i % 97),
                       std::string("Ort") + std::to_string(i % 13),
                       i % 3 ? FieldValue{std::string(i % 40 * 60 + 1, 'a' + i % 26)} : Blank{}});
    return out;
}

using Operation = std::function<void(const std::string& path, FileSystem& fs)>;

struct Interrupted {
    const char* label;
    Operation run;
};

void widenName(const std::string& path, FileSystem& fs) {
    auto file = openParadox(path, true, nullptr, fs);
    RestructurePlan plan = identityPlan(file->schema());
    plan.fields[1].target.size = 30;
    restructureTable(paradoxFormat(), *file, plan);
}

void pack(const std::string& path, FileSystem& fs) {
    auto file = openParadox(path, true, nullptr, fs);
    packTable(paradoxFormat(), *file);
}

void addIndex(const std::string& path, FileSystem& fs) {
    IndexDef index;
    index.name = "_Ort&Name";
    index.fields = "Ort;Name";
    index.options.add(IndexOption::ixCaseInsensitive);
    ScriptedPasswords passwords;
    addIndexToTable(paradoxFormat(), tablePath(path), index, OpenOptions{true, &passwords, 0, fs});
}

void reindex(const std::string& path, FileSystem& fs) {
    auto file = openParadox(path, true, nullptr, fs);
    rebuildIndexes(paradoxFormat(), *file);
}

// The table opens (finishing or discarding the interrupted work), holds every record and
// checks clean.
void expectOldOrNew(const std::string& path, const std::vector<Record>& records,
                    const std::string& where) {
    auto table = openParadox(path);
    auto got = readAll(*table);
    EXPECT_EQ(got, records) << where;
    for (const auto& problem : table->check()) ADD_FAILURE() << where << ": " << problem;
    const auto& indexes = table->schema().indexes;
    ASSERT_GE(indexes.size(), 2u) << where;
    EXPECT_EQ(indexes[1].name, "_Name") << where;
    for (const auto& name : defaultFileSystem().listDirectory(directoryOf(path)))
        EXPECT_FALSE(name.ends_with(".kx4tmp") || name.ends_with(".kx4journal"))
            << where << ": " << name << " left behind";
}

class CrashPoint : public ::testing::TestWithParam<Interrupted> {};

TEST_P(CrashPoint, EveryStepLeavesTheOldOrTheNewTable) {
    TempDir master;
    const std::string original = master.file("KUNDEN.DB");
    writeParadox(original, schema(), rows(1500));
    std::vector<Record> records;
    {
        auto table = openParadox(original);
        records = readAll(*table);
    }
    // How many file operations the whole run takes.
    int total = 0;
    {
        TempDir dir;
        const std::string path = copyCorpusTable(original, dir.path());
        FaultyFileSystem counting(0);
        GetParam().run(path, counting);
        total = counting.operations();
    }
    ASSERT_GT(total, 10);
    const int step = std::max(1, total / 60);
    for (int crashAt = 1; crashAt <= total + 1; crashAt += step) {
        TempDir dir;
        const std::string path = copyCorpusTable(original, dir.path());
        {
            FaultyFileSystem faulty(crashAt);
            try {
                GetParam().run(path, faulty);
            } catch (const SimulatedCrash&) {
            } catch (const EDBEngineError&) {
            }
        }
        expectOldOrNew(path, records,
                       "crash at step " + std::to_string(crashAt) + " of " + std::to_string(total));
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Paradox, CrashPoint,
                         ::testing::Values(Interrupted{"restructure", widenName},
                                           Interrupted{"pack", pack},
                                           Interrupted{"index_build", addIndex},
                                           Interrupted{"reindex", reindex}),
                         [](const auto& info) { return std::string(info.param.label); });

// A real process killed at arbitrary moments of a pack, without any clean-up of its own.
TEST(KilledProcess, PackKilledAtAnyMomentLeavesTheOldOrTheNewTable) {
    TempDir master;
    const std::string original = master.file("KUNDEN.DB");
    writeParadox(original, schema(), rows(20000));
    std::vector<Record> records;
    {
        auto table = openParadox(original);
        records = readAll(*table);
    }
    for (int delayMs : {1, 5, 15, 40, 80, 150, 300}) {
        TempDir dir;
        const std::string path = copyCorpusTable(original, dir.path());
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                pack(path, realFileSystem());
                reindex(path, realFileSystem());
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        expectOldOrNew(path, records, "killed after " + std::to_string(delayMs) + " ms");
    }
}

}  // namespace
}  // namespace kx4::test

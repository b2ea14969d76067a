// Restructure, pack and index rebuild of a large Paradox table, each timed against copying the
// table's files with a flush, and the peak memory each needs.
//
//   paradox_bench [records] [directory] [operation]
// Defaults: 1000000 records, the system's temporary directory, every operation. The operation
// "create" only writes the table and leaves it in the directory.
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "engine/TableMaintenance.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/TableFormat.h"

namespace fs = std::filesystem;
using namespace kx4;
using namespace kx4::bench;

namespace {

TableFormat& paradox() { return formatFor(TTableType::ttParadox, "BENCH.DB"); }

FieldDef field(const std::string& name, TFieldType type, int size = 0) {
    return fieldForCreate(paradox(), name, type, size, false);
}

// About 100 bytes a record: key, three texts, an amount and a memo; two secondary indexes.
TableSchema benchSchema() {
    TableSchema s;
    s.fields = {field("Nr", TFieldType::ftInteger),         field("Name", TFieldType::ftString, 30),
                field("Vorname", TFieldType::ftString, 20), field("Ort", TFieldType::ftString, 25),
                field("Betrag", TFieldType::ftCurrency),    field("Notiz", TFieldType::ftMemo, 10)};
    IndexDef primary;
    primary.fields = "Nr";
    primary.options.add(IndexOption::ixPrimary).add(IndexOption::ixUnique);
    IndexDef byName;
    byName.name = "_Name&Vorname";
    byName.fields = "Name;Vorname";
    byName.options.add(IndexOption::ixCaseInsensitive);
    IndexDef byPlace;
    byPlace.name = "Ort";
    byPlace.fields = "Ort";
    s.indexes = {primary, byName, byPlace};
    return s;
}

Record benchRecord(std::uint64_t i, std::uint64_t n) {
    const std::uint64_t key = (i * 2654435761u) % n + 1;  // a permutation: records arrive unsorted
    std::string memo;
    if (i % 10 == 0) memo.assign(200 + i % 300, static_cast<char>('a' + i % 26));
    return {static_cast<std::int64_t>(key),
            "Name" + std::to_string(key * 7919 % 100003),
            "Vorname" + std::to_string(i % 977),
            "Ort" + std::to_string(i % 5003),
            static_cast<double>(key % 100000) / 4,
            memo.empty() ? FieldValue{Blank{}} : FieldValue{memo}};
}

// Hands freed memory back (building the table leaves much of it with the allocator), so that
// the peak counts what an operation holds rather than what the process once had.
void resetPeakMemory() {
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct Result {
    std::string name;
    double seconds;
    long peakKb;
};

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t n = argc > 1 ? std::stoull(argv[1]) : 1000000;
    const fs::path base = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
    const std::string only = argc > 3 ? argv[3] : "";
    const fs::path dir = base / ("kx4bench-" + std::to_string(::getpid()));
    fs::create_directories(dir / "copy");
    const TablePath path{dir.string(), "BENCH.DB"};

    std::cout << "Creating " << n << " records in " << path.full() << " ..." << std::endl;
    const double created = secondsOf([&] {
        FileTransaction tx(defaultFileSystem(), path.full());
        auto builder = paradox().build(path, benchSchema(), nullptr, tx);
        for (std::uint64_t i = 0; i < n; ++i) builder->append(benchRecord(i, n));
        builder->finish();
        tx.commit();
    });
    auto files = paradox().companionFiles(path, defaultFileSystem());
    std::cout << "  " << files.size() << " files, " << totalSize(files) / (1024 * 1024)
              << " MiB, built in " << created << " s" << std::endl;
    if (only == "create") return 0;  // the table stays, to be tried by hand

    std::vector<Result> results;
    // Each operation runs three times from a settled disk with the table's files out of the
    // page cache; the fastest run counts.
    auto measure = [&](const std::string& name, const std::function<void()>& work) {
        if (!only.empty() && name.find(only) == std::string::npos && name != "copy with flush")
            return;
        Result best{name, 1e9, 0};
        for (int run = 0; run < 3; ++run) {
            files = paradox().companionFiles(path, defaultFileSystem());
            ::sync();
            dropCaches(files);
            resetPeakMemory();
            const double s = secondsOf(work);
            best.seconds = std::min(best.seconds, s);
            best.peakKb = std::max(best.peakKb, peakMemoryKb());
        }
        results.push_back(best);
        std::cout << "  " << name << ": " << best.seconds << " s" << std::endl;
    };
    measure("copy with flush", [&] {
        fs::remove_all(dir / "copy");
        fs::create_directories(dir / "copy");
        copyFiles(files, dir / "copy");
    });
    measure("restructure (change one field's length)", [&] {
        auto file = paradox().open(path, OpenOptions{true, nullptr});
        RestructurePlan plan = identityPlan(file->schema());
        plan.fields[3].target.size = plan.fields[3].target.size == 25 ? 30 : 25;
        restructureTable(paradox(), *file, plan, nullptr, &benchProgress());
    });
    measure("pack", [&] {
        auto file = paradox().open(path, OpenOptions{true, nullptr});
        packTable(paradox(), *file, &benchProgress());
    });
    measure("rebuild all indexes", [&] {
        auto file = paradox().open(path, OpenOptions{true, nullptr});
        rebuildIndexes(paradox(), *file, &benchProgress());
    });
    {
        auto file = paradox().open(path, OpenOptions{false, nullptr});
        const auto problems = file->check();
        std::cout << "  check: " << (problems.empty() ? "clean" : problems.front()) << std::endl;
    }

    const double copy = results.front().seconds;
    std::cout
        << "\n| Operation | Time (s) | Ratio to copy | Peak memory (MiB) |\n|---|---|---|---|\n";
    for (const auto& r : results)
        std::printf("| %s | %.2f | %.2f | %.1f |\n", r.name.c_str(), r.seconds, r.seconds / copy,
                    r.peakKb / 1024.0);
    fs::remove_all(dir);
    return 0;
}

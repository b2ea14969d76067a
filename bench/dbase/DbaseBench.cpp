// Pack, ADD and DROP of a field, and index rebuild of a large dBase table, each timed against
// copying the table's files with a flush and against python3-dbf doing the same job, with the
// peak memory each needs.
//
//   dbase_bench [records] [directory] [operation] [python records]
// Defaults: 1000000 records, the system's temporary directory, every operation, 20000 records
// for the comparison with python3-dbf (which handles dBase III tables without indexes only, so
// that comparison runs on such a table; 0 skips it).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "engine/Query.h"
#include "engine/TableMaintenance.h"
#include "engine/core/FieldType.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/TableFormat.h"
#include "engine/dbase/DbaseProperties.h"

namespace fs = std::filesystem;
using namespace kx4;
using namespace kx4::bench;

namespace {

constexpr const char* kTable = "BENCH.DBF";
constexpr int kRunsEach = 3;  // the fastest run counts

TableFormat& dbaseTables() { return formatFor(TTableType::ttDBase, kTable); }

FieldDef field(const std::string& name, std::uint16_t type, int size = 0, int decimals = 0) {
    FieldDef f;
    f.name = name;
    f.physicalType = type;
    f.size = size;
    f.decimals = decimals;
    return f;
}

IndexDef tag(const std::string& name, const std::string& fields) {
    IndexDef d;
    d.name = name;
    d.fields = fields;
    return d;
}

// 104 bytes a record: number, three texts, an amount, a date and a memo; three tags on the
// number, on name and first name, and on the place.
TableSchema benchSchema(bool withTags) {
    TableSchema s;
    s.fields = {field("NR", fldDBNUM, 8),         field("NAME", fldDBCHAR, 25),
                field("VORNAME", fldDBCHAR, 15),  field("ORT", fldDBCHAR, 25),
                field("BETRAG", fldDBNUM, 12, 2), field("GEBURT", fldDBDATE),
                field("NOTIZ", fldDBMEMO)};
    if (withTags) s.indexes = {tag("NR", "NR"), tag("NAME", "NAME;VORNAME"), tag("ORT", "ORT")};
    return s;
}

Record benchRecord(std::uint64_t i, std::uint64_t n) {
    const std::uint64_t key = (i * 2654435761u) % n + 1;  // a permutation: records arrive unsorted
    // Every fifth record has a memo: half of them on the records deleted later, half on live
    // ones, so that a pack both drops memos and copies them.
    std::string memo;
    if (i % 5 == 0) memo.assign(200 + i % 300, static_cast<char>('a' + i % 26));
    return {static_cast<std::int64_t>(key),
            "Name" + std::to_string(key * 7919 % 100003),
            "Vorname" + std::to_string(i % 977),
            "Ort" + std::to_string(i % 5003),
            static_cast<double>(key % 100000) / 4,
            Date{static_cast<std::int32_t>(710000 + key % 20000)},
            memo.empty() ? FieldValue{Blank{}} : FieldValue{memo}};
}

// Marks every tenth record deleted, the way dBase does: the flag byte only.
void deleteEveryTenth(const std::string& path) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char head[12];
    f.read(reinterpret_cast<char*>(head), sizeof head);
    const std::uint32_t count = head[4] | head[5] << 8 | head[6] << 16 | head[7] << 24;
    const std::uint64_t headerLength = head[8] | head[9] << 8;
    const std::uint64_t recordLength = head[10] | head[11] << 8;
    for (std::uint64_t r = 0; r < count; r += 10) {
        f.seekp(static_cast<std::streamoff>(headerLength + r * recordLength));
        f.put('*');
    }
}

void createTable(const fs::path& dir, std::uint64_t n, bool dBaseIII) {
    const TablePath path{dir.string(), kTable};
    std::shared_ptr<const FormatProperties> like;
    if (dBaseIII) {
        auto props = std::make_shared<dbase::DbaseProperties>();
        props->level = dbase::DbfLevel::III;
        like = props;
    }
    FileTransaction tx(defaultFileSystem(), path.full());
    auto builder = dbaseTables().build(path, benchSchema(!dBaseIII), like, tx);
    for (std::uint64_t i = 0; i < n; ++i) builder->append(benchRecord(i, n));
    builder->finish();
    tx.commit();
    deleteEveryTenth(path.full());
}

// Every file of `from` copied into `to` (emptied first) and flushed: the baseline, and how each
// run gets its own fresh copy of the table.
void freshCopy(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    copyFiles(filesIn(from), to);
}

struct Measure {
    double seconds = 0;
    long peakKb = 0;
    double cpuSeconds = 0;  // user and system time: steadier than seconds on a busy machine
};

double cpuSecondsSoFar() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs `work` in a child process, so that its peak memory is its own.
Measure inChild(const std::function<void()>& work) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        Measure m{-1, -1};
        try {
            std::ofstream("/proc/self/clear_refs") << "5";
            const double cpuBefore = cpuSecondsSoFar();
            m.seconds = secondsOf(work);
            m.cpuSeconds = cpuSecondsSoFar() - cpuBefore;
            m.peakKb = peakMemoryKb();
        } catch (const std::exception& e) {
            std::cerr << "  failed: " << e.what() << std::endl;
        }
        (void)!::write(fds[1], &m, sizeof m);
        ::_exit(0);
    }
    ::close(fds[1]);
    Measure m{-1, -1};
    if (::read(fds[0], &m, sizeof m) != static_cast<ssize_t>(sizeof m)) m = {-1, -1};
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    if (m.seconds < 0) throw std::runtime_error("an operation failed");
    return m;
}

// python3-dbf in Debian's interpreter; its peak memory from the kernel's account of the child.
Measure python(const std::string& script, const std::string& table, const std::string& op) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/usr/bin/python3", "python3", "-c", script.c_str(), table.c_str(), op.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("python3-dbf failed on " + op);
    return {seconds, usage.ru_maxrss};
}

const char* kPythonScript = R"(
import sys, dbf
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_WRITE)
op = sys.argv[2]
if op == 'pack':
    t.pack()
elif op == 'add':
    t.add_fields('extra C(10)')
elif op == 'drop':
    t.delete_fields('betrag')
print('  python3-dbf %s: %d records, fields %s' % (op, len(t), ' '.join(t.field_names)))
t.close()
)";

std::string alter(const std::string& action) {
    return std::string("ALTER TABLE \"") + kTable + "\" " + action;
}

void execSql(const fs::path& dir, const std::string& sql) {
    TQuery query;
    query.DatabaseName = dir.string();
    query.SQL = {sql};
    const ProgressScope reporting(&benchProgress());
    query.ExecSQL();
}

struct Operation {
    std::string name;
    std::string pythonOp;  // python3-dbf's way to do the same, or ""
    std::function<void(const fs::path&)> run;
};

std::vector<Operation> operations() {
    return {
        {"pack", "pack",
         [](const fs::path& dir) {
             auto file =
                 dbaseTables().open(TablePath{dir.string(), kTable}, OpenOptions{true, nullptr});
             packTable(dbaseTables(), *file, &benchProgress());
         }},
        {"add a field (ALTER TABLE ADD)", "add",
         [](const fs::path& dir) {
             execSql(dir, alter("ADD \"" + std::string(kTable) + "\".\"EXTRA\" CHARACTER(10)"));
         }},
        {"drop a field (ALTER TABLE DROP)", "drop",
         [](const fs::path& dir) {
             execSql(dir, alter("DROP \"" + std::string(kTable) + "\".\"BETRAG\""));
         }},
        {"rebuild all indexes", "",
         [](const fs::path& dir) {
             auto file =
                 dbaseTables().open(TablePath{dir.string(), kTable}, OpenOptions{true, nullptr});
             rebuildIndexes(dbaseTables(), *file, &benchProgress());
         }},
    };
}

// The fastest of several runs, each on a fresh copy of the table out of the page cache.
Measure best(const fs::path& pristine, const fs::path& work,
             const std::function<Measure(const fs::path&)>& run, int runs = kRunsEach) {
    Measure result{1e9, 0, 1e9};
    for (int i = 0; i < runs; ++i) {
        freshCopy(pristine, work);
        dropCaches(filesIn(work));
        dropCaches(filesIn(pristine));
        const Measure m = run(work);
        result.seconds = std::min(result.seconds, m.seconds);
        result.cpuSeconds = std::min(result.cpuSeconds, m.cpuSeconds);
        result.peakKb = std::max(result.peakKb, m.peakKb);
    }
    return result;
}

struct Row {
    std::string name;
    Measure ours;
    double copySeconds;
};

void printRow(const Row& r) {
    std::printf("| %s | %.2f | %.2f | %.1f |\n", r.name.c_str(), r.ours.seconds,
                r.ours.seconds / r.copySeconds, r.ours.peakKb / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t n = argc > 1 ? std::stoull(argv[1]) : 1000000;
    const fs::path base = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
    const std::string only = argc > 3 ? argv[3] : "";
    const std::uint64_t pythonN = argc > 4 ? std::stoull(argv[4]) : 20000;
    const fs::path dir = base / ("kx4dbasebench-" + std::to_string(::getpid()));
    const fs::path pristine = dir / "table", work = dir / "work", copy = dir / "copy";
    fs::create_directories(pristine);

    std::cout << "Creating " << n << " records (every tenth deleted) in " << pristine << " ..."
              << std::endl;
    const Measure created = inChild([&] { createTable(pristine, n, false); });
    const auto files = filesIn(pristine);
    std::cout << "  " << files.size() << " files, " << totalSize(files) / (1024 * 1024)
              << " MiB, built in " << created.seconds << " s, peak " << created.peakKb / 1024
              << " MiB" << std::endl;

    const auto wanted = [&](const std::string& name) {
        return only.empty() || name.find(only) != std::string::npos;
    };
    const Measure copied = best(pristine, copy, [&](const fs::path& to) {
        return Measure{secondsOf([&] { freshCopy(pristine, to); }), 0};
    });
    std::cout << "  copy with flush: " << copied.seconds << " s" << std::endl;
    std::vector<Row> rows{{"create (1,000,000 appends, three tags)", created, copied.seconds}};
    if (n != 1000000) rows.front().name = "create (" + std::to_string(n) + " appends, three tags)";
    for (const auto& op : operations()) {
        if (!wanted(op.name)) continue;
        const Measure m =
            best(pristine, work, [&](const fs::path& w) { return inChild([&] { op.run(w); }); });
        std::cout << "  " << op.name << ": " << m.seconds << " s, processor " << m.cpuSeconds
                  << " s" << std::endl;
        rows.push_back({op.name, m, copied.seconds});
    }
    {
        auto file =
            dbaseTables().open(TablePath{work.string(), kTable}, OpenOptions{false, nullptr});
        std::cout << "  last result has " << file->info().recordCount << " records" << std::endl;
    }

    // python3-dbf on a dBase III table of the same records without indexes, both in this run.
    struct PythonRow {
        std::string name;
        Measure ours, theirs, oursFull;
    };
    std::vector<PythonRow> pythonRows;
    double fullCopySeconds = 0;
    if (pythonN > 0) {
        const fs::path small = dir / "table3", full = dir / "table3full";
        fs::create_directories(small);
        fs::create_directories(full);
        std::cout << "dBase III tables of " << pythonN << " and " << n
                  << " records for python3-dbf ..." << std::endl;
        inChild([&] { createTable(small, pythonN, true); });
        inChild([&] { createTable(full, n, true); });
        fullCopySeconds = best(full, copy, [&](const fs::path& to) {
                              return Measure{secondsOf([&] { freshCopy(full, to); }), 0};
                          }).seconds;
        std::cout << "  copy of the " << n << "-record table with flush: " << fullCopySeconds
                  << " s" << std::endl;
        for (const auto& op : operations()) {
            if (op.pythonOp.empty() || !wanted(op.name)) continue;
            const auto ours = [&](const fs::path& w) { return inChild([&] { op.run(w); }); };
            const Measure oursSmall = best(small, work, ours);
            const Measure oursFull = best(full, work, ours);
            const Measure theirs = best(
                small, work,
                [&](const fs::path& w) {
                    return python(kPythonScript, (w / kTable).string(), op.pythonOp);
                },
                1);
            std::cout << "  " << op.name << ": " << oursSmall.seconds << " s, python3-dbf "
                      << theirs.seconds << " s; " << n << " records: " << oursFull.seconds << " s"
                      << std::endl;
            pythonRows.push_back({op.name, oursSmall, theirs, oursFull});
        }
    }

    std::cout
        << "\n| Operation | Time (s) | Ratio to copy | Peak memory (MiB) |\n|---|---|---|---|\n";
    std::printf("| copy with flush | %.2f | 1.00 | - |\n", copied.seconds);
    for (const auto& r : rows) printRow(r);
    if (!pythonRows.empty()) {
        const double scale = static_cast<double>(n) / static_cast<double>(pythonN);
        const auto count = [](std::uint64_t v) { return static_cast<unsigned long long>(v); };
        std::printf(
            "\ndBase III table without index, python3-dbf on %llu records:\n\n"
            "| Operation | Ours, %llu (s) | python3-dbf, %llu (s) | Ratio | Ours, %llu (s) "
            "| Ratio to copy (%.2f s) | python3-dbf, %llu scaled linearly (s) | Ratio | Peak "
            "memory ours / python3-dbf (MiB) |\n|---|---|---|---|---|---|---|---|---|\n",
            count(pythonN), count(pythonN), count(pythonN), count(n), fullCopySeconds, count(n));
        for (const auto& r : pythonRows)
            std::printf("| %s | %.3f | %.2f | %.0f | %.2f | %.2f | %.0f | %.0f | %.1f / %.1f |\n",
                        r.name.c_str(), r.ours.seconds, r.theirs.seconds,
                        r.theirs.seconds / r.ours.seconds, r.oursFull.seconds,
                        r.oursFull.seconds / fullCopySeconds, r.theirs.seconds * scale,
                        r.theirs.seconds * scale / r.oursFull.seconds, r.oursFull.peakKb / 1024.0,
                        r.theirs.peakKb / 1024.0);
    }
    fs::remove_all(dir);
    return 0;
}

// What a click in the table browser costs on a big table, and what listing a big alias costs.
//
//   browser_bench [benchmark options]   (KX4_BENCH_DIR: where the tables go; default: temp)
//
// Clicking a table reads its header and index definitions, never its records, so a table of
// 1,000,000 records must cost no more than 1.5 times one of 1,000 records of the same structure.
// Listing an alias reads directory entries only: 10,000 tables must list in under a second.
// The verdict follows the timings; the exit status is 1 when a limit is missed.
#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QTreeWidget>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

#include "app/TabellenForm.h"
#include "bench/support/BenchSupport.h"
#include "engine/Session.h"
#include "engine/TableMaintenance.h"
#include "engine/core/FileTransaction.h"
#include "ui/ErrorBox.h"
#include "ui/Prompts.h"

namespace fs = std::filesystem;
using namespace kx4;

namespace {

constexpr int kSmallTable = 1'000;
constexpr int kBigTable = 1'000'000;
constexpr int kManyTables = 10'000;
constexpr double kClickRatioLimit = 1.5;
constexpr double kListingLimitMs = 1000.0;

// Errors of the handlers would otherwise need a window; here they end the run.
class FailingPrompts : public Prompts {
  public:
    int MessageDlg(const QString& text, TMsgDlgType, TMsgDlgButtons) override { fail(text); }
    bool InputQuery(const QString&, const QString& prompt, QString&) override { fail(prompt); }
    void ShowErrorBox(const QString& text) override { fail(text); }
    std::optional<QString> AskTablePassword(const QString& file, bool) override { fail(file); }

  private:
    [[noreturn]] static void fail(const QString& text) {
        std::cerr << "unexpected prompt: " << text.toStdString() << "\n";
        std::exit(2);
    }
};

// The same structure in both formats: key, two texts, an amount, a date and a memo, with a
// secondary index (a composite one for Paradox, a field and an expression tag for dBase).
TableSchema schemaFor(TableFormat& format, bool paradox) {
    TableSchema schema;
    schema.fields = bench::customerFields(format);
    IndexDef byName;
    byName.name = "NAMEORT";
    if (paradox) {
        IndexDef key;
        key.fields = "NR";
        key.options.add(IndexOption::ixPrimary);
        schema.indexes.push_back(key);
        byName.fields = "NAME;ORT";
    } else {
        IndexDef nr;
        nr.name = "NR";
        nr.fields = "NR";
        schema.indexes.push_back(nr);
        byName.expression = "NAME+ORT";
        byName.options.add(IndexOption::ixExpression);
    }
    schema.indexes.push_back(byName);
    return schema;
}

void writeTable(const fs::path& dir, const std::string& fileName, TTableType type, int records) {
    TableFormat& format = formatFor(type, fileName);
    const TableSchema schema = schemaFor(format, type == TTableType::ttParadox);
    const TablePath path{dir.string(), fileName};
    if (fs::exists(path.full())) return;  // kept from an earlier run in KX4_BENCH_DIR
    std::cerr << "writing " << fileName << " (" << records << " records) ..." << std::endl;
    FileTransaction tx(defaultFileSystem(), path.full());
    auto builder = format.build(path, schema, nullptr, tx);
    const char* places[] = {"Köln", "München", "Hamburg", "Düsseldorf", "Nürnberg"};
    for (int i = 0; i < records; ++i) {
        builder->append({std::int64_t{i + 1},
                         "Name " + std::to_string(std::int64_t{i} * 7919 % records),
                         std::string(places[i % 5]), (i % 100000) / 100.0,
                         dateFromYmd(1990 + i % 30, 1 + i % 12, 1 + i % 28),
                         i % 1000 == 0 ? FieldValue(std::string(200, 'x')) : FieldValue(Blank{})});
    }
    builder->finish();
    tx.commit();
}

struct BenchDatabase {
    fs::path root;
    bool temporary = false;

    BenchDatabase() {
        if (const char* dir = std::getenv("KX4_BENCH_DIR"); dir && *dir) {
            root = dir;
        } else {
            root = fs::temp_directory_path() / ("kx4-browser-bench-" + std::to_string(::getpid()));
            temporary = true;
        }
        fs::create_directories(root / "tables");
        fs::create_directories(root / "many");
        for (auto type : {TTableType::ttParadox, TTableType::ttDBase}) {
            const std::string ext = type == TTableType::ttParadox ? ".DB" : ".DBF";
            writeTable(root / "tables", "KLEIN" + ext, type, kSmallTable);
            writeTable(root / "tables", "GROSS" + ext, type, kBigTable);
        }
        // The listing looks at names only; what the files hold does not matter.
        for (int i = 0; i < kManyTables; ++i) {
            const fs::path file =
                root / "many" / ("T" + std::to_string(i) + (i % 2 ? ".DB" : ".DBF"));
            if (!fs::exists(file)) std::ofstream{file};
        }
        std::ofstream(root / "engine.ini")
            << "[BENCH]\nTYPE=STANDARD\nPATH=" << (root / "tables").string()
            << "\n[VIELE]\nTYPE=STANDARD\nPATH=" << (root / "many").string() << "\n";
        Session().setConfigPath((root / "engine.ini").string());
    }
    ~BenchDatabase() {
        if (temporary) fs::remove_all(root);
    }
};

BenchDatabase* database = nullptr;
TTabellenForm* form = nullptr;

void chooseAlias(const QString& alias) {
    form->AliasBox->setCurrentIndex(form->AliasBox->findText(alias));
}

void BM_ClickTable(benchmark::State& state, const char* table) {
    chooseAlias("BENCH");
    const QList<QTreeWidgetItem*> nodes =
        form->TabellenNamen->findItems(table, Qt::MatchExactly | Qt::MatchRecursive, 0);
    if (nodes.isEmpty()) {
        state.SkipWithError("table not listed");
        return;
    }
    form->TabellenNamen->setCurrentItem(nodes.first());
    for (auto _ : state) {
        form->TabellenNamenClick();
        benchmark::DoNotOptimize(form->ListView1->topLevelItemCount());
    }
}

void BM_ListAlias(benchmark::State& state) {
    chooseAlias("VIELE");
    for (auto _ : state) {
        form->AliasBoxChange();
        benchmark::DoNotOptimize(form->TabellenNamen->topLevelItem(0)->childCount());
    }
    state.counters["tables"] = form->TabellenNamen->topLevelItem(0)->childCount();
}

BENCHMARK_CAPTURE(BM_ClickTable, Paradox1k, "KLEIN.DB")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ClickTable, Paradox1M, "GROSS.DB")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ClickTable, DBase1k, "KLEIN.DBF")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ClickTable, DBase1M, "GROSS.DBF")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListAlias)->Unit(benchmark::kMillisecond);

// Keeps the mean wall time of each run for the verdict.
class VerdictReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> msPerIteration;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.iterations > 0)
                msPerIteration[run.benchmark_name()] =
                    run.real_accumulated_time * 1000.0 / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};

bool verdict(const VerdictReporter& reporter) {
    auto ms = [&](const std::string& name) {
        const auto it = reporter.msPerIteration.find(name);
        return it == reporter.msPerIteration.end() ? -1.0 : it->second;
    };
    bool met = true;
    for (const char* format : {"Paradox", "DBase"}) {
        const double small = ms(std::string("BM_ClickTable/") + format + "1k");
        const double big = ms(std::string("BM_ClickTable/") + format + "1M");
        if (small <= 0 || big < 0) continue;
        const double ratio = big / small;
        const bool ok = ratio <= kClickRatioLimit;
        met = met && ok;
        std::cout << format << " click, 1,000,000 vs 1,000 records: " << big << " ms / " << small
                  << " ms = " << ratio << " (limit " << kClickRatioLimit << ") "
                  << (ok ? "met" : "MISSED") << "\n";
    }
    if (const double listing = ms("BM_ListAlias"); listing >= 0) {
        const bool ok = listing < kListingLimitMs;
        met = met && ok;
        std::cout << "listing " << kManyTables << " tables: " << listing << " ms (limit "
                  << kListingLimitMs << " ms) " << (ok ? "met" : "MISSED") << "\n";
    }
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    TApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    FailingPrompts failing;
    const PromptsOverride quiet(failing);
    BenchDatabase data;
    database = &data;
    TTabellenForm window(Session());
    form = &window;

    VerdictReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return verdict(reporter) ? 0 : 1;
}

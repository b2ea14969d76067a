// Progress of the long rewrites, and stopping them: every phase rises to its total, and a stop
// at any point leaves each file of the table as it was.
#include <gtest/gtest.h>

#include <fstream>

#include "engine/Query.h"
#include "engine/TableMaintenance.h"
#include "engine/core/Progress.h"
#include "engine/dbase/DBaseFormat.h"
#include "engine/paradox/ParadoxFormat.h"
#include "tests/support/TestSupport.h"

namespace kx4 {
namespace {

constexpr int kRecords = 6000;

// Records every step; asks to stop at the first step `stopAt` accepts.
class RecordingSink : public ProgressSink {
  public:
    std::function<bool(const ProgressStep&)> stopAt = [](const ProgressStep&) { return false; };
    std::vector<ProgressStep> steps;
    bool stop = false;

    void progress(const ProgressStep& step) override {
        steps.push_back(step);
        stop = stop || stopAt(step);
    }
    bool stopRequested() const override { return stop; }
};

// Marks every tenth record deleted, as dBase does: by the flag byte alone.
void deleteEveryTenth(const std::string& path) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char head[12];
    f.read(reinterpret_cast<char*>(head), sizeof head);
    const std::uint64_t headerLength = head[8] | head[9] << 8;
    const std::uint64_t recordLength = head[10] | head[11] << 8;
    for (std::uint64_t r = 0; r < kRecords; r += 10) {
        f.seekp(static_cast<std::streamoff>(headerLength + r * recordLength));
        f.put('*');
    }
}

struct Format {
    const char* name;
    TableFormat& (*format)();
    const char* file;
};

// A key or first tag, an index on two fields, and a memo on every seventh record.
TablePath makeTable(const Format& f, const test::TempDir& dir) {
    TableFormat& format = f.format();
    TableSchema schema;
    schema.fields = {fieldForCreate(format, "NR", TFieldType::ftInteger, 0, false),
                     fieldForCreate(format, "NAME", TFieldType::ftString, 20, false),
                     fieldForCreate(format, "ORT", TFieldType::ftString, 20, false),
                     fieldForCreate(format, "NOTIZ", TFieldType::ftMemo, 10, false)};
    const bool paradox = format.type() == TTableType::ttParadox;
    schema.indexes = {paradox ? indexOn("", "NR", IndexOption::ixPrimary) : indexOn("NR", "NR"),
                      indexOn("NAMEORT", "NAME;ORT")};
    std::vector<Record> records;
    for (std::int64_t i = 1; i <= kRecords; ++i)
        records.push_back({(i * 7919) % kRecords + 1, "Name " + std::to_string(i % 997),
                           "Ort " + std::to_string(i % 31),
                           i % 7 ? FieldValue{Blank{}} : FieldValue{std::string(300, 'm')}});
    const TablePath path{dir.path().string(), f.file};
    createTable(format, path, schema, records);
    if (!paradox) deleteEveryTenth(path.full());
    return path;
}

std::unique_ptr<TableFile> exclusive(TableFormat& format, const TablePath& path) {
    return format.open(path, OpenOptions{true});
}

struct Operation {
    const char* name;
    void (*run)(TableFormat& format, const TablePath& path, ProgressSink& sink);
};

const Operation kOperations[] = {
    {"Pack", [](TableFormat& f, const TablePath& p,
                ProgressSink& s) { packTable(f, *exclusive(f, p), &s); }},
    {"Restructure",
     [](TableFormat& f, const TablePath& p, ProgressSink& s) {
         auto file = exclusive(f, p);
         RestructurePlan plan = identityPlan(file->schema());
         plan.fields[2].target.size = 30;  // ORT gets longer
         restructureTable(f, *file, plan, nullptr, &s);
     }},
    {"Reindex", [](TableFormat& f, const TablePath& p,
                   ProgressSink& s) { rebuildIndexes(f, *exclusive(f, p), &s); }},
    // Local SQL takes no sink: the caller installs it around the statement.
    {"AlterTable",
     [](TableFormat&, const TablePath& p, ProgressSink& s) {
         TQuery query;
         query.DatabaseName = p.directory;
         query.SQL = {"ALTER TABLE \"" + p.fileName + "\" ADD \"" + p.fileName +
                      "\".\"PLZ\" CHARACTER(10)"};
         const ProgressScope reporting(&s);
         query.ExecSQL();
     }},
};

const Format kFormats[] = {{"Paradox", paradoxFormat, "KUNDEN.DB"},
                           {"dBase", dbaseFormat, "KUNDEN.DBF"}};

void run(const Format& f, const Operation& op, const TablePath& path, ProgressSink& sink) {
    op.run(f.format(), path, sink);
}

class Progress : public ::testing::TestWithParam<std::tuple<Format, Operation>> {};

TEST_P(Progress, EveryPhaseRisesToItsTotal) {
    const auto& [f, op] = GetParam();
    test::TempDir dir;
    const TablePath path = makeTable(f, dir);
    RecordingSink sink;
    run(f, op, path, sink);

    ASSERT_FALSE(sink.steps.empty());
    bool records = false, index = false;
    for (std::size_t i = 0; i < sink.steps.size();) {
        const ProgressStep& first = sink.steps[i];
        EXPECT_EQ(first.done, 0u) << "phase starts at " << i;
        EXPECT_GE(first.total, static_cast<std::uint64_t>(kRecords * 9 / 10));
        records = records || first.phase == ProgressPhase::Records;
        index = index || (first.phase == ProgressPhase::Index && first.name == "NAMEORT");
        std::size_t j = i + 1;
        for (; j < sink.steps.size() && sink.steps[j].done > 0; ++j) {
            EXPECT_EQ(sink.steps[j].phase, first.phase);
            EXPECT_EQ(sink.steps[j].name, first.name);
            EXPECT_EQ(sink.steps[j].total, first.total);
            EXPECT_GT(sink.steps[j].done, sink.steps[j - 1].done) << "step " << j;
        }
        EXPECT_EQ(sink.steps[j - 1].done, first.total) << "phase ending at " << j - 1;
        EXPECT_LE(j - i, 2 + first.total / 1024) << "reports of one phase";
        i = j;
    }
    EXPECT_TRUE(records);
    EXPECT_TRUE(index);
}

struct StopPoint {
    const char* name;
    bool (*at)(const ProgressStep&);
};

const StopPoint kStops[] = {
    {"Early", [](const ProgressStep&) { return true; }},
    {"MidRecords",
     [](const ProgressStep& s) {
         return s.phase == ProgressPhase::Records && s.done > 0 && s.done < s.total;
     }},
    {"MidIndex",
     [](const ProgressStep& s) {
         return s.phase == ProgressPhase::Index && s.done > 0 && s.done < s.total;
     }},
    {"LastReport",
     [](const ProgressStep& s) { return s.phase == ProgressPhase::Index && s.done == s.total; }},
};

class Stop : public ::testing::TestWithParam<std::tuple<Format, Operation, StopPoint>> {};

TEST_P(Stop, LeavesEveryFileAsItWas) {
    const auto& [f, op, stop] = GetParam();
    test::TempDir dir;
    const TablePath path = makeTable(f, dir);
    const std::string before = test::directorySnapshot(dir.path());
    RecordingSink sink;
    sink.stopAt = stop.at;
    EXPECT_THROW(run(f, op, path, sink), EOperationCancelled);
    ASSERT_TRUE(sink.stop) << "never reached the stop point";
    EXPECT_EQ(test::directorySnapshot(dir.path()), before);

    // The table opens and the same operation then runs to its end.
    RecordingSink again;
    run(f, op, path, again);
    auto file = f.format().open(path, OpenOptions{});
    EXPECT_EQ(file->check(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Rewrites, Progress,
                         ::testing::Combine(::testing::ValuesIn(kFormats),
                                            ::testing::ValuesIn(kOperations)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    std::get<1>(info.param).name;
                         });

INSTANTIATE_TEST_SUITE_P(Rewrites, Stop,
                         ::testing::Combine(::testing::ValuesIn(kFormats),
                                            ::testing::ValuesIn(kOperations),
                                            ::testing::ValuesIn(kStops)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    std::get<1>(info.param).name + std::get<2>(info.param).name;
                         });

}  // namespace
}  // namespace kx4

// A table whose memo file is missing or cut short, for both drivers: reading a memo it cannot
// find fails naming the file, nothing changes the table (a change would lose the memos for
// good), and `kx4table dump --salvage` reads the rest, reporting each memo it leaves out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "engine/TableMaintenance.h"
#include "engine/core/DbiTypes.h"
#include "engine/core/Errors.h"
#include "engine/core/FieldType.h"
#include "engine/core/FileTransaction.h"
#include "engine/dbase/DbaseProperties.h"
#include "engine/paradox/ParadoxFormat.h"
#include "tests/engine/dbase/DbaseTestSupport.h"

namespace kx4::test {
namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 12;

std::string memoText(int id) {
    return "memo " + std::to_string(id) + std::string(60 + id * 7, static_cast<char>('a' + id));
}

struct Kind {
    const char* name;
    const char* table;  // data file name
    const char* memo;   // memo file name
    std::function<void(const std::string& path)> make;
};

std::vector<Record> rows(bool timestamp) {
    std::vector<Record> out;
    for (int id = 1; id <= kRecords; ++id) {
        Record r{std::int64_t{id}, "name " + std::to_string(id), memoText(id)};
        if (timestamp) r.push_back(Timestamp{63000000000000 + id});
        out.push_back(r);
    }
    return out;
}

void makeDbase(const std::string& path, dbase::DbfLevel level) {
    TableSchema schema;
    schema.fields = {dbField("ID", fldDBNUM, 6, 0), dbField("NAME", fldDBCHAR, 20),
                     dbField("NOTES", fldDBMEMO)};
    const bool seven = level == dbase::DbfLevel::Seven;
    if (seven) schema.fields.push_back(dbField("AT", fldDBDATETIME));
    schema.indexes = {indexOn("ID", "ID")};
    auto like = std::make_shared<dbase::DbaseProperties>();
    like->level = seven ? dbase::DbfLevel::IV : level;
    if (level == dbase::DbfLevel::III) schema.indexes.clear();  // dBase III has no .MDX
    buildDbase(path, schema, rows(seven), like);
}

void makeParadox(const std::string& path) {
    TableSchema schema;
    schema.fields = {fieldForCreate(paradoxFormat(), "ID", TFieldType::ftInteger, 0, false),
                     fieldForCreate(paradoxFormat(), "NAME", TFieldType::ftString, 20, false),
                     fieldForCreate(paradoxFormat(), "NOTES", TFieldType::ftMemo, 10, false)};
    schema.indexes = {indexOn("", "ID", TIndexOptions(IndexOption::ixPrimary))};
    createTable(paradoxFormat(), tablePathOf(path), schema, rows(false));
}

TableFormat& formatOf(const std::string& path) {
    return path.ends_with(".DB") ? paradoxFormat() : dbaseFormat();
}

std::unique_ptr<TableFile> openTable(const std::string& path, bool exclusive) {
    return formatOf(path).open(tablePathOf(path), OpenOptions{exclusive, nullptr});
}

std::string kx4table(const std::string& args, std::string& errors) {
    const std::string err = fs::temp_directory_path() / ("kx4memo-" + std::to_string(::getpid()));
    std::string out;
    const int rc = runCommand(
        std::string(KX4_BINARY_DIR) + "/bin/kx4table " + args + " 2>" + shellQuote(err), out);
    std::ifstream in(err);
    errors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    fs::remove(err);
    return std::to_string(rc) + "\n" + out;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

enum class Damage { Missing, CutShort };

struct Case {
    Kind kind;
    Damage damage;
};

class BrokenMemoFile : public ::testing::TestWithParam<Case> {};

TEST_P(BrokenMemoFile, FailsNamingItChangesNothingAndSalvageReportsEachMemo) {
    const Kind& kind = GetParam().kind;
    const bool missing = GetParam().damage == Damage::Missing;
    TempDir dir;
    const std::string path = dir.file(kind.table), memo = dir.file(kind.memo);
    kind.make(path);
    ASSERT_TRUE(fs::exists(memo));
    const auto memoBytes = readFileBytes(memo);
    if (missing)
        fs::remove(memo);
    else
        fs::resize_file(memo, memoBytes.size() / 2);
    const std::string before = directorySnapshot(dir.path());

    {
        auto table = openTable(path, false);
        EXPECT_GE(table->schema().fields.size(), 3u);  // the structure is shown
        try {
            readAll(*table->scan());
            FAIL() << "read every memo without its memo file";
        } catch (const EDBEngineError& e) {
            EXPECT_NE(std::string(e.what()).find(kind.memo), std::string::npos) << e.what();
        }
        const auto problems = table->check();
        ASSERT_FALSE(problems.empty());
        EXPECT_NE(problems.front().find(kind.memo), std::string::npos) << problems.front();
    }
    const std::vector<std::pair<const char*, std::function<void(TableFile&)>>> changes = {
        {"pack", [&](TableFile& t) { packTable(formatOf(path), t); }},
        {"restructure",
         [&](TableFile& t) {
             RestructurePlan plan = identityPlan(t.schema());
             plan.fields.push_back(
                 {fieldForCreate(formatOf(path), "EXTRA", TFieldType::ftString, 5, false), -1});
             restructureTable(formatOf(path), t, plan);
         }},
        {"reindex", [&](TableFile& t) { rebuildIndexes(formatOf(path), t); }}};
    for (const auto& [what, change] : changes) {
        if (!missing && std::string(what) == "reindex") continue;  // it reads no memo
        auto table = openTable(path, true);
        EXPECT_THROW(change(*table), EDBEngineError) << what;
        table.reset();
        EXPECT_EQ(directorySnapshot(dir.path()), before) << what;
    }

    std::string errors;
    const auto plain = linesOf(kx4table("dump " + shellQuote(path), errors));
    EXPECT_NE(plain.front(), "0");
    EXPECT_NE(errors.find(kind.memo), std::string::npos) << errors;
    const auto salvaged = linesOf(kx4table("dump --salvage " + shellQuote(path), errors));
    ASSERT_EQ(salvaged.size(), 2u + kRecords) << errors;  // status, header, records
    EXPECT_EQ(salvaged.front(), "1");
    const auto reported = linesOf(errors);
    int empty = 0;
    for (int id = 1; id <= kRecords; ++id) {
        const std::string& line = salvaged[static_cast<std::size_t>(id) + 1];
        EXPECT_TRUE(line.starts_with(std::to_string(id) + ",name " + std::to_string(id) + ","))
            << line;
        if (line.find(memoText(id)) != std::string::npos) continue;
        ++empty;
        const std::string where = "record " + std::to_string(id) + ", field NOTES";
        EXPECT_TRUE(std::any_of(reported.begin(), reported.end(),
                                [&](const std::string& r) {
                                    return r.find(path) != std::string::npos &&
                                           r.find(where) != std::string::npos;
                                }))
            << where << " not reported in\n"
            << errors;
    }
    EXPECT_EQ(static_cast<int>(reported.size()), empty) << errors;
    if (missing) {
        EXPECT_EQ(empty, kRecords);
    }
    EXPECT_GT(empty, 0);

    // The memo file back in place, every memo is there.
    std::ofstream(memo, std::ios::binary | std::ios::trunc)
        .write(memoBytes.data(), static_cast<std::streamsize>(memoBytes.size()));
    const auto records = readAll(*openTable(path, false)->scan());
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kRecords));
    for (int id = 1; id <= kRecords; ++id)
        EXPECT_EQ(std::get<std::string>(records[static_cast<std::size_t>(id - 1)][2]),
                  memoText(id));
}

const Kind kKinds[] = {
    {"Paradox", "T.DB", "T.MB", [](const std::string& p) { makeParadox(p); }},
    {"DbaseIII", "T.DBF", "T.DBT",
     [](const std::string& p) { makeDbase(p, dbase::DbfLevel::III); }},
    {"DbaseIV", "T.DBF", "T.DBT", [](const std::string& p) { makeDbase(p, dbase::DbfLevel::IV); }},
    {"Dbase7", "T.DBF", "T.DBT",
     [](const std::string& p) { makeDbase(p, dbase::DbfLevel::Seven); }}};

std::vector<Case> cases() {
    std::vector<Case> out;
    for (const Kind& k : kKinds)
        for (Damage d : {Damage::Missing, Damage::CutShort}) out.push_back({k, d});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Drivers, BrokenMemoFile, ::testing::ValuesIn(cases()),
                         [](const auto& info) {
                             return std::string(info.param.kind.name) +
                                    (info.param.damage == Damage::Missing ? "Missing" : "CutShort");
                         });

}  // namespace
}  // namespace kx4::test

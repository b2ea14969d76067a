#include <algorithm>
#include <map>
#include <optional>

#include "app/FieldTypeNames.h"
#include "engine/Session.h"
#include "engine/Table.h"
#include "engine/TableMaintenance.h"
#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/MemoSalvage.h"
#include "engine/core/TextCodec.h"
#include "tools/export/SqliteExport.h"
#include "tools/kx4table/Commands.h"
#include "tools/kx4table/Csv.h"
#include "tools/kx4table/DemoDatabase.h"
#include "tools/kx4table/Passwords.h"

namespace kx4::tool {

namespace {

// Opens the table named by its file path, with the passwords of the command line, the
// password files and the environment; a password still missing is asked on the terminal.
void openTable(const Options& options, TTable& table, bool exclusive) {
    std::vector<std::string> passwords = options.passwords;
    for (const auto& file : options.passwordFiles)
        for (auto& p : passwordsFromFile(file)) passwords.push_back(std::move(p));
    for (auto& p : passwordsFromEnvironment()) passwords.push_back(std::move(p));
    TSession& session = table.session();
    for (const auto& p : passwords) session.AddPassword(p);
    session.OnPassword = askOnTerminal;
    session.setCodePageForRun(options.codePage);
    std::string path = options.file;
    if (path.find('/') == std::string::npos) path = "./" + path;
    table.DatabaseName = directoryOf(path);
    if (table.DatabaseName.find('/') == std::string::npos)
        table.DatabaseName = "./" + table.DatabaseName;
    table.TableName = fileNameOf(path);
    table.Exclusive = exclusive;
    table.Open();
}

std::string optionText(const TIndexOptions& o) {
    std::vector<std::string> parts;
    if (o.has(IndexOption::ixPrimary)) parts.push_back("primary");
    if (o.has(IndexOption::ixUnique)) parts.push_back("unique");
    if (o.has(IndexOption::ixDescending)) parts.push_back("descending");
    if (o.has(IndexOption::ixCaseInsensitive)) parts.push_back("case-insensitive");
    if (o.has(IndexOption::ixExpression)) parts.push_back("expression");
    if (o.has(IndexOption::ixNonMaintained)) parts.push_back("non-maintained");
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : ",") + p;
    return out;
}

}  // namespace

int describe(const Options& options, std::ostream& out) {
    TTable table;
    openTable(options, table, false);
    for (int i = 0; i < table.FieldCount(); ++i) {
        const TField& f = table.Fields(i);
        out << f.FieldName() << '\t' << browserTypeName(f.DataType()) << '\t'
            << shownLength(f.DataType(), f.Size()) << '\n';
    }
    for (const auto& index : table.IndexDefs().items()) {
        out << "index\t" << index.name << '\t'
            << (index.fields.empty() ? index.expression : index.fields) << '\t'
            << optionText(index.options);
        if (!index.fault.empty()) out << '\t' << index.fault;
        out << '\n';
    }
    const TableInfo info = table.File().info();
    out << "codepage\t" << TextCodec::nameOf(info.codePage) << '\t'
        << codePageOriginName(info.codePageOrigin) << '\n';
    return 0;
}

int dump(const Options& options, std::ostream& out, std::ostream& problems) {
    TTable table;
    openTable(options, table, false);
    std::vector<std::string> names;
    table.GetFieldNames(names);
    writeCsvRecord(out, names);
    std::optional<MemoSalvage> salvage;
    if (options.salvage) salvage.emplace();
    auto records = options.index ? table.File().scanIndex(*options.index) : table.Records();
    Record record;
    std::uint64_t recordNo = 0, leftOut = 0;
    while (records->next(record)) {
        ++recordNo;
        std::vector<std::string> cells;
        for (const auto& value : record) cells.push_back(formatValue(value));
        writeCsvRecord(out, cells);
        if (!salvage) continue;
        for (const auto& p : salvage->take()) {
            problems << options.file << ": record " << recordNo << ", field " << p.field
                     << ": left empty, " << p.reason << '\n';
            ++leftOut;
        }
    }
    return leftOut == 0 ? 0 : 1;
}

int check(const Options& options, std::ostream& out) {
    TTable table;
    try {
        openTable(options, table, false);
    } catch (const EDBEngineError& e) {
        out << e.what() << '\n';
        return 1;
    }
    const auto problems = table.File().check();
    for (const auto& p : problems) out << p << '\n';
    for (const auto& note : table.File().checkNotes()) out << "note: " << note << '\n';
    return problems.empty() ? 0 : 1;
}

int pack(const Options& options, std::ostream& out, ProgressSink* progress) {
    TTable table;
    openTable(options, table, true);
    packTable(table.Format(), table.File(), progress);
    table.Close();
    out << "packed " << options.file << '\n';
    return 0;
}

int reindex(const Options& options, std::ostream& out, ProgressSink* progress) {
    TTable table;
    openTable(options, table, true);
    rebuildIndexes(table.Format(), table.File(), progress);
    table.Close();
    out << "reindexed " << options.file << '\n';
    return 0;
}

int exportSqlite(const Options& options, std::ostream& out, std::ostream& problems,
                 ProgressSink* progress) {
    std::vector<std::string> names;
    for (const auto& file : options.moreFiles) {
        const std::string name = sqliteTableName(TablePath{{}, fileNameOf(file)});
        // SQLite names differ only by more than the case of ASCII letters.
        if (std::find_if(names.begin(), names.end(), [&](const std::string& n) {
                return toUpperAscii(n) == toUpperAscii(name);
            }) != names.end())
            throw EDBEngineError(DBIERR_NOTSUPPORTED,
                                 "Two of the tables would both become the SQLite table " + name);
        names.push_back(name);
    }
    SqliteExport database(options.file);
    for (std::size_t i = 0; i < options.moreFiles.size(); ++i) {
        Options one = options;
        one.file = options.moreFiles[i];
        TTable table;
        openTable(one, table, false);
        std::vector<std::string> notes;
        const auto written = database.add(table.File(), names[i], notes, progress);
        for (const auto& note : notes) problems << "kx4table: " << note << '\n';
        out << "exported " << one.file << " into " << names[i] << " (" << written << " records)\n";
    }
    return 0;
}

int createDemo(const Options& options, std::ostream& out) {
    writeDemoTables(options.file);
    out << "demo tables written to " << options.file << '\n';
    return 0;
}

}  // namespace kx4::tool

#include <algorithm>
#include <map>

#include "Commands.h"
#include "DemoDatabase.h"
#include "Errors.h"
#include "FieldTypeNames.h"
#include "FileSystem.h"
#include "Passwords.h"
#include "Session.h"
#include "Table.h"
#include "TableMaintenance.h"

namespace kx4::tool {

namespace {

// Opens the table named by its file path, with the passwords of the command line, the
// password files and the environment; a password still missing is asked on the terminal.
void openTable(const Options& options, TTable& table, bool exclusive) {
    std::vector<std::string> passwords = options.passwords;
    for (const auto& file : options.passwordFiles)
        for (auto& p : passwordsFromFile(file)) passwords.push_back(std::move(p));
    for (auto& p : passwordsFromEnvironment()) passwords.push_back(std::move(p));
    for (const auto& p : passwords) Session().AddPassword(p);
    Session().OnPassword = askOnTerminal;
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

std::string csvCell(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
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
            << optionText(index.options) << '\n';
    }
    return 0;
}

int dump(const Options& options, std::ostream& out) {
    TTable table;
    openTable(options, table, false);
    for (int i = 0; i < table.FieldCount(); ++i)
        out << (i ? "," : "") << csvCell(table.Fields(i).FieldName());
    out << '\n';
    auto records = table.Records();
    Record record;
    while (records->next(record)) {
        for (std::size_t i = 0; i < record.size(); ++i)
            out << (i ? "," : "") << csvCell(formatValue(record[i]));
        out << '\n';
    }
    return 0;
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
    return problems.empty() ? 0 : 1;
}

int pack(const Options& options, std::ostream& out) {
    TTable table;
    openTable(options, table, true);
    packTable(table.Format(), table.File());
    table.Close();
    out << "packed " << options.file << '\n';
    return 0;
}

int reindex(const Options& options, std::ostream& out) {
    TTable table;
    openTable(options, table, true);
    rebuildIndexes(table.Format(), table.File());
    table.Close();
    out << "reindexed " << options.file << '\n';
    return 0;
}

int createDemo(const Options& options, std::ostream& out) {
    writeDemoTables(options.file);
    out << "demo tables written to " << options.file << '\n';
    return 0;
}

}  // namespace kx4::tool

// kx4table export-sqlite writes the values kx4table dump gives, read back through sqlite3: typed
// columns, NULL for blanks, text from the table's code page, the indexes as SQLite indexes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/core/Progress.h"
#include "engine/core/TableFormat.h"
#include "tests/support/TestSupport.h"
#include "tools/export/SqliteExport.h"
#include "tools/kx4table/DemoDatabase.h"

namespace kx4::test {
namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(KX4_BINARY_DIR) + "/bin/kx4table";
const std::string kNull = "\x01NULL";

std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// RFC 4180 records, as both kx4table dump and sqlite3 -csv write them.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = any = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            row.push_back(std::move(field));
            rows.push_back(std::move(row));
            field.clear();
            row.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !row.empty()) rows.push_back({});
    return rows;
}

std::string sqliteText(const std::string& database, const std::string& sql,
                       const std::string& mode = "-csv") {
    std::string out;
    EXPECT_EQ(
        runCommand("sqlite3 " + mode + " " + shellQuoted(database) + " " + shellQuoted(sql), out),
        0)
        << sql;
    return out;
}

// A column read back in the form the dump writes its values; NULL as kNull.
std::string columnAsDumped(const std::string& column, const std::string& sqlType,
                           TFieldType fieldType) {
    std::string value = column;
    if (fieldType == TFieldType::ftBoolean)
        value = "CASE " + column + " WHEN 1 THEN 'true' WHEN 0 THEN 'false' END";
    else if (sqlType == "BLOB")
        value = "lower(hex(" + column + "))";
    else if (sqlType == "REAL")
        value = "printf('%!.17g', " + column + ")";
    return "CASE WHEN " + column + " IS NULL THEN '" + kNull + "' ELSE " + value + " END";
}

struct ExportCase {
    const char* label;
    std::string corpusTable;  // empty: a table of the demo database
    std::string demoTable;
    std::vector<std::string> expectedSchema;  // empty: not compared
};

std::ostream& operator<<(std::ostream& os, const ExportCase& c) { return os << c.label; }

class SqliteExport : public ::testing::TestWithParam<ExportCase> {};

TEST_P(SqliteExport, HoldsTheDumpedValuesInTypedColumnsWithNullForBlanks) {
    const ExportCase& c = GetParam();
    TempDir dir;
    std::string path;
    if (c.corpusTable.empty()) {
        writeDemoTables(dir.path().string());
        path = dir.file(c.demoTable);
    } else {
        KX4_SKIP_WITHOUT_CORPUS(c.corpusTable);
        path = copyCorpusTable(c.corpusTable, dir.path());
    }
    const std::string database = dir.file("out.sqlite");
    std::string out;
    ASSERT_EQ(runCommand(kTool + " export-sqlite --password 123 " + shellQuoted(database) + " " +
                             shellQuoted(path),
                         out),
              0)
        << out;
    std::string dumped;
    ASSERT_EQ(runCommand(kTool + " dump --password 123 " + shellQuoted(path), dumped), 0);
    const auto dump = parseCsv(dumped);

    // The engine's own reading tells the field types and where the blanks are.
    const TablePath tablePath{dir.path().string(), fs::path(path).filename().string()};
    TableFormat& format = formatFor(TTableType::ttDefault, tablePath.fileName);
    auto table = format.open(tablePath, {});
    const auto& fields = table->schema().fields;
    const std::string name = fs::path(path).stem().string();

    std::string select;
    for (const auto& f : fields) {
        const std::string sqlType =
            sqliteText(database, "SELECT type FROM pragma_table_info('" + name + "') WHERE name='" +
                                     f.name + "'");
        const std::string column = "\"" + f.name + "\"";
        select += (select.empty() ? "" : ", ") +
                  columnAsDumped(column, sqlType.substr(0, sqlType.find_first_of("\r\n")), f.type) +
                  ", typeof(" + column + ")";
    }
    const auto rows = parseCsv(
        sqliteText(database, "SELECT " + select + " FROM \"" + name + "\" ORDER BY rowid"));
    ASSERT_EQ(rows.size() + 1, dump.size()) << "records";
    auto records = table->scan();
    Record record;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        ASSERT_TRUE(records->next(record));
        ASSERT_EQ(rows[r].size(), fields.size() * 2);
        for (std::size_t f = 0; f < fields.size(); ++f) {
            const std::string& value = rows[r][2 * f];
            const std::string& type = rows[r][2 * f + 1];
            const std::string where =
                "record " + std::to_string(r + 1) + ", field " + fields[f].name;
            EXPECT_EQ(value == kNull, isBlank(record[f])) << where;
            if (value == kNull) {
                EXPECT_EQ(dump[r + 1][f], "") << where;
                continue;
            }
            const bool real = std::holds_alternative<double>(record[f]);
            EXPECT_EQ(type, real ? "real"
                            : std::holds_alternative<std::int64_t>(record[f]) ||
                                    std::holds_alternative<bool>(record[f])
                                ? "integer"
                            : std::holds_alternative<Bytes>(record[f]) ||
                                    std::holds_alternative<Blob>(record[f])
                                ? "blob"
                                : "text")
                << where;
            if (real)
                EXPECT_EQ(std::strtod(value.c_str(), nullptr),
                          std::strtod(dump[r + 1][f].c_str(), nullptr))
                    << where << ": " << value << " against " << dump[r + 1][f];
            else
                EXPECT_EQ(value, dump[r + 1][f]) << where;
        }
    }
    EXPECT_FALSE(records->next(record));
    // The table with its column types and primary key, then its indexes.
    const std::string schema = sqliteText(
        database, "SELECT sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY type DESC, name",
        "-list");
    std::string expected;
    for (const auto& statement : c.expectedSchema) expected += statement + "\n";
    if (!c.expectedSchema.empty()) {
        EXPECT_EQ(schema, expected);
    }
}

// Stops at its first report.
class StopAtOnce : public ProgressSink {
  public:
    void progress(const ProgressStep&) override {}
    bool stopRequested() const override { return true; }
};

TEST(SqliteExportStop, LeavesTheDatabaseAsItWasBeforeTheTable) {
    TempDir dir;
    writeDemoTables(dir.path().string());
    const std::string database = dir.file("out.sqlite");
    auto open = [&](const char* name) {
        return formatFor(TTableType::ttDefault, name).open({dir.path().string(), name}, {});
    };
    kx4::SqliteExport out(database);
    std::vector<std::string> notes;
    ASSERT_EQ(out.add(*open("KUNDEN.DB"), "KUNDEN", notes), 5u);
    StopAtOnce stop;
    EXPECT_THROW(out.add(*open("KUNDEN.DB"), "KUNDEN", notes, &stop), EOperationCancelled);
    EXPECT_THROW(out.add(*open("ARTIKEL.DBF"), "ARTIKEL", notes, &stop), EOperationCancelled);
    EXPECT_EQ(sqliteText(database,
                         "SELECT group_concat(name) FROM sqlite_master WHERE "
                         "type='table'; SELECT count(*) FROM KUNDEN",
                         "-list"),
              "KUNDEN\n5\n");
}

INSTANTIATE_TEST_SUITE_P(
    Tables, SqliteExport,
    ::testing::Values(
        ExportCase{"paradox_keyed_with_memo",
                   "",
                   "KUNDEN.DB",
                   {"CREATE TABLE \"KUNDEN\" (\"KUNDENNR\" INTEGER, \"NAME\" TEXT, \"VORNAME\" "
                    "TEXT, \"ORT\" TEXT, \"UMSATZ\" REAL, \"KUNDESEIT\" TEXT, \"AKTIV\" INTEGER, "
                    "\"BEMERKUNG\" TEXT, PRIMARY KEY (\"KUNDENNR\"))"}},
        ExportCase{"dbase_with_memo_and_tags",
                   "",
                   "ARTIKEL.DBF",
                   {"CREATE TABLE \"ARTIKEL\" (\"ARTNR\" TEXT, \"BEZEICH\" TEXT, \"PREIS\" REAL, "
                    "\"LAGER\" REAL, \"GEAENDERT\" TEXT, \"NOTIZ\" TEXT)",
                    "CREATE INDEX \"ARTIKEL_ARTNR\" ON \"ARTIKEL\" (\"ARTNR\")",
                    "CREATE INDEX \"ARTIKEL_BEZEICH\" ON \"ARTIKEL\" (\"BEZEICH\" COLLATE "
                    "NOCASE)"}},
        ExportCase{"text_table",
                   "",
                   "PREISE.TXT",
                   {"CREATE TABLE \"PREISE\" (\"ARTNR\" TEXT, \"PREIS\" REAL, \"GUELTIGAB\" "
                    "TEXT)"}},
        ExportCase{"paradox_every_type",
                   "paradox/rparadox/TypSammlung.DB",
                   "",
                   {"CREATE TABLE \"TypSammlung\" (\"Alpha\" TEXT, \"Numerisch\" REAL, "
                    "\"Währung\" REAL, \"Integer kurz\" INTEGER, \"Integer lang\" INTEGER, "
                    "\"BCD\" TEXT, \"Datum\" TEXT, \"Zeit\" TEXT, \"Datum/Zeit\" TEXT, "
                    "\"Memo\" TEXT, \"Logisch\" INTEGER, \"Zähler\" INTEGER, \"Binär\" BLOB, "
                    "\"Bytes\" BLOB, PRIMARY KEY (\"Alpha\", \"Numerisch\"))"}},
        ExportCase{"paradox_cp866", "paradox/rparadox/of_cp866.db", "", {}},
        ExportCase{"dbase_cp866", "dbase/dbase-net/POST986.dbf", "", {}},
        ExportCase{"dbase_cp1251", "dbase/infused-dbf/cp1251.dbf", "", {}},
        ExportCase{"dbase_level7_timestamps", "dbase/php-xbase/dBaseVII_ts.dbf", "", {}}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kx4::test

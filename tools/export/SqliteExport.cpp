#include "tools/export/SqliteExport.h"

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace kx4 {

namespace {

std::string quotedName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + '"';
}

struct StatementCloser {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

// Text and bytes of the record are bound in place (SQLITE_STATIC): the record outlives the
// insert. Dates and times are made here, so SQLite copies them (SQLITE_TRANSIENT).
int bindValue(sqlite3_stmt* stmt, int column, const FieldValue& value) {
    struct Binder {
        sqlite3_stmt* stmt;
        int column;
        int operator()(const Blank&) const { return sqlite3_bind_null(stmt, column); }
        int operator()(bool b) const { return sqlite3_bind_int(stmt, column, b ? 1 : 0); }
        int operator()(std::int64_t i) const { return sqlite3_bind_int64(stmt, column, i); }
        int operator()(double d) const { return sqlite3_bind_double(stmt, column, d); }
        int operator()(const std::string& s) const { return text(s, SQLITE_STATIC); }
        int operator()(const Bytes& b) const { return blob(b); }
        int operator()(const Blob& b) const { return blob(b.data); }
        int operator()(const Decimal& d) const { return text(d.text, SQLITE_STATIC); }
        // Dates, times and timestamps as ISO 8601 text, exactly as the dump writes them.
        int operator()(Date d) const { return text(formatValue(d), SQLITE_TRANSIENT); }
        int operator()(Time t) const { return text(formatValue(t), SQLITE_TRANSIENT); }
        int operator()(Timestamp t) const { return text(formatValue(t), SQLITE_TRANSIENT); }
        int text(const std::string& s, sqlite3_destructor_type keep) const {
            return sqlite3_bind_text64(stmt, column, s.data(), s.size(), keep, SQLITE_UTF8);
        }
        int blob(const Bytes& b) const {
            // A null pointer would bind NULL: an empty value is a blob of no bytes.
            if (b.empty()) return sqlite3_bind_zeroblob(stmt, column, 0);
            return sqlite3_bind_blob64(stmt, column, b.data(), b.size(), SQLITE_STATIC);
        }
    };
    return std::visit(Binder{stmt, column}, value);
}

std::string upperAscii(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// The columns of an index: its fields, or for a dBase key expression made of fields joined by
// "+", each plain or in UPPER(), those fields (UPPER() comparing them without case). Empty when
// the index has no such form.
std::string indexColumns(const IndexDef& index, const TableSchema& schema) {
    std::vector<std::pair<std::string, bool>> parts;  // field, without case
    const bool noCase = index.options.has(IndexOption::ixCaseInsensitive);
    if (!index.fields.empty()) {
        for (const auto& field : splitFieldList(index.fields)) parts.emplace_back(field, noCase);
    } else {
        std::string expression;
        for (char c : index.expression)
            if (c != ' ') expression += c;
        for (std::size_t start = 0; start <= expression.size();) {
            const std::size_t plus = std::min(expression.find('+', start), expression.size());
            std::string part = expression.substr(start, plus - start);
            const bool upper = upperAscii(part).starts_with("UPPER(") && part.ends_with(")");
            if (upper) part = part.substr(6, part.size() - 7);
            if (schema.fieldIndex(part) < 0) return {};
            parts.emplace_back(
                schema.fields[static_cast<std::size_t>(schema.fieldIndex(part))].name,
                upper || noCase);
            start = plus + 1;
        }
    }
    std::string columns;
    for (const auto& [field, withoutCase] : parts) {
        columns += (columns.empty() ? "" : ", ") + quotedName(field);
        if (withoutCase) columns += " COLLATE NOCASE";
        if (index.options.has(IndexOption::ixDescending)) columns += " DESC";
    }
    return columns;
}

}  // namespace

std::string sqliteColumnType(TFieldType type) {
    switch (type) {
        case TFieldType::ftSmallint:
        case TFieldType::ftInteger:
        case TFieldType::ftWord:
        case TFieldType::ftAutoInc:
        case TFieldType::ftLargeint:
        case TFieldType::ftBoolean:
            return "INTEGER";
        case TFieldType::ftFloat:
        case TFieldType::ftCurrency:
            return "REAL";
        case TFieldType::ftBytes:
        case TFieldType::ftVarBytes:
        case TFieldType::ftBlob:
        case TFieldType::ftGraphic:
        case TFieldType::ftParadoxOle:
        case TFieldType::ftDBaseOle:
        case TFieldType::ftTypedBinary:
            return "BLOB";
        default:  // text, memos, BCD as exact decimal text, dates and times as ISO 8601
            return "TEXT";
    }
}

std::string sqliteTableName(const TablePath& path) {
    const auto dot = path.fileName.rfind('.');
    return dot == std::string::npos || dot == 0 ? path.fileName : path.fileName.substr(0, dot);
}

SqliteExport::SqliteExport(const std::string& path) : path_(path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw std::runtime_error("Cannot open " + path + ": " + message);
    }
    // A bounded page cache whatever the table's size (a bigger one builds the indexes no
    // faster), and for a new database larger pages: fewer of them to fill and sort.
    sqlite3_exec(db_, "PRAGMA cache_size = -8192", nullptr, nullptr, nullptr);
    sqlite3_exec(db_, "PRAGMA page_size = 16384", nullptr, nullptr, nullptr);
}

SqliteExport::~SqliteExport() { sqlite3_close(db_); }

void SqliteExport::fail(const std::string& what) const {
    throw std::runtime_error(path_ + ": " + what + ": " + sqlite3_errmsg(db_));
}

void SqliteExport::execute(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return;
    const std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error(path_ + ": " + message + " (" + sql + ")");
}

std::uint64_t SqliteExport::add(TableFile& table, const std::string& name,
                                std::vector<std::string>& notes, ProgressSink* progress) {
    const ProgressScope reporting(progress);
    execute("BEGIN");
    try {
        execute("DROP TABLE IF EXISTS " + quotedName(name));
        createTable(table.schema(), name);
        const std::uint64_t written = copyRecords(table, name);
        // Built after the records are in: one sort per index instead of a tree grown row by row.
        createIndexes(table.schema(), name, notes);
        execute("COMMIT");
        return written;
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

// The primary key is the table's PRIMARY KEY: its index grows with the inserts, which come in
// key order (a keyed Paradox table stores its records so), instead of being sorted afterwards.
// Blank key values stay NULL, as SQLite allows in the key of a rowid table.
void SqliteExport::createTable(const TableSchema& schema, const std::string& name) {
    std::string sql = "CREATE TABLE " + quotedName(name) + " (";
    for (std::size_t i = 0; i < schema.fields.size(); ++i)
        sql += (i ? ", " : "") + quotedName(schema.fields[i].name) + " " +
               sqliteColumnType(schema.fields[i].type);
    for (const auto& index : schema.indexes) {
        if (!index.options.has(IndexOption::ixPrimary) || !index.fault.empty()) continue;
        if (const std::string columns = indexColumns(index, schema); !columns.empty())
            sql += ", PRIMARY KEY (" + columns + ")";
    }
    execute(sql + ")");
}

// The one loop over the records of an export.
std::uint64_t SqliteExport::copyRecords(TableFile& table, const std::string& name) {
    const std::size_t columns = table.schema().fields.size();
    std::string sql = "INSERT INTO " + quotedName(name) + " VALUES (";
    for (std::size_t i = 0; i < columns; ++i) sql += i ? ",?" : "?";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, (sql + ")").c_str(), -1, &raw, nullptr) != SQLITE_OK)
        fail("cannot prepare the insert into " + name);
    const Statement insert(raw);
    auto records = table.scan();
    ProgressMeter meter(ProgressPhase::Records, table.info().recordCount);
    Record record;
    std::uint64_t written = 0;
    while (records->next(record)) {
        for (std::size_t i = 0; i < columns && i < record.size(); ++i)
            if (bindValue(insert.get(), static_cast<int>(i + 1), record[i]) != SQLITE_OK)
                fail("cannot store record " + std::to_string(written + 1) + " of " + name);
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            fail("cannot store record " + std::to_string(written + 1) + " of " + name);
        sqlite3_reset(insert.get());  // every column is bound anew for the next record
        ++written;
        meter.advance();
    }
    meter.finish();
    return written;
}

// Indexes carry over with their direction and case rule (NOCASE folds ASCII letters
// only). Only the primary key is unique: a dBase unique tag merely lists each key once and may
// stand over duplicates, and a case-insensitive Paradox index folds more letters than NOCASE.
void SqliteExport::createIndexes(const TableSchema& schema, const std::string& name,
                                 std::vector<std::string>& notes) {
    for (const auto& index : schema.indexes) {
        const bool primary = index.options.has(IndexOption::ixPrimary);
        const std::string label = primary ? "primary key" : "index " + index.name;
        const std::string columns = index.fault.empty() ? indexColumns(index, schema) : "";
        if (columns.empty()) {
            notes.push_back(name + ": " + label + " (" + index.expression +
                            ") has no SQLite counterpart and was left out");
            continue;
        }
        if (primary) continue;  // the table's PRIMARY KEY
        execute("CREATE INDEX " + quotedName(name + "_" + index.name) + " ON " + quotedName(name) +
                " (" + columns + ")");
    }
}

}  // namespace kx4

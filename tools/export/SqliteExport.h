#pragma once
// Copies tables into an SQLite database: one SQLite table per table, named after its file's
// stem, with typed columns, the table's indexes as SQLite indexes, one transaction per table.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/Progress.h"
#include "engine/core/TableFormat.h"

struct sqlite3;

namespace kx4 {

// The declared SQLite type of a column for a field type: INTEGER, REAL, TEXT or BLOB.
std::string sqliteColumnType(TFieldType type);
// The SQLite table a table file goes into: its file name without extension.
std::string sqliteTableName(const TablePath& path);

class SqliteExport {
  public:
    // Opens the database at `path`, creating it when missing; raises std::runtime_error.
    explicit SqliteExport(const std::string& path);
    ~SqliteExport();
    SqliteExport(const SqliteExport&) = delete;
    SqliteExport& operator=(const SqliteExport&) = delete;

    // Writes the live records of `table` into the SQLite table `name`, replacing one of that
    // name, all in one transaction: on failure the database is as it was. Returns the number of
    // records written; indexes that have no SQLite counterpart are added to `notes`. Reports the
    // records to `progress` (when given, else to the thread's sink); a stop asked for there
    // raises EOperationCancelled with the database as it was.
    std::uint64_t add(TableFile& table, const std::string& name, std::vector<std::string>& notes,
                      ProgressSink* progress = nullptr);

  private:
    void execute(const std::string& sql);
    void createTable(const TableSchema& schema, const std::string& name);
    std::uint64_t copyRecords(TableFile& table, const std::string& name);
    void createIndexes(const TableSchema& schema, const std::string& name,
                       std::vector<std::string>& notes);
    [[noreturn]] void fail(const std::string& what) const;

    sqlite3* db_ = nullptr;
    std::string path_;
};

}  // namespace kx4

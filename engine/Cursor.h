#pragma once
// The objects behind the engine handles: a database (a directory of tables) and a cursor (an
// open table with its translation mode).
#include <memory>
#include <string>

#include "engine/core/DbiTypes.h"
#include "engine/core/TableFormat.h"

namespace kx4 {

class TSession;

// A database of a session: the tables it opens use the session's passwords, code pages and
// file system.
class Database {
  public:
    Database(TSession& session, std::string name, std::string directory)
        : session_(&session), name_(std::move(name)), directory_(std::move(directory)) {}
    TSession& session() const { return *session_; }
    const std::string& name() const { return name_; }
    // Empty for the standard database, which addresses tables by full path.
    const std::string& directory() const { return directory_; }
    TablePath resolve(const std::string& tableName) const;

  private:
    TSession* session_;
    std::string name_;
    std::string directory_;
};

class Cursor {
  public:
    Cursor(Database database, TableFormat& format, std::unique_ptr<TableFile> file,
           std::string indexName);
    Database& database() { return database_; }
    TableFormat& format() { return format_; }
    // Raises naming the table when opening it again after a change failed.
    TableFile& file();
    const std::string& indexName() const { return indexName_; }
    std::uint32_t translationMode() const { return xltMode_; }
    void setTranslationMode(std::uint32_t mode) { xltMode_ = mode; }
    // After the table's files were replaced underneath the open table: open them again.
    void reopen();
    // Gives up the open table (the owning table object closes).
    std::unique_ptr<TableFile> release() { return std::move(file_); }

  private:
    Database database_;
    TableFormat& format_;
    std::unique_ptr<TableFile> file_;
    std::string tableFile_;  // for the error when the table could not be opened again
    std::string indexName_;
    std::uint32_t xltMode_ = xltFIELD;
};

}  // namespace kx4

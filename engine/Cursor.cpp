#include "engine/Cursor.h"

#include "engine/Session.h"
#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"

namespace kx4 {

TablePath Database::resolve(const std::string& tableName) const {
    if (!tableName.empty() && tableName.front() == '/')
        return TablePath{directoryOf(tableName), fileNameOf(tableName)};
    if (directory_.empty()) return TablePath{directoryOf(tableName), fileNameOf(tableName)};
    return TablePath{directory_, tableName};
}

Cursor::Cursor(Database database, TableFormat& format, std::unique_ptr<TableFile> file,
               std::string indexName)
    : database_(std::move(database)),
      format_(format),
      file_(std::move(file)),
      tableFile_(file_ ? file_->path().full() : std::string()),
      indexName_(std::move(indexName)) {}

TableFile& Cursor::file() {
    if (!file_)
        throwEngineError(DBIERR_NOSUCHTABLE, "The table " + tableFile_ +
                                                 " is no longer open: opening it again after "
                                                 "the change failed. Close it and open it anew");
    return *file_;
}

// The change is done when this runs; if the table cannot be opened again (another program
// took it in between, say), the cursor stays without a table and says so when used.
void Cursor::reopen() {
    const TablePath path = file().path();
    const bool exclusive = file_->exclusive();
    file_.reset();
    file_ = format_.open(path, database_.session().openOptions(path, exclusive));
}

}  // namespace kx4

#include "Cursor.h"

#include "FileSystem.h"

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
      indexName_(std::move(indexName)) {}

void Cursor::reopen(PasswordSource& passwords) {
    const TablePath path = file_->path();
    const bool exclusive = file_->exclusive();
    file_.reset();
    file_ = format_.open(path, OpenOptions{exclusive, &passwords});
}

}  // namespace kx4

#pragma once
// Opening a table's data file under the OS lock every table object of ours and of other
// processes respects: shared for reading, exclusive for changing the table.
#include <memory>
#include <string>

#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"

namespace kx4 {

// Finishes an interrupted transaction of the table first, then opens `path` through `fs`
// (read-write when exclusive) and locks it. A table in use raises DBIERR_TABLEINUSE naming the
// table; a file replaced between open and lock is opened again.
std::unique_ptr<File> openLockedTable(FileSystem& fs, const std::string& path, bool exclusive,
                                      const CompanionTest& isCompanion);

}  // namespace kx4

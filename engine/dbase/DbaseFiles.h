#pragma once
// The files of one dBase table and how they are found and opened.
#include <memory>
#include <string>

#include "FileSystem.h"
#include "TableFormat.h"

namespace kx4::dbase {

// Full path of an existing companion (".DBT", ".MDX", ".FPT") of the table, matched without
// regard to case (tables copied between systems often have "x.dbf" beside "X.DBT"); "" if none.
std::string findCompanion(const TablePath& table, const std::string& extension);
// Path for a companion that may not exist yet: the existing one, or the table's stem plus the
// extension in the case of the data file's extension.
std::string companionPath(const TablePath& table, const std::string& extension);

// Opens the data file and takes the OS lock; raises DBIERR_TABLEINUSE naming the table when

}  // namespace kx4::dbase

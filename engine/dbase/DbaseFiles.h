#pragma once
// The files of one dBase table and how they are found and opened.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/core/FileSystem.h"
#include "engine/core/TableFormat.h"
#include "engine/dbase/DbfHeader.h"

namespace kx4::dbase {

// Full path of an existing companion (".DBT", ".MDX", ".FPT") of the table, matched without
// regard to case (tables copied between systems often have "x.dbf" beside "X.DBT"); "" if none.
std::string findCompanion(const TablePath& table, const std::string& extension, FileSystem& fs);
// Path for a companion that may not exist yet: the existing one, or the table's stem plus the
// extension in the case of the data file's extension.
std::string companionPath(const TablePath& table, const std::string& extension, FileSystem& fs);
// Whether `fileName` is a memo or index file of `table` by its name, regardless of case.
bool isCompanionName(const TablePath& table, const std::string& fileName);

// Calls `visit` with each of the first `count` records of a .DBF (deleted ones too), in order,
// read a chunk at a time.
void forEachRecord(File& data, const DbfHeader& header, std::uint32_t count,
                   const std::function<void(const std::uint8_t* raw, std::uint32_t n)>& visit);

}  // namespace kx4::dbase

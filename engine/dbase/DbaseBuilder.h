#pragma once
// Writes a whole new dBase table (data, memo file, production index) into staged files.
#include <memory>
#include <string>

#include "engine/core/TableFormat.h"
#include "engine/dbase/DbaseProperties.h"

namespace kx4::dbase {

std::unique_ptr<TableBuilder> makeDbaseBuilder(const TablePath& target, const TableSchema& schema,
                                               std::shared_ptr<const FormatProperties> like,
                                               FileTransaction& tx);

}  // namespace kx4::dbase

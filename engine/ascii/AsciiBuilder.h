#pragma once
// Writes a new text table (.TXT data and .SCH schema) into staged files.
#include <memory>

#include "engine/core/TableFormat.h"

namespace kx4::ascii {

std::unique_ptr<TableBuilder> makeAsciiBuilder(const TablePath& target, const TableSchema& schema,
                                               std::shared_ptr<const FormatProperties> like,
                                               FileTransaction& tx);

}  // namespace kx4::ascii

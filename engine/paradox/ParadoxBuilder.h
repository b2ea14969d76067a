#pragma once
// Writes a whole Paradox table (.DB, and .PX and .MB when it needs them) into staged files of
// a transaction.
#include <memory>

#include "engine/core/TableFormat.h"

namespace kx4::paradox {

// `like` carries the level, block size, code page, sort order, password and counters of the
// table being replaced; null gives a new level 7 table in code page 1252.
std::unique_ptr<TableBuilder> buildParadoxTable(const TablePath& target, const TableSchema& schema,
                                                std::shared_ptr<const FormatProperties> like,
                                                FileTransaction& tx);

}  // namespace kx4::paradox

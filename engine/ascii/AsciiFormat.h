#pragma once
// Text tables: a .TXT data file described by a .SCH schema, FIXED or VARYING (delimited).
#include "engine/core/TableFormat.h"

namespace kx4 {

TableFormat& asciiFormat();

}  // namespace kx4

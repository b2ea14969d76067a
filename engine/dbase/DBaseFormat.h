#pragma once
// The dBase table format: .DBF tables of dBase III, IV, 5 and 7 with .DBT memos and .MDX
// production indexes; FoxPro tables are read only.
#include "engine/core/TableFormat.h"

namespace kx4 {

TableFormat& dbaseFormat();

}  // namespace kx4

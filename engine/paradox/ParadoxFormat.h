#pragma once
// The Paradox table driver (.DB files with their .PX, .MB and index companions).
#include "engine/core/TableFormat.h"

namespace kx4 {

TableFormat& paradoxFormat();

}  // namespace kx4

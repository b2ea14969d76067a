#pragma once
// The fonts the windows' designs name.
#include <QFont>

namespace kx4 {

// Arial bold at `points`, or the system's sans-serif face where Arial is missing.
QFont arialBold(int points);

}  // namespace kx4

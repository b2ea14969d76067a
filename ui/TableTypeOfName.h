#pragma once
// Which driver opens a table addressed by the name the browser lists (extension included).
#include <QString>

#include "engine/core/TableSchema.h"

namespace kx4 {

// Paradox, unless the name contains ".dbf" or ".DBF" (dBase) or ".txt" or ".TXT" (text; tested
// last, so it wins over dBase). Only these exact spellings count: "X.Dbf" opens as Paradox.
TTableType TableTypeOfName(const QString& tableName);

}  // namespace kx4

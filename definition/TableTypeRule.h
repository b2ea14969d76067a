#pragma once
// Which kind of table a name typed into the definition window stands for.
#include <QString>

#include "TableFormat.h"

namespace kx4 {

// The definition window's rule: Paradox; dBase when the name contains ".dbf" or ".DBF"; text
// when it contains ".txt" or ".TXT" (this test comes last and wins). Mixed spellings such as
// ".Dbf" stay Paradox.
TTableType tableTypeFromName(const QString& tableName);

// The rule of the field-length change: the same tests on the upper-cased name, so every
// spelling of ".dbf" and ".txt" counts.
TTableType tableTypeFromUpperName(const QString& tableName);

}  // namespace kx4

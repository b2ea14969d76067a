#include "TableTypeRule.h"

namespace kx4 {

TTableType tableTypeFromName(const QString& tableName) {
    TTableType type = TTableType::ttParadox;
    if (tableName.contains(u".dbf") || tableName.contains(u".DBF")) type = TTableType::ttDBase;
    if (tableName.contains(u".txt") || tableName.contains(u".TXT")) type = TTableType::ttASCII;
    return type;
}

TTableType tableTypeFromUpperName(const QString& tableName) {
    return tableTypeFromName(tableName.toUpper());
}

}  // namespace kx4

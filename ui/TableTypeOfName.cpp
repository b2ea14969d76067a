#include "ui/TableTypeOfName.h"

namespace kx4 {

TTableType TableTypeOfName(const QString& tableName) {
    TTableType type = TTableType::ttParadox;
    if (tableName.contains(u".dbf") || tableName.contains(u".DBF")) type = TTableType::ttDBase;
    if (tableName.contains(u".txt") || tableName.contains(u".TXT")) type = TTableType::ttASCII;
    return type;
}

}  // namespace kx4

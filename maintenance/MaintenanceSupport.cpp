#include "maintenance/MaintenanceSupport.h"

#include "engine/Dbi.h"
#include "engine/core/TableFormat.h"
#include "ui/TableTypeOfName.h"

namespace kx4 {

void prepareTable(TTable& table, const QString& alias, const QString& tableName, bool typeByRule) {
    table.Close();
    table.DatabaseName = toEngine(alias);
    table.TableName = toEngine(tableName);
    if (typeByRule) table.TableType = TableTypeOfName(tableName);
    table.IndexFieldNames.clear();
}

TTableType typeForTypedName(const QString& typedName, TTableType chosenType) {
    if (!formatByExtension(toEngine(typedName))) return chosenType;
    return TableTypeOfName(typedName);
}

void showIndexesShared(const OperationContext& context, TTable& table) {
    table.Close();
    table.Exclusive = false;
    table.Open();
    context.showIndexes(table);
    table.Close();
}

hDBIDb databaseOf(TTable& table) {
    hDBIObj database = nullptr;
    Check(DbiGetObjFromObj(table.Handle(), objDATABASE, &database));
    return static_cast<hDBIDb>(database);
}

}  // namespace kx4

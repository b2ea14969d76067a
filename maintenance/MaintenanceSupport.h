#pragma once
// What the index and table maintenance operations of the main window share: readying their
// temporary table object, the clean-up that runs whether the work succeeded or raised, and the
// refresh of the index list from the table opened shared.
#include <QString>
#include <string>

#include "engine/Table.h"
#include "ui/AliasPath.h"
#include "ui/OperationContext.h"

namespace kx4 {

// Readies `table` for the chosen alias and table: inactive, names set, no index order. The type
// follows the browser's rule, or is left to the engine (by the file extension) when
// `typeByRule` is false.
void prepareTable(TTable& table, const QString& alias, const QString& tableName,
                  bool typeByRule = true);

// The table type for a name typed in place of the chosen table: the chosen table's type, unless
// the typed name's extension names a table of another kind (a ".DB" typed while a ".DBF" is
// chosen), which is then opened by its own type as the browser would open it.
TTableType typeForTypedName(const QString& typedName, TTableType chosenType);

// How the index operations end: `table` is closed if open, opened shared, shown in the index list
// (the context's showIndexes) and closed again.
void showIndexesShared(const OperationContext& context, TTable& table);

// The database handle of the open table, for the engine calls that want it.
hDBIDb databaseOf(TTable& table);

// Names cross to and from the engine as the browser passes them, so that a table or directory
// named in an old 8-bit code page keeps its bytes.
inline QString fromEngine(const std::string& text) { return OemToAnsi(text); }
inline std::string toEngine(const QString& text) { return AnsiToOem(text); }

}  // namespace kx4

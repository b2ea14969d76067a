#pragma once
// The local-SQL statements the engine runs: adding one column to a table and dropping one.
//
//   ALTER TABLE "T" ADD "T"."F" <type>
//   ALTER TABLE "T" DROP "T"."F"
//
// Identifiers may be quoted ("..." with "" standing for one quote) or plain words; the column
// may be qualified by the table name. Types: CHARACTER(n) (also CHAR(n), VARCHAR(n)), SMALLINT,
// INTEGER, LARGEINT, FLOAT, CURRENCY (also MONEY), NUMERIC(p,s), BOOLEAN, DATE, TIME, TIMESTAMP
// and BLOB(n,s) with subtype s: 1 memo, 2 binary, 3 formatted memo, 4 OLE, 5 graphic.
#include <string>

#include "engine/core/FieldType.h"

namespace kx4 {

struct AlterTableStatement {
    enum class Action { Add, Drop };
    Action action = Action::Add;
    std::string table;
    std::string column;
    TFieldType type = TFieldType::ftUnknown;  // Add only
    int size = 0;                             // characters, memo leader or decimals
};

// Raises EDBEngineError (DBIERR_QRYSYNTAX) naming the position (1-based character) and what
// was expected, for anything but one such statement.
AlterTableStatement parseAlterTable(const std::string& sql);

}  // namespace kx4

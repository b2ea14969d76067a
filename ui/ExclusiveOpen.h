#pragma once
// Opening a table exclusively while the user may ask to try again: as long as the open fails
// with a database error, an error box with OK and Cancel asks whether to retry. OK tries again;
// Cancel lets the database error go on to the default error box.
#include <QString>

#include "engine/Table.h"

namespace kx4 {

// `"NAME" konnte nicht exclusiv geöffnet werden - OK zu weiterem Versuch?` (entry 65162 after
// the quoted name), as the field-type and index operations ask it.
QString ExclusiveRetryQuestion(const QString& tableName);
// The same preceded by "Tabelle " (entries 65161 and 65162), as reorganising and compressing ask.
QString TabelleExclusiveRetryQuestion(const QString& tableName);

// Sets Exclusive and opens `table`, asking `question` after each attempt that failed because the
// table is held elsewhere; any other failure of the open is raised at once.
void OpenExclusiveWithRetry(TTable& table, const QString& question);

}  // namespace kx4

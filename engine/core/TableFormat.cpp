#include "TableFormat.h"

#include "Errors.h"
#include "FileTransaction.h"

namespace kx4 {

// Defined here, beside the interface, so that every driver library links with the core alone
// (this is the class's key function: its vtable and type information live in this file).
void TableFormat::rebuildIndexes(TableFile& file, FileTransaction& tx) {
    if (file.info().seqNums != 1)
        throwEngineError(DBIERR_NOTSUPPORTED,
                         driverName() + " tables cannot rebuild their indexes alone");
    auto builder = build(file.path(), file.schema(), file.properties(), tx);
    auto cursor = file.scan();
    Record record;
    while (cursor->next(record)) builder->append(record);
    builder->finish();
}

}  // namespace kx4

#pragma once
// Whole-table operations shared by every format: create, rebuild with a new structure (the
// restructure), pack, and index maintenance. Each writes the new files aside and swaps them in
// through one FileTransaction, so an interruption leaves the old table intact.
#include <string>
#include <vector>

#include "engine/core/TableFormat.h"

namespace kx4 {
class ProgressSink;
}

namespace kx4 {

// One field of the new structure and where its values come from (-1: a new, blank field).
struct FieldPlan {
    FieldDef target;
    int source = -1;
};

struct RestructurePlan {
    std::vector<FieldPlan> fields;
    // Only a pack drops the records marked deleted; any other rewrite keeps them, marked.
    bool pack = false;
};

// Field definition for a new table from the table component's type and size.
FieldDef fieldForCreate(TableFormat& format, const std::string& name, TFieldType type, int size,
                        bool required);
// Engine descriptor (logical codes) for the table component's type and size.
void descriptorForType(TFieldType type, int size, FLDDesc& desc);

// Creates a table (with the given records, if any) through `fs`, replacing a same-named one
// with all its companion files.
void createTable(TableFormat& format, const TablePath& path, const TableSchema& schema,
                 const std::vector<Record>& records = {}, FileSystem& fs = defaultFileSystem());

// Rewrites the table held exclusively by `source` with the planned structure. Every value is
// converted exactly or the whole operation is refused, naming field and record; indexes that
// use a dropped field make it fail as well. `source` is stale afterwards. `notes`, when given,
// receives what the user should learn that is no failure (validity checks left as they were).
// The rewrites report to `progress`, when given, and raise EOperationCancelled when it asks
// to stop; the table is then unchanged, as after a failure.
void restructureTable(TableFormat& format, TableFile& source, const RestructurePlan& plan,
                      std::vector<std::string>* notes = nullptr, ProgressSink* progress = nullptr);
// The same structure with live records only and every index rebuilt: the one rewrite that
// drops the records marked deleted.
void packTable(TableFormat& format, TableFile& source, ProgressSink* progress = nullptr);
RestructurePlan identityPlan(const TableSchema& schema);

// Every index of the table held exclusively by `file` written anew.
void rebuildIndexes(TableFormat& format, TableFile& file, ProgressSink* progress = nullptr);

// Index maintenance on a closed table, which is opened exclusively with `options`.
void addIndexToTable(TableFormat& format, const TablePath& path, const IndexDef& index,
                     const OpenOptions& options);
void deleteIndexFromTable(TableFormat& format, const TablePath& path, const std::string& name,
                          const OpenOptions& options);

}  // namespace kx4

#pragma once
// Between engine index definitions (IndexDef) and .MDX tags.
//
// dBase has no primary index: a primary index is refused. A unique index becomes a dBase UNIQUE
// tag, which keeps the first record of each key and leaves later duplicates out of the tag
// (dBase's own meaning; no key violation is raised). A case-insensitive index becomes an
// expression tag UPPER(field) (UPPER(a+b) over several fields), which the engine then reports
// as an expression index with the case-insensitive option. Several fields are joined into one
// character key: dates as DTOS(d), numbers as STR(n, width, decimals).
#include <string>
#include <vector>

#include "engine/core/TableSchema.h"
#include "engine/dbase/DbfHeader.h"
#include "engine/dbase/MdxFile.h"

namespace kx4::dbase {

// Tag name and key expression for an index definition; raises EDBEngineError for what dBase
// cannot hold (DBIERR_NOTSUPPORTED for primary indexes, DBIERR_NOSUCHFIELD, ...).
MdxTagSpec tagSpecFor(const IndexDef& index, const std::vector<DbfField>& fields, DbfLevel level,
                      const std::string& tableFile);

// How the engine reports a tag.
IndexDef indexDefOf(const MdxTag& tag, const std::vector<DbfField>& fields);
IndexDef indexDefOf(const MdxTagSpec& tag, const std::vector<DbfField>& fields);

}  // namespace kx4::dbase

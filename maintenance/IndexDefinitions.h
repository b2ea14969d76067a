#pragma once
// The definition list of the index rebuild, one entry per index: the primary key first as its
// field names joined by ";" and followed by "*", then every other index as its field list
// exactly as the engine reports it. The list is what the definition file holds and what the
// rebuild creates again.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "engine/core/TableSchema.h"

namespace kx4 {

inline constexpr QChar kKeyEntryMark = u'*';

// The list for a table that has indexes: the key entry when `keyFields` is not empty, then the
// field list of every index in definition order. Entries that are empty (expression indexes) or
// equal to the key fields (the primary index itself, or a secondary index over the key) are left
// out.
QStringList collectIndexDefinitions(const std::vector<IndexDef>& indexes, const QString& keyFields);

struct IndexToCreate {
    QString name;    // empty for the primary index
    QString fields;  // ";"-joined
    TIndexOptions options;
    bool operator==(const IndexToCreate&) const = default;
};

// Name of the secondary index of `entry` at list position `position` (from 0): "_" and the field
// names joined by "&"; when those run past 24 characters, "_", the date and time `now` as
// "ddmmyyyyhhnnss" and the position.
QString generatedIndexName(const QString& entry, int position, const QDateTime& now);

// The indexes that the list stands for, in list order; an empty entry stands for none. The key
// entry gives the primary index, every other entry a case-insensitive index with a generated
// name. A name already given in this list is not given twice: the later index gets the
// date-and-time form, which its position makes unique.
std::vector<IndexToCreate> indexesToCreate(const QStringList& definitions, const QDateTime& now);

}  // namespace kx4

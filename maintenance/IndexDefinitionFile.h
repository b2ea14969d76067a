#pragma once
// The index definition file beside a table: it lies in the alias directory under the table's file
// name with ".Index.txt" appended, holds one definition a line (IndexDefinitions.h), each line
// ended by CR LF, in the Windows ANSI code page (1252). It is read and written through `fs`.
#include <QString>
#include <QStringList>

#include "engine/core/FileSystem.h"

namespace kx4 {

// "<aliasDirectory>/<tableFileName>.Index.txt".
QString indexDefinitionFilePath(const QString& aliasDirectory, const QString& tableFileName);

// Replaces the file with `definitions`. The new text is written under a temporary name, flushed
// and renamed over the file, so an interruption leaves the old file or the new one; the previous
// file is kept as "<file>.bak" first. Raises EInOutError naming the file that cannot be written,
// and refuses, before anything is written, a file or backup that is a table's (TableFileGuard.h).
void writeIndexDefinitionFile(const QString& path, const QStringList& definitions,
                              FileSystem& fs = defaultFileSystem());

// The lines of the file (ended by CR LF or LF). Raises EInOutError
// "Datei <path> kann nicht geöffnet werden" when it is missing or unreadable, or too large to be a
// definition file.
QStringList readIndexDefinitionFile(const QString& path, FileSystem& fs = defaultFileSystem());

}  // namespace kx4

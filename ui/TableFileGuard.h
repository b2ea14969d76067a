#pragma once
// The files the program writes besides tables (the structure report, its PDF, the index
// definition file) must never take the place of a table's file. Which files belong to a table is
// the engine's rule: the data file of every table the engine lists, and its companions (primary
// and secondary indexes, memo files, text schemas ...).
#include <QString>
#include <optional>

#include "engine/core/FileSystem.h"

namespace kx4 {

// The table (its data file's name) that the file at `path` is or belongs to, in the directory it
// names, or nullopt. Names are compared as the engine matches companions, without regard to
// case. A name the engine would take for a table counts even when no such file exists yet.
std::optional<QString> tableOwningFile(const QString& path, FileSystem& fs = defaultFileSystem());

// The files are looked at through `fs`.

// Raises EInOutError when `path` is empty or names a table's file (tableOwningFile).
void refuseTableFile(const QString& path, FileSystem& fs = defaultFileSystem());

// For a file about to be written: refuses a table's file as refuseTableFile does, and when the
// file exists asks whether it may be overwritten. False when the user says no.
bool mayWriteFile(const QString& path, FileSystem& fs = defaultFileSystem());

}  // namespace kx4

#pragma once
// The demo database: a few tables of a small trading business in each of the three formats.
#include <string>

#include "engine/core/FileSystem.h"

namespace kx4 {

// Writes KUNDEN.DB (Paradox, keyed, with memo), KONTEN.DB (Paradox, password-protected),
// ARTIKEL.DBF (dBase with memo and two index
// tags) and PREISE.TXT (text table) into `dir`, replacing tables of those names. Every file is
// written through `fs`.
void writeDemoTables(const std::string& dir, FileSystem& fs = defaultFileSystem());

}  // namespace kx4

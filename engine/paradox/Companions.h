#pragma once
// The files that belong to a Paradox table, found by stem and extension regardless of case.
#include <string>
#include <vector>

#include "engine/core/TableFormat.h"

namespace kx4::paradox {

// An existing companion of `table` with extension `ext` (".PX"), matched without regard to
// case; when there is none, the path it gets, upper or lower case as the table's own extension.
std::string companionPath(const TablePath& table, const std::string& ext, FileSystem& fs);
// The path a companion with extension `ext` gets while there is none.
std::string newCompanionPath(const TablePath& table, const std::string& ext);
bool companionExists(const TablePath& table, const std::string& ext, FileSystem& fs);
// Whether `fileName` is a companion of `table` by its name: same stem and a companion's
// extension, both regardless of case.
bool isCompanionName(const TablePath& table, const std::string& fileName);

// Existing files of the table, data file first. `derivedOnly` limits them to what a rewrite
// replaces: data file, primary index, blob file and secondary index files.
std::vector<std::string> tableFiles(const TablePath& table, bool derivedOnly, FileSystem& fs);

}  // namespace kx4::paradox

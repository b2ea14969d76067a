#pragma once
// What a rewrite of a dBase table carries over from the table it replaces.
#include <cstdint>
#include <map>
#include <string>

#include "engine/core/TableFormat.h"
#include "engine/dbase/DbfHeader.h"
#include "engine/dbase/LanguageDriver.h"
#include "engine/dbase/MemoFile.h"

namespace kx4::dbase {

struct DbaseProperties : FormatProperties {
    DbfLevel level = DbfLevel::IV;  // new tables: dBase IV
    // Version byte of the table a rewrite replaces, 0 for a new table: a rewrite keeps the level.
    std::uint8_t version = 0;
    std::uint8_t ldid = kDefaultLdid;
    std::string driverName;  // level 7
    int codePage = kDefaultCodePage;
    int memoBlockSize = kDefaultMemoBlockSize;
    // Next auto-increment value of '+' fields, by upper-case field name.
    std::map<std::string, std::uint32_t> autoIncNext;
    // Set when the table's production index could not be read: a rewrite would lose its tags.
    std::string indexUnreadable;
    // Set when the header counts records the file does not hold: a rewrite would drop them.
    std::string headerDisagreement;
    // Set when the table's memo file is missing or unusable: a rewrite would lose its memos.
    std::string memoUnreadable;
};

}  // namespace kx4::dbase

#pragma once
// The language driver of a dBase table: header byte 29 (LDID) and, at level 7, the driver name at
// header offset 32. Both name the code page of the table's text.
#include <cstdint>
#include <string>

namespace kx4::dbase {

// LDID written into new tables: 0x57 = Windows ANSI, code page 1252 (driver "DBWINUS0").
inline constexpr std::uint8_t kDefaultLdid = 0x57;
inline constexpr int kDefaultCodePage = 1252;

// Code page of an LDID; 0 when the byte is 0 or unknown (the caller uses its default).
int codePageOfLdid(std::uint8_t ldid);
// Code page of a level-7 driver name ("DB437US0", "DBWINUS0"); 0 when unknown.
int codePageOfDriverName(const std::string& name);
// LDID for a code page (the first entry of the table that has it), kDefaultLdid if none.
std::uint8_t ldidForCodePage(int codePage);
// A level-7 driver name for a code page ("DBWINUS0" for 1252).
std::string driverNameForCodePage(int codePage);

}  // namespace kx4::dbase

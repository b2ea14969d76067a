#include "engine/dbase/LanguageDriver.h"

#include <array>
#include <cstdlib>

namespace kx4::dbase {

namespace {

struct LdidEntry {
    std::uint8_t ldid;
    int codePage;
};

// Preferred entry per code page first: ldidForCodePage picks the first match.
constexpr std::array<LdidEntry, 64> kLdids{{
    {0x57, 1252}, {0x01, 437},  {0x02, 850},   {0x03, 1252},  {0x04, 10000}, {0x08, 865},
    {0x09, 437},  {0x0A, 850},  {0x0B, 437},   {0x0D, 437},   {0x0E, 850},   {0x0F, 437},
    {0x10, 850},  {0x11, 437},  {0x12, 850},   {0x13, 932},   {0x14, 850},   {0x15, 437},
    {0x16, 850},  {0x17, 865},  {0x18, 437},   {0x19, 437},   {0x1A, 850},   {0x1B, 437},
    {0x1C, 863},  {0x1D, 850},  {0x1F, 852},   {0x22, 852},   {0x23, 852},   {0x24, 860},
    {0x25, 850},  {0x26, 866},  {0x37, 850},   {0x40, 852},   {0x4D, 936},   {0x4E, 949},
    {0x4F, 950},  {0x50, 874},  {0x58, 1252},  {0x59, 1252},  {0x64, 852},   {0x65, 866},
    {0x66, 865},  {0x67, 861},  {0x6A, 737},   {0x6B, 857},   {0x78, 950},   {0x79, 949},
    {0x7A, 936},  {0x7B, 932},  {0x7C, 874},   {0x7D, 1255},  {0x7E, 1256},  {0x86, 737},
    {0x87, 852},  {0x88, 857},  {0x96, 10007}, {0x97, 10029}, {0x98, 10006}, {0xC8, 1250},
    {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253},  {0x69, 620},
}};

}  // namespace

int codePageOfLdid(std::uint8_t ldid) {
    for (const auto& e : kLdids)
        if (e.ldid == ldid && ldid != 0) return e.codePage;
    return 0;
}

int codePageOfDriverName(const std::string& name) {
    // "DBWIN..0" drivers are Windows ANSI; "DB" + digits + country otherwise.
    if (name.size() < 3 || name[0] != 'D' || name[1] != 'B') return 0;
    if (name.compare(2, 3, "WIN") == 0) return 1252;
    std::size_t end = 2;
    while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
    if (end == 2) return 0;
    return std::atoi(name.substr(2, end - 2).c_str());
}

std::uint8_t ldidForCodePage(int codePage) {
    for (const auto& e : kLdids)
        if (e.codePage == codePage) return e.ldid;
    return kDefaultLdid;
}

std::string driverNameForCodePage(int codePage) {
    switch (codePage) {
        case 1252:
            return "DBWINUS0";
        case 437:
            return "DB437US0";
        case 850:
            return "DB850US0";
        case 852:
            return "DB852CZ0";
        case 865:
            return "DB865DA0";
        case 866:
            return "DB866RU0";
        default:
            return "DB" + std::to_string(codePage) + "US0";
    }
}

}  // namespace kx4::dbase

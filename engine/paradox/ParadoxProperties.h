#pragma once
// What a rewrite of a Paradox table keeps from the table it replaces.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/TableFormat.h"
#include "engine/paradox/ParadoxHeader.h"
#include "engine/paradox/SortOrder.h"

namespace kx4::paradox {

class ParadoxProperties final : public FormatProperties {
  public:
    std::uint8_t version = kVersion7;
    std::uint8_t blockSizeKb = 0;  // 0: chosen by record size
    int codePage = kDefaultCodePage;
    // False for a table read in a code page its header does not name: a rewrite keeps the
    // header's code page field at 0.
    bool namesCodePage = true;
    SortOrder sortOrder = defaultSortOrder();
    std::uint32_t encryption = 0;     // password checksum
    std::uint32_t autoIncrement = 0;  // last value handed out
    std::uint8_t changeCount1 = 1;
    std::uint8_t changeCount2 = 1;  // must stay equal to byte 0 of the .VAL file
    std::uint8_t writeProtected = 0;
    std::uint8_t refIntegrity = 0;
    std::uint8_t byte6C = 1;
    // Kept as the original engine left them: a pack or restructure has no reason to change them.
    std::uint16_t changeCount4 = 1;  // 0x70
    std::uint8_t byte74 = 0;
    // Field IDs of the table (0x64 and the array after the field names); a rewrite that knows
    // where its fields come from carries them over (ParadoxBuilder::keepFieldIds).
    std::vector<std::uint16_t> fieldIds;
    std::uint16_t nextFieldId = 0;

    static ParadoxProperties fromHeader(const Header& h);
};

}  // namespace kx4::paradox

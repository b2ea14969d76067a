#pragma once
// The .DBF header and field descriptors of dBase III, IV, 7 and FoxPro tables.
#include <cstdint>
#include <string>
#include <vector>

namespace kx4 {
class File;
class TextCodec;
}  // namespace kx4

namespace kx4::dbase {

enum class DbfLevel {
    III,     // 0x03 / 0x83: dBase III memo layout
    IV,      // 0x8B and the SQL variants: dBase IV memo layout
    Seven,   // 0x04 / 0x8C: 48-byte descriptors, binary field types
    FoxPro,  // 0x30-0x32, 0xF5, 0xFB: read only
};

// One field descriptor as stored.
struct DbfField {
    std::string name;  // UTF-8
    char type = 'C';   // type letter
    int length = 0;    // bytes in the record
    int decimals = 0;
    int offset = 0;                 // position in the record (after the deletion flag, so >= 1)
    std::uint32_t autoIncNext = 0;  // level 7 '+' fields: the next value
    bool system = false;            // FoxPro hidden field (_NullFlags), not shown
    bool productionTag = false;     // descriptor flag: the field has a production .MDX tag
};

struct DbfHeader {
    std::uint8_t version = 0x03;
    DbfLevel level = DbfLevel::IV;
    int updateYear = 0;  // full year
    int updateMonth = 1;
    int updateDay = 1;
    std::uint32_t recordCount = 0;
    std::uint16_t headerLength = 0;
    std::uint16_t recordLength = 0;
    bool hasProductionMdx = false;
    std::uint8_t ldid = 0;
    std::string driverName;  // level 7
    bool terminatorMissing = false;
    // The stored record length was shorter than the fields; the fields' length is used.
    bool recordLengthRepaired = false;
    std::vector<DbfField> fields;

    bool hasMemoFlag() const { return (version & 0x80) != 0 || version == 0x30; }
};

// Level of a version byte; raises naming the file for dBase II and unknown bytes.
DbfLevel levelOfVersion(std::uint8_t version, const std::string& fileName);

// Reads and checks the header; field names are decoded with `codec` unless it is null (then
// taken as Latin-1-free ASCII). Raises DBIERR_HEADERCORRUPT naming the file and the problem.
DbfHeader readDbfHeader(File& file, const TextCodec* codec);
// Language driver only (to choose the codec before the names are decoded).
void peekLanguage(File& file, std::uint8_t& version, std::uint8_t& ldid, std::string& driverName);

// Header bytes (headerLength of them) for a header whose fields carry their final layout.
std::vector<std::uint8_t> encodeDbfHeader(const DbfHeader& header, const TextCodec& codec);

// Fills offsets, record length and header length from the field list and level.
void layoutFields(DbfHeader& header);

inline constexpr std::uint8_t kRecordLive = 0x20;
inline constexpr std::uint8_t kRecordDeleted = 0x2A;
inline constexpr std::uint8_t kEndOfFile = 0x1A;

}  // namespace kx4::dbase

#pragma once
// The header shared by .DB, .PX, .Xnn/.XGn and .Ynn/.YGn files: a fixed part, for level 4 and
// later data and X files an extension at 0x58, then a variable area with field descriptions
// and names.
#include <cstdint>
#include <string>
#include <vector>

namespace kx4 {
class File;
}

namespace kx4::paradox {

// Byte 0x04.
enum class FileType : std::uint8_t {
    KeyedTable = 0,
    PrimaryIndex = 1,
    Table = 2,
    SecondaryIndex = 3,            // .Xnn of an unkeyed table (not maintained)
    SecondaryIndexTree = 4,        // .Ynn
    SecondaryIndexMaintained = 5,  // .Xnn of a keyed table
    CompositeIndex = 6,            // .XGn of an unkeyed table
    CompositeIndexTree = 7,        // .YGn
    CompositeIndexMaintained = 8,  // .XGn of a keyed table
};

// Byte 0x39.
inline constexpr std::uint8_t kVersion30 = 0x03;
inline constexpr std::uint8_t kVersion35 = 0x04;
inline constexpr std::uint8_t kVersion4 = 0x09;
inline constexpr std::uint8_t kVersion5 = 0x0B;
inline constexpr std::uint8_t kVersion7 = 0x0C;

inline constexpr std::size_t kFixedHeaderSize = 0x58;
inline constexpr std::size_t kExtendedHeaderSize = 0x78;
inline constexpr std::uint32_t kEncryptedMarker = 0xFF00FF00;
inline constexpr std::size_t kMaxFields = 255;

struct FieldInfo {
    std::uint8_t type = 0;
    std::uint8_t size = 0;  // bytes in the record; decimal places for BCD
    bool operator==(const FieldInfo&) const = default;
};

struct Header {
    std::uint16_t recordSize = 0;
    std::uint16_t headerSize = 0;
    FileType fileType = FileType::Table;
    std::uint8_t blockSizeKb = 2;
    std::uint32_t numRecords = 0;
    std::uint16_t blocksInUse = 0;
    std::uint16_t fileBlocks = 0;
    std::uint16_t firstBlock = 0;
    std::uint16_t lastBlock = 0;
    std::uint16_t unknown12 = 0;
    std::uint8_t modifiedFlags1 = 0;
    std::uint8_t indexFieldNumber = 0;
    std::uint16_t indexRoot = 0;
    std::uint8_t indexLevels = 0;
    std::uint16_t primaryKeyFields = 0;
    std::uint32_t encryption = 0;  // password checksum, 0 when not protected
    std::uint8_t sortOrder = 0;
    std::uint8_t modifiedFlags2 = 0;
    std::uint8_t indexFlags = 0;  // 0x2B, X files: this engine's unique mark (kIndexUnique)
    std::uint8_t byte2C = 0;
    std::uint8_t changeCount1 = 0;
    std::uint8_t changeCount2 = 0;
    std::uint8_t byte2F = 0;  // X files: repeats the primary index's 0x2C
    std::uint8_t writeProtected = 0;
    std::uint8_t version = kVersion7;
    std::uint16_t maxBlocks = 0;
    std::uint8_t auxPasswords = 0;
    std::uint32_t autoInc = 0;
    std::uint16_t firstFreeBlock = 0;
    std::uint8_t refIntegrity = 0;  // 0x55; X files: case and direction (kIndex...Bit)
    // Level 4+ data and X files only.
    std::uint32_t updateTime = 0;
    std::uint16_t codePage = 0;
    std::uint8_t byte6C = 1;
    std::uint16_t changeCount4 = 1;
    std::uint8_t byte74 = 0;
    // 0x64 of data files: the ID the next new field gets. Field IDs (fieldNumbers) outlive
    // restructures, so this may lie well above the field count; 0: one past the highest ID.
    std::uint16_t nextFieldNumber = 0;

    std::vector<FieldInfo> fields;
    std::string tableName;                // raw bytes in the table's code page
    std::vector<std::string> fieldNames;  // raw bytes; data and X files only
    // Level 4+ data and X files only. Data files: the IDs of the fields, kept across
    // restructures. X files: the table positions (1-based) of the indexed fields, then the
    // entry's own positions.
    std::vector<std::uint16_t> fieldNumbers;
    std::string sortOrderName;  // level 4+ data and X files only
    std::string indexName;      // named .XGn files only

    bool hasFieldNames() const;  // data and X files
    bool hasExtension() const;   // the 0x58-0x77 block exists
    std::size_t tableNameLength() const { return version >= kVersion7 ? 261 : 79; }
    std::uint32_t blockSize() const { return blockSizeKb * 1024u; }
    std::uint64_t blockOffset(std::uint32_t block) const {
        return headerSize + static_cast<std::uint64_t>(block - 1) * blockSize();
    }
};

// Parses and validates a header read from `fileName`; `bytes` holds at least the first
// headerSize bytes of the file (or the whole file when shorter). Raises a corrupt-file error
// naming the file and the fault.
Header parseHeader(const std::vector<std::uint8_t>& bytes, const std::string& fileName);

// Reads the header of an open file (the size word at 0x02 says how much).
Header readHeader(File& file);

// Bytes of a header; fills realHeaderSize and the offsets of the variable area. For level 3.0
// the header is exactly as long as its content, otherwise `headerSize` (rounded up to 0x800
// when the content needs more) is used and stored back.
std::vector<std::uint8_t> serializeHeader(Header& header);

// 0x2B of X files: 0 in the original's files. This engine marked case-insensitive indexes
// with 0x01 here before it knew 0x55 (still read), and marks unique ones with 0x02, for which
// no place of the original's is known.
inline constexpr std::uint8_t kIndexCaseInsensitive = 0x01;
inline constexpr std::uint8_t kIndexUnique = 0x02;

// 0x55 of X files, as the original sets it: bit 0 case-insensitive (every .XGn it writes
// with capitals for keys has it), bit 4 descending (0x11 in a descending .XGn); 0 in the
// case-sensitive .Xnn files.
inline constexpr std::uint8_t kIndexCaseInsensitiveBit = 0x01;
inline constexpr std::uint8_t kIndexDescendingBit = 0x10;

// Bytes a record of `fields` occupies.
std::size_t recordSizeOf(const std::vector<FieldInfo>& fields);

}  // namespace kx4::paradox

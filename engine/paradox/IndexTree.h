#pragma once
// The B-tree files (.PX over a table, .Ynn/.YGn over an X file). Each entry is a key (the key
// fields of the first record below it, encoded as in the data file) followed by three
// sign-flipped shorts: block number (a data block at level 1, a tree block above), record
// count below the entry, and 0. All blocks of all levels form one chain.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/FileSystem.h"
#include "engine/paradox/ParadoxHeader.h"

namespace kx4 {
class File;
}

namespace kx4::paradox {

struct IndexEntry {
    std::string key;
    std::uint16_t block = 0;
    std::uint32_t count = 0;
};

struct IndexTreeLayout {
    FileType type = FileType::PrimaryIndex;
    std::vector<FieldInfo> keyFields;
    std::uint8_t version = kVersion7;
    std::uint8_t sortOrder = 0;
    std::uint8_t dataChangeCount = 0;  // the data file's 0x2D, repeated at 0x2C
    std::uint32_t encryption = 0;      // the table's password checksum; blocks are scrambled
    std::string tableName;             // raw bytes
    // Kept from the file a rebuild replaces (keepTreeBytes): the original engine writes
    // trees of 1, 2 or 4 KiB blocks and counts at 0x49; 0 chooses the block size.
    std::uint8_t blockSizeKb = 0;
    std::uint32_t counter = 1;
};

// Takes block size and counter from the tree file at `path`, when there is a readable one of
// the same type.
void keepTreeBytes(const std::string& path, IndexTreeLayout& layout, FileSystem& fs);

// Writes a complete tree file whose level-1 entries are `leaves` (in key order).
void writeIndexTree(File& out, const IndexTreeLayout& layout,
                    const std::vector<IndexEntry>& leaves);

// Reads the level-1 entries of a tree file, descending from its root; raises a corrupt-index
// error for a tree that loops, points outside the file or disagrees with its counts.
std::vector<IndexEntry> readIndexLeaves(File& file, const Header& header);

}  // namespace kx4::paradox

#include "engine/paradox/IndexTree.h"

#include <cstring>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/paradox/ByteOrder.h"
#include "engine/paradox/DataBlocks.h"
#include "engine/paradox/Encryption.h"
#include "engine/paradox/FieldCodec.h"

namespace kx4::paradox {

namespace {

constexpr std::size_t kEntryTail = 6;
constexpr int kMaxLevels = 16;
constexpr std::uint16_t kTreeChangeMarker = 17;

std::uint8_t treeBlockSizeKb(std::size_t entrySize) {
    std::uint8_t kb = 2;
    while (kb < 32 && (kb * 1024u - kBlockHeaderSize) / entrySize < 3) kb *= 2;
    return kb;
}

void putEntry(std::uint8_t* p, const IndexEntry& e, std::size_t keySize) {
    std::memcpy(p, e.key.data(), keySize);
    encodeInteger(p + keySize, 2, e.block);
    encodeInteger(p + keySize + 2, 2, static_cast<std::int16_t>(e.count & 0xFFFF));
    encodeInteger(p + keySize + 4, 2, 0);
}

// Entries of the level above `entries`, whose blocks are numbered from `firstBlock`.
std::vector<IndexEntry> parentLevel(const std::vector<IndexEntry>& entries, std::size_t perBlock,
                                    std::uint16_t firstBlock) {
    std::vector<IndexEntry> parents;
    for (std::size_t i = 0; i < entries.size(); i += perBlock) {
        IndexEntry p{entries[i].key, static_cast<std::uint16_t>(firstBlock + parents.size()), 0};
        for (std::size_t k = i; k < std::min(entries.size(), i + perBlock); ++k)
            p.count += entries[k].count;
        parents.push_back(p);
    }
    return parents;
}

std::size_t blocksFor(std::size_t entries, std::size_t perBlock) {
    return (entries + perBlock - 1) / perBlock;
}

}  // namespace

void keepTreeBytes(const std::string& path, IndexTreeLayout& layout, FileSystem& fs) {
    try {
        if (!fs.exists(path)) return;
        auto file = fs.open(path, OpenMode::Read);
        const Header h = readHeader(*file);
        if (h.fileType != layout.type) return;
        layout.blockSizeKb = h.blockSizeKb;
        layout.counter = h.autoInc;
    } catch (const EDBEngineError&) {
        // A damaged file keeps nothing.
    }
}

void writeIndexTree(File& out, const IndexTreeLayout& layout,
                    const std::vector<IndexEntry>& leaves) {
    Header h;
    h.fileType = layout.type;
    h.fields = layout.keyFields;
    const std::size_t keySize = recordSizeOf(layout.keyFields);
    h.recordSize = static_cast<std::uint16_t>(keySize + kEntryTail);
    h.blockSizeKb = treeBlockSizeKb(h.recordSize);
    // A kept block size must still hold three entries a block, as a chosen one does.
    if (layout.blockSizeKb && (layout.blockSizeKb * 1024u - kBlockHeaderSize) / h.recordSize >= 3)
        h.blockSizeKb = layout.blockSizeKb;
    h.version = layout.version;
    h.sortOrder = layout.sortOrder;
    h.byte2C = layout.dataChangeCount;
    h.encryption = layout.encryption;
    h.unknown12 = kTreeChangeMarker;
    h.autoInc = layout.counter;
    h.tableName = layout.tableName;
    h.indexRoot = 1;
    const std::size_t perBlock = (h.blockSize() - kBlockHeaderSize) / h.recordSize;

    // Levels bottom-up: the number of blocks each needs fixes the numbering, which runs from
    // the root (block 1) down to the leaves.
    std::vector<std::size_t> levelBlocks;
    for (std::size_t n = leaves.size(); n > 0;) {
        levelBlocks.push_back(blocksFor(n, perBlock));
        if (levelBlocks.back() == 1) break;
        n = levelBlocks.back();
    }
    std::vector<std::uint16_t> firstBlockOf(levelBlocks.size());
    std::size_t total = 0;
    for (std::size_t i = levelBlocks.size(); i-- > 0;) {
        firstBlockOf[i] = static_cast<std::uint16_t>(total + 1);
        total += levelBlocks[i];
    }
    if (total > 0xFFFF)
        throwEngineError(DBIERR_INDEXCORRUPT,
                         "Index " + out.path() + " would need more than 65535 blocks");
    std::vector<std::vector<IndexEntry>> levels;
    if (!leaves.empty()) levels.push_back(leaves);
    for (std::size_t i = 1; i < levelBlocks.size(); ++i)
        levels.push_back(parentLevel(levels.back(), perBlock, firstBlockOf[i - 1]));

    h.indexLevels = static_cast<std::uint8_t>(levels.size());
    h.fileBlocks = h.blocksInUse = h.lastBlock = h.maxBlocks = static_cast<std::uint16_t>(total);
    h.firstBlock = total ? 1 : 0;
    for (const auto& level : levels) h.numRecords += static_cast<std::uint32_t>(level.size());
    std::vector<std::uint8_t> header = serializeHeader(h);
    out.writeAt(0, header.data(), header.size());

    std::vector<std::uint8_t> block(h.blockSize());
    for (std::size_t li = levels.size(); li-- > 0;) {
        const auto& level = levels[li];
        for (std::size_t b = 0; b < levelBlocks[li]; ++b) {
            const std::uint32_t number = firstBlockOf[li] + static_cast<std::uint32_t>(b);
            std::fill(block.begin(), block.end(), 0);
            const std::size_t first = b * perBlock;
            const std::size_t count = std::min(perBlock, level.size() - first);
            putLe16(block.data() + kNextBlockAt,
                    static_cast<std::uint16_t>(number < total ? number + 1 : 0));
            putLe16(block.data() + kPreviousBlockAt, static_cast<std::uint16_t>(number - 1));
            putLe16(block.data() + kAddDataSizeAt,
                    static_cast<std::uint16_t>((count - 1) * h.recordSize));
            for (std::size_t k = 0; k < count; ++k)
                putEntry(block.data() + kBlockHeaderSize + k * h.recordSize, level[first + k],
                         keySize);
            if (h.encryption) encryptBlock(h.encryption, number, block.data(), block.size());
            out.writeAt(h.blockOffset(number), block.data(), block.size());
        }
    }
}

namespace {

struct TreeWalk {
    File& file;
    const Header& header;
    std::size_t keySize;
    std::vector<bool> visited;
    std::vector<IndexEntry> leaves;

    [[noreturn]] void fail(const std::string& what) {
        throwEngineError(DBIERR_INDEXCORRUPT, "Corrupt index " + file.path() + ": " + what);
    }

    // Returns the number of records below `number`.
    std::uint64_t descend(std::uint32_t number, int level) {
        if (number == 0 || number >= visited.size())
            fail("block " + std::to_string(number) + " lies outside the file");
        if (visited[number]) fail("block " + std::to_string(number) + " is reached twice");
        visited[number] = true;
        const DataBlock block = readDataBlock(file, header, number);
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < block.records; ++i) {
            const std::uint8_t* e = block.record(i, header.recordSize);
            IndexEntry entry{std::string(reinterpret_cast<const char*>(e), keySize),
                             static_cast<std::uint16_t>(decodeInteger(e + keySize, 2)),
                             static_cast<std::uint16_t>(decodeInteger(e + keySize + 2, 2))};
            if (level == 1) {
                leaves.push_back(entry);
                total += entry.count;
            } else {
                const std::uint64_t below = descend(entry.block, level - 1);
                if ((below & 0xFFFF) != entry.count)
                    fail("entry " + std::to_string(i + 1) + " of block " + std::to_string(number) +
                         " counts " + std::to_string(entry.count) +
                         " records, the blocks below hold " + std::to_string(below));
                total += below;
            }
        }
        return total;
    }
};

}  // namespace

std::vector<IndexEntry> readIndexLeaves(File& file, const Header& header) {
    const std::size_t keySize = header.recordSize - kEntryTail;
    TreeWalk walk{file, header, keySize, std::vector<bool>(std::size_t{header.fileBlocks} + 1), {}};
    if (header.recordSize <= kEntryTail || recordSizeOf(header.fields) != keySize)
        walk.fail("entry size " + std::to_string(header.recordSize) +
                  " does not match its key fields");
    if (header.indexLevels == 0 || header.fileBlocks == 0) return {};
    if (header.indexLevels > kMaxLevels)
        walk.fail("claims " + std::to_string(header.indexLevels) + " levels");
    walk.descend(header.indexRoot, header.indexLevels);
    return walk.leaves;
}

}  // namespace kx4::paradox

#pragma once
// Walks the chain of data blocks of a .DB, .PX or X file, decrypting and validating each block.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/paradox/ParadoxHeader.h"

namespace kx4 {
class File;
}

namespace kx4::paradox {

// Data block: 00 u16 next block (0 = last), 02 u16 previous block (0 = first),
// 04 s16 offset of the last record from byte 6 (-recordSize when empty), 06 records.
inline constexpr std::size_t kNextBlockAt = 0x00;
inline constexpr std::size_t kPreviousBlockAt = 0x02;
inline constexpr std::size_t kAddDataSizeAt = 0x04;
inline constexpr std::size_t kBlockHeaderSize = 6;

struct DataBlock {
    std::uint16_t number = 0;
    std::uint16_t next = 0;
    std::uint16_t previous = 0;
    std::size_t records = 0;
    std::vector<std::uint8_t> bytes;  // decrypted block, at least 6 + records * recordSize
    // A block from a BlockChain lies in the chain's read-ahead window instead of `bytes`,
    // valid until the chain's next call.
    const std::uint8_t* view = nullptr;
    const std::uint8_t* data() const { return view ? view : bytes.data(); }
    const std::uint8_t* record(std::size_t i, std::size_t recordSize) const {
        return data() + kBlockHeaderSize + i * recordSize;
    }
};

class BlockChain {
  public:
    // Follows the chain from the header's first block. Loops, block numbers outside the file
    // and impossible record counts raise a corrupt-file error naming the file and block.
    BlockChain(File& file, const Header& header);
    bool next(DataBlock& out);
    std::uint64_t recordsSeen() const { return recordsSeen_; }

  private:
    [[noreturn]] void fail(std::uint32_t block, const std::string& what) const;

    File& file_;
    const Header& header_;
    std::uint64_t fileSize_;
    std::uint32_t maxBlock_;
    std::uint16_t nextBlock_;
    std::uint16_t previousBlock_ = 0;
    std::vector<bool> visited_;
    std::uint64_t recordsSeen_ = 0;
    static constexpr std::uint32_t kReadAhead = 64;  // blocks
    std::vector<std::uint8_t> window_;
    std::uint32_t windowStart_ = 0;
    std::uint32_t windowBlocks_ = 0;
};

// The blocks of a data file's chain in order with the position (from 1) of each one's first
// record, found as far as asked for by reading block headers only: a view can jump to any record
// without decoding the blocks before it. Faults raise as BlockChain's do.
class ChainPositions {
  public:
    ChainPositions(File& file, const Header& header);
    // The block holding record `position` and the position of that block's first record;
    // block 0 when the chain ends before it.
    std::pair<std::uint16_t, std::uint64_t> blockOf(std::uint64_t position);
    // The position of the first record of block `number`, which must be in the chain.
    std::uint64_t firstPositionOf(std::uint16_t number);

  private:
    bool extend();  // adds the next block of the chain; false at its end

    File& file_;
    const Header& header_;
    std::uint64_t fileSize_;
    std::uint32_t maxBlock_;
    std::uint16_t nextBlock_;
    std::vector<std::uint16_t> blocks_;
    std::vector<std::uint64_t> firsts_;  // one more than blocks_: the position after the last
    std::vector<std::uint64_t> firstByNumber_;  // 0: not (yet) seen in the chain
};

// Reads block `number` alone (decrypted); raises when it lies outside the file.
DataBlock readDataBlock(File& file, const Header& header, std::uint32_t number);

}  // namespace kx4::paradox

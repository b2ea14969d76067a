#pragma once
// Writes a file of the data-block layout (.DB, .Xnn/.XGn) front to back: records fill each
// block in the order they come, blocks are chained 1, 2, 3, ... and the header is written
// last with the final counts.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/paradox/IndexTree.h"
#include "engine/paradox/ParadoxHeader.h"

namespace kx4 {
class File;
}

namespace kx4::paradox {

class BlockWriter {
  public:
    // `header` describes the file (fields, names, block size, level, password); its counts
    // are filled in by finish(). `keySize` bytes at the start of each record are the key the
    // tree over this file repeats (0 when none is built).
    BlockWriter(File& out, Header header, std::size_t keySize);
    // Stores one record (header.recordSize bytes); returns the number of its block.
    std::uint16_t add(const std::uint8_t* record);
    // Writes the last block and the header; returns the first key of each block for the tree.
    std::vector<IndexEntry> finish();
    std::uint32_t records() const { return records_; }
    // Position of the record stored last within its block (0-based).
    std::size_t lastIndexInBlock() const { return inBlock_ - 1; }
    // Calls `visit` with every record stored so far, in order (reading written blocks back).
    void forEachRecord(const std::function<void(const std::uint8_t*)>& visit);
    // The header finish() writes (counters may still change until then).
    Header& header() { return header_; }
    std::size_t recordsPerBlock() const { return perBlock_; }

  private:
    void flush(bool last);
    void writePending();
    static constexpr std::size_t kWriteBehind = 512 * 1024;  // bytes of blocks written at once

    std::uint8_t* block() { return pending_.data() + pending_.size() - blockSize_; }

    File& out_;
    Header header_;
    std::size_t keySize_;
    std::size_t blockSize_;
    std::size_t perBlock_;
    std::size_t inBlock_ = 0;
    std::uint32_t blockNumber_ = 0;  // of the block being filled
    std::uint32_t records_ = 0;
    std::vector<IndexEntry> leaves_;
    // Blocks not yet written, the one being filled (when inBlock_ > 0) last.
    std::vector<std::uint8_t> pending_;
    std::uint32_t pendingFirst_ = 0;
};

}  // namespace kx4::paradox

#include "engine/paradox/BlockWriter.h"

#include <algorithm>
#include <cstring>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/paradox/ByteOrder.h"
#include "engine/paradox/DataBlocks.h"
#include "engine/paradox/Encryption.h"

namespace kx4::paradox {

namespace {

constexpr std::uint32_t kMaxBlocks = 0xFFFF;

}  // namespace

BlockWriter::BlockWriter(File& out, Header header, std::size_t keySize)
    : out_(out), header_(std::move(header)), keySize_(keySize) {
    // Fixes the header size, which the block offsets depend on; finish() writes it again.
    serializeHeader(header_);
    blockSize_ = header_.blockSize();
    perBlock_ = (blockSize_ - kBlockHeaderSize) / header_.recordSize;
    pending_.reserve(kWriteBehind + blockSize_);
}

std::uint16_t BlockWriter::add(const std::uint8_t* record) {
    if (inBlock_ == perBlock_) flush(false);
    if (inBlock_ == 0) {
        if (blockNumber_ >= kMaxBlocks)
            throwEngineError(DBIERR_DATATOOLONG, "File " + out_.path() +
                                                     " would exceed 65535 blocks, the most a "
                                                     "Paradox file can have");
        ++blockNumber_;
        if (pending_.empty()) pendingFirst_ = blockNumber_;
        pending_.resize(pending_.size() + blockSize_, 0);
    }
    std::memcpy(block() + kBlockHeaderSize + inBlock_ * header_.recordSize, record,
                header_.recordSize);
    ++inBlock_;
    ++records_;
    return static_cast<std::uint16_t>(blockNumber_);
}

void BlockWriter::flush(bool last) {
    if (inBlock_ == 0) return;
    std::uint8_t* b = block();
    putLe16(b + kNextBlockAt, static_cast<std::uint16_t>(last ? 0 : blockNumber_ + 1));
    putLe16(b + kPreviousBlockAt, static_cast<std::uint16_t>(blockNumber_ - 1));
    putLe16(b + kAddDataSizeAt, static_cast<std::uint16_t>((inBlock_ - 1) * header_.recordSize));
    leaves_.push_back({std::string(reinterpret_cast<const char*>(b + kBlockHeaderSize), keySize_),
                       static_cast<std::uint16_t>(blockNumber_),
                       static_cast<std::uint32_t>(inBlock_)});
    if (header_.encryption) encryptBlock(header_.encryption, blockNumber_, b, blockSize_);
    inBlock_ = 0;
    // Consecutive blocks go out together.
    if (last || pending_.size() >= kWriteBehind) writePending();
}

void BlockWriter::writePending() {
    if (pending_.empty()) return;
    const std::size_t complete = pending_.size() - (inBlock_ > 0 ? blockSize_ : 0);
    if (complete == 0) return;
    out_.writeAt(header_.blockOffset(pendingFirst_), pending_.data(), complete);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(complete));
    pendingFirst_ = blockNumber_;
}

void BlockWriter::forEachRecord(const std::function<void(const std::uint8_t*)>& visit) {
    writePending();
    std::vector<std::uint8_t> block(blockSize_);
    const std::uint32_t written = inBlock_ > 0 ? blockNumber_ - 1 : blockNumber_;
    for (std::uint32_t b = 1; b <= written; ++b) {
        out_.readAt(header_.blockOffset(b), block.data(), block.size());
        if (header_.encryption) decryptBlock(header_.encryption, b, block.data(), block.size());
        for (std::size_t i = 0; i < perBlock_; ++i)
            visit(block.data() + kBlockHeaderSize + i * header_.recordSize);
    }
    for (std::size_t i = 0; i < inBlock_; ++i)
        visit(this->block() + kBlockHeaderSize + i * header_.recordSize);
}

std::vector<IndexEntry> BlockWriter::finish() {
    flush(true);
    writePending();
    const auto blocks = static_cast<std::uint16_t>(blockNumber_);
    header_.numRecords = records_;
    header_.blocksInUse = header_.fileBlocks = header_.lastBlock = header_.maxBlocks = blocks;
    header_.firstBlock = blocks ? 1 : 0;
    const std::vector<std::uint8_t> bytes = serializeHeader(header_);
    out_.writeAt(0, bytes.data(), bytes.size());
    // A file written over once before (see forEachRecord) may hold more.
    out_.truncate(header_.blockOffset(blocks + 1));
    out_.startSync();
    return std::move(leaves_);
}

}  // namespace kx4::paradox

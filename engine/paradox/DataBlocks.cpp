#include "engine/paradox/DataBlocks.h"

#include <algorithm>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/paradox/ByteOrder.h"
#include "engine/paradox/Encryption.h"

namespace kx4::paradox {

namespace {

[[noreturn]] void blockError(const std::string& file, std::uint32_t block,
                             const std::string& what) {
    throwCorrupt(file, "data block " + std::to_string(block) + " " + what);
}

std::uint32_t blocksInFile(std::uint64_t fileSize, const Header& h) {
    if (fileSize <= h.headerSize) return 0;
    // A last block cut short still counts: its used part may be complete.
    const std::uint64_t n = (fileSize - h.headerSize + h.blockSize() - 1) / h.blockSize();
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(n, 0xFFFF));
}

// Checks the block header of `b` (its `size` bytes read and decrypted) and fills in its fields.
void parseBlock(DataBlock& b, std::size_t size, const std::string& file, const Header& h) {
    const std::uint32_t number = b.number;
    const std::uint8_t* bytes = b.data();
    b.next = getLe16(bytes + kNextBlockAt);
    b.previous = getLe16(bytes + kPreviousBlockAt);
    const int lastOffset = static_cast<std::int16_t>(getLe16(bytes + kAddDataSizeAt));
    const int recordSize = h.recordSize;
    const int capacity = static_cast<int>((h.blockSize() - kBlockHeaderSize) / recordSize);
    if (lastOffset < -recordSize || lastOffset % recordSize != 0 ||
        lastOffset / recordSize + 1 > capacity)
        blockError(file, number,
                   "has an invalid record count (last record offset " + std::to_string(lastOffset) +
                       ", record size " + std::to_string(recordSize) + ")");
    b.records = static_cast<std::size_t>(lastOffset / recordSize + 1);
    if (kBlockHeaderSize + b.records * recordSize > size)
        blockError(file, number, "is cut short by the end of the file");
}

std::size_t availableBytes(const Header& h, std::uint64_t fileSize, std::uint32_t number,
                           const std::string& file) {
    const std::uint64_t offset = h.blockOffset(number);
    const std::uint64_t available =
        offset >= fileSize ? 0 : std::min<std::uint64_t>(h.blockSize(), fileSize - offset);
    if (available < kBlockHeaderSize) blockError(file, number, "lies outside the file");
    return static_cast<std::size_t>(available);
}

DataBlock readBlock(File& file, const Header& h, std::uint64_t fileSize, std::uint32_t number) {
    DataBlock b;
    b.number = static_cast<std::uint16_t>(number);
    b.view = nullptr;
    b.bytes.resize(availableBytes(h, fileSize, number, file.path()));
    file.readAt(h.blockOffset(number), b.bytes.data(), b.bytes.size());
    if (h.encryption) decryptBlock(h.encryption, number, b.bytes.data(), b.bytes.size());
    parseBlock(b, b.bytes.size(), file.path(), h);
    return b;
}

}  // namespace

BlockChain::BlockChain(File& file, const Header& header)
    : file_(file),
      header_(header),
      fileSize_(file.size()),
      maxBlock_(blocksInFile(fileSize_, header)),
      nextBlock_(header.firstBlock),
      visited_(maxBlock_ + 1, false) {}

void BlockChain::fail(std::uint32_t block, const std::string& what) const {
    blockError(file_.path(), block, what);
}

bool BlockChain::next(DataBlock& out) {
    if (nextBlock_ == 0) return false;
    const std::uint32_t number = nextBlock_;
    if (number > maxBlock_)
        fail(number,
             "is beyond the end of the file, which has " + std::to_string(maxBlock_) + " blocks");
    if (visited_[number]) fail(number, "is reached twice: the block chain loops");
    visited_[number] = true;
    // Blocks mostly follow each other in the file; read several at a time.
    if (number < windowStart_ || number >= windowStart_ + windowBlocks_) {
        windowStart_ = number;
        windowBlocks_ = std::min<std::uint32_t>(kReadAhead, maxBlock_ - number + 1);
        const std::uint64_t offset = header_.blockOffset(number);
        window_.resize(static_cast<std::size_t>(
            std::min<std::uint64_t>(std::uint64_t{windowBlocks_} * header_.blockSize(),
                                    fileSize_ - std::min(fileSize_, offset))));
        file_.readAt(offset, window_.data(), window_.size());
    }
    out.number = static_cast<std::uint16_t>(number);
    const std::size_t size = availableBytes(header_, fileSize_, number, file_.path());
    // Each block of the window is visited once (the chain may not loop), so it is decrypted
    // in place once.
    std::uint8_t* bytes = window_.data() + (number - windowStart_) * header_.blockSize();
    if (header_.encryption) decryptBlock(header_.encryption, number, bytes, size);
    out.bytes.clear();
    out.view = bytes;
    parseBlock(out, size, file_.path(), header_);
    previousBlock_ = out.number;
    nextBlock_ = out.next;
    recordsSeen_ += out.records;
    return true;
}

ChainPositions::ChainPositions(File& file, const Header& header)
    : file_(file),
      header_(header),
      fileSize_(file.size()),
      maxBlock_(blocksInFile(fileSize_, header)),
      nextBlock_(header.firstBlock),
      firsts_{1},
      firstByNumber_(maxBlock_ + 1, 0) {}

bool ChainPositions::extend() {
    if (nextBlock_ == 0) return false;
    const std::uint32_t number = nextBlock_;
    if (number > maxBlock_)
        blockError(
            file_.path(), number,
            "is beyond the end of the file, which has " + std::to_string(maxBlock_) + " blocks");
    if (firstByNumber_[number] != 0)
        blockError(file_.path(), number, "is reached twice: the block chain loops");
    DataBlock b;
    b.number = static_cast<std::uint16_t>(number);
    if (header_.encryption) {
        b = readBlock(file_, header_, fileSize_, number);
    } else {
        // The header tells the record count; the records are read when asked for.
        const std::size_t size = availableBytes(header_, fileSize_, number, file_.path());
        b.bytes.resize(kBlockHeaderSize);
        file_.readAt(header_.blockOffset(number), b.bytes.data(), kBlockHeaderSize);
        parseBlock(b, size, file_.path(), header_);
    }
    firstByNumber_[number] = firsts_.back();
    blocks_.push_back(b.number);
    firsts_.push_back(firsts_.back() + b.records);
    nextBlock_ = b.next;
    return true;
}

std::pair<std::uint16_t, std::uint64_t> ChainPositions::blockOf(std::uint64_t position) {
    while (firsts_.back() <= position)
        if (!extend()) return {0, 0};
    const auto after = std::upper_bound(firsts_.begin(), firsts_.end(), position);
    const auto i = static_cast<std::size_t>(after - firsts_.begin()) - 1;
    return {blocks_[i], firsts_[i]};
}

std::uint64_t ChainPositions::firstPositionOf(std::uint16_t number) {
    while (number <= maxBlock_ && firstByNumber_[number] == 0)
        if (!extend()) break;
    if (number > maxBlock_ || firstByNumber_[number] == 0)
        blockError(file_.path(), number, "is not in the chain of data blocks");
    return firstByNumber_[number];
}

DataBlock readDataBlock(File& file, const Header& header, std::uint32_t number) {
    const std::uint64_t size = file.size();
    if (number == 0 || number > blocksInFile(size, header))
        blockError(file.path(), number, "lies outside the file");
    return readBlock(file, header, size, number);
}

}  // namespace kx4::paradox

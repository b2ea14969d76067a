#include "engine/paradox/BlobFile.h"

#include <algorithm>
#include <cstring>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/paradox/ByteOrder.h"
#include "engine/paradox/Encryption.h"

namespace kx4::paradox {

namespace {

// Header block (offset 0): 00 u8 type 0, 01 u16 length in 4 KiB units, 03 u16 modification
// counter, 05..14 constants (block sizes and the 2 KiB single-blob threshold), 29 u16 0x02A1.
constexpr std::uint8_t kHeaderStart[0x2B] = {
    0x00, 0x01, 0x00, 0x01, 0x00, 0x82, 0x73, 0x02, 0x00, 0x29, 0x00, 0x00, 0x10, 0x00, 0x10,
    0x00, 0x10, 0x40, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA1, 0x02};

constexpr std::uint8_t kTypeSingle = 2;
constexpr std::uint8_t kTypeShared = 3;
constexpr std::uint8_t kSingleIndex = 0xFF;
// Every blob block starts with its type and its length in 4 KiB units.
constexpr std::size_t kBlockType = 0x00;
constexpr std::size_t kBlockLength = 0x01;
// Single-blob block: 00 u8 type 2, 01 u16 length in 4 KiB units, 03 u32 blob length,
// 07 u16 modification number, 09 data.
constexpr std::size_t kSingleBlobLength = 0x03;
constexpr std::size_t kSingleModNumber = 0x07;
constexpr std::size_t kSingleHeader = 9;
// Shared block: 00 u8 type 3, 01 u16 1, 03 9 bytes unknown, 0C 64 slots of 5 bytes
// (chunk offset, chunk count, u16 modification number, bytes in the last chunk), then 16-byte
// data chunks from chunk 0x15 to 0xFF.
constexpr std::size_t kSlotTable = 0x0C;
constexpr std::size_t kSlotSize = 5;
constexpr std::size_t kSlotFirstChunk = 0;
constexpr std::size_t kSlotChunks = 1;
constexpr std::size_t kSlotModNumber = 2;
constexpr std::size_t kSlotLastBytes = 4;
constexpr unsigned kSlots = 64;
constexpr unsigned kChunk = 16;
constexpr unsigned kFirstDataChunk = 0x15;
constexpr unsigned kChunksPerBlock = kMbBlockSize / kChunk;
constexpr std::size_t kSharedLimit = 2048;  // larger blobs get blocks of their own
constexpr std::uint64_t kMaxBlobBlocks = 0xFFFF;
constexpr std::uint16_t kModNumber = 1;

constexpr std::size_t kReadAhead = 64 * 1024;
constexpr std::size_t kWriteBehind = 256 * 1024;

std::uint64_t roundUp(std::uint64_t v, std::uint64_t unit) { return (v + unit - 1) / unit * unit; }

}  // namespace

BlobReader::BlobReader(std::unique_ptr<File> file, std::uint32_t checksum)
    : file_(std::move(file)), checksum_(checksum), size_(file_->size()) {}

BlobReader::~BlobReader() = default;

const std::string& BlobReader::path() const { return file_->path(); }

void BlobReader::willRead() { file_->willRead(); }

std::vector<std::uint8_t> BlobReader::readBlock(std::uint64_t offset, std::size_t n,
                                                const std::string& field) {
    if (offset + n > size_)
        throwEngineError(DBIERR_BLOBCORRUPT, "Corrupt blob file " + path() + ": value of field " +
                                                 field + " at offset " + std::to_string(offset) +
                                                 " reaches past the end");
    std::vector<std::uint8_t> bytes(n);
    if (n <= kReadAhead) {
        if (offset < windowOffset_ || offset + n > windowOffset_ + window_.size()) {
            windowOffset_ = offset;
            window_.resize(
                static_cast<std::size_t>(std::min<std::uint64_t>(kReadAhead, size_ - offset)));
            file_->readAt(offset, window_.data(), window_.size());
        }
        std::memcpy(bytes.data(), window_.data() + (offset - windowOffset_), n);
    } else {
        file_->readAt(offset, bytes.data(), n);
    }
    if (checksum_) decryptBlobData(checksum_, bytes.data(), bytes.size());
    return bytes;
}

Bytes BlobReader::read(const BlobPointer& ptr, const std::string& field) {
    const std::uint64_t offset = ptr.offsetAndIndex & 0xFFFFFF00u;
    const unsigned index = ptr.offsetAndIndex & 0xFF;
    if (offset == 0 || offset % kMbBlockSize != 0)
        throwEngineError(DBIERR_BLOBCORRUPT, "Corrupt blob file " + path() + ": field " + field +
                                                 " points to invalid offset " +
                                                 std::to_string(offset));
    if (index == kSingleIndex) return readSingle(offset, ptr, field);
    if (index >= kSlots)
        throwEngineError(DBIERR_BLOBCORRUPT, "Corrupt blob file " + path() + ": field " + field +
                                                 " points to slot " + std::to_string(index));
    return readSlot(offset, index, ptr, field);
}

Bytes BlobReader::readSingle(std::uint64_t offset, const BlobPointer& ptr,
                             const std::string& field) {
    const std::uint64_t span = roundUp(kSingleHeader + std::uint64_t{ptr.length}, kCryptChunk);
    if (ptr.length > kMaxBlobBlocks * kMbBlockSize)
        throwEngineError(DBIERR_BLOBCORRUPT, "Corrupt table: field " + field +
                                                 " claims a blob of " + std::to_string(ptr.length) +
                                                 " bytes in " + path());
    // The last chunk may be cut short when the file ends right after the data.
    const std::uint64_t available = std::min<std::uint64_t>(span, size_ - std::min(size_, offset));
    if (available < kSingleHeader + ptr.length)
        throwEngineError(DBIERR_BLOBCORRUPT, "Corrupt blob file " + path() + ": value of field " +
                                                 field + " at offset " + std::to_string(offset) +
                                                 " reaches past the end");
    const auto block = readBlock(offset, static_cast<std::size_t>(available), field);
    const std::uint32_t stored = getLe32(block.data() + kSingleBlobLength);
    if (block[kBlockType] != kTypeSingle || stored != ptr.length)
        throwEngineError(DBIERR_BLOBCORRUPT, "Corrupt blob file " + path() + ": block at offset " +
                                                 std::to_string(offset) + " for field " + field +
                                                 " is not a blob of " + std::to_string(ptr.length) +
                                                 " bytes (type " +
                                                 std::to_string(block[kBlockType]) + ", length " +
                                                 std::to_string(stored) + ")");
    return Bytes(block.begin() + kSingleHeader, block.begin() + kSingleHeader + ptr.length);
}

Bytes BlobReader::readSlot(std::uint64_t offset, unsigned slot, const BlobPointer& ptr,
                           const std::string& field) {
    // Small blobs of neighbouring records mostly share a block.
    if (offset != sharedOffset_ || sharedBlock_.empty()) {
        sharedBlock_ = readBlock(offset, kMbBlockSize, field);
        sharedOffset_ = offset;
    }
    const auto& block = sharedBlock_;
    const std::uint8_t* entry = block.data() + kSlotTable + kSlotSize * slot;
    const unsigned firstChunk = entry[kSlotFirstChunk], chunks = entry[kSlotChunks],
                   lastBytes = entry[kSlotLastBytes];
    const std::uint64_t length = chunks == 0 ? 0 : (chunks - 1) * kChunk + lastBytes;
    const bool valid = block[kBlockType] == kTypeShared && firstChunk >= kFirstDataChunk &&
                       chunks > 0 && lastBytes >= 1 && lastBytes <= kChunk &&
                       firstChunk + chunks <= kChunksPerBlock && length == ptr.length;
    if (!valid)
        throwEngineError(DBIERR_BLOBCORRUPT, "Corrupt blob file " + path() + ": slot " +
                                                 std::to_string(slot) + " of the block at offset " +
                                                 std::to_string(offset) + " for field " + field +
                                                 " does not hold a blob of " +
                                                 std::to_string(ptr.length) + " bytes");
    const auto* start = block.data() + firstChunk * kChunk;
    return Bytes(start, start + length);
}

struct BlobWriter::SharedBlock {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kMbBlockSize, 0);
    unsigned nextChunk = kFirstDataChunk;
    int nextSlot = kSlots - 1;  // slots are handed out from the top, as the product does
};

BlobWriter::BlobWriter(File& file, std::uint32_t checksum) : file_(file), checksum_(checksum) {}

BlobWriter::~BlobWriter() = default;

std::uint64_t BlobWriter::reserve(std::uint64_t blocks) {
    const std::uint64_t offset = end_;
    end_ += blocks * kMbBlockSize;
    if (end_ > 0xFFFFFF00u)
        throwEngineError(
            DBIERR_DATATOOLONG,
            "Blob file " + file_.path() + " would grow beyond 4 GB, the most Paradox can address");
    return offset;
}

void BlobWriter::writeBlocks(std::uint64_t offset, std::vector<std::uint8_t>& bytes) {
    if (checksum_) encryptBlobData(checksum_, bytes.data(), bytes.size());
    if (!pending_.empty() && offset != pendingOffset_ + pending_.size()) writePending();
    if (pending_.empty()) pendingOffset_ = offset;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    if (pending_.size() >= kWriteBehind) writePending();
}

void BlobWriter::writePending() {
    if (pending_.empty()) return;
    file_.writeAt(pendingOffset_, pending_.data(), pending_.size());
    pending_.clear();
}

BlobPointer BlobWriter::write(const Bytes& data) {
    return data.size() > kSharedLimit ? writeSingle(data) : writeShared(data);
}

BlobPointer BlobWriter::writeSingle(const Bytes& data) {
    const std::uint64_t blocks = (kSingleHeader + data.size() + kMbBlockSize - 1) / kMbBlockSize;
    if (blocks > kMaxBlobBlocks)
        throwEngineError(DBIERR_DATATOOLONG, "Blob of " + std::to_string(data.size()) +
                                                 " bytes is larger than Paradox can store");
    const std::uint64_t offset = reserve(blocks);
    std::vector<std::uint8_t> bytes(blocks * kMbBlockSize, 0);
    bytes[kBlockType] = kTypeSingle;
    putLe16(bytes.data() + kBlockLength, static_cast<std::uint16_t>(blocks));
    putLe32(bytes.data() + kSingleBlobLength, static_cast<std::uint32_t>(data.size()));
    putLe16(bytes.data() + kSingleModNumber, kModNumber);
    std::memcpy(bytes.data() + kSingleHeader, data.data(), data.size());
    writeBlocks(offset, bytes);
    return {static_cast<std::uint32_t>(offset) | kSingleIndex,
            static_cast<std::uint32_t>(data.size()), kModNumber};
}

BlobPointer BlobWriter::writeShared(const Bytes& data) {
    const unsigned chunks = static_cast<unsigned>((data.size() + kChunk - 1) / kChunk);
    if (shared_ && (shared_->nextSlot < 0 || shared_->nextChunk + chunks > kChunksPerBlock))
        flushShared();
    if (!shared_) {
        shared_ = std::make_unique<SharedBlock>();
        shared_->offset = reserve(1);
        shared_->bytes[kBlockType] = kTypeShared;
        putLe16(shared_->bytes.data() + kBlockLength, 1);
    }
    SharedBlock& b = *shared_;
    const unsigned slot = static_cast<unsigned>(b.nextSlot--);
    std::uint8_t* entry = b.bytes.data() + kSlotTable + kSlotSize * slot;
    entry[kSlotFirstChunk] = static_cast<std::uint8_t>(b.nextChunk);
    entry[kSlotChunks] = static_cast<std::uint8_t>(chunks);
    putLe16(entry + kSlotModNumber, kModNumber);
    entry[kSlotLastBytes] = static_cast<std::uint8_t>(data.size() - (chunks - 1) * kChunk);
    std::memcpy(b.bytes.data() + b.nextChunk * kChunk, data.data(), data.size());
    b.nextChunk += chunks;
    return {static_cast<std::uint32_t>(b.offset) | slot, static_cast<std::uint32_t>(data.size()),
            kModNumber};
}

void BlobWriter::flushShared() {
    if (!shared_) return;
    writeBlocks(shared_->offset, shared_->bytes);
    shared_.reset();
}

void BlobWriter::finish() {
    flushShared();
    std::vector<std::uint8_t> header(kMbBlockSize, 0);
    std::memcpy(header.data(), kHeaderStart, sizeof kHeaderStart);
    writeBlocks(0, header);
    writePending();
    file_.startSync();
}

}  // namespace kx4::paradox

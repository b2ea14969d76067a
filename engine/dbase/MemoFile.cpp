#include "engine/dbase/MemoFile.h"

#include <algorithm>
#include <cstring>

#include "engine/core/Errors.h"
#include "engine/dbase/ByteOrder.h"

namespace kx4::dbase {

namespace {

// .DBT header (block 0), little-endian:
//   0 next free block (4) | III: 16 version 0x03 | IV: 8 table base name (8), 20 block size (2)
// .FPT header, big-endian: 0 next free block (4) | 6 block size (2); a block starts with its
// type (4) and the memo's length (4).
constexpr std::size_t kDbtNameOffset = 8;
constexpr std::size_t kDbtNameSize = 8;
constexpr std::size_t kDbtIIIVersionOffset = 16;
constexpr std::size_t kDbtIVUnknownOffset = 18;  // 02 01 as dBase writes them
constexpr std::size_t kDbtBlockSizeOffset = 20;
constexpr std::size_t kFptBlockSizeOffset = 6;
constexpr std::size_t kFptLeaderSize = 8;
constexpr std::size_t kFptLengthOffset = 4;
constexpr std::size_t kMemoHeaderSize = 512;
// IV memo block: FF FF 08 00, then the length including these 8 bytes (4).
constexpr std::uint8_t kIVMarker[4] = {0xFF, 0xFF, 0x08, 0x00};
constexpr std::size_t kIVLeaderSize = 8;
constexpr std::size_t kIVLengthOffset = 4;
constexpr std::uint8_t kMemoEnd = 0x1A;
// dbfread and similar readers read 8 bytes past an IV memo and cut at 0x1F, the byte dBase
// leaves behind a memo; writing it keeps their view of our memos exact.
constexpr std::uint8_t kIVTrailer = 0x1F;
constexpr std::size_t kWriteBehind = 1 << 20;

[[noreturn]] void memoError(const std::string& file, const std::string& what) {
    throwEngineError(DBIERR_BLOBCORRUPT, "Corrupt memo file " + file + ": " + what);
}

}  // namespace

MemoFile::MemoFile(std::unique_ptr<File> file, MemoKind kind)
    : owned_(std::move(file)), file_(owned_.get()), kind_(kind) {
    readHeader();
}

MemoFile::MemoFile(File* borrowed, MemoKind kind, int blockSize)
    : file_(borrowed), kind_(kind), blockSize_(blockSize) {}

std::unique_ptr<MemoFile> MemoFile::create(File& file, MemoKind kind, int blockSize,
                                           const std::string& tableStem) {
    if (kind == MemoKind::Fpt)
        throwEngineError(DBIERR_NOTSUPPORTED, "FoxPro memo files cannot be written");
    if (kind == MemoKind::DbtIII) blockSize = kDefaultMemoBlockSize;
    std::vector<std::uint8_t> header(static_cast<std::size_t>(blockSize), 0);
    putLe32(header.data(), 1);
    if (kind == MemoKind::DbtIII) {
        header[kDbtIIIVersionOffset] = 0x03;
    } else {
        std::memcpy(header.data() + kDbtNameOffset, tableStem.data(),
                    std::min(tableStem.size(), kDbtNameSize));
        header[kDbtIVUnknownOffset] = 0x02;
        header[kDbtIVUnknownOffset + 1] = 0x01;
        putLe16(header.data() + kDbtBlockSizeOffset, static_cast<std::uint16_t>(blockSize));
    }
    file.truncate(0);
    file.writeAt(0, header.data(), header.size());
    std::unique_ptr<MemoFile> memo(new MemoFile(&file, kind, blockSize));
    memo->newFile_ = true;
    memo->nextBlock_ = static_cast<std::uint32_t>(
        (kMemoHeaderSize + static_cast<std::size_t>(blockSize) - 1) / blockSize);
    return memo;
}

MemoFile::~MemoFile() = default;

void MemoFile::readHeader() {
    std::uint8_t h[kMemoHeaderSize] = {};
    if (file_->readSomeAt(0, h, sizeof h) < 24) memoError(path(), "the header is incomplete");
    if (kind_ == MemoKind::Fpt) {
        blockSize_ = getBe16(h + kFptBlockSizeOffset);
        if (blockSize_ == 0) memoError(path(), "block size 0");
        return;
    }
    // A dBase III header has no block size (bytes 20-21 are 0); IV headers always do.
    const int size = getLe16(h + kDbtBlockSizeOffset);
    if (size == 0) {
        kind_ = MemoKind::DbtIII;
        blockSize_ = kDefaultMemoBlockSize;
    } else {
        if (size < 64 || size % 64 != 0)
            memoError(path(), "block size " + std::to_string(size) + " is not a multiple of 64");
        kind_ = MemoKind::DbtIV;
        blockSize_ = size;
    }
}

Bytes MemoFile::read(std::uint32_t block) {
    flush();
    const std::uint64_t offset = static_cast<std::uint64_t>(block) * blockSize_;
    if (block == 0 || !reaches(offset + 1))
        memoError(path(), "memo block " + std::to_string(block) + " lies outside the file");
    switch (kind_) {
        case MemoKind::DbtIII:
            return readIII(offset);
        case MemoKind::DbtIV:
            return readIV(offset, block);
        case MemoKind::Fpt:
            return readFpt(offset, block);
    }
    return {};
}

Bytes MemoFile::readIII(std::uint64_t offset) {
    Bytes out;
    std::uint8_t chunk[kMemoHeaderSize];
    for (;;) {
        const std::size_t got = file_->readSomeAt(offset, chunk, sizeof chunk);
        const auto* end = std::find(chunk, chunk + got, kMemoEnd);
        out.insert(out.end(), static_cast<const std::uint8_t*>(chunk), end);
        if (end != chunk + got || got < sizeof chunk) break;  // terminator or end of file
        if (out.size() > kMaxMemoSize) memoError(path(), "a memo has no end marker");
        offset += got;
    }
    return out;
}

Bytes MemoFile::readIV(std::uint64_t offset, std::uint32_t block) {
    // The first block in one read: it holds the leader and, mostly, the whole memo.
    std::vector<std::uint8_t> first(static_cast<std::size_t>(blockSize_));
    const std::size_t got = file_->readSomeAt(offset, first.data(), first.size());
    if (got < kIVLeaderSize)
        memoError(path(), "memo block " + std::to_string(block) + " is cut off");
    // Some writers put dBase III style text into IV files.
    if (std::memcmp(first.data(), kIVMarker, 2) != 0) return readIII(offset);
    const std::uint32_t length = getLe32(first.data() + kIVLengthOffset);
    if (length < kIVLeaderSize || length - kIVLeaderSize > kMaxMemoSize ||
        !reaches(offset + length))
        memoError(path(), "memo block " + std::to_string(block) + " claims " +
                              std::to_string(length) + " bytes, beyond the file's end");
    const std::size_t inFirst = std::min<std::size_t>(length, got);
    Bytes out(first.begin() + kIVLeaderSize, first.begin() + static_cast<std::ptrdiff_t>(inFirst));
    if (inFirst < length) {
        out.resize(length - kIVLeaderSize);
        file_->readAt(offset + inFirst, out.data() + (inFirst - kIVLeaderSize), length - inFirst);
    }
    return out;
}

Bytes MemoFile::readFpt(std::uint64_t offset, std::uint32_t block) {
    std::uint8_t leader[kFptLeaderSize];
    if (file_->readSomeAt(offset, leader, sizeof leader) < sizeof leader)
        memoError(path(), "memo block " + std::to_string(block) + " is cut off");
    const std::uint32_t length = getBe32(leader + kFptLengthOffset);
    if (length > kMaxMemoSize || !reaches(offset + kFptLeaderSize + length))
        memoError(path(), "memo block " + std::to_string(block) + " claims " +
                              std::to_string(length) + " bytes, beyond the file's end");
    Bytes out(length);
    file_->readAt(offset + kFptLeaderSize, out.data(), out.size());
    return out;
}

// Whether the file holds `end` bytes. A rewrite reads every memo, so the size is asked of the
// system only when the last size seen is too small: the file may have grown since.
bool MemoFile::reaches(std::uint64_t end) {
    if (end <= sizeSeen_) return true;
    sizeSeen_ = file_->size();
    return end <= sizeSeen_;
}

std::uint32_t MemoFile::endBlock() {
    const std::uint64_t size = std::max<std::uint64_t>(file_->size(), kMemoHeaderSize);
    return static_cast<std::uint32_t>((size + blockSize_ - 1) / blockSize_);
}

// The memo as stored: dBase III text ends with two end markers; a IV memo has its leader and
// trailer. Padded to whole blocks.
Bytes MemoFile::blocksFor(const Bytes& data) const {
    Bytes content;
    if (kind_ == MemoKind::DbtIII) {
        content.reserve(data.size() + 2 + blockSize_);
        content = data;
        content.push_back(kMemoEnd);
        content.push_back(kMemoEnd);
    } else {
        content.reserve(data.size() + kIVLeaderSize + 1 + blockSize_);
        content.resize(kIVLeaderSize);
        std::memcpy(content.data(), kIVMarker, sizeof kIVMarker);
        putLe32(content.data() + kIVLengthOffset,
                static_cast<std::uint32_t>(data.size() + kIVLeaderSize));
        content.insert(content.end(), data.begin(), data.end());
        content.push_back(kIVTrailer);
    }
    const std::size_t blocks = (content.size() + blockSize_ - 1) / blockSize_;
    content.resize(blocks * blockSize_, 0);
    return content;
}

std::uint32_t MemoFile::append(const Bytes& data) {
    if (kind_ == MemoKind::Fpt)
        throwEngineError(DBIERR_NOTSUPPORTED, "Cannot write FoxPro memo file " + path());
    if (newFile_) return appendToNewFile(data);
    std::uint8_t head[4];
    file_->readAt(0, head, sizeof head);
    const std::uint32_t nextFree = getLe32(head);
    // The end of the file is where a memo goes; a IV header may point into a free chain instead.
    const std::uint32_t block = std::max(endBlock(), kind_ == MemoKind::DbtIII ? nextFree : 0u);

    const Bytes content = blocksFor(data);
    file_->writeAt(static_cast<std::uint64_t>(block) * blockSize_, content.data(), content.size());
    const std::uint32_t newEnd = block + static_cast<std::uint32_t>(content.size() / blockSize_);
    if (kind_ == MemoKind::DbtIII || nextFree >= block) {
        putLe32(head, newEnd);
        file_->writeAt(0, head, sizeof head);
    }
    return block;
}

std::uint32_t MemoFile::appendToNewFile(const Bytes& data) {
    const Bytes content = blocksFor(data);
    const std::uint64_t blocks = content.size() / blockSize_;
    if (nextBlock_ + blocks > UINT32_MAX)
        throwEngineError(DBIERR_INVALIDPARAM, "Memo file " + path() + " would grow too large");
    const std::uint32_t block = nextBlock_;
    pending_.insert(pending_.end(), content.begin(), content.end());
    nextBlock_ += static_cast<std::uint32_t>(blocks);
    if (pending_.size() >= kWriteBehind) flush();
    return block;
}

void MemoFile::flush() {
    if (!newFile_ || pending_.empty()) return;
    const std::uint64_t pendingBlocks = pending_.size() / blockSize_;
    file_->writeAt((nextBlock_ - pendingBlocks) * static_cast<std::uint64_t>(blockSize_),
                   pending_.data(), pending_.size());
    pending_.clear();
    std::uint8_t head[4];
    putLe32(head, nextBlock_);
    file_->writeAt(0, head, sizeof head);
}

}  // namespace kx4::dbase

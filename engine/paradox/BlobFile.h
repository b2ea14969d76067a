#pragma once
// The .MB file that holds memo and blob values longer than their field's leader. It consists
// of 4 KiB-aligned blocks: the header block, single-blob blocks (type 2), blocks shared by up
// to 64 small blobs (type 3) and free blocks (type 4).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/Value.h"
#include "engine/paradox/ByteOrder.h"

namespace kx4 {
class File;
}

namespace kx4::paradox {

inline constexpr std::uint32_t kMbBlockSize = 4096;

// The 10 bytes after a blob field's leader.
struct BlobPointer {
    std::uint32_t offsetAndIndex = 0;  // block offset | slot (0xFF: single-blob block)
    std::uint32_t length = 0;
    std::uint16_t modNumber = 0;
};

inline BlobPointer readBlobPointer(const std::uint8_t* p) {
    return {getLe32(p), getLe32(p + 4), getLe16(p + 8)};
}
inline void writeBlobPointer(std::uint8_t* p, const BlobPointer& ptr) {
    putLe32(p, ptr.offsetAndIndex);
    putLe32(p + 4, ptr.length);
    putLe16(p + 8, ptr.modNumber);
}

class BlobReader {
  public:
    // `checksum` is the owning table's password value (0 when not protected).
    BlobReader(std::unique_ptr<File> file, std::uint32_t checksum);
    ~BlobReader();
    // The value a record points to; raises a corrupt-blob error naming the file and field.
    Bytes read(const BlobPointer& ptr, const std::string& fieldName);
    const std::string& path() const;
    // A hint that most of the file is about to be read.
    void willRead();

  private:
    std::vector<std::uint8_t> readBlock(std::uint64_t offset, std::size_t n,
                                        const std::string& fieldName);
    Bytes readSingle(std::uint64_t offset, const BlobPointer& ptr, const std::string& fieldName);
    Bytes readSlot(std::uint64_t offset, unsigned slot, const BlobPointer& ptr,
                   const std::string& fieldName);

    std::unique_ptr<File> file_;
    std::uint32_t checksum_;
    std::uint64_t size_;
    std::uint64_t sharedOffset_ = 0;         // of the shared block read last
    std::vector<std::uint8_t> sharedBlock_;  // decrypted
    // Blobs of neighbouring records mostly lie side by side: bytes read ahead, as stored.
    std::uint64_t windowOffset_ = 0;
    std::vector<std::uint8_t> window_;
};

class BlobWriter {
  public:
    // Writes a new .MB into `file` (empty), scrambled with `checksum` when not 0.
    BlobWriter(File& file, std::uint32_t checksum);
    ~BlobWriter();
    // Stores `data` (not empty) and returns the pointer for the record.
    BlobPointer write(const Bytes& data);
    // Writes the pending shared block and the header block.
    void finish();

  private:
    struct SharedBlock;
    BlobPointer writeSingle(const Bytes& data);
    BlobPointer writeShared(const Bytes& data);
    void flushShared();
    void writeBlocks(std::uint64_t offset, std::vector<std::uint8_t>& bytes);
    std::uint64_t reserve(std::uint64_t blocks);

    void writePending();

    File& file_;
    std::uint32_t checksum_;
    std::uint64_t end_ = kMbBlockSize;  // after the header block
    std::unique_ptr<SharedBlock> shared_;
    // Blocks written one after another go out together.
    std::uint64_t pendingOffset_ = 0;
    std::vector<std::uint8_t> pending_;
};

}  // namespace kx4::paradox

#pragma once
// Memo files: dBase III and IV .DBT (read and write) and FoxPro .FPT (read only).
#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/FileSystem.h"
#include "engine/core/Value.h"

namespace kx4::dbase {

enum class MemoKind {
    DbtIII,  // 512-byte blocks, text ended by 0x1A 0x1A
    DbtIV,   // blocks of the header's size, each memo led by FF FF 08 00 + length
    Fpt,     // FoxPro: big-endian header and block headers
};

inline constexpr int kDefaultMemoBlockSize = 512;
// A memo larger than this is treated as damage rather than read into memory.
inline constexpr std::uint32_t kMaxMemoSize = 64u << 20;

class MemoFile {
  public:
    // Opens an existing memo file. `kind` is what the table's version byte says; a .DBT whose
    // header shows the other layout is read in that layout.
    MemoFile(std::unique_ptr<File> file, MemoKind kind);
    // Starts a new, empty memo file in `file` (a staged file). It is written front to back:
    // appended memos gather in memory and reach the file, with the header, by flush().
    static std::unique_ptr<MemoFile> create(File& file, MemoKind kind, int blockSize,
                                            const std::string& tableStem);
    ~MemoFile();

    MemoKind kind() const { return kind_; }
    int blockSize() const { return blockSize_; }
    const std::string& path() const { return file_->path(); }

    // Content of the memo that starts at `block`; raises naming the file for a bad block.
    Bytes read(std::uint32_t block);
    // Appends a memo at the end of the file and returns its first block. dBase III memos may not
    // contain 0x1A (it ends them); the caller checks.
    std::uint32_t append(const Bytes& data);
    // Writes what a new memo file holds in memory.
    void flush();
    void sync() { file_->sync(); }

  private:
    MemoFile(File* borrowed, MemoKind kind, int blockSize);
    void readHeader();
    Bytes readIII(std::uint64_t offset);
    Bytes readIV(std::uint64_t offset, std::uint32_t block);
    Bytes readFpt(std::uint64_t offset, std::uint32_t block);
    bool reaches(std::uint64_t end);
    std::uint32_t endBlock();
    Bytes blocksFor(const Bytes& data) const;
    std::uint32_t appendToNewFile(const Bytes& data);

    std::unique_ptr<File> owned_;
    File* file_;
    MemoKind kind_;
    int blockSize_ = kDefaultMemoBlockSize;
    std::uint64_t sizeSeen_ = 0;
    // A new file: the block the next memo starts at, and blocks not yet written from there back.
    bool newFile_ = false;
    std::uint32_t nextBlock_ = 1;
    Bytes pending_;
};

}  // namespace kx4::dbase

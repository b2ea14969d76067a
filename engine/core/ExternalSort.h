#pragma once
// Sorts entries (an order key and a payload) of any number within a fixed memory budget:
// entries gather in memory, full batches are sorted and written as runs to scratch files
// beside the table, and reading merges the runs (first into fewer, longer runs when there are
// more than the budget can read at once). Keys compare as unsigned bytes. Scratch files end in
// ".kx4tmp", so the recovery that runs before a table is opened removes those a crash left
// behind. The runs of a password-protected table are encrypted under a key that never leaves
// the process, so that what they spill of its keys stays unreadable, also after a crash.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kx4 {

class FileSystem;

class ExternalSorter {
  public:
    // `scratchBase` is the path the scratch files are named after (the table's data file);
    // `secret`: the entries come from a protected table and are encrypted in the scratch files.
    // Scratch files are written through `fs`.
    ExternalSorter(FileSystem& fs, std::string scratchBase, std::size_t memoryBudget,
                   bool secret = false);
    ~ExternalSorter();
    ExternalSorter(const ExternalSorter&) = delete;
    ExternalSorter& operator=(const ExternalSorter&) = delete;

    void add(std::string_view key, std::string_view payload);
    std::uint64_t size() const { return count_; }

    // Ends adding; entries then come out in key order (equal keys in the order added).
    void finishAdding();
    bool next(std::string& key, std::string& payload);

  private:
    struct Run;
    class Cipher;
    void spill();
    void sortBatch();
    std::unique_ptr<Run> newRun();
    void mergeRuns(std::size_t first, std::size_t last, Run& out);
    std::size_t maxOpenRuns() const;
    bool laterRun(std::size_t a, std::size_t b) const;
    void discard(Run& run);

    FileSystem& fs_;
    std::string scratchBase_;
    std::size_t budget_;
    std::unique_ptr<Cipher> cipher_;  // null: runs hold the entries as they are
    // An entry of the batch: its first key bytes (for quick comparisons) and where it starts.
    struct Slot {
        std::uint64_t prefix;
        std::uint32_t offset;
    };
    std::string batch_;  // entries back to back: u32 key size, u32 payload size, bytes
    std::vector<Slot> offsets_;
    std::vector<std::unique_ptr<Run>> runs_;
    std::uint64_t count_ = 0;
    bool adding_ = true;
    std::size_t nextInBatch_ = 0;
    std::vector<std::size_t> heap_;  // runs by their current key (merge phase)
};

}  // namespace kx4

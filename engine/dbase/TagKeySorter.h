#pragma once
// Sorts the keys of one tag, computed from the records, into tag order within a fixed memory
// budget, whatever the number of records: keys go through an external sort whose scratch
// files lie beside the table and are removed when the sorter goes.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/ExternalSort.h"
#include "engine/dbase/MdxFile.h"

namespace kx4::dbase {

// Memory for sorting the keys of all tags of a table at once; each tag's sorter gets its share.
inline constexpr std::size_t kSortMemory = 24 << 20;
std::size_t sortMemoryPerTag(std::size_t tags);

// The bytes whose unsigned order is the tag's order of `key` (equal keys go by record number).
void tagSortKey(const MdxTagSpec& tag, const KeyBytes& key, std::string& out);

class TagKeySorter : public TagEntries {
  public:
    // `scratchBase` names the scratch files (the table's data file).
    TagKeySorter(FileSystem& fs, const MdxTagSpec& tag, const std::string& scratchBase,
                 std::size_t memoryBudget);

    // Keys come in ascending record order: equal keys keep it, as dBase orders them.
    void add(const KeyBytes& key, std::uint32_t record);

    // Ends adding. A unique tag counts only the first record of each key.
    std::uint64_t count() override;
    bool next(IndexEntry& out) override;

  private:
    FileSystem& fs_;
    MdxTagSpec tag_;
    std::string scratchBase_;
    std::size_t budget_;
    ExternalSorter sorter_;
    // Unique tags: the first record of each key, sorted once more so that they can be counted
    // before they are written (they arrive in order, so this pass costs little).
    std::unique_ptr<ExternalSorter> distinct_;
    std::string key_, payload_, previous_, sortKey_;
    bool hasPrevious_ = false;
};

}  // namespace kx4::dbase

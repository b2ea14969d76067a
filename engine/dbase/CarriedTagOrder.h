#pragma once
// A rewrite that keeps a tag's key (pack, adding or dropping other fields) can take the tag's
// order from the old index instead of sorting every key again: the old entries, renumbered to
// the records of the new table, are accepted only when they rise strictly in tag order and
// match the keys of the new records by count and digest. A stale or damaged old tag is noticed
// that way, and the rewrite sorts its keys after all.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/dbase/MdxFile.h"

namespace kx4::dbase {

// The old records a rewrite kept, in order, and the number each has in the new table.
class RecordRenumbering {
  public:
    // Beyond this many records the table is left to the sort, which needs no memory per record.
    static constexpr std::uint64_t kMaxRecords = 1ull << 27;

    void add(bool kept);  // the next stored record of the old table
    // The new number of old record `old` (from 1); 0 when it was not kept or is unknown.
    std::uint32_t newNumber(std::uint32_t old) const;

  private:
    std::vector<std::uint64_t> kept_;    // a bit for each old record
    std::vector<std::uint32_t> before_;  // kept records before each word of bits
    std::uint32_t stored_ = 0;
    std::uint32_t keptCount_ = 0;
};

// Digest of a set of (key, record) entries, independent of their order.
class EntryDigest {
  public:
    void add(const KeyBytes& key, std::uint32_t record);
    std::uint64_t count() const { return count_; }
    bool operator==(const EntryDigest&) const = default;

  private:
    std::uint64_t count_ = 0;
    std::uint64_t sum_ = 0;
};

// Raised while the entries are written when the old order turns out unusable.
struct TagOrderLost {};

// The tag of `old` whose order new tag `tag` can take, or null: the same expression, key type,
// key length and direction, without a FOR condition, and neither tag unique (a unique tag
// keeps the first record of each key, which a pack may have removed).
const MdxTag* carriableTag(const MdxFile& old, const MdxTagSpec& tag);

class CarriedTagEntries : public TagEntries {
  public:
    // `expected` holds the entries of the new records, computed from their keys.
    CarriedTagEntries(MdxFile& old, const MdxTag& oldTag, const MdxTagSpec& tag,
                      const RecordRenumbering& numbers, const EntryDigest& expected);

    std::uint64_t count() override { return expected_.count(); }
    // Raises TagOrderLost when the old entries run out or fall out of order.
    bool next(IndexEntry& out) override;
    // After the last entry: raises TagOrderLost unless the entries were exactly the expected.
    void confirm();

  private:
    bool nextKept(IndexEntry& out);

    std::unique_ptr<TagEntries> walk_;
    MdxTagSpec tag_;
    const RecordRenumbering& numbers_;
    EntryDigest expected_, seen_;
    std::string previousKey_, sortKey_;
    std::uint32_t previousRecord_ = 0;
};

}  // namespace kx4::dbase

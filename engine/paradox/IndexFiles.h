#pragma once
// Writing the index files of a table: the .PX over the data file and, for each secondary
// index, an X file (one entry per record, sorted) with its Y tree.
//
// An entry of a maintained index (keyed table) holds the indexed fields, the table's key
// fields and the number of the data block holding the record ("Blk Num"); one of a
// non-maintained index (unkeyed table) holds the indexed fields, the record number
// ("Tup No"), the block number and the record's offset in its block ("Tup Offset"). Entries
// are sorted by everything but their last field.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/ExternalSort.h"
#include "engine/core/TableFormat.h"
#include "engine/paradox/IndexTree.h"
#include "engine/paradox/ParadoxHeader.h"
#include "engine/paradox/SortOrder.h"

namespace kx4 {
class FileTransaction;
class ProgressMeter;
class TextCodec;
}  // namespace kx4

namespace kx4::paradox {

class BlockWriter;

// What the index files of a table repeat from it.
struct TableShape {
    TablePath path;
    std::vector<FieldInfo> fields;
    std::vector<std::string> names;      // UTF-8
    std::vector<std::string> diskNames;  // in the table's code page
    std::size_t keyFields = 0;
    std::uint8_t version = kVersion7;
    std::uint8_t blockSizeKb = 2;
    SortOrder sortOrder;
    std::uint32_t encryption = 0;
    int codePage = 0;
    std::uint32_t autoIncrement = 0;
    std::uint8_t changeCount1 = 0;  // of the data file
    std::uint8_t changeCount2 = 0;
    std::shared_ptr<const TextCodec> codec;

    std::size_t offsetOf(std::size_t field) const;
    std::size_t keySize() const;  // bytes of the key fields at the start of a record
    std::vector<FieldInfo> keyInfo() const;
};

// The order of records by their key fields, field by field in the table's sort order.
class KeyOrder {
  public:
    explicit KeyOrder(const TableShape& table);
    std::string sortKey(const std::uint8_t* record) const;
    void appendSortKey(const std::uint8_t* record, std::string& out) const;
    // Whether the key fields sort as their stored bytes (then those are the sort key).
    bool bytewise() const;

  private:
    std::vector<KeyCollator> collators_;
};

// The shape of an open table from its header.
TableShape shapeOf(const TablePath& path, const Header& header,
                   std::shared_ptr<const TextCodec> codec);

// A secondary index as its files hold it.
struct SecondaryLayout {
    IndexDef definition;              // name, fields and options as read back later
    std::string suffix;               // "X06", "XG0"
    std::vector<std::size_t> fields;  // record positions of the indexed fields
    bool maintained = true;
    bool composite() const { return suffix.size() == 3 && suffix[1] == 'G'; }
};

// Checks the secondary indexes (the primary one is skipped) and gives each its files: a
// case-sensitive index over one field, named after it, becomes .Xnn (nn = field number in
// hex); every other one .XGn. Raises naming the index for one a Paradox table cannot hold.
std::vector<SecondaryLayout> planSecondaryIndexes(const TableShape& table,
                                                  const std::vector<IndexDef>& indexes);

// The files of a secondary index beside the table: X file and Y tree.
std::string indexFilePath(const TablePath& table, const std::string& suffix, FileSystem& fs);
std::string treeFilePath(const TablePath& table, const std::string& suffix, FileSystem& fs);

// An order-independent fingerprint of a set of index entries: their number and the sum of a
// 64-bit hash of each. Sets with equal digests hold the same entries, but for a chance of 2^-64.
struct EntryDigest {
    std::uint64_t count = 0;
    std::uint64_t sum = 0;
    void add(const std::uint8_t* entry, std::size_t size);
    bool operator==(const EntryDigest&) const = default;
};

// Where the records an existing index file points to are in the new data file.
class BlockMapping {
  public:
    virtual ~BlockMapping() = default;
    // The block of the new data file that holds the record which was in `oldBlock`, with the
    // key fields `key` (as an entry holds them); 0 when unknown.
    virtual std::uint16_t newBlock(std::uint16_t oldBlock, const std::uint8_t* key) = 0;
    // Starts fetching what newBlock() needs for `oldBlock`, so that the look-ups of many
    // entries overlap rather than wait for memory one after another.
    virtual void prefetch(std::uint16_t oldBlock) const {}
};

// Records that stay where they are (the data file is not rewritten).
class SameBlocks final : public BlockMapping {
  public:
    std::uint16_t newBlock(std::uint16_t oldBlock, const std::uint8_t*) override {
        return oldBlock;
    }
};

// Where a rewrite in key order put the records of each old block: consecutive new blocks, of
// which the key picks one.
class MovedBlocks final : public BlockMapping {
  public:
    MovedBlocks(const KeyOrder& order, std::size_t keySize);
    // A record with sort key `sortKey` went from `oldBlock` to `newBlock`.
    void moved(std::uint16_t oldBlock, std::uint16_t newBlock, const std::string& sortKey);
    // The first keys of the new blocks, once the data file is complete.
    void setLeaves(const std::vector<IndexEntry>& leaves);
    std::uint16_t newBlock(std::uint16_t oldBlock, const std::uint8_t* key) override;
    void prefetch(std::uint16_t oldBlock) const override;

  private:
    // Eight bytes an old block, so that the table stays in cache: for an old block that went
    // to two new blocks, the first four bytes of the sort key where the second one begins
    // decide most look-ups without reading blockKeys_.
    struct Moved {
        std::uint16_t first = 0, last = 0;
        std::uint32_t split = 0;
    };
    const KeyOrder& order_;
    std::size_t keySize_;
    bool bytewise_;
    std::vector<Moved> moved_;               // by old block number
    std::string blockKeys_;                  // sort keys of the new blocks' first records
    std::vector<std::uint32_t> blockKeyAt_;  // where the key of block n starts; n = 1, 2, ...
    std::string key_;
};

class IndexFileEntries;

// Gathers the entries of one secondary index, sorts them and writes its X and Y files.
class SecondaryIndexBuilder {
  public:
    // Sort spills and the reading of the files it replaces go through `fs`.
    SecondaryIndexBuilder(FileSystem& fs, const TableShape& table, SecondaryLayout layout,
                          std::size_t memoryBudget);
    ~SecondaryIndexBuilder();

    // Instead of sorting, takes the order of the entries from the existing X file `path`
    // (with `header`), whose entries hold the same values field by field (alpha fields may
    // differ in length) and get their blocks through `blocks`, which must outlive finish().
    // Called before the first add(). False, and the entries are sorted, when the file's
    // entries do not line up with ours.
    bool orderFrom(const std::string& path, const Header& header, BlockMapping& blocks);

    // A record of the table (its bytes), stored in data block `block` (1-based) as record
    // `recordNo` of the table and `inBlock` of the block (both 0-based).
    void add(const std::uint8_t* record, std::uint16_t block, std::uint32_t recordNo,
             std::size_t inBlock);
    // With the order from an existing file: the records that file indexes are all added; the
    // entries of further ones (a few appended records) are merged into its order.
    void endOfCopy() { copying_ = false; }
    // Writes the X and Y files into staged files of `tx`. Two records with the same key in a
    // unique index raise a key violation naming index and key. With its order taken from an
    // existing file, the entries read there must be exactly those of the records added, in
    // strictly rising order; when they are not (a stale or damaged file), returns false
    // without writing the tree, and the index is to be written by writeSecondaryIndexes.
    bool finish(FileTransaction& tx, std::uint8_t primaryMarker);

    const SecondaryLayout& layout() const { return layout_; }
    std::size_t entrySize() const { return entrySize_; }
    // Sort key of an entry, and the part of it a unique index must not repeat.
    std::string sortKey(const std::uint8_t* entry) const;
    std::string uniquePart(const std::uint8_t* entry) const;
    Header indexHeader() const;
    // Writes the indexed fields of a table record as an entry holds them; returns their size.
    std::size_t keyPart(const std::uint8_t* record, std::uint8_t* out) const;
    // Whether the text keys of an entry are in capitals, as a case-insensitive index needs.
    bool keysUpperCased(const std::uint8_t* entry) const;

  private:
    void appendUniquePart(const std::uint8_t* entry, std::string& key) const;
    void appendSortKey(const std::uint8_t* entry, std::string& key) const;
    void finishSorted(BlockWriter& x, ProgressMeter& meter);
    bool finishInOrder(BlockWriter& x, ProgressMeter& meter);
    int compareEntries(const std::uint8_t* a, const std::uint8_t* b);
    void writeTree(FileTransaction& tx, const std::vector<IndexEntry>& leaves) const;
    std::string describeKey(const std::uint8_t* entry) const;
    void upperCaseKeys(std::uint8_t* entry) const;

    FileSystem& fs_;
    const TableShape& table_;
    SecondaryLayout layout_;
    std::vector<FieldInfo> entryFields_;
    std::vector<std::size_t> entryOffsets_;
    std::vector<std::size_t> recordOffsets_;  // of the indexed fields in a table record
    std::size_t tableKeySize_ = 0;
    std::size_t tableRecordSize_ = 0;
    std::size_t indexedFields_ = 0;  // leading entry fields taken from the index definition
    std::size_t entrySize_ = 0;
    std::vector<std::unique_ptr<KeyCollator>> collators_;  // one per entry field but the last
    std::unique_ptr<CaseFolder> upperCase_;                // case-insensitive indexes only
    ExternalSorter sorter_;
    bool bytewise_ = true;             // entries sort as their bytes but the block number
    bool direct_ = true;               // entries compare field by field without building sort keys
    std::vector<std::uint8_t> entry_;  // the entry being built
    std::string key_, otherKey_;       // sort keys
    std::unique_ptr<IndexFileEntries> ordered_;
    EntryDigest added_;  // of the entries added, when ordered_ gives their order
    std::uint64_t entries_ = 0;
    bool copying_ = true;
    std::vector<std::vector<std::uint8_t>> extra_;  // entries added after endOfCopy()
    bool tooManyExtra_ = false;
};

// Builds every listed secondary index of a table from the records it holds.
void writeSecondaryIndexes(const TableShape& table, const std::vector<SecondaryLayout>& layouts,
                           File& dataFile, const Header& dataHeader, FileTransaction& tx,
                           std::uint8_t primaryMarker);

// Finishes `builders`; those whose order from an existing file did not hold are built again
// from the records of the (complete) data file.
void finishSecondaryIndexes(const TableShape& table,
                            std::vector<std::unique_ptr<SecondaryIndexBuilder>>& builders,
                            File& dataFile, const Header& dataHeader, FileTransaction& tx,
                            std::uint8_t primaryMarker);

// Writes the .PX over the leaves of a data file.
void writePrimaryIndexFile(const TableShape& table, const std::vector<IndexEntry>& leaves,
                           std::uint8_t changeCount, FileTransaction& tx);

// Memory the sorts of one table rewrite may use together.
inline constexpr std::size_t kSortMemory = 24 * 1024 * 1024;

}  // namespace kx4::paradox

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

#include "ExternalSort.h"
#include "IndexTree.h"
#include "ParadoxHeader.h"
#include "SortOrder.h"
#include "TableFormat.h"

namespace kx4 {
class FileTransaction;
class TextCodec;
}  // namespace kx4

namespace kx4::paradox {

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
std::string indexFilePath(const TablePath& table, const std::string& suffix);
std::string treeFilePath(const TablePath& table, const std::string& suffix);

// Gathers the entries of one secondary index, sorts them and writes its X and Y files.
class SecondaryIndexBuilder {
  public:
    SecondaryIndexBuilder(const TableShape& table, SecondaryLayout layout,
                          std::size_t memoryBudget);
    ~SecondaryIndexBuilder();

    // A record of the table (its bytes), stored in data block `block` (1-based) as record
    // `recordNo` of the table and `inBlock` of the block (both 0-based).
    void add(const std::uint8_t* record, std::uint16_t block, std::uint32_t recordNo,
             std::size_t inBlock);
    // Writes the X and Y files into staged files of `tx`. Two records with the same key in a
    // unique index raise a key violation naming index and key.
    void finish(FileTransaction& tx, std::uint8_t primaryMarker);

    const SecondaryLayout& layout() const { return layout_; }
    std::size_t entrySize() const { return entrySize_; }
    // Sort key of an entry, and the part of it a unique index must not repeat.
    std::string sortKey(const std::uint8_t* entry) const;
    std::string uniquePart(const std::uint8_t* entry) const;
    Header indexHeader() const;

  private:
    std::string describeKey(const std::uint8_t* entry) const;

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
    ExternalSorter sorter_;
};

// Builds every listed secondary index of a table from the records it holds.
void writeSecondaryIndexes(const TableShape& table, const std::vector<SecondaryLayout>& layouts,
                           File& dataFile, const Header& dataHeader, FileTransaction& tx,
                           std::uint8_t primaryMarker);

// Writes the .PX over the leaves of a data file.
void writePrimaryIndexFile(const TableShape& table, const std::vector<IndexEntry>& leaves,
                           std::uint8_t changeCount, FileTransaction& tx);

// Memory the sorts of one table rewrite may use together.
inline constexpr std::size_t kSortMemory = 24 * 1024 * 1024;

}  // namespace kx4::paradox

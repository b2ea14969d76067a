#pragma once
// The production index (.MDX) of a dBase IV/5/7 table: up to 47 tags, each a B-tree of keys
// pointing to record numbers.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/FileSystem.h"
#include "engine/dbase/KeyEncoding.h"

namespace kx4::dbase {

struct IndexEntry {
    KeyBytes key;
    std::uint32_t record = 0;  // 1-based record number (interior nodes: child page)
};

struct MdxTag {
    std::string name;
    std::uint32_t headerPage = 0;
    KeyType keyType = KeyType::Character;
    std::string expression;
    std::string filter;  // FOR condition; empty when none
    bool unique = false;
    bool descending = false;
    int keyLength = 0;
    int itemLength = 0;
    int maxKeys = 0;
    std::uint32_t rootPage = 0;
};

// The definition of a tag to write.
struct MdxTagSpec {
    std::string name;  // upper case, at most 10 characters
    std::string expression;
    KeyType keyType = KeyType::Character;
    int keyLength = 0;
    bool unique = false;
    bool descending = false;
};

// The entries of one tag in tag order, handed out one at a time so that a tag of any size
// can be written within fixed memory.
class TagEntries {
  public:
    virtual ~TagEntries() = default;
    // How many entries next() yields; known before the first of them.
    virtual std::uint64_t count() = 0;
    virtual bool next(IndexEntry& out) = 0;
};

inline constexpr int kMaxTags = 47;
inline constexpr std::size_t kMaxTagNameLength = 10;

// Writes a complete .MDX into `file` (a staged file): tags[i] with the entries of entries[i].
void writeMdx(File& file, const std::string& tableStem, std::uint8_t ldid,
              const std::vector<MdxTagSpec>& tags, const std::vector<TagEntries*>& entries);

// Sorts entries into the order of a tag; for a unique tag keeps the first record of each key.
void sortEntries(std::vector<IndexEntry>& entries, KeyType type, int keyLength, bool unique,
                 bool descending);

class MdxFile {
  public:
    // Reads the header and tag table; raises DBIERR_INDEXCORRUPT naming the file.
    explicit MdxFile(std::unique_ptr<File> file);
    ~MdxFile();

    const std::string& path() const { return file_->path(); }
    const std::vector<MdxTag>& tags() const { return tags_; }
    int findTag(const std::string& name) const;  // -1 if none

    // All entries of a tag in index order.
    std::vector<IndexEntry> entries(const MdxTag& tag);
    // The same, read node by node; valid while this file is open.
    std::unique_ptr<TagEntries> streamEntries(const MdxTag& tag);
    // Adds one key in place (needs a file opened for writing). A unique tag ignores a key it
    // already holds, as dBase does.
    void insert(std::size_t tagIndex, const KeyBytes& key, std::uint32_t record);
    void sync() { file_->sync(); }

  private:
    struct Node;
    struct Split;
    class TagWalk;
    void readTag(MdxTag& tag, std::uint32_t headerPage);
    Node readNode(const MdxTag& tag, std::uint32_t page);
    void writeNode(const MdxTag& tag, const Node& node);
    bool insertInto(MdxTag& tag, std::uint32_t page, const KeyBytes& key, std::uint32_t record,
                    int depth, Split& split);
    bool holds(const MdxTag& tag, const KeyBytes& key);
    std::uint32_t allocateBlock();
    int compare(const MdxTag& tag, const KeyBytes& a, const KeyBytes& b) const;
    [[noreturn]] void corrupt(const std::string& what) const;

    std::unique_ptr<File> file_;
    int pagesPerBlock_ = 2;
    int blockSize_ = 1024;
    std::uint32_t filePages_ = 0;
    std::vector<MdxTag> tags_;
    // State of one insert: the tag's rightmost leaf and the blocks it added.
    std::uint32_t rightLeaf_ = 0;
    std::uint32_t allocated_ = 0;
};

}  // namespace kx4::dbase

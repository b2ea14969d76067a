#include "engine/dbase/MdxFile.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "engine/core/Errors.h"
#include "engine/core/Progress.h"
#include "engine/dbase/ByteOrder.h"

namespace kx4::dbase {

namespace {

constexpr std::size_t kPageSize = 512;
constexpr int kPagesPerBlock = 2;  // what dBase writes: 1024-byte blocks
constexpr std::uint32_t kHeaderPages = 4;

// File header (page 0):
//   0 version (2 = dBase IV) | 1 creation date Y-1900, M, D | 4 table base name (16)
//   20 pages per block (2) | 22 block size (2) | 24 production flag | 25 maximum tag entries
//   26 tag entry length | 28 tags in use (2) | 31 language driver | 32 pages in the file (4)
//   36 first free page (4) | 40 free blocks (4) | 44 update date Y-1900, M, D | 529 always 1
constexpr std::size_t kVersion = 0;
constexpr std::size_t kCreated = 1;
constexpr std::size_t kTableName = 4;
constexpr std::size_t kTableNameSize = 16;
constexpr std::size_t kPagesPerBlockAt = 20;
constexpr std::size_t kBlockSizeAt = 22;
constexpr std::size_t kProduction = 24;
constexpr std::size_t kMaxEntries = 25;
constexpr std::size_t kEntryLength = 26;
constexpr std::size_t kTagsUsed = 28;
constexpr std::size_t kLanguage = 31;
constexpr std::size_t kFilePages = 32;
constexpr std::size_t kUpdated = 44;
constexpr std::size_t kAlwaysOne = 529;

// Tag table entry (32 bytes from offset 544):
//   0 tag header page (4) | 4 name (11) | 15 key format 0x10 | 16 left, 17 right, 18 parent
//   entry of the name tree (1-based) | 19 always 2 | 20 key type C/N/D
constexpr std::size_t kTagTable = 544;
constexpr std::size_t kTagEntrySize = 32;
constexpr std::size_t kTagNameSize = 11;
constexpr std::size_t kEntryHeaderPage = 0;
constexpr std::size_t kEntryName = 4;
constexpr std::size_t kEntryKeyFormat = 15;
constexpr std::size_t kEntryLeft = 16;
constexpr std::size_t kEntryRight = 17;
constexpr std::size_t kEntryParent = 18;
constexpr std::size_t kEntryAlwaysTwo = 19;
constexpr std::size_t kEntryKeyType = 20;

// Tag header (one block):
//   0 root page (4) | 4 blocks used (4) | 8 flags: 0x10, +0x08 descending, +0x40 unique
//   9 key type | 11 language driver | 12 key length (2) | 14 maximum keys per node (2)
//   16 secondary key type: 1 for dates (2) | 18 item length (2) | 20 serial number
//   23 unique | 24 key expression (220) | 245 has FOR condition | 246 has keys
//   248 leftmost leaf (4) | 252 rightmost leaf (4) | 257 date Y-1900, M, D
//   480 1 when the expression is one field name | 762 FOR condition
constexpr std::size_t kRoot = 0;
constexpr std::size_t kBlocksUsed = 4;
constexpr std::size_t kFlags = 8;
constexpr std::size_t kKeyType = 9;
constexpr std::size_t kTagLanguage = 11;
constexpr std::size_t kKeyLength = 12;
constexpr std::size_t kMaxKeys = 14;
constexpr std::size_t kSecondaryType = 16;
constexpr std::size_t kItemLength = 18;
constexpr std::size_t kSerial = 20;
constexpr std::size_t kUniqueAt = 23;
constexpr std::size_t kExpression = 24;
constexpr std::size_t kExpressionSize = 220;
constexpr std::size_t kHasFilter = 245;
constexpr std::size_t kHasKeys = 246;
constexpr std::size_t kLeftLeaf = 248;
constexpr std::size_t kRightLeaf = 252;
constexpr std::size_t kTagDate = 257;
constexpr std::size_t kSingleField = 480;
constexpr std::size_t kFilter = 762;
constexpr std::size_t kTagHeaderBytes = 1024;
constexpr std::uint8_t kFlagBase = 0x10;
constexpr std::uint8_t kFlagDescending = 0x08;
constexpr std::uint8_t kFlagUnique = 0x40;

// Node (one block): 0 key count (4) | 4 link (4) | 8 items: pointer (4) + key, padded to the
// item length | interior nodes: the rightmost child's page after the last item.
constexpr std::size_t kNodeItems = 8;
// An item: the record number (leaves) or child page (interior nodes), then the key.
constexpr std::size_t kItemKey = 4;
constexpr std::size_t kNodeOverhead = 12;
constexpr int kMaxDepth = 40;

void putDate(std::uint8_t* p) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    p[0] = static_cast<std::uint8_t>(tm.tm_year);
    p[1] = static_cast<std::uint8_t>(tm.tm_mon + 1);
    p[2] = static_cast<std::uint8_t>(tm.tm_mday);
}

int itemLengthFor(int keyLength) { return (keyLength + int{kItemKey} + 3) / 4 * 4; }

std::string cString(const std::uint8_t* p, std::size_t max) {
    std::size_t n = 0;
    while (n < max && p[n] != 0) ++n;
    std::string s(reinterpret_cast<const char*>(p), n);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

int compareEntries(KeyType type, int length, bool descending, const KeyBytes& a,
                   const KeyBytes& b) {
    const int c = compareKeys(type, a, b, length);
    return descending ? -c : c;
}

// Balanced binary tree of tag names over the tag table (left, right, parent, 1-based).
void linkNameTree(std::vector<std::uint8_t>& header, const std::vector<MdxTagSpec>& tags) {
    for (std::size_t i = 1; i < tags.size(); ++i) {
        std::size_t node = 0;
        for (;;) {
            std::uint8_t* entry = header.data() + kTagTable + node * kTagEntrySize;
            const bool left = tags[i].name < tags[node].name;
            std::uint8_t& link = entry[left ? kEntryLeft : kEntryRight];
            if (link == 0) {
                link = static_cast<std::uint8_t>(i + 1);
                header[kTagTable + i * kTagEntrySize + kEntryParent] =
                    static_cast<std::uint8_t>(node + 1);
                break;
            }
            node = link - 1u;
        }
    }
}

// Writes the nodes of one tree level front to back, several blocks at a time.
class LevelWriter {
  public:
    LevelWriter(File& file, std::uint32_t firstPage) : file_(file), nextPage_(firstPage) {}

    void write(const std::vector<std::uint8_t>& block) {
        pending_.insert(pending_.end(), block.begin(), block.end());
        if (pending_.size() >= kWriteBehind) flush();
    }

    void flush() {
        if (pending_.empty()) return;
        file_.writeAt(static_cast<std::uint64_t>(nextPage_) * kPageSize, pending_.data(),
                      pending_.size());
        nextPage_ += static_cast<std::uint32_t>(pending_.size() / kPageSize);
        pending_.clear();
    }

  private:
    static constexpr std::size_t kWriteBehind = 128 * 1024;
    File& file_;
    std::uint32_t nextPage_;
    std::vector<std::uint8_t> pending_;
};

// Builds a tag's B-tree from its entries in order, in the layout dBase itself writes: all
// leaves first, then each level of interior nodes above them, every level spread evenly over
// as few nodes as hold it. The number of entries fixes that layout beforehand, so entries stream
// through with one open node per level.
class TreeWriter {
  public:
    TreeWriter(File& file, int itemLength, int maxKeys, std::uint32_t firstPage,
               std::uint64_t entries)
        : itemLength_(static_cast<std::size_t>(itemLength)) {
        std::uint64_t children = entries;
        std::uint64_t capacity = static_cast<std::uint64_t>(maxKeys);
        std::uint32_t page = firstPage;
        for (;;) {
            const std::uint64_t nodes =
                std::max<std::uint64_t>(1, (children + capacity - 1) / capacity);
            levels_.push_back(Level{children, nodes, page, LevelWriter(file, page), 0, 0, {}});
            page += static_cast<std::uint32_t>(nodes * kPagesPerBlock);
            if (nodes == 1) break;
            children = nodes;
            capacity = static_cast<std::uint64_t>(maxKeys) + 1;  // n - 1 items and a right child
        }
        endPage_ = page;
        for (auto& level : levels_) level.block.assign(kPagesPerBlock * kPageSize, 0);
    }

    void add(const IndexEntry& entry) { addTo(0, entry.key, entry.record); }

    // Writes what remains; returns the root page.
    std::uint32_t finish() {
        Level& leaves = levels_.front();
        if (leaves.children == 0) completeNode(0, 0);  // a tag without keys has one empty leaf
        for (auto& level : levels_) level.writer.flush();
        return levels_.back().firstPage;
    }

    std::uint32_t leftLeaf() const { return levels_.front().firstPage; }
    std::uint32_t rightLeaf() const {
        const Level& leaves = levels_.front();
        return leaves.firstPage + static_cast<std::uint32_t>((leaves.nodes - 1) * kPagesPerBlock);
    }
    std::uint32_t endPage() const { return endPage_; }

  private:
    struct Level {
        std::uint64_t children;  // entries of the leaves, nodes of the level below
        std::uint64_t nodes;
        std::uint32_t firstPage;
        LevelWriter writer;
        std::uint64_t node = 0;  // index of the open node
        std::size_t filled = 0;  // children it holds so far
        std::vector<std::uint8_t> block;

        std::size_t nodeSize() const {  // children of the open node
            return static_cast<std::size_t>(children / nodes + (node < children % nodes ? 1 : 0));
        }
        std::uint32_t page() const {
            return firstPage + static_cast<std::uint32_t>(node * kPagesPerBlock);
        }
    };

    // Leaves take entries as items; an interior node takes each child but its last as an item
    // (the child's highest key and page) and points to its last child after them.
    void addTo(std::size_t depth, const KeyBytes& key, std::uint32_t pointer) {
        Level& level = levels_[depth];
        const bool leaf = depth == 0;
        std::uint32_t written;
        if (leaf || level.filled + 1 < level.nodeSize()) {
            std::uint8_t* item = level.block.data() + kNodeItems + level.filled * itemLength_;
            putLe32(item, pointer);
            std::memcpy(item + kItemKey, key.data(), std::min(key.size(), itemLength_ - kItemKey));
            ++level.filled;
            if (!leaf || level.filled < level.nodeSize()) return;
            written = completeNode(depth, 0);
        } else {
            written = completeNode(depth, pointer);
        }
        if (depth + 1 < levels_.size()) addTo(depth + 1, key, written);
    }

    // Writes the open node of a level with `right` as its last child; returns its page.
    std::uint32_t completeNode(std::size_t depth, std::uint32_t right) {
        Level& level = levels_[depth];
        putLe32(level.block.data(), static_cast<std::uint32_t>(level.filled));
        putLe32(level.block.data() + kNodeItems + level.filled * itemLength_, right);
        level.writer.write(level.block);
        const std::uint32_t page = level.page();
        std::fill(level.block.begin(), level.block.end(), 0);
        level.filled = 0;
        ++level.node;
        return page;
    }

    std::size_t itemLength_;
    std::vector<Level> levels_;
    std::uint32_t endPage_ = 0;
};

}  // namespace

void sortEntries(std::vector<IndexEntry>& entries, KeyType type, int keyLength, bool unique,
                 bool descending) {
    std::stable_sort(entries.begin(), entries.end(), [&](const IndexEntry& a, const IndexEntry& b) {
        const int c = compareEntries(type, keyLength, descending, a.key, b.key);
        return c != 0 ? c < 0 : a.record < b.record;
    });
    if (unique) {
        entries.erase(std::unique(entries.begin(), entries.end(),
                                  [&](const IndexEntry& a, const IndexEntry& b) {
                                      return compareKeys(type, a.key, b.key, keyLength) == 0;
                                  }),
                      entries.end());
    }
}

void writeMdx(File& file, const std::string& tableStem, std::uint8_t ldid,
              const std::vector<MdxTagSpec>& tags, const std::vector<TagEntries*>& entries) {
    std::vector<std::uint8_t> header(kHeaderPages * kPageSize, 0);
    header[kVersion] = 2;
    putDate(header.data() + kCreated);
    std::memcpy(header.data() + kTableName, tableStem.data(),
                std::min(tableStem.size(), kTableNameSize - 1));
    putLe16(header.data() + kPagesPerBlockAt, kPagesPerBlock);
    putLe16(header.data() + kBlockSizeAt, kPagesPerBlock * kPageSize);
    header[kProduction] = 1;
    header[kMaxEntries] = 48;
    header[kEntryLength] = kTagEntrySize;
    putLe16(header.data() + kTagsUsed, static_cast<std::uint16_t>(tags.size()));
    header[kLanguage] = ldid;
    putDate(header.data() + kUpdated);
    header[kAlwaysOne] = 1;

    file.truncate(0);
    std::uint32_t nextPage = kHeaderPages;
    for (std::size_t t = 0; t < tags.size(); ++t) {
        const MdxTagSpec& tag = tags[t];
        TagEntries& source = *entries.at(t);
        const int itemLength = itemLengthFor(tag.keyLength);
        const int maxKeys =
            (kPagesPerBlock * static_cast<int>(kPageSize) - static_cast<int>(kNodeOverhead)) /
            itemLength;
        const std::uint32_t headerPage = nextPage;
        const std::uint64_t count = source.count();
        TreeWriter tree(file, itemLength, maxKeys, nextPage + kPagesPerBlock, count);
        IndexEntry item;
        ProgressMeter meter(ProgressPhase::Index, count, tag.name);
        for (std::uint64_t i = 0; i < count; ++i) {
            if (!source.next(item))
                throwEngineError(DBIERR_INVALIDPARAM, "Tag " + tag.name + " of " + file.path() +
                                                          " ran out of entries while written");
            tree.add(item);
            meter.advance();
        }
        meter.finish();
        const std::uint32_t root = tree.finish();

        std::vector<std::uint8_t> th(kPagesPerBlock * kPageSize, 0);
        putLe32(th.data() + kRoot, root);
        putLe32(th.data() + kBlocksUsed, (tree.endPage() - headerPage) / kPagesPerBlock);
        th[kFlags] =
            kFlagBase | (tag.descending ? kFlagDescending : 0) | (tag.unique ? kFlagUnique : 0);
        th[kKeyType] = static_cast<std::uint8_t>(tag.keyType);
        th[kTagLanguage] = ldid;
        putLe16(th.data() + kKeyLength, static_cast<std::uint16_t>(tag.keyLength));
        putLe16(th.data() + kMaxKeys, static_cast<std::uint16_t>(maxKeys));
        putLe16(th.data() + kSecondaryType, tag.keyType == KeyType::Date ? 1 : 0);
        putLe16(th.data() + kItemLength, static_cast<std::uint16_t>(itemLength));
        th[kSerial] = 1;
        th[kUniqueAt] = tag.unique ? 1 : 0;
        std::memcpy(th.data() + kExpression, tag.expression.data(),
                    std::min(tag.expression.size(), kExpressionSize - 1));
        th[kHasKeys] = count == 0 ? 0 : 1;
        putLe32(th.data() + kLeftLeaf, tree.leftLeaf());
        putLe32(th.data() + kRightLeaf, tree.rightLeaf());
        putDate(th.data() + kTagDate);
        th[kSingleField] = tag.expression.find_first_of("+-()'\" ") == std::string::npos ? 1 : 0;
        file.writeAt(static_cast<std::uint64_t>(headerPage) * kPageSize, th.data(), th.size());
        nextPage = tree.endPage();

        std::uint8_t* entry = header.data() + kTagTable + t * kTagEntrySize;
        putLe32(entry + kEntryHeaderPage, headerPage);
        std::memcpy(entry + kEntryName, tag.name.data(),
                    std::min(tag.name.size(), kTagNameSize - 1));
        entry[kEntryKeyFormat] = kFlagBase;
        entry[kEntryAlwaysTwo] = 0x02;
        entry[kEntryKeyType] = static_cast<std::uint8_t>(tag.keyType);
    }
    linkNameTree(header, tags);
    putLe32(header.data() + kFilePages, nextPage);
    file.writeAt(0, header.data(), header.size());
}

// ---------------------------------------------------------------------------------------------

struct MdxFile::Node {
    std::uint32_t page = 0;
    bool leaf = true;
    std::vector<IndexEntry> items;  // interior: record = child page
    std::uint32_t right = 0;
};

struct MdxFile::Split {
    KeyBytes leftMax;
    std::uint32_t newPage = 0;
};

MdxFile::MdxFile(std::unique_ptr<File> file) : file_(std::move(file)) {
    std::vector<std::uint8_t> h(kHeaderPages * kPageSize, 0);
    if (file_->readSomeAt(0, h.data(), h.size()) < kTagTable) corrupt("the header is incomplete");
    if (h[kVersion] < 2 || h[kVersion] > 3)
        corrupt("unknown version " + std::to_string(h[kVersion]));
    pagesPerBlock_ = getLe16(h.data() + kPagesPerBlockAt);
    blockSize_ = getLe16(h.data() + kBlockSizeAt);
    if (pagesPerBlock_ < 1 || pagesPerBlock_ > 64 ||
        blockSize_ != pagesPerBlock_ * static_cast<int>(kPageSize))
        corrupt("block size " + std::to_string(blockSize_) + " does not match " +
                std::to_string(pagesPerBlock_) + " pages per block");
    if (h[kEntryLength] != kTagEntrySize)
        throwEngineError(DBIERR_NOTSUPPORTED, "Index file " + path() + " has " +
                                                  std::to_string(h[kEntryLength]) +
                                                  "-byte tag entries, a layout not supported");
    const int used = getLe16(h.data() + kTagsUsed);
    if (used > kMaxTags) corrupt(std::to_string(used) + " tags, more than 47");
    filePages_ = static_cast<std::uint32_t>(file_->size() / kPageSize);
    for (int i = 0; i < used; ++i) {
        const std::uint8_t* e = h.data() + kTagTable + static_cast<std::size_t>(i) * kTagEntrySize;
        MdxTag tag;
        tag.name = cString(e + kEntryName, kTagNameSize);
        readTag(tag, getLe32(e + kEntryHeaderPage));
        tags_.push_back(std::move(tag));
    }
}

MdxFile::~MdxFile() = default;

void MdxFile::corrupt(const std::string& what) const {
    throwEngineError(DBIERR_INDEXCORRUPT, "Corrupt index file " + path() + ": " + what);
}

void MdxFile::readTag(MdxTag& tag, std::uint32_t headerPage) {
    if (headerPage < kHeaderPages || headerPage >= filePages_)
        corrupt("tag " + tag.name + " has its header at page " + std::to_string(headerPage) +
                ", outside the file");
    std::vector<std::uint8_t> th(kTagHeaderBytes, 0);
    file_->readSomeAt(static_cast<std::uint64_t>(headerPage) * kPageSize, th.data(), th.size());
    tag.headerPage = headerPage;
    tag.rootPage = getLe32(th.data() + kRoot);
    const char type = static_cast<char>(th[kKeyType]);
    if (type != 'C' && type != 'N' && type != 'D' && type != 'F')
        corrupt("tag " + tag.name + " has the unknown key type " + std::to_string(th[kKeyType]));
    tag.keyType = type == 'C' ? KeyType::Character : type == 'D' ? KeyType::Date : KeyType::Numeric;
    tag.keyLength = getLe16(th.data() + kKeyLength);
    tag.maxKeys = getLe16(th.data() + kMaxKeys);
    tag.itemLength = getLe16(th.data() + kItemLength);
    tag.unique = (th[kFlags] & kFlagUnique) != 0 || th[kUniqueAt] != 0;
    tag.descending = (th[kFlags] & kFlagDescending) != 0;
    tag.expression = cString(th.data() + kExpression, kExpressionSize);
    if (th[kHasFilter]) tag.filter = cString(th.data() + kFilter, kTagHeaderBytes - kFilter);
    const int expected = tag.keyType == KeyType::Numeric ? kNumericKeyLength
                         : tag.keyType == KeyType::Date  ? kDateKeyLength
                                                         : 0;
    if (tag.keyLength < 1 || tag.keyLength > 240 || (expected && tag.keyLength != expected) ||
        tag.itemLength < tag.keyLength + int{kItemKey} || tag.maxKeys < 1 ||
        static_cast<std::size_t>(tag.maxKeys) * tag.itemLength + kNodeOverhead >
            static_cast<std::size_t>(blockSize_))
        corrupt("tag " + tag.name + " has inconsistent key sizes (key " +
                std::to_string(tag.keyLength) + ", item " + std::to_string(tag.itemLength) + ", " +
                std::to_string(tag.maxKeys) + " per node)");
}

int MdxFile::findTag(const std::string& name) const {
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        std::string a = tags_[i].name, b = name;
        for (auto* s : {&a, &b})
            for (auto& c : *s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (a == b) return static_cast<int>(i);
    }
    return -1;
}

MdxFile::Node MdxFile::readNode(const MdxTag& tag, std::uint32_t page) {
    if (page < kHeaderPages || page + static_cast<std::uint32_t>(pagesPerBlock_) > filePages_)
        corrupt("tag " + tag.name + " refers to page " + std::to_string(page) +
                ", outside the file");
    std::vector<std::uint8_t> block(static_cast<std::size_t>(blockSize_));
    file_->readAt(static_cast<std::uint64_t>(page) * kPageSize, block.data(), block.size());
    const std::uint32_t n = getLe32(block.data());
    if (n > static_cast<std::uint32_t>(tag.maxKeys))
        corrupt("node at page " + std::to_string(page) + " of tag " + tag.name + " claims " +
                std::to_string(n) + " keys, at most " + std::to_string(tag.maxKeys) + " fit");
    Node node;
    node.page = page;
    const auto item = static_cast<std::size_t>(tag.itemLength);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint8_t* p = block.data() + kNodeItems + i * item;
        node.items.push_back({KeyBytes(p + kItemKey, p + kItemKey + tag.keyLength), getLe32(p)});
    }
    const std::size_t rightAt = kNodeItems + n * item;
    node.right = rightAt + 4 <= block.size() ? getLe32(block.data() + rightAt) : 0;
    node.leaf = node.right == 0;
    return node;
}

void MdxFile::writeNode(const MdxTag& tag, const Node& node) {
    std::vector<std::uint8_t> block(static_cast<std::size_t>(blockSize_), 0);
    putLe32(block.data(), static_cast<std::uint32_t>(node.items.size()));
    const auto item = static_cast<std::size_t>(tag.itemLength);
    for (std::size_t i = 0; i < node.items.size(); ++i) {
        std::uint8_t* p = block.data() + kNodeItems + i * item;
        putLe32(p, node.items[i].record);
        std::memcpy(p + kItemKey, node.items[i].key.data(), node.items[i].key.size());
    }
    putLe32(block.data() + kNodeItems + node.items.size() * item, node.leaf ? 0 : node.right);
    file_->writeAt(static_cast<std::uint64_t>(node.page) * kPageSize, block.data(), block.size());
}

// Walks a tag depth first, one node per level in memory; refuses loops and overly deep trees.
class MdxFile::TagWalk : public TagEntries {
  public:
    TagWalk(MdxFile& file, const MdxTag& tag) : file_(file), tag_(tag) {}

    std::uint64_t count() override {
        if (!counted_) {
            TagWalk counter(file_, tag_);
            IndexEntry e;
            std::uint64_t n = 0;
            while (counter.next(e)) ++n;
            count_ = n;
            counted_ = true;
        }
        return count_;
    }

    bool next(IndexEntry& out) override {
        if (!started_) {
            started_ = true;
            visited_.assign(file_.filePages_, false);
            descend(tag_.rootPage);
        }
        while (!path_.empty()) {
            Position& at = path_.back();
            if (at.node.leaf) {
                if (at.next < at.node.items.size()) {
                    out = at.node.items[at.next++];
                    return true;
                }
                path_.pop_back();
                continue;
            }
            // Interior: each item's child, then the right child.
            if (at.next > at.node.items.size()) {
                path_.pop_back();
                continue;
            }
            const std::uint32_t child =
                at.next < at.node.items.size() ? at.node.items[at.next].record : at.node.right;
            ++at.next;
            descend(child);
        }
        return false;
    }

  private:
    struct Position {
        Node node;
        std::size_t next = 0;
    };

    void descend(std::uint32_t page) {
        if (path_.size() > static_cast<std::size_t>(kMaxDepth))
            file_.corrupt("tag " + tag_.name + " is deeper than " + std::to_string(kMaxDepth) +
                          " levels");
        Node node = file_.readNode(tag_, page);  // checks that the page lies inside the file
        if (visited_[page])
            file_.corrupt("tag " + tag_.name + " reaches page " + std::to_string(page) + " twice");
        visited_[page] = true;
        path_.push_back(Position{std::move(node), 0});
    }

    MdxFile& file_;
    MdxTag tag_;
    bool started_ = false;
    bool counted_ = false;
    std::uint64_t count_ = 0;
    std::vector<bool> visited_;
    std::vector<Position> path_;
};

std::unique_ptr<TagEntries> MdxFile::streamEntries(const MdxTag& tag) {
    return std::make_unique<TagWalk>(*this, tag);
}

std::vector<IndexEntry> MdxFile::entries(const MdxTag& tag) {
    std::vector<IndexEntry> out;
    TagWalk walk(*this, tag);
    for (IndexEntry e; walk.next(e);) out.push_back(std::move(e));
    return out;
}

int MdxFile::compare(const MdxTag& tag, const KeyBytes& a, const KeyBytes& b) const {
    return compareEntries(tag.keyType, tag.keyLength, tag.descending, a, b);
}

// Looks the key up along one path from the root: an interior item holds the highest key below
// it, so the first item not below the key leads to where the key would be.
bool MdxFile::holds(const MdxTag& tag, const KeyBytes& key) {
    std::uint32_t page = tag.rootPage;
    for (int depth = 0; depth <= kMaxDepth; ++depth) {
        const Node node = readNode(tag, page);
        const auto it =
            std::find_if(node.items.begin(), node.items.end(),
                         [&](const IndexEntry& e) { return compare(tag, e.key, key) >= 0; });
        if (node.leaf) return it != node.items.end() && compare(tag, it->key, key) == 0;
        page = it != node.items.end() ? it->record : node.right;
    }
    corrupt("tag " + tag.name + " is deeper than " + std::to_string(kMaxDepth) + " levels");
}

std::uint32_t MdxFile::allocateBlock() {
    std::uint8_t count[4];
    file_->readAt(kFilePages, count, sizeof count);
    const std::uint32_t page = std::max(getLe32(count), filePages_);
    filePages_ = page + static_cast<std::uint32_t>(pagesPerBlock_);
    ++allocated_;
    putLe32(count, filePages_);
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(blockSize_), 0);
    file_->writeAt(static_cast<std::uint64_t>(page) * kPageSize, zeros.data(), zeros.size());
    file_->writeAt(kFilePages, count, sizeof count);
    return page;
}

bool MdxFile::insertInto(MdxTag& tag, std::uint32_t page, const KeyBytes& key, std::uint32_t record,
                         int depth, Split& split) {
    if (depth > kMaxDepth)
        corrupt("tag " + tag.name + " is deeper than " + std::to_string(kMaxDepth) + " levels");
    Node node = readNode(tag, page);
    // New keys go behind equal ones: the appended record has the highest number.
    const auto after = [&](const IndexEntry& e) { return compare(tag, key, e.key) < 0; };
    const std::size_t slot = static_cast<std::size_t>(
        std::find_if(node.items.begin(), node.items.end(), after) - node.items.begin());
    if (node.leaf) {
        node.items.insert(node.items.begin() + static_cast<std::ptrdiff_t>(slot), {key, record});
    } else {
        const std::uint32_t child = slot < node.items.size() ? node.items[slot].record : node.right;
        Split below;
        if (!insertInto(tag, child, key, record, depth + 1, below)) return false;
        // The child keeps its lower half; its slot now points to the upper half.
        if (slot < node.items.size())
            node.items[slot].record = below.newPage;
        else
            node.right = below.newPage;
        node.items.insert(node.items.begin() + static_cast<std::ptrdiff_t>(slot),
                          {below.leftMax, child});
    }
    if (node.items.size() <= static_cast<std::size_t>(tag.maxKeys)) {
        writeNode(tag, node);
        return false;
    }
    Node upper;
    upper.page = allocateBlock();
    upper.leaf = node.leaf;
    const std::size_t half = node.items.size() / 2;
    if (node.leaf) {
        upper.items.assign(node.items.begin() + static_cast<std::ptrdiff_t>(half),
                           node.items.end());
        node.items.resize(half);
        split.leftMax = node.items.back().key;
        // The upper half of the rightmost leaf becomes the rightmost leaf.
        if (node.page == rightLeaf_) rightLeaf_ = upper.page;
    } else {
        upper.items.assign(node.items.begin() + static_cast<std::ptrdiff_t>(half) + 1,
                           node.items.end());
        upper.right = node.right;
        node.right = node.items[half].record;
        split.leftMax = node.items[half].key;
        node.items.resize(half);
    }
    split.newPage = upper.page;
    writeNode(tag, upper);
    writeNode(tag, node);
    return true;
}

void MdxFile::insert(std::size_t tagIndex, const KeyBytes& key, std::uint32_t record) {
    MdxTag& tag = tags_.at(tagIndex);
    if (static_cast<int>(key.size()) != tag.keyLength)
        corrupt("key of " + std::to_string(key.size()) + " bytes for tag " + tag.name);
    if (tag.unique && holds(tag, key)) return;
    std::vector<std::uint8_t> th(kTagHeaderBytes, 0);
    const std::uint64_t headerAt = static_cast<std::uint64_t>(tag.headerPage) * kPageSize;
    const std::size_t headerSize =
        std::min<std::size_t>(th.size(), static_cast<std::size_t>(blockSize_));
    file_->readAt(headerAt, th.data(), headerSize);

    allocated_ = 0;
    rightLeaf_ = getLe32(th.data() + kRightLeaf);
    Split split;
    if (insertInto(tag, tag.rootPage, key, record, 0, split)) {
        Node root;
        root.page = allocateBlock();
        root.leaf = false;
        root.items.push_back({split.leftMax, tag.rootPage});
        root.right = split.newPage;
        writeNode(tag, root);
        tag.rootPage = root.page;
    }
    putLe32(th.data() + kRightLeaf, rightLeaf_);
    putLe32(th.data() + kRoot, tag.rootPage);
    th[kHasKeys] = 1;
    th[kSerial] = static_cast<std::uint8_t>(th[kSerial] + 1);
    putLe32(th.data() + kBlocksUsed, getLe32(th.data() + kBlocksUsed) + allocated_);
    file_->writeAt(headerAt, th.data(), headerSize);
    std::uint8_t date[3];
    putDate(date);
    file_->writeAt(kUpdated, date, sizeof date);
}

}  // namespace kx4::dbase

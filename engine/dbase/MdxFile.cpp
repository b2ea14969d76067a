#include "MdxFile.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "ByteOrder.h"
#include "Errors.h"

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

int itemLengthFor(int keyLength) { return (keyLength + 4 + 3) / 4 * 4; }

std::string cString(const std::uint8_t* p, std::size_t max) {
    std::size_t n = 0;
    while (n < max && p[n] != 0) ++n;
    std::string s(reinterpret_cast<const char*>(p), n);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

int compareEntries(KeyType type, int length, bool descending, const KeyBytes& a,
                   const KeyBytes& b) {
    const int c = compareKeys(type, a.data(), b.data(), length);
    return descending ? -c : c;
}

// Balanced binary tree of tag names over the tag table (left, right, parent, 1-based).
void linkNameTree(std::vector<std::uint8_t>& header, const std::vector<MdxTagSpec>& tags) {
    for (std::size_t i = 1; i < tags.size(); ++i) {
        std::size_t node = 0;
        for (;;) {
            std::uint8_t* entry = header.data() + kTagTable + node * kTagEntrySize;
            const bool left = tags[i].name < tags[node].name;
            std::uint8_t& link = entry[left ? 16 : 17];
            if (link == 0) {
                link = static_cast<std::uint8_t>(i + 1);
                header[kTagTable + i * kTagEntrySize + 18] = static_cast<std::uint8_t>(node + 1);
                break;
            }
            node = link - 1u;
        }
    }
}

struct Builder {
    File& file;
    int itemLength;
    int maxKeys;
    std::uint32_t nextPage;
    std::uint32_t leftLeaf = 0;
    std::uint32_t rightLeaf = 0;

    void writeBlock(std::uint32_t page, const std::vector<std::uint8_t>& block) {
        file.writeAt(static_cast<std::uint64_t>(page) * kPageSize, block.data(), block.size());
    }

    std::vector<std::uint8_t> nodeBlock(const IndexEntry* items, std::size_t n,
                                        std::uint32_t right) {
        std::vector<std::uint8_t> block(kPagesPerBlock * kPageSize, 0);
        putLe32(block.data(), static_cast<std::uint32_t>(n));
        for (std::size_t i = 0; i < n; ++i) {
            std::uint8_t* item =
                block.data() + kNodeItems + i * static_cast<std::size_t>(itemLength);
            putLe32(item, items[i].record);
            std::memcpy(item + 4, items[i].key.data(), items[i].key.size());
        }
        putLe32(block.data() + kNodeItems + n * static_cast<std::size_t>(itemLength), right);
        return block;
    }

    // Splits `count` children into groups of at most `capacity`, none with a single member.
    static std::vector<std::size_t> groupSizes(std::size_t count, std::size_t capacity) {
        std::vector<std::size_t> sizes;
        const std::size_t groups = (count + capacity - 1) / capacity;
        for (std::size_t g = 0; g < groups; ++g)
            sizes.push_back(count / groups + (g < count % groups ? 1 : 0));
        return sizes;
    }

    // Writes the tree bottom-up; returns the root page.
    std::uint32_t build(const std::vector<IndexEntry>& entries) {
        std::vector<IndexEntry> level;  // (max key, page) of each node of the level below
        if (entries.empty()) {
            const std::uint32_t page = nextPage;
            nextPage += kPagesPerBlock;
            writeBlock(page, nodeBlock(nullptr, 0, 0));
            leftLeaf = rightLeaf = page;
            return page;
        }
        std::size_t at = 0;
        for (std::size_t size : groupSizes(entries.size(), static_cast<std::size_t>(maxKeys))) {
            const std::uint32_t page = nextPage;
            nextPage += kPagesPerBlock;
            writeBlock(page, nodeBlock(entries.data() + at, size, 0));
            if (at == 0) leftLeaf = page;
            rightLeaf = page;
            at += size;
            level.push_back({entries[at - 1].key, page});
        }
        while (level.size() > 1) {
            std::vector<IndexEntry> upper;
            std::size_t first = 0;
            for (std::size_t size :
                 groupSizes(level.size(), static_cast<std::size_t>(maxKeys) + 1)) {
                const std::uint32_t page = nextPage;
                nextPage += kPagesPerBlock;
                // n children: n - 1 items and the last child as the right pointer.
                writeBlock(page, nodeBlock(level.data() + first, size - 1,
                                           level[first + size - 1].record));
                upper.push_back({level[first + size - 1].key, page});
                first += size;
            }
            level = std::move(upper);
        }
        return level.front().record;
    }
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
                                      return compareKeys(type, a.key.data(), b.key.data(),
                                                         keyLength) == 0;
                                  }),
                      entries.end());
    }
}

void writeMdx(File& file, const std::string& tableStem, std::uint8_t ldid,
              std::vector<MdxTagSpec> tags) {
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
        MdxTagSpec& tag = tags[t];
        sortEntries(tag.entries, tag.keyType, tag.keyLength, tag.unique, tag.descending);
        const int itemLength = itemLengthFor(tag.keyLength);
        const int maxKeys =
            (kPagesPerBlock * static_cast<int>(kPageSize) - static_cast<int>(kNodeOverhead)) /
            itemLength;
        const std::uint32_t headerPage = nextPage;
        Builder builder{file, itemLength, maxKeys, nextPage + kPagesPerBlock};
        const std::uint32_t root = builder.build(tag.entries);

        std::vector<std::uint8_t> th(kPagesPerBlock * kPageSize, 0);
        putLe32(th.data() + kRoot, root);
        putLe32(th.data() + kBlocksUsed, (builder.nextPage - headerPage) / kPagesPerBlock);
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
        th[kHasKeys] = tag.entries.empty() ? 0 : 1;
        putLe32(th.data() + kLeftLeaf, builder.leftLeaf);
        putLe32(th.data() + kRightLeaf, builder.rightLeaf);
        putDate(th.data() + kTagDate);
        th[kSingleField] = tag.expression.find_first_of("+-()'\" ") == std::string::npos ? 1 : 0;
        builder.writeBlock(headerPage, th);
        nextPage = builder.nextPage;

        std::uint8_t* entry = header.data() + kTagTable + t * kTagEntrySize;
        putLe32(entry, headerPage);
        std::memcpy(entry + 4, tag.name.data(), std::min(tag.name.size(), kTagNameSize - 1));
        entry[15] = kFlagBase;
        entry[19] = 0x02;
        entry[20] = static_cast<std::uint8_t>(tag.keyType);
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
        tag.name = cString(e + 4, kTagNameSize);
        readTag(tag, getLe32(e));
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
        tag.itemLength < tag.keyLength + 4 || tag.maxKeys < 1 ||
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
        node.items.push_back({KeyBytes(p + 4, p + 4 + tag.keyLength), getLe32(p)});
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
        std::memcpy(p + 4, node.items[i].key.data(), node.items[i].key.size());
    }
    putLe32(block.data() + kNodeItems + node.items.size() * item, node.leaf ? 0 : node.right);
    file_->writeAt(static_cast<std::uint64_t>(node.page) * kPageSize, block.data(), block.size());
}

void MdxFile::collect(const MdxTag& tag, std::uint32_t page, int depth,
                      std::vector<IndexEntry>& out, std::vector<bool>& visited) {
    if (depth > kMaxDepth)
        corrupt("tag " + tag.name + " is deeper than " + std::to_string(kMaxDepth) + " levels");
    Node node = readNode(tag, page);  // checks that the page lies inside the file
    if (visited[page])
        corrupt("tag " + tag.name + " reaches page " + std::to_string(page) + " twice");
    visited[page] = true;
    if (node.leaf) {
        for (auto& e : node.items) out.push_back(std::move(e));
        return;
    }
    for (const auto& e : node.items) collect(tag, e.record, depth + 1, out, visited);
    collect(tag, node.right, depth + 1, out, visited);
}

std::vector<IndexEntry> MdxFile::entries(const MdxTag& tag) {
    std::vector<IndexEntry> out;
    std::vector<bool> visited(filePages_, false);
    collect(tag, tag.rootPage, 0, out, visited);
    return out;
}

int MdxFile::compare(const MdxTag& tag, const KeyBytes& a, const KeyBytes& b) const {
    return compareEntries(tag.keyType, tag.keyLength, tag.descending, a, b);
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
    if (tag.unique) {
        for (const auto& e : entries(tag))
            if (compareKeys(tag.keyType, e.key.data(), key.data(), tag.keyLength) == 0) return;
    }
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

#include "engine/paradox/IndexFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/Progress.h"
#include "engine/core/TextCodec.h"
#include "engine/paradox/BlockWriter.h"
#include "engine/paradox/ByteOrder.h"
#include "engine/paradox/Companions.h"
#include "engine/paradox/DataBlocks.h"
#include "engine/paradox/FieldCodec.h"
#include "engine/paradox/IndexTree.h"
#include "engine/paradox/RecordCodec.h"

namespace kx4::paradox {

namespace {

constexpr std::size_t kMaxIndexFields = 16;
constexpr unsigned kMaxCompositeIndexes = 16;  // .XG0 to .XGF
constexpr std::uint8_t kIndexMarker = 0xFF;    // 0x2C of every X file seen
constexpr std::uint16_t kDescendingBit = 0x8000;
constexpr std::uint16_t kIndexChangeMarker = 12;
const FieldInfo kShortField{pxShort, 2};
const FieldInfo kLongField{pxLong, 4};

std::uint8_t indexDirection(const TIndexOptions& options) {
    std::uint8_t flags = 0;
    if (options.has(IndexOption::ixCaseInsensitive)) flags |= kIndexCaseInsensitiveBit;
    if (options.has(IndexOption::ixDescending)) flags |= kIndexDescendingBit;
    return flags;
}

std::string hexDigits(unsigned value, int digits) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return buf;
}

std::string encoded(const std::string& utf8, const TextCodec& codec) {
    try {
        return codec.fromUtf8(utf8);
    } catch (const EDBEngineError&) {
        return utf8;
    }
}

[[noreturn]] void refuseIndex(const TableShape& table, const IndexDef& index,
                              const std::string& why, DBIResult code = DBIERR_INVALIDPARAM) {
    const std::string name = index.name.empty() ? index.fields : index.name;
    throwEngineError(code, "Index " + name + " of " + table.path.fileName + ": " + why);
}

std::vector<std::size_t> indexedFieldsOf(const TableShape& table, const IndexDef& index) {
    const auto names = splitFieldList(index.fields);
    if (names.empty()) refuseIndex(table, index, "an index needs at least one field");
    if (names.size() > kMaxIndexFields) refuseIndex(table, index, "an index has at most 16 fields");
    std::vector<std::size_t> positions;
    for (const auto& name : names) {
        std::size_t pos = table.names.size();
        for (std::size_t i = 0; i < table.names.size(); ++i)
            if (sameName(table.names[i], name)) pos = i;
        if (pos == table.names.size()) throwNoSuchField(name);
        if (isBlobType(table.fields[pos].type))
            refuseIndex(table, index, "the blob field " + name + " cannot be indexed");
        if (std::find(positions.begin(), positions.end(), pos) != positions.end())
            refuseIndex(table, index, "the field " + name + " is listed twice");
        positions.push_back(pos);
    }
    return positions;
}

bool isSingleFieldTag(const std::string& tag) {
    return tag.size() == 3 && toUpperAscii(tag)[0] == 'X' && toUpperAscii(tag)[1] != 'G';
}

bool isCompositeTag(const std::string& tag) {
    const std::string t = toUpperAscii(tag);
    return t.size() == 3 && t[0] == 'X' && t[1] == 'G' &&
           std::isxdigit(static_cast<unsigned char>(t[2]));
}

}  // namespace

std::size_t TableShape::offsetOf(std::size_t field) const {
    std::size_t offset = 0;
    for (std::size_t i = 0; i < field; ++i) offset += storedSize(fields[i]);
    return offset;
}

std::size_t TableShape::keySize() const { return offsetOf(keyFields); }

std::vector<FieldInfo> TableShape::keyInfo() const {
    return {fields.begin(), fields.begin() + static_cast<std::ptrdiff_t>(keyFields)};
}

KeyOrder::KeyOrder(const TableShape& table) {
    for (std::size_t k = 0; k < table.keyFields; ++k)
        collators_.emplace_back(std::vector<FieldInfo>{table.fields[k]}, table.sortOrder,
                                *table.codec);
}

std::string KeyOrder::sortKey(const std::uint8_t* record) const {
    std::string key;
    appendSortKey(record, key);
    return key;
}

void KeyOrder::appendSortKey(const std::uint8_t* record, std::string& out) const {
    std::size_t offset = 0;
    for (const auto& c : collators_) {
        c.appendSortKey(record + offset, out);
        offset += c.keySize();
    }
}

bool KeyOrder::bytewise() const {
    for (const auto& c : collators_)
        if (!c.bytewise()) return false;
    return true;
}

void EntryDigest::add(const std::uint8_t* entry, std::size_t size) {
    // Each 8-byte word goes through a bijection of its own (so a change of one word always
    // changes the sum), independently of the others, which keeps the multiplications in
    // parallel; the sum is finished with MurmurHash3's fmix64.
    constexpr std::uint64_t k = 0x87C37B91114253D5ull, seed = 0x9E3779B97F4A7C15ull;
    std::uint64_t h = size;
    std::uint64_t salt = seed;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8, salt += seed) {
        std::uint64_t w;
        std::memcpy(&w, entry + i, 8);
        h += (w ^ salt) * k;
    }
    if (i < size) {
        std::uint64_t w = 0;
        for (std::size_t j = 0; i + j < size; ++j) w |= std::uint64_t{entry[i + j]} << (8 * j);
        h += (w ^ salt) * k;
    }
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    ++count;
    sum += h;
}

namespace {

// The first four bytes of a sort key as a number that orders as they do.
std::uint32_t prefixOf(std::string_view key) {
    std::uint32_t p = 0;
    for (std::size_t i = 0; i < 4; ++i)
        p = p << 8 | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return p;
}

}  // namespace

MovedBlocks::MovedBlocks(const KeyOrder& order, std::size_t keySize)
    : order_(order), keySize_(keySize), bytewise_(order.bytewise()), moved_(0x10000) {}

void MovedBlocks::moved(std::uint16_t oldBlock, std::uint16_t newBlock,
                        const std::string& sortKey) {
    Moved& m = moved_[oldBlock];
    if (!m.first)
        m.first = newBlock;
    else if (newBlock != m.last && m.last == m.first)
        m.split = prefixOf(sortKey);
    m.last = newBlock;
}

void MovedBlocks::setLeaves(const std::vector<IndexEntry>& leaves) {
    for (const auto& leaf : leaves) {
        blockKeyAt_.push_back(static_cast<std::uint32_t>(blockKeys_.size()));
        order_.appendSortKey(reinterpret_cast<const std::uint8_t*>(leaf.key.data()), blockKeys_);
    }
    blockKeyAt_.push_back(static_cast<std::uint32_t>(blockKeys_.size()));
}

void MovedBlocks::prefetch(std::uint16_t oldBlock) const { __builtin_prefetch(&moved_[oldBlock]); }

std::uint16_t MovedBlocks::newBlock(std::uint16_t oldBlock, const std::uint8_t* key) {
    const Moved m = moved_[oldBlock];
    std::uint16_t block = m.last;
    if (block == m.first) return block;
    std::string_view wanted(reinterpret_cast<const char*>(key), keySize_);
    if (!bytewise_) {
        key_.clear();
        order_.appendSortKey(key, key_);
        wanted = key_;
    }
    if (block == m.first + 1) {
        const std::uint32_t prefix = prefixOf(wanted);
        if (prefix != m.split) return prefix < m.split ? m.first : block;
    }
    const std::string_view keys(blockKeys_);
    while (block > m.first && block < blockKeyAt_.size() &&
           wanted <
               keys.substr(blockKeyAt_[block - 1], blockKeyAt_[block] - blockKeyAt_[block - 1]))
        --block;
    return block;
}

// The entries of an existing X file in the order it lists them, each turned into an entry of
// the index being built: fields copied one by one (alpha text padded or cut at its end), the
// block number mapped. A file that cannot be read ends the list and counts as failed.
class IndexFileEntries {
  public:
    struct FieldMove {
        std::size_t from, to;
        int fromSize, toSize;
    };

    IndexFileEntries(FileSystem& fs, const std::string& path, const Header& header,
                     std::vector<FieldMove> moves, std::size_t keyOffset, std::size_t entrySize,
                     BlockMapping& blocks)
        : path_(path),
          header_(header),
          moves_(std::move(moves)),
          keyOffset_(keyOffset),
          entrySize_(entrySize),
          blocks_(blocks) {
        // Opened now, so that the system can read it while the data file is written.
        try {
            file_ = fs.open(path_, OpenMode::Read);
            file_->willRead();
        } catch (const EDBEngineError&) {
            failed_ = true;
        }
    }

    bool next(std::uint8_t* entry) {
        if (failed_) return false;
        try {
            if (!chain_) chain_ = std::make_unique<BlockChain>(*file_, header_);
            while (index_ >= block_.records) {
                if (!chain_->next(block_)) return false;
                index_ = 0;
                for (std::size_t i = 0; i < block_.records; ++i)
                    blocks_.prefetch(oldBlockOf(block_.record(i, header_.recordSize)));
            }
        } catch (const EDBEngineError&) {
            failed_ = true;
            return false;
        }
        const std::uint8_t* old = block_.record(index_++, header_.recordSize);
        std::memset(entry, 0, entrySize_);
        for (const auto& m : moves_) {
            if (m.fromSize == m.toSize) {
                std::memcpy(entry + m.to, old + m.from, m.toSize);
                continue;
            }
            const auto* nul =
                static_cast<const std::uint8_t*>(std::memchr(old + m.from, 0, m.fromSize));
            const std::size_t length =
                nul ? static_cast<std::size_t>(nul - (old + m.from)) : m.fromSize;
            std::memcpy(entry + m.to, old + m.from, std::min<std::size_t>(length, m.toSize));
        }
        encodeInteger(entry + entrySize_ - 2, 2,
                      blocks_.newBlock(oldBlockOf(old), entry + keyOffset_));
        return true;
    }

    bool failed() const { return failed_; }

  private:
    std::uint16_t oldBlockOf(const std::uint8_t* entry) const {
        return static_cast<std::uint16_t>(decodeInteger(entry + header_.recordSize - 2, 2));
    }

    std::string path_;
    Header header_;
    std::vector<FieldMove> moves_;
    std::size_t keyOffset_;
    std::size_t entrySize_;
    BlockMapping& blocks_;
    std::unique_ptr<File> file_;
    std::unique_ptr<BlockChain> chain_;
    DataBlock block_;
    std::size_t index_ = 0;
    bool failed_ = false;
};

TableShape shapeOf(const TablePath& path, const Header& h, std::shared_ptr<const TextCodec> codec) {
    TableShape t;
    t.path = path;
    t.fields = h.fields;
    t.diskNames = h.fieldNames;
    for (const auto& n : h.fieldNames) t.names.push_back(codec->toUtf8(n));
    t.keyFields = h.fileType == FileType::KeyedTable ? h.primaryKeyFields : 0;
    t.version = h.version;
    t.blockSizeKb = h.blockSizeKb;
    t.sortOrder = {h.sortOrder,
                   h.sortOrderName.empty() ? sortOrderNameFor(h.sortOrder) : h.sortOrderName};
    t.encryption = h.encryption;
    t.codePage = codec->codePage();
    t.autoIncrement = h.autoInc;
    t.changeCount1 = h.changeCount1;
    t.changeCount2 = h.changeCount2;
    t.codec = std::move(codec);
    return t;
}

std::string indexFilePath(const TablePath& table, const std::string& suffix, FileSystem& fs) {
    return companionPath(table, "." + suffix, fs);
}

std::string treeFilePath(const TablePath& table, const std::string& suffix, FileSystem& fs) {
    return companionPath(table, ".Y" + suffix.substr(1), fs);
}

std::vector<SecondaryLayout> planSecondaryIndexes(const TableShape& table,
                                                  const std::vector<IndexDef>& indexes) {
    std::vector<SecondaryLayout> result;
    std::vector<bool> compositeUsed(kMaxCompositeIndexes, false);
    std::vector<const IndexDef*> composites;
    for (const auto& index : indexes) {
        if (index.options.has(IndexOption::ixPrimary)) continue;
        if (index.options.has(IndexOption::ixExpression) || !index.expression.empty())
            refuseIndex(table, index, "Paradox tables have no expression indexes");
        if (!index.fault.empty() && index.fields.empty())
            refuseIndex(table, index,
                        "its files are " + index.fault +
                            ", and the fields it was built over are unknown; delete the index",
                        DBIERR_INDEXCORRUPT);
        SecondaryLayout layout;
        layout.fields = indexedFieldsOf(table, index);
        layout.maintained = table.keyFields > 0;
        if (!layout.maintained && !index.options.has(IndexOption::ixNonMaintained))
            refuseIndex(table, index, "secondary indexes need a primary key");
        const bool caseInsensitive = index.options.has(IndexOption::ixCaseInsensitive);
        const bool unique = index.options.has(IndexOption::ixUnique);
        const bool descending = index.options.has(IndexOption::ixDescending);
        const std::string& firstField = table.names[layout.fields[0]];
        const bool fieldNamed = index.name.empty() || sameName(index.name, firstField) ||
                                isSingleFieldTag(index.tagName);
        if (layout.fields.size() == 1 && caseInsensitive && !index.name.empty() &&
            sameName(index.name, firstField))
            refuseIndex(table, index,
                        "only a case-sensitive index may carry the name of its field; give the "
                        "case-insensitive index a name of its own");
        IndexDef& def = layout.definition;
        if (!layout.maintained) def.options.add(IndexOption::ixNonMaintained);
        if (caseInsensitive) def.options.add(IndexOption::ixCaseInsensitive);
        if (unique) def.options.add(IndexOption::ixUnique);
        if (descending) def.options.add(IndexOption::ixDescending);
        std::vector<std::string> names;
        for (auto f : layout.fields) names.push_back(table.names[f]);
        def.fields = joinFieldList(names);
        if (layout.fields.size() == 1 && fieldNamed && !caseInsensitive && !unique && !descending) {
            layout.suffix = "X" + hexDigits(static_cast<unsigned>(layout.fields[0] + 1), 2);
            def.name = firstField;
        } else {
            if (index.name.empty()) refuseIndex(table, index, "this index needs a name");
            def.name = index.name;
            if (isCompositeTag(index.tagName)) {
                const unsigned n = static_cast<unsigned>(
                    std::stoul(toUpperAscii(index.tagName).substr(2), nullptr, 16));
                if (!compositeUsed[n]) {
                    compositeUsed[n] = true;
                    layout.suffix = "XG" + hexDigits(n, 1);
                }
            }
        }
        for (const auto& other : result) {
            if (sameName(other.definition.name, def.name))
                refuseIndex(table, index, "the table already has an index of this name",
                            DBIERR_INDEXEXISTS);
            if (!layout.suffix.empty() && other.suffix == layout.suffix)
                refuseIndex(table, index, "the table already has an index on " + def.fields,
                            DBIERR_INDEXEXISTS);
        }
        def.tagName = layout.suffix;
        result.push_back(std::move(layout));
    }
    // Composite indexes without a number of their own take the free ones in order.
    for (auto& layout : result) {
        if (!layout.suffix.empty()) continue;
        unsigned n = 0;
        while (n < kMaxCompositeIndexes && compositeUsed[n]) ++n;
        if (n == kMaxCompositeIndexes)
            refuseIndex(table, layout.definition,
                        "a Paradox table holds at most 16 named or composite indexes");
        compositeUsed[n] = true;
        layout.suffix = "XG" + hexDigits(n, 1);
        layout.definition.tagName = layout.suffix;
    }
    return result;
}

SecondaryIndexBuilder::SecondaryIndexBuilder(FileSystem& fs, const TableShape& table,
                                             SecondaryLayout layout, std::size_t memoryBudget)
    : fs_(fs),
      table_(table),
      layout_(std::move(layout)),
      sorter_(fs, table.path.full() + "." + layout_.suffix, memoryBudget, table.encryption != 0) {
    for (auto f : layout_.fields) {
        entryFields_.push_back(table.fields[f]);
        recordOffsets_.push_back(table.offsetOf(f));
    }
    tableKeySize_ = table.keySize();
    tableRecordSize_ = recordSizeOf(table.fields);
    indexedFields_ = entryFields_.size();
    if (layout_.maintained) {
        for (std::size_t k = 0; k < table.keyFields; ++k) entryFields_.push_back(table.fields[k]);
        entryFields_.push_back(kShortField);  // Blk Num
    } else {
        entryFields_.push_back(kLongField);   // Tup No
        entryFields_.push_back(kShortField);  // Blk Num
        entryFields_.push_back(kShortField);  // Tup Offset
    }
    for (const auto& f : entryFields_) {
        entryOffsets_.push_back(entrySize_);
        entrySize_ += storedSize(f);
    }
    entry_.assign(entrySize_, 0);
    const bool caseInsensitive = layout_.definition.options.has(IndexOption::ixCaseInsensitive);
    if (caseInsensitive) upperCase_ = std::make_unique<CaseFolder>(*table.codec);
    for (std::size_t i = 0; i + 1 < entryFields_.size(); ++i)
        collators_.push_back(std::make_unique<KeyCollator>(std::vector<FieldInfo>{entryFields_[i]},
                                                           table.sortOrder, *table.codec,
                                                           caseInsensitive && i < indexedFields_));
    bytewise_ = direct_ = !layout_.definition.options.has(IndexOption::ixDescending);
    for (const auto& c : collators_) {
        bytewise_ = bytewise_ && c->bytewise();
        direct_ = direct_ && c->comparesDirectly();
    }
}

SecondaryIndexBuilder::~SecondaryIndexBuilder() = default;

std::string SecondaryIndexBuilder::uniquePart(const std::uint8_t* entry) const {
    std::string key;
    appendUniquePart(entry, key);
    return key;
}

void SecondaryIndexBuilder::appendUniquePart(const std::uint8_t* entry, std::string& key) const {
    const bool caseInsensitive = layout_.definition.options.has(IndexOption::ixCaseInsensitive);
    const std::size_t start = key.size();
    for (std::size_t i = 0; i < indexedFields_; ++i) {
        const std::uint8_t* p = entry + entryOffsets_[i];
        if (caseInsensitive)
            collators_[i]->appendOrderKey(p, key);
        else
            collators_[i]->appendSortKey(p, key);
    }
    if (layout_.definition.options.has(IndexOption::ixDescending))
        for (std::size_t i = start; i < key.size(); ++i)
            key[i] = static_cast<char>(~static_cast<unsigned char>(key[i]));
}

std::string SecondaryIndexBuilder::sortKey(const std::uint8_t* entry) const {
    std::string key;
    appendSortKey(entry, key);
    return key;
}

void SecondaryIndexBuilder::appendSortKey(const std::uint8_t* entry, std::string& key) const {
    appendUniquePart(entry, key);
    for (std::size_t i = indexedFields_; i < collators_.size(); ++i)
        collators_[i]->appendSortKey(entry + entryOffsets_[i], key);
}

bool SecondaryIndexBuilder::orderFrom(const std::string& path, const Header& header,
                                      BlockMapping& blocks) {
    if (!layout_.maintained || header.fields.size() != entryFields_.size() ||
        header.recordSize != recordSizeOf(header.fields))
        return false;
    std::vector<IndexFileEntries::FieldMove> moves;
    std::size_t from = 0;
    for (std::size_t i = 0; i + 1 < entryFields_.size(); ++i) {
        const FieldInfo& old = header.fields[i];
        const FieldInfo& now = entryFields_[i];
        if (old != now && !(old.type == pxAlpha && now.type == pxAlpha)) return false;
        moves.push_back({from, entryOffsets_[i], storedSize(old), storedSize(now)});
        from += storedSize(old);
    }
    if (header.fields.back() != entryFields_.back()) return false;
    ordered_ = std::make_unique<IndexFileEntries>(
        fs_, path, header, std::move(moves), entryOffsets_[indexedFields_], entrySize_, blocks);
    return true;
}

void SecondaryIndexBuilder::add(const std::uint8_t* record, std::uint16_t block,
                                std::uint32_t recordNo, std::size_t inBlock) {
    ++entries_;
    std::uint8_t* e = entry_.data();
    for (std::size_t i = 0; i < indexedFields_; ++i)
        std::memcpy(e + entryOffsets_[i], record + recordOffsets_[i], storedSize(entryFields_[i]));
    if (upperCase_) upperCaseKeys(e);
    std::uint8_t* tail = e + entryOffsets_[indexedFields_];
    if (layout_.maintained) {
        std::memcpy(tail, record, tableKeySize_);
        encodeInteger(e + entrySize_ - 2, 2, block);
    } else {
        // Record number and offset in the block as this engine writes them; the product
        // brings non-maintained indexes up to date itself before it uses them.
        encodeInteger(tail, 4, recordNo);
        encodeInteger(tail + 4, 2, block);
        encodeInteger(tail + 6, 2, static_cast<std::int64_t>(inBlock * tableRecordSize_));
    }
    if (ordered_) {
        added_.add(e, entrySize_);
        if (!copying_ && !tooManyExtra_) {
            // Merging keeps extra entries in memory; beyond a few the index is sorted instead.
            constexpr std::size_t kMaxExtra = 4096;
            tooManyExtra_ = extra_.size() == kMaxExtra;
            extra_.emplace_back(e, e + entrySize_);
        }
        return;
    }
    key_.clear();
    appendSortKey(e, key_);
    sorter_.add(key_, std::string_view(reinterpret_cast<const char*>(e), entrySize_));
}

// A case-insensitive index stores its text keys in capitals, as the original engine does.
void SecondaryIndexBuilder::upperCaseKeys(std::uint8_t* entry) const {
    for (std::size_t i = 0; i < indexedFields_; ++i)
        if (entryFields_[i].type == pxAlpha)
            upperCase_->apply(entry + entryOffsets_[i], entryFields_[i].size);
}

std::size_t SecondaryIndexBuilder::keyPart(const std::uint8_t* record, std::uint8_t* out) const {
    for (std::size_t i = 0; i < indexedFields_; ++i)
        std::memcpy(out + entryOffsets_[i], record + recordOffsets_[i],
                    storedSize(entryFields_[i]));
    if (upperCase_) upperCaseKeys(out);
    return entryOffsets_[indexedFields_];
}

bool SecondaryIndexBuilder::keysUpperCased(const std::uint8_t* entry) const {
    for (std::size_t i = 0; i < indexedFields_ && upperCase_; ++i)
        if (entryFields_[i].type == pxAlpha &&
            !upperCase_->isUpper(entry + entryOffsets_[i], entryFields_[i].size))
            return false;
    return true;
}

std::string SecondaryIndexBuilder::describeKey(const std::uint8_t* entry) const {
    std::string shown;
    for (std::size_t i = 0; i < indexedFields_; ++i) {
        const FieldValue v = decodeValue(entryFields_[i], entry + entryOffsets_[i], *table_.codec);
        shown += (i ? ", " : "") + table_.names[layout_.fields[i]] + " = " + formatValue(v);
    }
    return shown;
}

Header SecondaryIndexBuilder::indexHeader() const {
    Header h;
    const bool descending = layout_.definition.options.has(IndexOption::ixDescending);
    h.recordSize = static_cast<std::uint16_t>(entrySize_);
    h.fileType = layout_.maintained
                     ? (layout_.composite() ? FileType::CompositeIndexMaintained
                                            : FileType::SecondaryIndexMaintained)
                     : (layout_.composite() ? FileType::CompositeIndex : FileType::SecondaryIndex);
    h.blockSizeKb = table_.blockSizeKb;
    h.unknown12 = kIndexChangeMarker;
    h.indexFieldNumber = static_cast<std::uint8_t>(layout_.fields[0] + 1);
    h.primaryKeyFields = static_cast<std::uint16_t>(entryFields_.size() - 1);
    h.encryption = table_.encryption;
    h.sortOrder = table_.sortOrder.id;
    h.sortOrderName = table_.sortOrder.name;
    // 0x2B is 0 in the original's X files; where it keeps "unique" is not known, so this
    // engine's own mark for it stays here (and nothing else: see indexDirection).
    if (layout_.definition.options.has(IndexOption::ixUnique)) h.indexFlags = kIndexUnique;
    h.byte2C = kIndexMarker;
    h.changeCount1 = table_.changeCount1;
    h.changeCount2 = table_.changeCount2;
    h.version = table_.version;
    h.autoInc = table_.autoIncrement;  // 0x49: the original's X files repeat the table's counter
    h.refIntegrity = indexDirection(layout_.definition.options);
    h.updateTime = 0;
    h.codePage = static_cast<std::uint16_t>(table_.codePage);
    h.changeCount4 = 0;  // 0x70 and 0x74 are 0 in every X file of the original's
    h.fields = entryFields_;
    for (std::size_t i = 0; i < indexedFields_; ++i) {
        h.fieldNames.push_back(table_.diskNames[layout_.fields[i]]);
        h.fieldNumbers.push_back(static_cast<std::uint16_t>((layout_.fields[i] + 1) |
                                                            (descending ? kDescendingBit : 0)));
    }
    const char* const pointerNames[] = {"Tup No", "Blk Num", "Tup Offset"};
    for (std::size_t i = indexedFields_; i < entryFields_.size(); ++i) {
        if (layout_.maintained)
            h.fieldNames.push_back(i + 1 < entryFields_.size()
                                       ? table_.diskNames[i - indexedFields_]
                                       : std::string("Blk Num"));
        else
            h.fieldNames.push_back(pointerNames[i - indexedFields_]);
        h.fieldNumbers.push_back(static_cast<std::uint16_t>(i + 1));
    }
    h.tableName = encoded(stemOf(table_.path.fileName) + "." + layout_.suffix, *table_.codec);
    if (layout_.composite()) h.indexName = encoded(layout_.definition.name, *table_.codec);
    return h;
}

bool SecondaryIndexBuilder::finish(FileTransaction& tx, std::uint8_t primaryMarker) {
    Header h = indexHeader();
    h.byte2F = primaryMarker;
    const std::size_t keySize = entrySize_ - storedSize(entryFields_.back());
    BlockWriter x(tx.stage(indexFilePath(table_.path, layout_.suffix, fs_)), h, keySize);
    ProgressMeter meter(ProgressPhase::Index, entries_, layout_.definition.name);
    if (ordered_) {
        if (!finishInOrder(x, meter)) return false;
    } else {
        finishSorted(x, meter);
    }
    meter.finish();
    writeTree(tx, x.finish());
    return true;
}

void SecondaryIndexBuilder::finishSorted(BlockWriter& x, ProgressMeter& meter) {
    const bool unique = layout_.definition.options.has(IndexOption::ixUnique);
    std::string key, entry, previous;
    bool first = true;
    while (sorter_.next(key, entry)) {
        const auto* e = reinterpret_cast<const std::uint8_t*>(entry.data());
        if (unique) {
            std::string part = uniquePart(e);
            if (!first && part == previous)
                throwEngineError(DBIERR_KEYVIOL, "Key violation in " + table_.path.fileName +
                                                     ": the unique index " +
                                                     layout_.definition.name +
                                                     " holds two records with " + describeKey(e));
            previous.swap(part);
        }
        first = false;
        x.add(e);
        meter.advance();
    }
}

// Entries in strictly rising order whose digest is that of the entries added are exactly the
// sorted entries: the sort key holds the table's key, so no two are equal. A repeated key of a
// unique index counts as a mismatch too; the sort then finds it again and names the records.
// How the sort keys of two entries compare (<0, 0, >0), field by field without building them
// where the collators allow.
int SecondaryIndexBuilder::compareEntries(const std::uint8_t* a, const std::uint8_t* b) {
    if (bytewise_) return std::memcmp(a, b, entrySize_ - storedSize(entryFields_.back()));
    if (direct_) {
        const bool caseInsensitive = layout_.definition.options.has(IndexOption::ixCaseInsensitive);
        for (std::size_t i = 0; i < collators_.size(); ++i) {
            const std::size_t at = entryOffsets_[i];
            const int c = caseInsensitive && i < indexedFields_
                              ? collators_[i]->compareOrder(a + at, b + at)
                              : collators_[i]->compareSort(a + at, b + at);
            if (c) return c;
        }
        return 0;
    }
    key_.clear();
    appendSortKey(a, key_);
    otherKey_.clear();
    appendSortKey(b, otherKey_);
    return key_.compare(otherKey_);
}

bool SecondaryIndexBuilder::finishInOrder(BlockWriter& x, ProgressMeter& meter) {
    if (tooManyExtra_) return false;
    const bool unique = layout_.definition.options.has(IndexOption::ixUnique);
    std::sort(extra_.begin(), extra_.end(),
              [&](const auto& a, const auto& b) { return compareEntries(a.data(), b.data()) < 0; });
    std::vector<std::uint8_t> previous(entrySize_);
    std::string part, previousPart;
    EntryDigest seen;
    // Entries must rise strictly; each goes out after the extra entries that sort before it.
    auto put = [&](const std::uint8_t* e) {
        if (seen.count > 0 && compareEntries(previous.data(), e) >= 0) return false;
        std::memcpy(previous.data(), e, entrySize_);
        if (unique) {
            part.clear();
            appendUniquePart(e, part);
            if (seen.count > 0 && part == previousPart) return false;
            previousPart.swap(part);
        }
        seen.add(e, entrySize_);
        x.add(e);
        meter.advance();
        return true;
    };
    std::size_t nextExtra = 0;
    std::uint8_t* e = entry_.data();
    while (ordered_->next(e)) {
        for (; nextExtra < extra_.size() && compareEntries(extra_[nextExtra].data(), e) < 0;
             ++nextExtra)
            if (!put(extra_[nextExtra].data())) return false;
        if (!put(e)) return false;
    }
    for (; nextExtra < extra_.size(); ++nextExtra)
        if (!put(extra_[nextExtra].data())) return false;
    return !ordered_->failed() && seen == added_;
}

void SecondaryIndexBuilder::writeTree(FileTransaction& tx,
                                      const std::vector<IndexEntry>& leaves) const {
    IndexTreeLayout tree;
    tree.type = layout_.composite() ? FileType::CompositeIndexTree : FileType::SecondaryIndexTree;
    tree.keyFields.assign(entryFields_.begin(), entryFields_.end() - 1);
    tree.version = table_.version;
    tree.sortOrder = table_.sortOrder.id;
    tree.dataChangeCount = table_.changeCount1;
    tree.encryption = table_.encryption;
    tree.tableName =
        encoded(stemOf(table_.path.fileName) + ".Y" + layout_.suffix.substr(1), *table_.codec);
    const std::string treePath = treeFilePath(table_.path, layout_.suffix, fs_);
    keepTreeBytes(treePath, tree, fs_);
    writeIndexTree(tx.stage(treePath), tree, leaves);
}

void writeSecondaryIndexes(const TableShape& table, const std::vector<SecondaryLayout>& layouts,
                           File& dataFile, const Header& dataHeader, FileTransaction& tx,
                           std::uint8_t primaryMarker) {
    if (layouts.empty()) return;
    std::vector<std::unique_ptr<SecondaryIndexBuilder>> builders;
    for (const auto& layout : layouts)
        builders.push_back(std::make_unique<SecondaryIndexBuilder>(tx.fileSystem(), table, layout,
                                                                   kSortMemory / layouts.size()));
    BlockChain chain(dataFile, dataHeader);
    DataBlock block;
    std::uint32_t recordNo = 0;
    ProgressMeter meter(ProgressPhase::Records, dataHeader.numRecords);
    while (chain.next(block)) {
        meter.advance(block.records);
        for (std::size_t r = 0; r < block.records; ++r, ++recordNo)
            for (auto& b : builders)
                b->add(block.record(r, dataHeader.recordSize), block.number, recordNo, r);
    }
    meter.finish();
    for (auto& b : builders) b->finish(tx, primaryMarker);
}

void finishSecondaryIndexes(const TableShape& table,
                            std::vector<std::unique_ptr<SecondaryIndexBuilder>>& builders,
                            File& dataFile, const Header& dataHeader, FileTransaction& tx,
                            std::uint8_t primaryMarker) {
    std::vector<SecondaryLayout> unordered;
    for (auto& b : builders)
        if (!b->finish(tx, primaryMarker)) unordered.push_back(b->layout());
    builders.clear();
    writeSecondaryIndexes(table, unordered, dataFile, dataHeader, tx, primaryMarker);
}

void writePrimaryIndexFile(const TableShape& table, const std::vector<IndexEntry>& leaves,
                           std::uint8_t changeCount, FileTransaction& tx) {
    IndexTreeLayout layout;
    layout.type = FileType::PrimaryIndex;
    layout.keyFields = table.keyInfo();
    layout.version = table.version;
    layout.sortOrder = table.sortOrder.id;
    layout.dataChangeCount = changeCount;
    layout.encryption = table.encryption;
    layout.tableName = encoded(stemOf(table.path.fileName) + ".PX", *table.codec);
    const std::string pxPath = companionPath(table.path, ".PX", tx.fileSystem());
    keepTreeBytes(pxPath, layout, tx.fileSystem());
    writeIndexTree(tx.stage(pxPath), layout, leaves);
}

}  // namespace kx4::paradox

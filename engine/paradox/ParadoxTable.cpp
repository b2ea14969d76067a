#include "engine/paradox/ParadoxTable.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/Progress.h"
#include "engine/core/TableLock.h"
#include "engine/core/TextCodec.h"
#include "engine/paradox/Companions.h"
#include "engine/paradox/DataBlocks.h"
#include "engine/paradox/Encryption.h"
#include "engine/paradox/FieldCodec.h"
#include "engine/paradox/IndexFiles.h"
#include "engine/paradox/IndexTree.h"
#include "engine/paradox/ParadoxBuilder.h"
#include "engine/paradox/SortOrder.h"

namespace kx4::paradox {

namespace {

constexpr int kPasswordPrompts = 3;
constexpr std::size_t kIndexEntryTail = 6;  // block number, count, spare

class ChainCursor final : public RecordCursor {
  public:
    ChainCursor(File& file, const Header& header, const RecordCodec& records,
                std::unique_ptr<BlobReader> blobs)
        : chain_(file, header),
          header_(header),
          records_(records),
          blobs_(std::move(blobs)),
          path_(file.path()) {}

    bool next(Record& out) override {
        while (index_ >= block_.records) {
            if (!chain_.next(block_)) return false;
            index_ = 0;
        }
        records_.decode(block_.record(index_++, header_.recordSize), out, blobs_.get(), path_);
        return true;
    }

  private:
    BlockChain chain_;
    const Header& header_;
    const RecordCodec& records_;
    std::unique_ptr<BlobReader> blobs_;
    std::string path_;
    DataBlock block_;
    std::size_t index_ = 0;
};

class SortedCursor final : public RecordCursor {
  public:
    explicit SortedCursor(std::vector<Record> records) : records_(std::move(records)) {}
    bool next(Record& out) override {
        if (next_ >= records_.size()) return false;
        out = std::move(records_[next_++]);
        return true;
    }

  private:
    std::vector<Record> records_;
    std::size_t next_ = 0;
};

// Block numbers in index entries are sign-flipped shorts read without sign: up to 65535.
std::uint16_t blockNumberAt(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(decodeInteger(p, 2));
}

// Finds the data block holding a key through the .PX: at each level, the last entry whose key
// is not above the one searched for.
class PrimaryLookup {
  public:
    PrimaryLookup(FileSystem& fs, const TableShape& shape)
        : order_(shape),
          keySize_(shape.keySize()),
          px_(fs.open(companionPath(shape.path, ".PX", fs), OpenMode::Read)),
          header_(readHeader(*px_)) {
        if (header_.recordSize != keySize_ + kIndexEntryTail)
            throwCorrupt(px_->path(), "its keys do not match the key fields of the table");
    }

    // 0 when the key sorts before every block.
    std::uint16_t blockOf(const std::uint8_t* key) {
        const std::string wanted = order_.sortKey(key);
        std::uint16_t block = header_.indexRoot;
        for (int level = header_.indexLevels; level >= 1 && block != 0; --level) {
            const DataBlock b = readDataBlock(*px_, header_, block);
            std::uint16_t below = 0;
            for (std::size_t i = 0; i < b.records; ++i) {
                const std::uint8_t* e = b.record(i, header_.recordSize);
                if (order_.sortKey(e) > wanted) break;
                below = blockNumberAt(e + keySize_);
            }
            block = below;
        }
        return block;
    }

  private:
    KeyOrder order_;
    std::size_t keySize_;
    std::unique_ptr<File> px_;
    Header header_;
};

// The record of a maintained secondary index entry. The entry's block number is a hint the
// original engine does not update when data blocks split; the table's key fields, which every
// entry holds, identify the record, so a stale hint is followed by a look-up in the .PX.
class EntryResolver {
  public:
    EntryResolver(FileSystem& fs, File& data, const Header& header, const TableShape& shape)
        : fs_(fs), data_(data), header_(header), shape_(shape), keySize_(shape.keySize()) {}

    // The record's bytes, or null when no record has the entry's key.
    const std::uint8_t* find(const std::uint8_t* entry, std::size_t entrySize) {
        const std::uint8_t* key = entry + entrySize - 2 - keySize_;
        const std::uint16_t hint = blockNumberAt(entry + entrySize - 2);
        staleHint_ = false;
        try {
            if (hint >= 1 && hint <= header_.fileBlocks)
                if (const auto* raw = findIn(hint, key)) return raw;
        } catch (const EDBEngineError&) {
            // A block that is no data block any more (freed, reused): the hint is stale.
            block_ = DataBlock{};
        }
        staleHint_ = true;
        if (!lookup_) lookup_ = std::make_unique<PrimaryLookup>(fs_, shape_);
        const std::uint16_t block = lookup_->blockOf(key);
        return block == 0 || block == hint ? nullptr : findIn(block, key);
    }
    // Whether the last entry found its record elsewhere than its hint said.
    bool staleHint() const { return staleHint_; }
    // The block the last record found lies in.
    const DataBlock& block() const { return block_; }

  private:
    const std::uint8_t* findIn(std::uint16_t number, const std::uint8_t* key) {
        if (number != block_.number) block_ = readDataBlock(data_, header_, number);
        for (std::size_t r = 0; r < block_.records; ++r) {
            const std::uint8_t* raw = block_.record(r, header_.recordSize);
            if (std::memcmp(raw, key, keySize_) == 0) return raw;
        }
        return nullptr;
    }

    FileSystem& fs_;
    File& data_;
    const Header& header_;
    const TableShape& shape_;
    std::size_t keySize_;
    std::unique_ptr<PrimaryLookup> lookup_;
    DataBlock block_;
    bool staleHint_ = false;
};

// Records in the order of a maintained secondary index: its X file lists them sorted.
class IndexOrderCursor final : public RecordCursor {
  public:
    IndexOrderCursor(FileSystem& fs, File& data, const Header& header, const RecordCodec& records,
                     std::unique_ptr<BlobReader> blobs, const std::string& indexPath,
                     TableShape shape)
        : data_(data),
          records_(records),
          blobs_(std::move(blobs)),
          index_(fs.open(indexPath, OpenMode::Read)),
          indexHeader_(readHeader(*index_)),
          chain_(*index_, indexHeader_),
          shape_(std::move(shape)),
          resolver_(fs, data, header, shape_) {}

    bool next(Record& out) override {
        while (entry_ >= entries_.records) {
            if (!chain_.next(entries_)) return false;
            entry_ = 0;
        }
        ++seen_;
        const std::uint8_t* e = entries_.record(entry_++, indexHeader_.recordSize);
        const std::uint8_t* raw = resolver_.find(e, indexHeader_.recordSize);
        if (!raw)
            throwEngineError(DBIERR_INDEXCORRUPT, "Corrupt index " + index_->path() + ": entry " +
                                                      std::to_string(seen_) +
                                                      " holds a key that no record has");
        records_.decode(raw, out, blobs_.get(), data_.path());
        return true;
    }

  private:
    File& data_;
    const RecordCodec& records_;
    std::unique_ptr<BlobReader> blobs_;
    std::unique_ptr<File> index_;
    Header indexHeader_;
    BlockChain chain_;
    TableShape shape_;
    EntryResolver resolver_;
    DataBlock entries_;
    std::size_t entry_ = 0;
    std::uint64_t seen_ = 0;
};

std::string passwordBytes(const std::string& password, const TextCodec& codec) {
    try {
        return codec.fromUtf8(password);
    } catch (const EDBEngineError&) {
        return password;
    }
}

int tableLevel(std::uint8_t version) {
    if (version <= kVersion35) return 3;
    if (version <= kVersion4) return 4;
    if (version <= kVersion5) return 5;
    return 7;
}

}  // namespace

ParadoxTable::ParadoxTable(TablePath path, bool exclusive, FileSystem& fs)
    : path_(std::move(path)), exclusive_(exclusive), fs_(fs) {}

ParadoxTable::~ParadoxTable() = default;

std::unique_ptr<ParadoxTable> ParadoxTable::open(const TablePath& path,
                                                 const OpenOptions& options) {
    std::unique_ptr<ParadoxTable> table(
        new ParadoxTable(path, options.exclusive, options.fileSystem));
    table->codePageSetting_ = options.codePage;
    table->lockFile();
    table->load(options.passwords, nullptr);
    return table;
}

void ParadoxTable::lockFile() {
    const std::string full = path_.full();
    try {
        file_ = openLockedTable(fs_, full, exclusive_, [this](const std::string& name) {
            return isCompanionName(path_, name);
        });
    } catch (const EDBEngineError& e) {
        if (e.errorCode() != DBIERR_TABLEINUSE) throw;
        // Paradox tells a shared open that meets an exclusive holder that the file is locked.
        if (exclusive_)
            throwEngineError(DBIERR_TABLEINUSE, "Table is busy: " + std::string(e.what()));
        throwEngineError(DBIERR_FILELOCKED, "Table is busy: " + std::string(e.what()));
    }
}

void ParadoxTable::load(PasswordSource* passwords, const std::uint32_t* knownChecksum) {
    header_ = readHeader(*file_);
    if (header_.fileType != FileType::KeyedTable && header_.fileType != FileType::Table)
        throwCorrupt(
            file_->path(),
            "file type " + std::to_string(static_cast<int>(header_.fileType)) + " is not a table");
    const auto [codePage, origin] =
        codePageOrSetting(namedCodePage(header_), codePageSetting_, codePageOf(header_));
    codec_ = std::make_shared<TextCodec>(codePage);
    codePageOrigin_ = origin;
    if (knownChecksum) {
        if (*knownChecksum != header_.encryption)
            throwEngineError(DBIERR_INVALIDPASSWORD,
                             "Table " + file_->path() + " changed its password");
    } else {
        verifyPassword(passwords);
    }
    properties_ = std::make_shared<ParadoxProperties>(ParadoxProperties::fromHeader(header_));
    properties_->codePage = codec_->codePage();
    properties_->namesCodePage = origin == CodePageOrigin::Table;

    std::vector<std::string> names;
    schema_ = TableSchema{};
    for (std::size_t i = 0; i < header_.fields.size(); ++i) {
        names.push_back(codec_->toUtf8(header_.fieldNames[i]));
        schema_.fields.push_back(fieldDefFor(header_.fields[i], names.back()));
    }
    if (header_.fileType == FileType::KeyedTable && header_.primaryKeyFields > 0) {
        IndexDef primary;
        primary.fields = joinFieldList({names.begin(), names.begin() + header_.primaryKeyFields});
        primary.options.add(IndexOption::ixPrimary).add(IndexOption::ixUnique);
        primary.fault = primaryIndexFault();
        schema_.indexes.push_back(primary);
    }
    secondary_ = findSecondaryIndexes(file_->path(), header_, names, *codec_, fs_);
    for (const auto& ix : secondary_) schema_.indexes.push_back(ix.definition);
    records_ = std::make_unique<RecordCodec>(header_.fields, names, codec_);
}

// Why the .PX cannot be used, or empty. A missing one is reported by check().
std::string ParadoxTable::primaryIndexFault() const {
    const std::string pxPath = companionPath(path_, ".PX", fs_);
    if (!fs_.exists(pxPath)) return {};
    try {
        auto px = fs_.open(pxPath, OpenMode::Read);
        const Header pxHeader = readHeader(*px);
        if (pxHeader.fileType != FileType::PrimaryIndex)
            return "damaged: " + pxPath + " is not a primary index";
        const std::vector<FieldInfo> keys(header_.fields.begin(),
                                          header_.fields.begin() + header_.primaryKeyFields);
        if (pxHeader.fields != keys)
            return "out of date: the keys of " + pxPath + " are not the key fields of the table";
    } catch (const EDBEngineError& e) {
        return "damaged: " + std::string(e.what());
    }
    return {};
}

// Writes that keep the indexes in step need every index file sound.
void ParadoxTable::requireSoundIndexes(const char* what) const {
    for (const auto& index : schema_.indexes)
        if (!index.fault.empty())
            throwEngineError(DBIERR_INDEXCORRUPT,
                             "Table " + path_.fileName + " cannot " + what + ": its index " +
                                 (index.name.empty() ? std::string("(primary)") : index.name) +
                                 " is " + index.fault + ". Rebuild the indexes first");
}

void ParadoxTable::verifyPassword(PasswordSource* passwords) {
    if (header_.encryption == 0) return;
    auto matches = [&](const std::string& password) {
        return passwordChecksum(passwordBytes(password, *codec_)) == header_.encryption;
    };
    const std::string full = path_.full();
    if (!passwords)
        throwEngineError(DBIERR_INVALIDPASSWORD, "Table " + full + " is password protected");
    std::size_t tried = 0;
    for (const auto& p : passwords->passwords()) {
        if (matches(p)) return;
        ++tried;
    }
    for (int prompt = 0; prompt < kPasswordPrompts; ++prompt) {
        const auto answer = passwords->askPassword(full, prompt > 0);
        if (!answer) break;
        if (matches(*answer)) return;
        ++tried;
    }
    if (tried == 0)
        throwEngineError(DBIERR_INVALIDPASSWORD,
                         "Table " + full + " is password protected and no password was given");
    throwEngineError(DBIERR_INVALIDPASSWORD, tried == 1
                                                 ? "The password given does not fit table " + full
                                                 : "None of the " + std::to_string(tried) +
                                                       " passwords given fits table " + full);
}

TableInfo ParadoxTable::info() const {
    TableInfo info;
    info.driverName = "PARADOX";
    info.seqNums = 1;
    info.version = tableLevel(header_.version);
    info.codePage = codec_->codePage();
    info.codePageOrigin = codePageOrigin_;
    info.encrypted = header_.encryption != 0;
    info.recordCount = header_.numRecords;
    info.recordSize = header_.recordSize;
    return info;
}

std::unique_ptr<BlobReader> ParadoxTable::openBlobs() const {
    if (!records_->hasBlobs() || !companionExists(path_, ".MB", fs_)) return nullptr;
    auto file = fs_.open(companionPath(path_, ".MB", fs_), OpenMode::Read);
    return std::make_unique<BlobReader>(std::move(file), header_.encryption);
}

std::unique_ptr<RecordCursor> ParadoxTable::scan() {
    return std::make_unique<ChainCursor>(*file_, header_, *records_, openBlobs());
}

const SecondaryIndexFile& ParadoxTable::secondaryIndex(const std::string& name) const {
    const auto it = std::find_if(secondary_.begin(), secondary_.end(), [&](const auto& ix) {
        return sameName(ix.definition.name, name) || sameName(ix.suffix, name);
    });
    if (it == secondary_.end())
        throwEngineError(DBIERR_NOSUCHINDEX, "Table " + path_.full() + " has no index " + name);
    if (it->definition.fields.empty())
        throwEngineError(DBIERR_INDEXCORRUPT, "Index " + it->path + " is " + it->definition.fault +
                                                  "; its fields are unknown");
    return *it;
}

namespace {

// A maintained index lists every record in order; others may be out of date.
bool maintained(const SecondaryIndexFile& ix) {
    return !ix.definition.options.has(IndexOption::ixNonMaintained) && ix.definition.fault.empty();
}

}  // namespace

std::unique_ptr<RecordCursor> ParadoxTable::scanIndex(const std::string& indexName) {
    if (indexName.empty()) {
        if (header_.fileType != FileType::KeyedTable)
            throwEngineError(DBIERR_NOSUCHINDEX, "Table " + path_.full() + " has no primary index");
        // The data blocks hold the records in key order; the .PX only finds them faster.
        return scan();
    }
    const SecondaryIndexFile& ix = secondaryIndex(indexName);
    if (!maintained(ix)) return sortedByIndex(ix);
    return std::make_unique<IndexOrderCursor>(fs_, *file_, header_, *records_, openBlobs(), ix.path,
                                              shapeOf(path_, header_, codec_));
}

namespace {

class BlockPositionReader final : public RecordReader {
  public:
    BlockPositionReader(File& file, const Header& header, const RecordCodec& records,
                        std::unique_ptr<BlobReader> blobs)
        : file_(file),
          header_(header),
          records_(records),
          blobs_(std::move(blobs)),
          positions_(file, header) {}

    std::uint64_t count() const override { return header_.numRecords; }
    bool read(std::uint64_t position, Record& out) override {
        const auto [number, first] = position == 0 ? std::pair<std::uint16_t, std::uint64_t>{}
                                                   : positions_.blockOf(position);
        if (number == 0)
            throwEngineError(
                DBIERR_EOF, "Table " + file_.path() + " has no record " + std::to_string(position));
        if (block_.number != number) block_ = readDataBlock(file_, header_, number);
        records_.decode(block_.record(position - first, header_.recordSize), out, blobs_.get(),
                        file_.path());
        return true;
    }

  private:
    File& file_;
    const Header& header_;
    const RecordCodec& records_;
    std::unique_ptr<BlobReader> blobs_;
    ChainPositions positions_;
    DataBlock block_;
};

}  // namespace

std::unique_ptr<RecordReader> ParadoxTable::readByPosition() {
    return std::make_unique<BlockPositionReader>(*file_, header_, *records_, openBlobs());
}

std::vector<std::uint32_t> ParadoxTable::indexPositions(const std::string& indexName) {
    if (indexName.empty()) {
        scanIndex(indexName);  // raises when the table has no primary index
        std::vector<std::uint32_t> order(header_.numRecords);
        std::iota(order.begin(), order.end(), 1u);
        return order;
    }
    const SecondaryIndexFile& ix = secondaryIndex(indexName);
    if (!maintained(ix)) return sortedPositions(ix);
    auto index = fs_.open(ix.path, OpenMode::Read);
    const Header indexHeader = readHeader(*index);
    BlockChain entries(*index, indexHeader);
    const TableShape shape = shapeOf(path_, header_, codec_);
    EntryResolver resolver(fs_, *file_, header_, shape);
    ChainPositions positions(*file_, header_);
    std::vector<std::uint32_t> order;
    order.reserve(header_.numRecords);
    DataBlock block;
    while (entries.next(block)) {
        for (std::size_t i = 0; i < block.records; ++i) {
            const std::uint8_t* raw =
                resolver.find(block.record(i, indexHeader.recordSize), indexHeader.recordSize);
            if (!raw)
                throwEngineError(DBIERR_INDEXCORRUPT, "Corrupt index " + ix.path + ": entry " +
                                                          std::to_string(order.size() + 1) +
                                                          " holds a key that no record has");
            const DataBlock& data = resolver.block();
            const auto slot = static_cast<std::uint64_t>(raw - data.record(0, header_.recordSize)) /
                              header_.recordSize;
            order.push_back(
                static_cast<std::uint32_t>(positions.firstPositionOf(data.number) + slot));
        }
    }
    return order;
}

// Calls `visit` with each record (in physical order) and its sort key in the index, made from
// the fields' stored bytes as the index compares them.
void ParadoxTable::forEachIndexKey(const SecondaryIndexFile& ix, const KeyVisitor& visit) {
    std::vector<std::size_t> fields;
    std::vector<FieldInfo> keyFields;
    for (const auto& name : splitFieldList(ix.definition.fields)) {
        fields.push_back(static_cast<std::size_t>(schema_.fieldIndex(name)));
        keyFields.push_back(header_.fields[fields.back()]);
    }
    KeyCollator collator(keyFields, {header_.sortOrder, header_.sortOrderName}, *codec_,
                         ix.definition.options.has(IndexOption::ixCaseInsensitive));
    BlockChain chain(*file_, header_);
    DataBlock block;
    std::string key;
    while (chain.next(block)) {
        for (std::size_t r = 0; r < block.records; ++r) {
            const std::uint8_t* raw = block.record(r, header_.recordSize);
            key.clear();
            for (std::size_t f : fields)
                key.append(reinterpret_cast<const char*>(raw + records_->offsetOf(f)),
                           storedSize(header_.fields[f]));
            visit(raw, collator.sortKey(reinterpret_cast<const std::uint8_t*>(key.data())));
        }
    }
}

namespace {

template <typename Entry>
void sortByKey(std::vector<Entry>& entries, const SecondaryIndexFile& ix) {
    const bool descending = ix.definition.options.has(IndexOption::ixDescending);
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return descending ? b.key < a.key : a.key < b.key;
    });
}

}  // namespace

std::unique_ptr<RecordCursor> ParadoxTable::sortedByIndex(const SecondaryIndexFile& ix) {
    struct Entry {
        std::string key;
        Record record;
    };
    std::vector<Entry> entries;
    auto blobs = openBlobs();
    forEachIndexKey(ix, [&](const std::uint8_t* raw, std::string key) {
        Entry e{std::move(key), {}};
        records_->decode(raw, e.record, blobs.get(), path_.full());
        entries.push_back(std::move(e));
    });
    sortByKey(entries, ix);
    std::vector<Record> ordered;
    for (auto& e : entries) ordered.push_back(std::move(e.record));
    return std::make_unique<SortedCursor>(std::move(ordered));
}

std::vector<std::uint32_t> ParadoxTable::sortedPositions(const SecondaryIndexFile& ix) {
    struct Entry {
        std::string key;
        std::uint32_t position;
    };
    std::vector<Entry> entries;
    forEachIndexKey(ix, [&](const std::uint8_t*, std::string key) {
        entries.push_back({std::move(key), static_cast<std::uint32_t>(entries.size() + 1)});
    });
    sortByKey(entries, ix);
    std::vector<std::uint32_t> order;
    order.reserve(entries.size());
    for (const auto& e : entries) order.push_back(e.position);
    return order;
}

std::optional<Record> ParadoxTable::findKey(const Record& key) {
    if (header_.fileType != FileType::KeyedTable || header_.primaryKeyFields == 0)
        throwEngineError(DBIERR_NOSUCHINDEX, "Table " + path_.full() + " has no primary index");
    const TableShape shape = shapeOf(path_, header_, codec_);
    if (key.size() != shape.keyFields)
        throwEngineError(DBIERR_INVALIDPARAM,
                         "Table " + path_.full() + " has " + std::to_string(shape.keyFields) +
                             " key fields, the search names " + std::to_string(key.size()));
    std::string wanted(shape.keySize(), '\0');
    auto* w = reinterpret_cast<std::uint8_t*>(wanted.data());
    for (std::size_t k = 0; k < key.size(); ++k)
        encodeValue(shape.fields[k], key[k], w + shape.offsetOf(k), *codec_, shape.names[k]);
    PrimaryLookup lookup(fs_, shape);
    const std::uint16_t block = lookup.blockOf(w);
    if (block == 0) return std::nullopt;
    const DataBlock data = readDataBlock(*file_, header_, block);
    for (std::size_t r = 0; r < data.records; ++r) {
        const std::uint8_t* raw = data.record(r, header_.recordSize);
        if (std::memcmp(raw, w, shape.keySize()) != 0) continue;
        Record out;
        auto blobs = openBlobs();
        records_->decode(raw, out, blobs.get(), path_.full());
        return out;
    }
    return std::nullopt;
}

void ParadoxTable::requireExclusive(const char* what) const {
    if (!exclusive_)
        throwEngineError(DBIERR_NEEDEXCLACCESS,
                         "Table " + path_.full() + " must be opened exclusively " + what);
    // A change would lose the blobs for good.
    if (records_->hasBlobs() && !companionExists(path_, ".MB", fs_))
        throwEngineError(DBIERR_BLOBCORRUPT, "Table " + path_.full() +
                                                 " cannot be changed: its blob file " +
                                                 companionPath(path_, ".MB", fs_) + " is missing");
}

void ParadoxTable::appendRecord(const Record& record) {
    requireExclusive("to add records");
    requireSoundIndexes("take records");
    // The table is rewritten aside (its records copied as stored) and swapped in, so a
    // failure leaves it as it was.
    {
        FileTransaction tx(fs_, path_.full());
        auto builder = buildParadoxTable(path_, schema_, properties_, tx);
        builder->appendAll(sameRecords());
        builder->append(record);
        builder->finish();
        tx.commit();
    }
    const std::uint32_t checksum = header_.encryption;
    auto previous = std::move(file_);
    lockFile();
    load(nullptr, &checksum);
}

void ParadoxTable::rewrite(const TableSchema& schema, FileTransaction& tx) {
    requireExclusive("to be rewritten");
    auto builder = buildParadoxTable(path_, schema, properties_, tx);
    builder->appendAll(sameRecords());
    builder->finish();
}

// Every record with the fields it has.
RecordSource ParadoxTable::sameRecords() {
    RecordSource same{
        *this, {}, [](const FieldValue& value, std::size_t, std::uint64_t) { return value; }};
    for (std::size_t i = 0; i < schema_.fields.size(); ++i)
        same.fields.push_back(static_cast<int>(i));
    return same;
}

std::vector<IndexDef> ParadoxTable::secondaryDefinitions() const {
    std::vector<IndexDef> defs;
    for (const auto& ix : secondary_) defs.push_back(ix.definition);
    return defs;
}

// The secondary indexes a rebuild can write: those whose fields are known, sound or not.
std::vector<const SecondaryIndexFile*> ParadoxTable::rebuildableIndexes() const {
    std::vector<const SecondaryIndexFile*> result;
    for (const auto& ix : secondary_)
        if (!ix.definition.fields.empty()) result.push_back(&ix);
    return result;
}

// Whether the data blocks hold the records in strictly rising key order.
bool ParadoxTable::recordsInKeyOrder() {
    const TableShape shape = shapeOf(path_, header_, codec_);
    const KeyOrder order(shape);
    BlockChain chain(*file_, header_);
    DataBlock block;
    std::string previous, current;
    bool first = true;
    while (chain.next(block)) {
        for (std::size_t r = 0; r < block.records; ++r) {
            current = order.sortKey(block.record(r, header_.recordSize));
            if (!first && current <= previous) return false;
            previous.swap(current);
            first = false;
        }
    }
    return true;
}

// One pass over the data file checks the key order and gathers the .PX leaves and the entries
// of every secondary index; an index whose file lists exactly these entries in order is copied
// from it, the others are sorted.
void ParadoxTable::rebuildIndexFiles(FileTransaction& tx) {
    requireExclusive("to rebuild its indexes");
    const bool keyed = header_.fileType == FileType::KeyedTable && header_.primaryKeyFields > 0;
    const TableShape shape = shapeOf(path_, header_, codec_);
    // An index whose fields are unknown keeps its files; rebuildIndexes() names it.
    const auto rebuilt = rebuildableIndexes();
    std::vector<IndexDef> definitions;
    for (const auto* ix : rebuilt) {
        definitions.push_back(ix->definition);
        definitions.back().fault.clear();
    }
    const auto layouts = planSecondaryIndexes(shape, definitions);
    file_->willRead();
    SameBlocks blocks;
    std::vector<std::unique_ptr<SecondaryIndexBuilder>> builders;
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        builders.push_back(std::make_unique<SecondaryIndexBuilder>(fs_, shape, layouts[i],
                                                                   kSortMemory / layouts.size()));
        if (keyed && rebuilt[i]->definition.fault.empty())
            builders.back()->orderFrom(rebuilt[i]->path, rebuilt[i]->header, blocks);
    }
    const KeyOrder order(shape);
    std::vector<IndexEntry> leaves;
    std::string previous, current;
    BlockChain chain(*file_, header_);
    DataBlock block;
    std::uint32_t recordNo = 0;
    ProgressMeter meter(ProgressPhase::Records, header_.numRecords);
    while (chain.next(block)) {
        meter.advance(block.records);
        if (keyed && block.records > 0)
            leaves.push_back(
                {std::string(reinterpret_cast<const char*>(block.record(0, 0)), shape.keySize()),
                 block.number, static_cast<std::uint32_t>(block.records)});
        for (std::size_t r = 0; r < block.records; ++r, ++recordNo) {
            const std::uint8_t* raw = block.record(r, header_.recordSize);
            if (keyed) {
                current.clear();
                order.appendSortKey(raw, current);
                if (recordNo > 0 && current <= previous) {
                    // Records out of key order: the whole table is written anew.
                    builders.clear();
                    TableSchema schema = schema_;
                    schema.indexes.clear();
                    for (const auto& index : schema_.indexes)
                        if (index.options.has(IndexOption::ixPrimary) || !index.fields.empty())
                            schema.indexes.push_back(index);
                    for (auto& index : schema.indexes) index.fault.clear();
                    rewrite(schema, tx);
                    return;
                }
                previous.swap(current);
            }
            for (auto& b : builders) b->add(raw, block.number, recordNo, r);
        }
    }
    meter.finish();
    if (keyed) writePrimaryIndexFile(shape, leaves, header_.changeCount1, tx);
    finishSecondaryIndexes(shape, builders, *file_, header_, tx, keyed ? header_.changeCount1 : 0);
}

void ParadoxTable::addIndex(const IndexDef& index, FileTransaction& tx) {
    requireExclusive("to add an index");
    requireSoundIndexes("take a new index");
    const bool keyed = header_.fileType == FileType::KeyedTable && header_.primaryKeyFields > 0;
    if (index.options.has(IndexOption::ixPrimary)) {
        if (keyed)
            throwEngineError(DBIERR_INDEXEXISTS,
                             "Table " + path_.fileName + " already has a primary index");
        TableSchema schema;
        schema.fields = schema_.fields;
        IndexDef primary;
        primary.fields = index.fields;
        primary.options.add(IndexOption::ixPrimary).add(IndexOption::ixUnique);
        schema.indexes.push_back(primary);
        // With a primary key the secondary indexes are kept up to date from now on.
        for (auto def : secondaryDefinitions()) {
            TIndexOptions options;
            for (auto o :
                 {IndexOption::ixUnique, IndexOption::ixDescending, IndexOption::ixCaseInsensitive})
                if (def.options.has(o)) options.add(o);
            def.options = options;
            schema.indexes.push_back(def);
        }
        rewrite(schema, tx);
        return;
    }
    const TableShape shape = shapeOf(path_, header_, codec_);
    auto defs = secondaryDefinitions();
    IndexDef added = index;
    added.tagName.clear();
    defs.push_back(added);
    const auto layouts = planSecondaryIndexes(shape, defs);
    writeSecondaryIndexes(shape, {layouts.back()}, *file_, header_, tx,
                          keyed ? header_.changeCount1 : 0);
}

void ParadoxTable::deleteIndex(const std::string& name, FileTransaction& tx) {
    requireExclusive("to delete an index");
    const bool keyed = header_.fileType == FileType::KeyedTable && header_.primaryKeyFields > 0;
    const auto it = std::find_if(secondary_.begin(), secondary_.end(), [&](const auto& ix) {
        return !name.empty() && (sameName(ix.definition.name, name) || sameName(ix.suffix, name));
    });
    if (it != secondary_.end()) {
        tx.removeOnCommit(it->path);
        const std::string tree = treeFilePath(path_, it->suffix, fs_);
        if (fs_.exists(tree)) tx.removeOnCommit(tree);
        return;
    }
    if (!name.empty())
        throwEngineError(DBIERR_NOSUCHINDEX, "Table " + path_.fileName + " has no index " + name);
    // The primary index has no name.
    if (!keyed)
        throwEngineError(DBIERR_NOSUCHINDEX, "Table " + path_.fileName + " has no primary index");
    if (!secondary_.empty())
        throwEngineError(DBIERR_INVALIDPARAM,
                         "The primary index of " + path_.fileName +
                             " cannot be deleted while the table has secondary indexes");
    TableSchema schema;
    schema.fields = schema_.fields;
    rewrite(schema, tx);
}

void ParadoxTable::checkChain(std::vector<std::string>& problems) {
    std::uint64_t counted = 0;
    try {
        auto blobs = openBlobs();
        BlockChain chain(*file_, header_);
        DataBlock block;
        Record record;
        while (chain.next(block)) {
            for (std::size_t r = 0; r < block.records; ++r)
                records_->decode(block.record(r, header_.recordSize), record, blobs.get(),
                                 path_.full());
            counted += block.records;
        }
    } catch (const EDBEngineError& e) {
        problems.push_back(e.what());
        return;
    }
    if (counted != header_.numRecords)
        problems.push_back("Table " + path_.full() + ": the header counts " +
                           std::to_string(header_.numRecords) + " records, the data blocks hold " +
                           std::to_string(counted));
}

void ParadoxTable::checkPrimaryIndex(std::vector<std::string>& problems) {
    if (header_.fileType != FileType::KeyedTable) return;
    const std::string pxPath = companionPath(path_, ".PX", fs_);
    if (!schema_.indexes.empty() && !schema_.indexes.front().fault.empty()) {
        problems.push_back("Primary index " + pxPath + " is " + schema_.indexes.front().fault);
        return;
    }
    if (!fs_.exists(pxPath)) {
        problems.push_back("Table " + path_.full() + " is keyed but its primary index " + pxPath +
                           " is missing");
        return;
    }
    try {
        auto px = fs_.open(pxPath, OpenMode::Read);
        const Header pxHeader = readHeader(*px);
        const auto leaves = readIndexLeaves(*px, pxHeader);
        BlockChain chain(*file_, header_);
        DataBlock block;
        std::size_t i = 0;
        const std::size_t keySize = recordSizeOf(pxHeader.fields);
        while (chain.next(block)) {
            if (block.records == 0) continue;
            const std::string firstKey(
                reinterpret_cast<const char*>(block.record(0, header_.recordSize)), keySize);
            if (i >= leaves.size() || leaves[i].block != block.number ||
                leaves[i].count != block.records || leaves[i].key != firstKey) {
                problems.push_back("Primary index " + pxPath + " does not match data block " +
                                   std::to_string(block.number));
                return;
            }
            ++i;
        }
        if (i != leaves.size())
            problems.push_back("Primary index " + pxPath + " lists " +
                               std::to_string(leaves.size()) + " data blocks, the table has " +
                               std::to_string(i));
    } catch (const EDBEngineError& e) {
        problems.push_back(e.what());
    }
}

void ParadoxTable::checkKeyOrder(std::vector<std::string>& problems) {
    if (header_.fileType != FileType::KeyedTable || header_.primaryKeyFields == 0) return;
    try {
        if (!recordsInKeyOrder())
            problems.push_back("Table " + path_.full() +
                               ": the records are not in rising order of their keys, or two "
                               "records have the same key");
    } catch (const EDBEngineError& e) {
        problems.push_back(e.what());
    }
}

// A maintained index holds one entry per record, in order, each pointing at the block with
// its record; its tree lists the first entry of each block.
void ParadoxTable::checkSecondaryIndex(const SecondaryIndexFile& ix,
                                       std::vector<std::string>& problems) {
    const auto fail = [&](const std::string& what) {
        problems.push_back("Index " + ix.path + " " + what);
    };
    if (!ix.definition.fault.empty()) return fail("is " + ix.definition.fault);
    if (ix.definition.options.has(IndexOption::ixNonMaintained)) return;
    if (ix.header.numRecords != header_.numRecords) {
        fail("holds " + std::to_string(ix.header.numRecords) + " entries, the table has " +
             std::to_string(header_.numRecords) + " records");
        return;
    }
    try {
        const TableShape shape = shapeOf(path_, header_, codec_);
        const auto layouts = planSecondaryIndexes(shape, {ix.definition});
        const SecondaryIndexBuilder expected(fs_, shape, layouts.front(), 0);
        if (expected.indexHeader().fields != ix.header.fields) {
            fail("does not have the fields its definition " + ix.definition.fields + " needs");
            return;
        }
        auto x = fs_.open(ix.path, OpenMode::Read);
        BlockChain chain(*x, ix.header);
        DataBlock entries;
        std::vector<IndexEntry> blocks;
        std::string previous, current;
        const std::size_t size = ix.header.recordSize;
        EntryResolver resolver(fs_, *file_, header_, shape);
        std::vector<std::uint8_t> keyPart(size);
        std::uint64_t seen = 0, staleHints = 0;
        while (chain.next(entries)) {
            if (entries.records > 0)
                blocks.push_back(
                    {std::string(reinterpret_cast<const char*>(entries.record(0, 0)), size - 2),
                     entries.number, static_cast<std::uint32_t>(entries.records)});
            for (std::size_t i = 0; i < entries.records; ++i, ++seen) {
                const std::uint8_t* e = entries.record(i, size);
                if (!expected.keysUpperCased(e))
                    return fail("entry " + std::to_string(seen + 1) +
                                " holds text in small letters; a case-insensitive index stores "
                                "its keys in capitals");
                current = expected.sortKey(e);
                if (seen > 0 && current <= previous)
                    return fail("is out of order at entry " + std::to_string(seen + 1));
                previous.swap(current);
                const std::uint8_t* raw = resolver.find(e, size);
                if (!raw)
                    return fail("entry " + std::to_string(seen + 1) +
                                " holds a key that no record has");
                if (resolver.staleHint()) ++staleHints;
                const std::size_t keyBytes = expected.keyPart(raw, keyPart.data());
                if (std::memcmp(keyPart.data(), e, keyBytes) != 0)
                    return fail("entry " + std::to_string(seen + 1) +
                                " does not hold the values of its record");
            }
        }
        // The original engine leaves these hints behind when data blocks split.
        if (staleHints > 0)
            notes_.push_back("Index " + ix.path + ": " + std::to_string(staleHints) + " of " +
                             std::to_string(seen) +
                             " entries name an earlier data block of their record");
        const std::string treePath = treeFilePath(path_, ix.suffix, fs_);
        if (!fs_.exists(treePath)) return fail("has no tree file " + treePath);
        auto y = fs_.open(treePath, OpenMode::Read);
        const auto leaves = readIndexLeaves(*y, readHeader(*y));
        if (leaves.size() != blocks.size()) return fail("and its tree " + treePath + " disagree");
        for (std::size_t i = 0; i < leaves.size(); ++i)
            if (leaves[i].block != blocks[i].block || leaves[i].count != blocks[i].count ||
                leaves[i].key != blocks[i].key)
                return fail("and its tree " + treePath + " disagree at block " +
                            std::to_string(blocks[i].block));
    } catch (const EDBEngineError& e) {
        problems.push_back(e.what());
    }
}

std::vector<std::string> ParadoxTable::check() {
    std::vector<std::string> problems;
    notes_.clear();
    checkChain(problems);
    checkKeyOrder(problems);
    checkPrimaryIndex(problems);
    if (records_->hasBlobs() && !companionExists(path_, ".MB", fs_))
        problems.push_back("Table " + path_.full() + " has blob fields but its blob file " +
                           companionPath(path_, ".MB", fs_) + " is missing");
    // Indexes of unkeyed tables are brought up to date only when used.
    for (const auto& ix : secondary_) checkSecondaryIndex(ix, problems);
    return problems;
}

ParadoxProperties ParadoxProperties::fromHeader(const Header& h) {
    ParadoxProperties p;
    p.version = h.version;
    p.blockSizeKb = h.blockSizeKb;
    p.codePage = codePageOf(h);
    p.sortOrder = {h.sortOrder, h.sortOrderName};
    p.encryption = h.encryption;
    p.autoIncrement = h.autoInc;
    p.changeCount1 = h.changeCount1;
    p.changeCount2 = h.changeCount2;
    p.writeProtected = h.writeProtected;
    p.refIntegrity = h.refIntegrity;
    p.byte6C = h.byte6C;
    p.changeCount4 = h.changeCount4;
    p.byte74 = h.byte74;
    if (h.fileType == FileType::KeyedTable || h.fileType == FileType::Table) {
        p.fieldIds = h.fieldNumbers;
        p.nextFieldId = h.nextFieldNumber;
    }
    return p;
}

}  // namespace kx4::paradox

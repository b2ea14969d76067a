#include "ParadoxTable.h"

#include <algorithm>

#include "Companions.h"
#include "DataBlocks.h"
#include "Encryption.h"
#include "Errors.h"
#include "FieldCodec.h"
#include "FileSystem.h"
#include "FileTransaction.h"
#include "IndexTree.h"
#include "ParadoxBuilder.h"
#include "SortOrder.h"
#include "TextCodec.h"

namespace kx4::paradox {

namespace {

constexpr int kPasswordPrompts = 3;

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

ParadoxTable::ParadoxTable(TablePath path, bool exclusive)
    : path_(std::move(path)), exclusive_(exclusive) {}

ParadoxTable::~ParadoxTable() = default;

std::unique_ptr<ParadoxTable> ParadoxTable::open(const TablePath& path,
                                                 const OpenOptions& options) {
    const std::string full = path.full();
    FileTransaction::recover(full);
    if (!fileSystem().exists(full))
        throwEngineError(DBIERR_NOSUCHTABLE, "Table does not exist: " + full);
    std::unique_ptr<ParadoxTable> table(new ParadoxTable(path, options.exclusive));
    table->lockFile();
    table->load(options.passwords, nullptr);
    return table;
}

void ParadoxTable::lockFile() {
    const std::string full = path_.full();
    // The file may be replaced (renamed over) between opening and locking; then the lock
    // guards a file nobody will read, so take it again on the new one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto file = fileSystem().open(full, exclusive_ ? OpenMode::ReadWrite : OpenMode::Read);
        if (!file->tryLock(exclusive_ ? LockMode::Exclusive : LockMode::Shared)) {
            if (exclusive_)
                throwEngineError(DBIERR_TABLEINUSE,
                                 "Table is busy: " + full + " is in use by another user");
            throwEngineError(DBIERR_FILELOCKED,
                             "Table is busy: " + full + " is opened exclusively by another user");
        }
        if (file->identity() == fileSystem().identity(full)) {
            file_ = std::move(file);
            return;
        }
    }
    throwEngineError(DBIERR_TABLEINUSE,
                     "Table is busy: " + full + " keeps being replaced by another user");
}

void ParadoxTable::load(PasswordSource* passwords, const std::uint32_t* knownChecksum) {
    header_ = readHeader(*file_);
    if (header_.fileType != FileType::KeyedTable && header_.fileType != FileType::Table)
        throwCorrupt(
            file_->path(),
            "file type " + std::to_string(static_cast<int>(header_.fileType)) + " is not a table");
    codec_ = std::make_shared<TextCodec>(codePageOf(header_));
    if (knownChecksum) {
        if (*knownChecksum != header_.encryption)
            throwEngineError(DBIERR_INVALIDPASSWORD,
                             "Table " + file_->path() + " changed its password");
    } else {
        verifyPassword(passwords);
    }
    properties_ = std::make_shared<ParadoxProperties>(ParadoxProperties::fromHeader(header_));
    properties_->codePage = codec_->codePage();

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
        schema_.indexes.push_back(primary);
    }
    secondary_ = findSecondaryIndexes(file_->path(), header_, names, *codec_);
    for (const auto& ix : secondary_) schema_.indexes.push_back(ix.definition);
    records_ = std::make_unique<RecordCodec>(header_.fields, names, codec_);
}

void ParadoxTable::verifyPassword(PasswordSource* passwords) {
    if (header_.encryption == 0) return;
    auto matches = [&](const std::string& password) {
        return passwordChecksum(passwordBytes(password, *codec_)) == header_.encryption;
    };
    const std::string full = path_.full();
    if (!passwords)
        throwEngineError(DBIERR_INVALIDPASSWORD, "Table " + full + " is password protected");
    for (const auto& p : passwords->passwords())
        if (matches(p)) return;
    for (int prompt = 0; prompt < kPasswordPrompts; ++prompt) {
        const auto answer = passwords->askPassword(full);
        if (!answer)
            throwEngineError(DBIERR_INVALIDPASSWORD,
                             "Table " + full + " is password protected and no password was given");
        if (matches(*answer)) return;
    }
    throwEngineError(DBIERR_INVALIDPASSWORD, "Invalid password for table " + full);
}

TableInfo ParadoxTable::info() const {
    TableInfo info;
    info.driverName = "PARADOX";
    info.seqNums = 1;
    info.version = tableLevel(header_.version);
    info.codePage = codec_->codePage();
    info.encrypted = header_.encryption != 0;
    info.recordCount = header_.numRecords;
    info.recordSize = header_.recordSize;
    return info;
}

std::unique_ptr<BlobReader> ParadoxTable::openBlobs() const {
    if (!records_->hasBlobs() || !companionExists(path_, ".MB")) return nullptr;
    auto file = fileSystem().open(companionPath(path_, ".MB"), OpenMode::Read);
    return std::make_unique<BlobReader>(std::move(file), header_.encryption);
}

std::unique_ptr<RecordCursor> ParadoxTable::scan() {
    return std::make_unique<ChainCursor>(*file_, header_, *records_, openBlobs());
}

std::unique_ptr<RecordCursor> ParadoxTable::scanIndex(const std::string& indexName) {
    if (indexName.empty()) {
        if (header_.fileType != FileType::KeyedTable)
            throwEngineError(DBIERR_NOSUCHINDEX, "Table " + path_.full() + " has no primary index");
        return scan();
    }
    const auto it = std::find_if(secondary_.begin(), secondary_.end(), [&](const auto& ix) {
        return sameName(ix.definition.name, indexName) || sameName(ix.suffix, indexName);
    });
    if (it == secondary_.end())
        throwEngineError(DBIERR_NOSUCHINDEX,
                         "Table " + path_.full() + " has no index " + indexName);

    // Order the records by the index's fields, comparing their stored bytes as the index does.
    std::vector<std::size_t> fields;
    std::vector<FieldInfo> keyFields;
    for (const auto& name : splitFieldList(it->definition.fields)) {
        fields.push_back(static_cast<std::size_t>(schema_.fieldIndex(name)));
        keyFields.push_back(header_.fields[fields.back()]);
    }
    KeyCollator collator(keyFields, {header_.sortOrder, header_.sortOrderName}, *codec_);
    struct Entry {
        std::string key;
        Record record;
    };
    std::vector<Entry> entries;
    BlockChain chain(*file_, header_);
    auto blobs = openBlobs();
    DataBlock block;
    std::string key;
    while (chain.next(block)) {
        for (std::size_t r = 0; r < block.records; ++r) {
            const std::uint8_t* raw = block.record(r, header_.recordSize);
            key.clear();
            for (std::size_t f : fields)
                key.append(reinterpret_cast<const char*>(raw + records_->offsetOf(f)),
                           storedSize(header_.fields[f]));
            Entry e{collator.sortKey(reinterpret_cast<const std::uint8_t*>(key.data())), {}};
            records_->decode(raw, e.record, blobs.get(), path_.full());
            entries.push_back(std::move(e));
        }
    }
    const bool descending = it->definition.options.has(IndexOption::ixDescending);
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return descending ? b.key < a.key : a.key < b.key;
    });
    std::vector<Record> ordered;
    for (auto& e : entries) ordered.push_back(std::move(e.record));
    return std::make_unique<SortedCursor>(std::move(ordered));
}

void ParadoxTable::appendRecord(const Record& record) {
    if (!exclusive_)
        throwEngineError(DBIERR_NEEDEXCLACCESS,
                         "Table " + path_.full() + " must be opened exclusively to add records");
    // The table is rewritten aside and swapped in, so a failure leaves it as it was.
    {
        FileTransaction tx(path_.full());
        auto builder = buildParadoxTable(path_, schema_, properties_, tx);
        auto cursor = scan();
        Record existing;
        while (cursor->next(existing)) builder->append(existing);
        builder->append(record);
        builder->finish();
        tx.commit();
    }
    const std::uint32_t checksum = header_.encryption;
    auto previous = std::move(file_);
    lockFile();
    load(nullptr, &checksum);
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
    const std::string pxPath = companionPath(path_, ".PX");
    if (!fileSystem().exists(pxPath)) {
        problems.push_back("Table " + path_.full() + " is keyed but its primary index " + pxPath +
                           " is missing");
        return;
    }
    try {
        auto px = fileSystem().open(pxPath, OpenMode::Read);
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

std::vector<std::string> ParadoxTable::check() {
    std::vector<std::string> problems;
    checkChain(problems);
    checkPrimaryIndex(problems);
    if (records_->hasBlobs() && !companionExists(path_, ".MB"))
        problems.push_back("Table " + path_.full() + " has blob fields but its blob file " +
                           companionPath(path_, ".MB") + " is missing");
    // Indexes of unkeyed tables are brought up to date only when used.
    for (const auto& ix : secondary_)
        if (!ix.definition.options.has(IndexOption::ixNonMaintained) &&
            ix.header.numRecords != header_.numRecords)
            problems.push_back("Index " + ix.path + " holds " +
                               std::to_string(ix.header.numRecords) + " entries, the table has " +
                               std::to_string(header_.numRecords) + " records");
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
    return p;
}

}  // namespace kx4::paradox

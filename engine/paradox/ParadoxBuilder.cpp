#include "engine/paradox/ParadoxBuilder.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <numeric>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/Progress.h"
#include "engine/core/TextCodec.h"
#include "engine/paradox/BlobFile.h"
#include "engine/paradox/BlockWriter.h"
#include "engine/paradox/ByteOrder.h"
#include "engine/paradox/Companions.h"
#include "engine/paradox/DataBlocks.h"
#include "engine/paradox/Encryption.h"
#include "engine/paradox/FieldCodec.h"
#include "engine/paradox/IndexFiles.h"
#include "engine/paradox/IndexTree.h"
#include "engine/paradox/ParadoxProperties.h"
#include "engine/paradox/ParadoxTable.h"
#include "engine/paradox/RecordCodec.h"
#include "engine/paradox/RecordCopy.h"
#include "engine/paradox/SortOrder.h"

namespace kx4::paradox {

namespace {

constexpr std::size_t kMaxFieldNameLength = 25;
constexpr std::size_t kMaxKeyFields = 16;
constexpr std::uint32_t kMaxBlocks = 0xFFFF;
constexpr std::uint16_t kDataChangeMarker = 12;
constexpr std::uint8_t kBlockSizesKb[] = {1, 2, 3, 4, 8, 16, 32};
constexpr std::uint8_t kLargestLevel4BlockKb = 4;

std::size_t recordsPerBlock(std::uint8_t kb, std::size_t recordSize) {
    return (kb * 1024u - kBlockHeaderSize) / recordSize;
}

// The block size: the old table's when the records still fit, else (and for new tables) the
// smallest from 2 KiB on that holds at least two records.
std::uint8_t chooseBlockSize(std::uint8_t wanted, std::size_t recordSize) {
    const std::size_t minimumRecords = wanted ? 1 : 2;
    const std::uint8_t start = wanted ? wanted : 2;
    for (std::uint8_t kb : kBlockSizesKb)
        if (kb >= start && recordsPerBlock(kb, recordSize) >= minimumRecords) return kb;
    if (recordsPerBlock(32, recordSize) >= 1) return 32;
    throwEngineError(DBIERR_INVALIDPARAM, "Records of " + std::to_string(recordSize) +
                                              " bytes are too large for a Paradox table");
}

std::string encodedName(const std::string& utf8, const TextCodec& codec) {
    try {
        return codec.fromUtf8(utf8);
    } catch (const EDBEngineError&) {
        return utf8;
    }
}

class ParadoxBuilder final : public TableBuilder {
  public:
    ParadoxBuilder(const TablePath& target, const TableSchema& schema,
                   const ParadoxProperties& like, FileTransaction& tx);
    void append(const Record& record) override;
    void appendAll(const RecordSource& source) override;
    void finish() override;
    std::vector<std::string> notes() const override { return notes_; }

  private:
    void prepareFields(const TableSchema& schema);
    void prepareKey(const TableSchema& schema);
    void prepareSecondaries(const TableSchema& schema);
    void assignCounter(Record& values);
    void countRow(std::uint8_t* row);
    Header makeHeader() const;
    std::uint16_t addRow(const std::uint8_t* row);
    std::uint16_t place(const std::uint8_t* row);
    void placeSortedRows();
    std::uint16_t placeInKeyOrder(const std::uint8_t* row);
    void orderIndexesLike(const ParadoxTable& table, const RecordCopier& copier);
    void keepFieldIds(const ParadoxTable& table, const std::vector<int>& from);
    void fallBackToSorting();
    [[noreturn]] void keyViolation(const std::uint8_t* row) const;
    void dropStaleCompanions();

    TablePath target_;
    ParadoxProperties props_;
    FileTransaction& tx_;
    std::shared_ptr<TextCodec> codec_;
    std::vector<FieldInfo> fields_;
    std::vector<std::string> names_;      // UTF-8
    std::vector<std::string> diskNames_;  // in the table's code page
    std::size_t keyFields_ = 0;
    std::unique_ptr<RecordCodec> records_;
    std::unique_ptr<BlobWriter> blobs_;
    TableShape shape_;
    std::vector<SecondaryLayout> secondaryLayouts_;
    std::vector<std::unique_ptr<SecondaryIndexBuilder>> secondaries_;
    // Keyed tables: records that come in key order (as from an existing table) go straight
    // to the data file; from the first one out of order on, all gather here to be sorted.
    std::unique_ptr<ExternalSorter> sortedRows_;
    std::string lastKey_;
    std::unique_ptr<KeyOrder> keyOrder_;
    std::unique_ptr<BlockWriter> data_;
    std::vector<std::uint8_t> row_;
    // Where records copied from a table in key order went, for the old table's index files.
    std::unique_ptr<MovedBlocks> moved_;
    std::size_t rowCount_ = 0;
    std::size_t maxRows_ = 0;
    bool finished_ = false;
    std::vector<std::string> notes_;
};

ParadoxBuilder::ParadoxBuilder(const TablePath& target, const TableSchema& schema,
                               const ParadoxProperties& like, FileTransaction& tx)
    : target_(target), props_(like), tx_(tx), codec_(std::make_shared<TextCodec>(like.codePage)) {
    props_.codePage = codec_->codePage();
    prepareFields(schema);
    prepareKey(schema);
    records_ = std::make_unique<RecordCodec>(fields_, names_, codec_);
    for (const auto& f : fields_)
        props_.version = std::max(props_.version, minimumVersionFor(f.type));
    props_.blockSizeKb = chooseBlockSize(props_.blockSizeKb, records_->recordSize());
    if (props_.blockSizeKb > kLargestLevel4BlockKb)
        props_.version = std::max(props_.version, kVersion5);
    if (props_.sortOrder.name.empty())
        props_.sortOrder.name = sortOrderNameFor(props_.sortOrder.id);
    maxRows_ = recordsPerBlock(props_.blockSizeKb, records_->recordSize()) * kMaxBlocks;
    prepareSecondaries(schema);

    const Header header = makeHeader();
    shape_.changeCount1 = header.changeCount1;
    data_ = std::make_unique<BlockWriter>(tx_.stage(target_.full()), header,
                                          recordSizeOf(shape_.keyInfo()));
    row_.resize(records_->recordSize());
    if (keyFields_) keyOrder_ = std::make_unique<KeyOrder>(shape_);
    if (records_->hasBlobs()) {
        blobs_ = std::make_unique<BlobWriter>(
            tx_.stage(companionPath(target_, ".MB", tx_.fileSystem())), props_.encryption);
    }
}

void ParadoxBuilder::prepareFields(const TableSchema& schema) {
    if (schema.fields.empty() || schema.fields.size() > kMaxFields)
        throwEngineError(DBIERR_INVALIDPARAM, "A Paradox table has 1 to 255 fields; " +
                                                  target_.fileName + " would have " +
                                                  std::to_string(schema.fields.size()));
    for (std::size_t i = 0; i < schema.fields.size(); ++i) {
        const FieldDef& def = schema.fields[i];
        const std::string disk = codec_->fromUtf8(def.name);
        if (disk.empty() || disk.size() > kMaxFieldNameLength || disk[0] == ' ')
            throwEngineError(DBIERR_INVALIDPARAM, "Invalid field name '" + def.name +
                                                      "': Paradox field names have 1 to 25 "
                                                      "characters and do not start with a blank");
        for (std::size_t k = 0; k < i; ++k)
            if (sameName(schema.fields[k].name, def.name))
                throwEngineError(DBIERR_INVALIDPARAM, "Duplicate field name " + def.name);
        fields_.push_back(fieldInfoFor(def));
        names_.push_back(def.name);
        diskNames_.push_back(disk);
    }
}

void ParadoxBuilder::prepareKey(const TableSchema& schema) {
    for (std::size_t i = 0; i < schema.indexes.size(); ++i) {
        const IndexDef& index = schema.indexes[i];
        if (!index.options.has(IndexOption::ixPrimary)) continue;
        if (i != 0) throwEngineError(DBIERR_INVALIDPARAM, "The primary index must come first");
        const auto keys = splitFieldList(index.fields);
        if (keys.empty() || keys.size() > kMaxKeyFields)
            throwEngineError(DBIERR_INVALIDPARAM, "A Paradox key has 1 to 16 fields");
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (std::none_of(names_.begin(), names_.end(),
                             [&](const std::string& n) { return sameName(n, keys[k]); }))
                throwNoSuchField(keys[k]);
            if (k >= names_.size() || !sameName(keys[k], names_[k]))
                throwEngineError(DBIERR_INVALIDPARAM, "Key field " + keys[k] + " of " +
                                                          target_.fileName + " must be field " +
                                                          std::to_string(k + 1) +
                                                          ": Paradox key fields lead the record");
            if (isBlobType(fields_[k].type))
                throwEngineError(DBIERR_INVALIDPARAM,
                                 "Blob field " + keys[k] + " cannot be a key field");
        }
        keyFields_ = keys.size();
    }
}

void ParadoxBuilder::prepareSecondaries(const TableSchema& schema) {
    shape_.path = target_;
    shape_.fields = fields_;
    shape_.names = names_;
    shape_.diskNames = diskNames_;
    shape_.keyFields = keyFields_;
    shape_.codec = codec_;
    shape_.codePage = props_.codePage;
    shape_.sortOrder = props_.sortOrder;
    shape_.encryption = props_.encryption;
    secondaryLayouts_ = planSecondaryIndexes(shape_, schema.indexes);
    // Composite and named indexes came with level 4, descending and unique ones with level 7.
    for (const auto& layout : secondaryLayouts_) {
        if (layout.composite()) props_.version = std::max(props_.version, kVersion4);
        const auto& options = layout.definition.options;
        if (options.has(IndexOption::ixDescending) || options.has(IndexOption::ixUnique))
            props_.version = std::max(props_.version, kVersion7);
    }
    shape_.version = props_.version;
    shape_.blockSizeKb = props_.blockSizeKb;
    shape_.changeCount2 = props_.changeCount2;
    const std::size_t budget =
        secondaryLayouts_.empty() ? 0 : kSortMemory / 2 / secondaryLayouts_.size();
    for (const auto& layout : secondaryLayouts_)
        secondaries_.push_back(
            std::make_unique<SecondaryIndexBuilder>(tx_.fileSystem(), shape_, layout, budget));
}

void ParadoxBuilder::assignCounter(Record& values) {
    for (std::size_t i = 0; i < fields_.size() && i < values.size(); ++i) {
        if (fields_[i].type != pxAutoInc) continue;
        if (isBlank(values[i])) {
            values[i] = static_cast<std::int64_t>(++props_.autoIncrement);
        } else if (const auto* v = std::get_if<std::int64_t>(&values[i]); v && *v > 0) {
            props_.autoIncrement = std::max<std::uint32_t>(
                props_.autoIncrement,
                static_cast<std::uint32_t>(std::min<std::int64_t>(*v, 0x7FFFFFFF)));
        }
    }
}

void ParadoxBuilder::append(const Record& record) {
    Record values = record;
    assignCounter(values);
    records_->encode(values, row_.data(), blobs_.get());
    addRow(row_.data());
}

// Blank auto-increment fields of a stored record get the next number; the counter passes every
// number stored, as assignCounter does for values.
void ParadoxBuilder::countRow(std::uint8_t* row) {
    constexpr std::int64_t kLargest = 0x7FFFFFFF;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].type != pxAutoInc) continue;
        std::uint8_t* p = row + records_->offsetOf(i);
        if (allZero(p, 4)) {
            if (props_.autoIncrement >= kLargest)
                throwEngineError(DBIERR_DATATOOLONG,
                                 "Field " + names_[i] + " has no auto-increment number left");
            encodeInteger(p, 4, ++props_.autoIncrement);
            continue;
        }
        const std::int64_t v = decodeInteger(p, 4);
        if (v > 0)
            props_.autoIncrement = std::max(props_.autoIncrement, static_cast<std::uint32_t>(v));
    }
}

// The IDs of the fields carried over from `table` stay theirs; new fields get new ones from the
// table's next free ID on, as the original engine numbers them.
void ParadoxBuilder::keepFieldIds(const ParadoxTable& table, const std::vector<int>& from) {
    const ParadoxProperties old = ParadoxProperties::fromHeader(table.header());
    if (old.fieldIds.size() != table.header().fields.size() || from.size() != fields_.size())
        return;
    std::uint16_t next = old.nextFieldId;
    for (auto id : old.fieldIds) next = std::max<std::uint16_t>(next, id + 1);
    std::vector<std::uint16_t> ids;
    for (int f : from) {
        const bool kept = f >= 0 && static_cast<std::size_t>(f) < old.fieldIds.size() &&
                          std::find(ids.begin(), ids.end(), old.fieldIds[f]) == ids.end();
        ids.push_back(kept ? old.fieldIds[f] : next++);
    }
    Header& h = data_->header();
    h.fieldNumbers = ids;
    h.nextFieldNumber = next;
    if (ids != old.fieldIds && companionExists(target_, ".VAL", tx_.fileSystem()))
        notes_.push_back("The validity checks of " + target_.fileName +
                         " were left unchanged and may no longer fit its fields");
}

void ParadoxBuilder::appendAll(const RecordSource& source) {
    // Stored text carries over only within one code page.
    auto* table = dynamic_cast<ParadoxTable*>(&source.table);
    // Without its blob file a table's blobs would be lost for good.
    if (table && table->records().hasBlobs() &&
        !companionExists(table->path(), ".MB", table->fileSystem()))
        throwEngineError(DBIERR_BLOBCORRUPT,
                         "Table " + table->path().full() + " cannot be changed: its blob file " +
                             companionPath(table->path(), ".MB", table->fileSystem()) +
                             " is missing");
    if (table && rowCount_ == 0) keepFieldIds(*table, source.fields);
    if (!table || rowCount_ > 0 || table->records().text().codePage() != codec_->codePage())
        return TableBuilder::appendAll(source);
    // The old files are read front to back; the system may fetch them ahead.
    table->dataFile().willRead();
    const auto blobsIn = table->openBlobs();
    if (blobsIn) blobsIn->willRead();
    RecordCopier copier(table->records(), *records_, source, blobsIn.get(), blobs_.get(),
                        table->path().full());
    orderIndexesLike(*table, copier);
    const Header& header = table->header();
    BlockChain chain(table->dataFile(), header);
    DataBlock block;
    std::uint64_t recordNo = 0;
    ProgressMeter meter(ProgressPhase::Records, header.numRecords);
    while (chain.next(block)) {
        meter.advance(block.records);
        for (std::size_t r = 0; r < block.records; ++r) {
            copier.copy(block.record(r, header.recordSize), row_.data(), ++recordNo);
            std::uint16_t placed = 0;
            try {
                countRow(row_.data());
                placed = addRow(row_.data());
            } catch (const EDBEngineError& e) {
                source.failedAt(e, recordNo);
            }
            if (moved_ && placed) moved_->moved(block.number, placed, lastKey_);
        }
    }
    meter.finish();
    for (auto& s : secondaries_) s->endOfCopy();
}

// Secondary indexes whose order a rewrite keeps (same options, the same fields with their
// bytes carried over, the key as before) take it from the old table's index files.
void ParadoxBuilder::orderIndexesLike(const ParadoxTable& table, const RecordCopier& copier) {
    const Header& old = table.header();
    if (!keyFields_ || old.fileType != FileType::KeyedTable || old.primaryKeyFields != keyFields_)
        return;
    for (std::size_t k = 0; k < keyFields_; ++k)
        if (copier.bytesFrom(k) != static_cast<int>(k)) return;
    moved_ = std::make_unique<MovedBlocks>(*keyOrder_, shape_.keySize());
    for (auto& s : secondaries_) {
        const IndexDef& wanted = s->layout().definition;
        for (const auto& ix : table.secondaryIndexes()) {
            if (!ix.definition.fault.empty()) continue;
            bool same = true;
            for (auto o : {IndexOption::ixCaseInsensitive, IndexOption::ixDescending,
                           IndexOption::ixNonMaintained})
                same = same && ix.definition.options.has(o) == wanted.options.has(o);
            const auto names = splitFieldList(ix.definition.fields);
            same = same && names.size() == s->layout().fields.size();
            for (std::size_t j = 0; same && j < names.size(); ++j) {
                const int from = table.schema().fieldIndex(names[j]);
                same = from >= 0 && copier.bytesFrom(s->layout().fields[j]) == from;
            }
            if (!same) continue;
            s->orderFrom(ix.path, ix.header, *moved_);
            break;
        }
    }
}

std::uint16_t ParadoxBuilder::addRow(const std::uint8_t* row) {
    if (finished_)
        throwEngineError(DBIERR_INVALIDPARAM, "Table " + target_.fileName + " is already written");
    if (rowCount_ >= maxRows_)
        throwEngineError(
            DBIERR_DATATOOLONG,
            "Table " + target_.fileName + " would exceed 65535 blocks, the most Paradox allows");
    ++rowCount_;
    return keyOrder_ ? placeInKeyOrder(row) : place(row);
}

// Returns the block that took the record, or 0 while records gather for a sort.
std::uint16_t ParadoxBuilder::placeInKeyOrder(const std::uint8_t* row) {
    std::string key = keyOrder_->sortKey(row);
    if (!sortedRows_) {
        if (rowCount_ == 1 || key > lastKey_) {
            lastKey_.swap(key);
            return place(row);
        }
        if (key == lastKey_) keyViolation(row);
        fallBackToSorting();
    }
    sortedRows_->add(key, std::string_view(reinterpret_cast<const char*>(row), row_.size()));
    return 0;
}

// The records placed so far go back into a sort, and the files start over.
void ParadoxBuilder::fallBackToSorting() {
    sortedRows_ = std::make_unique<ExternalSorter>(tx_.fileSystem(), target_.full(),
                                                   kSortMemory / 2, props_.encryption != 0);
    data_->forEachRecord([&](const std::uint8_t* row) {
        sortedRows_->add(keyOrder_->sortKey(row),
                         std::string_view(reinterpret_cast<const char*>(row), row_.size()));
    });
    const Header header = data_->header();
    data_ = std::make_unique<BlockWriter>(tx_.stage(target_.full()), header,
                                          recordSizeOf(shape_.keyInfo()));
    const std::size_t budget =
        secondaryLayouts_.empty() ? 0 : kSortMemory / 2 / secondaryLayouts_.size();
    secondaries_.clear();
    for (const auto& layout : secondaryLayouts_)
        secondaries_.push_back(
            std::make_unique<SecondaryIndexBuilder>(tx_.fileSystem(), shape_, layout, budget));
}

std::uint16_t ParadoxBuilder::place(const std::uint8_t* row) {
    const std::uint16_t block = data_->add(row);
    const std::size_t inBlock = data_->lastIndexInBlock();
    for (auto& s : secondaries_) s->add(row, block, data_->records() - 1, inBlock);
    return block;
}

void ParadoxBuilder::keyViolation(const std::uint8_t* row) const {
    std::string shown;
    for (std::size_t k = 0; k < keyFields_; ++k)
        shown += (k ? ", " : "") + names_[k] + " = " +
                 formatValue(records_->decodeField(row, k, nullptr, target_.fileName));
    throwEngineError(DBIERR_KEYVIOL, "Key violation in " + target_.fileName +
                                         ": two records have the key " + shown);
}

void ParadoxBuilder::placeSortedRows() {
    const std::size_t keySize = recordSizeOf(shape_.keyInfo());
    std::string key, row, previous;
    bool first = true;
    while (sortedRows_->next(key, row)) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(row.data());
        if (!first && previous.compare(0, keySize, row, 0, keySize) == 0) keyViolation(bytes);
        first = false;
        place(bytes);
        previous.swap(row);
    }
}

Header ParadoxBuilder::makeHeader() const {
    Header h;
    h.recordSize = static_cast<std::uint16_t>(records_->recordSize());
    h.fileType = keyFields_ ? FileType::KeyedTable : FileType::Table;
    h.blockSizeKb = props_.blockSizeKb;
    h.unknown12 = kDataChangeMarker;
    h.primaryKeyFields = static_cast<std::uint16_t>(keyFields_);
    h.encryption = props_.encryption;
    h.sortOrder = props_.sortOrder.id;
    // Another program notices a rewritten table by a changed count; below 2 it may not
    // accept the primary index.
    h.changeCount1 = static_cast<std::uint8_t>(
        props_.changeCount1 >= 2 && props_.changeCount1 < 255 ? props_.changeCount1 + 1 : 2);
    h.changeCount2 = props_.changeCount2;
    h.writeProtected = props_.writeProtected;
    h.version = props_.version;
    h.autoInc = props_.autoIncrement;
    h.refIntegrity = props_.refIntegrity;
    h.updateTime = static_cast<std::uint32_t>(std::time(nullptr));
    h.codePage = static_cast<std::uint16_t>(props_.namesCodePage ? props_.codePage : 0);
    h.byte6C = props_.byte6C ? props_.byte6C : 1;
    h.changeCount4 = props_.changeCount4;
    h.byte74 = props_.byte74;
    h.fields = fields_;
    h.tableName = encodedName(target_.fileName, *codec_);
    h.fieldNames = diskNames_;
    for (std::size_t i = 0; i < fields_.size(); ++i)
        h.fieldNumbers.push_back(static_cast<std::uint16_t>(i + 1));
    h.sortOrderName = props_.sortOrder.name;
    return h;
}

// Files of the table the new one no longer has: its primary index, blob file, or the files
// of secondary indexes that were dropped or moved to another number.
void ParadoxBuilder::dropStaleCompanions() {
    for (const auto& path : tableFiles(target_, true, tx_.fileSystem()))
        if (path != target_.full() && !tx_.isStaged(path)) tx_.removeOnCommit(path);
}

void ParadoxBuilder::finish() {
    if (finished_) return;
    if (sortedRows_) placeSortedRows();
    data_->header().autoInc = props_.autoIncrement;
    const auto leaves = data_->finish();
    if (blobs_) blobs_->finish();
    if (keyFields_) writePrimaryIndexFile(shape_, leaves, shape_.changeCount1, tx_);
    shape_.autoIncrement = props_.autoIncrement;
    if (moved_) moved_->setLeaves(leaves);
    finishSecondaryIndexes(shape_, secondaries_, tx_.stage(target_.full()), data_->header(), tx_,
                           keyFields_ ? shape_.changeCount1 : 0);
    dropStaleCompanions();
    finished_ = true;
}

}  // namespace

std::unique_ptr<TableBuilder> buildParadoxTable(const TablePath& target, const TableSchema& schema,
                                                std::shared_ptr<const FormatProperties> like,
                                                FileTransaction& tx) {
    ParadoxProperties props;
    if (const auto* p = dynamic_cast<const ParadoxProperties*>(like.get())) props = *p;
    return std::make_unique<ParadoxBuilder>(target, schema, props, tx);
}

}  // namespace kx4::paradox

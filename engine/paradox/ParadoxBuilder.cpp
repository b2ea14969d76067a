#include "ParadoxBuilder.h"

#include <algorithm>
#include <ctime>
#include <numeric>

#include "BlobFile.h"
#include "ByteOrder.h"
#include "Companions.h"
#include "DataBlocks.h"
#include "Encryption.h"
#include "Errors.h"
#include "FieldCodec.h"
#include "FileSystem.h"
#include "FileTransaction.h"
#include "IndexTree.h"
#include "ParadoxProperties.h"
#include "RecordCodec.h"
#include "SortOrder.h"
#include "TextCodec.h"

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
    void finish() override;

  private:
    void prepareFields(const TableSchema& schema);
    void prepareKey(const TableSchema& schema);
    std::vector<std::size_t> recordOrder() const;
    Header makeHeader(std::uint32_t blocks) const;
    std::vector<IndexEntry> writeDataFile(File& out, const std::vector<std::size_t>& order);
    void writePrimaryIndex(const std::vector<IndexEntry>& leaves, std::uint8_t changeCount);
    void dropStaleCompanion(const std::string& ext);

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
    std::vector<std::uint8_t> rows_;
    std::size_t rowCount_ = 0;
    std::size_t maxRows_ = 0;
    bool finished_ = false;
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
    if (records_->hasBlobs()) {
        blobs_ = std::make_unique<BlobWriter>(tx_.stage(companionPath(target_, ".MB")),
                                              props_.encryption);
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
        if (!index.options.has(IndexOption::ixPrimary))
            throwEngineError(
                DBIERR_NOTSUPPORTED,
                "Secondary index " + index.name + " of " + target_.fileName +
                    " cannot be written: this engine builds Paradox primary indexes only");
        if (i != 0) throwEngineError(DBIERR_INVALIDPARAM, "The primary index must come first");
        const auto keys = splitFieldList(index.fields);
        if (keys.empty() || keys.size() > kMaxKeyFields)
            throwEngineError(DBIERR_INVALIDPARAM, "A Paradox key has 1 to 16 fields");
        for (std::size_t k = 0; k < keys.size(); ++k) {
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

void ParadoxBuilder::append(const Record& record) {
    if (finished_)
        throwEngineError(DBIERR_INVALIDPARAM, "Table " + target_.fileName + " is already written");
    if (rowCount_ >= maxRows_)
        throwEngineError(
            DBIERR_DATATOOLONG,
            "Table " + target_.fileName + " would exceed 65535 blocks, the most Paradox allows");
    Record values = record;
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
    const std::size_t size = records_->recordSize();
    rows_.resize(rows_.size() + size);
    try {
        records_->encode(values, rows_.data() + rowCount_ * size, blobs_.get());
    } catch (...) {
        rows_.resize(rowCount_ * size);
        throw;
    }
    ++rowCount_;
}

std::vector<std::size_t> ParadoxBuilder::recordOrder() const {
    std::vector<std::size_t> order(rowCount_);
    std::iota(order.begin(), order.end(), 0);
    if (keyFields_ == 0) return order;
    const std::vector<FieldInfo> keyInfo(fields_.begin(), fields_.begin() + keyFields_);
    KeyCollator collator(keyInfo, props_.sortOrder, *codec_);
    const std::size_t size = records_->recordSize();
    std::vector<std::string> keys(rowCount_);
    for (std::size_t i = 0; i < rowCount_; ++i) keys[i] = collator.sortKey(rows_.data() + i * size);
    std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return keys[a] < keys[b]; });
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (std::equal(rows_.begin() + order[i] * size,
                       rows_.begin() + order[i] * size + collator.keySize(),
                       rows_.begin() + order[i - 1] * size)) {
            Record r;
            records_->decode(rows_.data() + order[i] * size, r, nullptr, target_.fileName);
            std::string shown;
            for (std::size_t k = 0; k < keyFields_; ++k)
                shown += (k ? ", " : "") + names_[k] + " = " + formatValue(r[k]);
            throwEngineError(DBIERR_KEYVIOL, "Key violation in " + target_.fileName +
                                                 ": two records have the key " + shown);
        }
    }
    return order;
}

Header ParadoxBuilder::makeHeader(std::uint32_t blocks) const {
    Header h;
    h.recordSize = static_cast<std::uint16_t>(records_->recordSize());
    h.fileType = keyFields_ ? FileType::KeyedTable : FileType::Table;
    h.blockSizeKb = props_.blockSizeKb;
    h.numRecords = static_cast<std::uint32_t>(rowCount_);
    h.blocksInUse = h.fileBlocks = h.lastBlock = h.maxBlocks = static_cast<std::uint16_t>(blocks);
    h.firstBlock = blocks ? 1 : 0;
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
    h.codePage = static_cast<std::uint16_t>(props_.codePage);
    h.byte6C = props_.byte6C ? props_.byte6C : 1;
    h.fields = fields_;
    h.tableName = encodedName(target_.fileName, *codec_);
    h.fieldNames = diskNames_;
    for (std::size_t i = 0; i < fields_.size(); ++i)
        h.fieldNumbers.push_back(static_cast<std::uint16_t>(i + 1));
    h.sortOrderName = props_.sortOrder.name;
    return h;
}

std::vector<IndexEntry> ParadoxBuilder::writeDataFile(File& out,
                                                      const std::vector<std::size_t>& order) {
    const std::size_t size = records_->recordSize();
    const std::size_t perBlock = recordsPerBlock(props_.blockSizeKb, size);
    const std::uint32_t blocks = static_cast<std::uint32_t>((rowCount_ + perBlock - 1) / perBlock);
    Header h = makeHeader(blocks);
    const std::vector<std::uint8_t> header = serializeHeader(h);
    out.writeAt(0, header.data(), header.size());

    std::vector<IndexEntry> leaves;
    const std::size_t keySize = recordSizeOf({fields_.begin(), fields_.begin() + keyFields_});
    std::vector<std::uint8_t> block(h.blockSize());
    for (std::uint32_t b = 1; b <= blocks; ++b) {
        std::fill(block.begin(), block.end(), 0);
        const std::size_t first = (b - 1) * perBlock;
        const std::size_t count = std::min(perBlock, rowCount_ - first);
        putLe16(block.data(), static_cast<std::uint16_t>(b < blocks ? b + 1 : 0));
        putLe16(block.data() + 2, static_cast<std::uint16_t>(b - 1));
        putLe16(block.data() + 4, static_cast<std::uint16_t>((count - 1) * size));
        for (std::size_t k = 0; k < count; ++k)
            std::copy_n(rows_.begin() + order[first + k] * size, size,
                        block.begin() + kBlockHeaderSize + k * size);
        leaves.push_back(
            {std::string(reinterpret_cast<const char*>(block.data() + kBlockHeaderSize), keySize),
             static_cast<std::uint16_t>(b), static_cast<std::uint32_t>(count)});
        if (props_.encryption) encryptBlock(props_.encryption, b, block.data(), block.size());
        out.writeAt(h.blockOffset(b), block.data(), block.size());
    }
    return leaves;
}

void ParadoxBuilder::writePrimaryIndex(const std::vector<IndexEntry>& leaves,
                                       std::uint8_t changeCount) {
    IndexTreeLayout layout;
    layout.type = FileType::PrimaryIndex;
    layout.keyFields.assign(fields_.begin(), fields_.begin() + keyFields_);
    layout.version = props_.version;
    layout.sortOrder = props_.sortOrder.id;
    layout.dataChangeCount = changeCount;
    layout.tableName = encodedName(stemOf(target_.fileName) + ".PX", *codec_);
    writeIndexTree(tx_.stage(companionPath(target_, ".PX")), layout, leaves);
}

void ParadoxBuilder::dropStaleCompanion(const std::string& ext) {
    const std::string path = companionPath(target_, ext);
    if (fileSystem().exists(path) && !tx_.isStaged(path)) tx_.removeOnCommit(path);
}

void ParadoxBuilder::finish() {
    if (finished_) return;
    const auto order = recordOrder();
    File& data = tx_.stage(target_.full());
    const auto leaves = writeDataFile(data, order);
    if (keyFields_)
        writePrimaryIndex(leaves, makeHeader(0).changeCount1);
    else
        dropStaleCompanion(".PX");
    if (blobs_)
        blobs_->finish();
    else
        dropStaleCompanion(".MB");
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

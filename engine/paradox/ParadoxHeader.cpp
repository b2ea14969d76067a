#include "engine/paradox/ParadoxHeader.h"

#include <algorithm>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/paradox/ByteOrder.h"
#include "engine/paradox/FieldTypes.h"

namespace kx4::paradox {

// Fixed header (all files), little-endian:
//   00 u16 recordSize        02 u16 headerSize        04 u8  fileType      05 u8 blockSizeKb
//   06 u32 numRecords        0A u16 blocksInUse       0C u16 fileBlocks    0E u16 firstBlock
//   10 u16 lastBlock         12 u16 (unknown)         14 u8  modifiedFlags1
//   15 u8  indexFieldNumber  16 u32 (RAM pointer)     1A u32 (RAM pointer) 1E u16 indexRoot
//   20 u8  indexLevels       21 u16 numFields         23 u16 primaryKeyFields
//   25 u32 encryption1 (0xFF00FF00 when the value lives at 0x5C)           29 u8 sortOrder
//   2A u8  modifiedFlags2    2B u8 index flags (X)    2C u8 (index marker)
//   2D u8  changeCount1      2E u8 changeCount2       2F u8 (X: the .PX file's 0x2C)
//   30 u32, 34 u32 (RAM pointers)                     38 u8  writeProtected 39 u8 version
//   3A u16 maxBlocks         3D u8 auxPasswords       3E u16 0x0F1F (0 when encrypted)
//   40 u32, 44 u32 (RAM pointers)                     49 u32 autoInc       4D u16 firstFreeBlock
//   4F u8  indexUpdateRequired                        51 u16 realHeaderSize
//   55 u8  refIntegrity / index direction             56 u8 0x20 in level 4+ data and X files
// Extension (level 4+ data and X files):
//   58 u16 0x0100+version    5A u16 same              5C u32 encryption2   60 u32 updateTime
//   64 u16 next field ID (data) / highest field number+1 (X)      66 u16 fieldNumbers-0x58 68 u16
//   indexName-0x58 (0 when none) 6A u16 codePage          6C u8 1                  6D u8 1 6E u16
//   sortName-0x58 70 u16 changeCount4      74 u8 (1 in some tables; kept)
// Variable area: field info (type, size) per field; tableNamePtr (4); field-name pointers
// (4 per field, data and X files); table name (79 bytes, 261 at level 7); field names, each
// NUL-terminated; level 4+ data and X files: field numbers (u16 each), sort-order name,
// index name.

// The offsets of the tables above, named as the fields they hold.
namespace at {
constexpr std::size_t kRecordSize = 0x00;
constexpr std::size_t kHeaderSize = 0x02;
constexpr std::size_t kFileType = 0x04;
constexpr std::size_t kMaxTableSize = 0x05;
constexpr std::size_t kNumRecords = 0x06;
constexpr std::size_t kBlocksInUse = 0x0A;
constexpr std::size_t kFileBlocks = 0x0C;
constexpr std::size_t kFirstBlock = 0x0E;
constexpr std::size_t kLastBlock = 0x10;
constexpr std::size_t kUnknown12 = 0x12;
constexpr std::size_t kModifiedFlags1 = 0x14;
constexpr std::size_t kIndexFieldNumber = 0x15;
constexpr std::size_t kIndexRoot = 0x1E;
constexpr std::size_t kNumIndexLevels = 0x20;
constexpr std::size_t kNumFields = 0x21;
constexpr std::size_t kPrimaryKeyFields = 0x23;
constexpr std::size_t kEncryption1 = 0x25;
constexpr std::size_t kSortOrder = 0x29;
constexpr std::size_t kModifiedFlags2 = 0x2A;
constexpr std::size_t kIndexFlags = 0x2B;
constexpr std::size_t kIndexMarker = 0x2C;
constexpr std::size_t kChangeCount1 = 0x2D;
constexpr std::size_t kChangeCount2 = 0x2E;
constexpr std::size_t kPrimaryIndexMarker = 0x2F;
constexpr std::size_t kWriteProtected = 0x38;
constexpr std::size_t kFileVersionId = 0x39;
constexpr std::size_t kMaxBlocks = 0x3A;
constexpr std::size_t kAuxPasswords = 0x3D;
constexpr std::size_t kWord3E = 0x3E;
constexpr std::size_t kAutoInc = 0x49;
constexpr std::size_t kFirstFreeBlock = 0x4D;
constexpr std::size_t kRealHeaderSize = 0x51;
constexpr std::size_t kRefIntegrity = 0x55;
constexpr std::size_t kByte56 = 0x56;
constexpr std::size_t kVersionWord = 0x58;
constexpr std::size_t kVersionWordCopy = 0x5A;
constexpr std::size_t kEncryption2 = 0x5C;
constexpr std::size_t kUpdateTime = 0x60;
constexpr std::size_t kNextFieldNumber = 0x64;
constexpr std::size_t kFieldNumbersOffset = 0x66;
constexpr std::size_t kIndexNameOffset = 0x68;
constexpr std::size_t kCodePage = 0x6A;
constexpr std::size_t kByte6C = 0x6C;
constexpr std::size_t kByte6D = 0x6D;
constexpr std::size_t kSortOrderNameOffset = 0x6E;
constexpr std::size_t kChangeCount4 = 0x70;
constexpr std::size_t kByte74 = 0x74;
}  // namespace at

namespace {

constexpr std::size_t kMaxNameLength = 260;
constexpr std::uint16_t kHeaderGranule = 0x800;
constexpr std::uint16_t kMagic3E = 0x0F1F;

bool isDataOrXType(FileType t) {
    switch (t) {
        case FileType::KeyedTable:
        case FileType::Table:
        case FileType::SecondaryIndex:
        case FileType::SecondaryIndexMaintained:
        case FileType::CompositeIndex:
        case FileType::CompositeIndexMaintained:
            return true;
        default:
            return false;
    }
}

class HeaderReader {
  public:
    HeaderReader(const std::vector<std::uint8_t>& bytes, std::size_t limit, const std::string& file)
        : bytes_(bytes), limit_(limit), file_(file) {}

    const std::uint8_t* take(std::size_t n, const char* what) {
        if (pos_ + n > limit_)
            throwCorrupt(file_, std::string("header too short for the ") + what + " (needs " +
                                    std::to_string(pos_ + n) + " bytes, header has " +
                                    std::to_string(limit_) + ")");
        const std::uint8_t* p = bytes_.data() + pos_;
        pos_ += n;
        return p;
    }
    std::string cString(const char* what) {
        const std::size_t start = pos_;
        while (pos_ < limit_ && bytes_[pos_] != 0) ++pos_;
        if (pos_ >= limit_) throwCorrupt(file_, std::string("unterminated ") + what + " in header");
        if (pos_ - start > kMaxNameLength)
            throwCorrupt(file_, std::string(what) + " in header is too long");
        std::string s(bytes_.begin() + start, bytes_.begin() + pos_);
        ++pos_;
        return s;
    }
    void seek(std::size_t pos) { pos_ = pos; }
    std::size_t pos() const { return pos_; }
    std::size_t limit() const { return limit_; }

  private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t limit_;
    const std::string& file_;
    std::size_t pos_ = 0;
};

std::string fieldLabel(std::size_t i) { return "field " + std::to_string(i + 1); }

void validateField(const FieldInfo& f, std::size_t i, const std::string& file) {
    if (!isKnownType(f.type))
        throwCorrupt(file, fieldLabel(i) + " has unknown type code " + std::to_string(f.type));
    const int fixed = fixedSizeOf(f.type);
    if (f.type == pxBcd) {
        if (f.size > kBcdMaxDecimals)
            throwCorrupt(file, fieldLabel(i) + " (BCD) has " + std::to_string(f.size) +
                                   " decimal places, more than 32");
    } else if (fixed != 0) {
        if (f.size != fixed)
            throwCorrupt(file, fieldLabel(i) + " has size " + std::to_string(f.size) +
                                   ", expected " + std::to_string(fixed));
    } else if (isBlobType(f.type)) {
        if (f.size < kBlobPointerSize || f.size > kBlobPointerSize + kMaxBlobLeader)
            throwCorrupt(file,
                         fieldLabel(i) + " (blob) has invalid size " + std::to_string(f.size));
    } else if (f.size == 0) {
        throwCorrupt(file, fieldLabel(i) + " has size 0");
    }
}

void parseFixedPart(const std::uint8_t* p, Header& h) {
    h.recordSize = getLe16(p + at::kRecordSize);
    h.headerSize = getLe16(p + at::kHeaderSize);
    h.fileType = static_cast<FileType>(p[at::kFileType]);
    h.blockSizeKb = p[at::kMaxTableSize];
    h.numRecords = getLe32(p + at::kNumRecords);
    h.blocksInUse = getLe16(p + at::kBlocksInUse);
    h.fileBlocks = getLe16(p + at::kFileBlocks);
    h.firstBlock = getLe16(p + at::kFirstBlock);
    h.lastBlock = getLe16(p + at::kLastBlock);
    h.unknown12 = getLe16(p + at::kUnknown12);
    h.modifiedFlags1 = p[at::kModifiedFlags1];
    h.indexFieldNumber = p[at::kIndexFieldNumber];
    h.indexRoot = getLe16(p + at::kIndexRoot);
    h.indexLevels = p[at::kNumIndexLevels];
    h.primaryKeyFields = getLe16(p + at::kPrimaryKeyFields);
    h.encryption = getLe32(p + at::kEncryption1);
    h.sortOrder = p[at::kSortOrder];
    h.modifiedFlags2 = p[at::kModifiedFlags2];
    h.indexFlags = p[at::kIndexFlags];
    h.byte2C = p[at::kIndexMarker];
    h.changeCount1 = p[at::kChangeCount1];
    h.changeCount2 = p[at::kChangeCount2];
    h.byte2F = p[at::kPrimaryIndexMarker];
    h.writeProtected = p[at::kWriteProtected];
    h.version = p[at::kFileVersionId];
    h.maxBlocks = getLe16(p + at::kMaxBlocks);
    h.auxPasswords = p[at::kAuxPasswords];
    h.autoInc = getLe32(p + at::kAutoInc);
    h.firstFreeBlock = getLe16(p + at::kFirstFreeBlock);
    h.refIntegrity = p[at::kRefIntegrity];
}

void validateFixedPart(const Header& h, std::size_t available, const std::string& file) {
    if (static_cast<std::uint8_t>(h.fileType) > 8)
        throwCorrupt(file, "unknown file type " + std::to_string(static_cast<int>(h.fileType)) +
                               " at header offset 0x04");
    if (h.version < kVersion30 || h.version > kVersion7)
        throwCorrupt(file,
                     "unknown table level " + std::to_string(h.version) + " at header offset 0x39");
    if (h.blockSizeKb < 1 || h.blockSizeKb > 32)
        throwCorrupt(file, "invalid block size " + std::to_string(h.blockSizeKb) +
                               " KB at header offset 0x05");
    const std::size_t minimum = h.hasExtension() ? kExtendedHeaderSize : kFixedHeaderSize;
    if (h.headerSize < minimum)
        throwCorrupt(file, "header size " + std::to_string(h.headerSize) + " is smaller than " +
                               std::to_string(minimum) + " bytes");
    if (h.headerSize > available)
        throwCorrupt(file, "header size " + std::to_string(h.headerSize) +
                               " exceeds the file size " + std::to_string(available));
    if (h.recordSize == 0 || h.recordSize > h.blockSize() - 6)
        throwCorrupt(file, "record size " + std::to_string(h.recordSize) +
                               " does not fit a block of " + std::to_string(h.blockSize()) +
                               " bytes");
}

void parseExtension(const std::uint8_t* p, Header& h) {
    const std::uint32_t encryption2 = getLe32(p + at::kEncryption2);
    if (h.encryption == kEncryptedMarker) h.encryption = encryption2;
    h.updateTime = getLe32(p + at::kUpdateTime);
    h.codePage = getLe16(p + at::kCodePage);
    h.byte6C = p[at::kByte6C];
    h.changeCount4 = getLe16(p + at::kChangeCount4);
    h.byte74 = p[at::kByte74];
    h.nextFieldNumber = getLe16(p + at::kNextFieldNumber);
}

// Jumps to the offset a 0x58-relative pointer gives when it lies within the header and not
// before `earliest`; otherwise reading continues where it is.
void seekToPointer(HeaderReader& r, std::uint16_t relative, std::size_t earliest) {
    const std::size_t target = kFixedHeaderSize + relative;
    if (relative != 0 && target >= earliest && target < r.limit()) r.seek(target);
}

}  // namespace

bool Header::hasFieldNames() const { return isDataOrXType(fileType); }

bool Header::hasExtension() const { return hasFieldNames() && version >= 5; }

std::size_t recordSizeOf(const std::vector<FieldInfo>& fields) {
    std::size_t total = 0;
    for (const auto& f : fields) total += f.type == pxBcd ? kBcdRecordSize : f.size;
    return total;
}

Header parseHeader(const std::vector<std::uint8_t>& bytes, const std::string& file) {
    if (bytes.size() < kFixedHeaderSize)
        throwCorrupt(file, "file is " + std::to_string(bytes.size()) +
                               " bytes, too short for a Paradox header");
    Header h;
    parseFixedPart(bytes.data(), h);
    validateFixedPart(h, bytes.size(), file);
    if (h.hasExtension()) parseExtension(bytes.data(), h);

    const std::uint16_t numFields = getLe16(bytes.data() + at::kNumFields);
    if (numFields == 0 || numFields > kMaxFields)
        throwCorrupt(file, "field count " + std::to_string(numFields) + " is out of range 1..255");
    if (h.primaryKeyFields > numFields)
        throwCorrupt(file, "key field count " + std::to_string(h.primaryKeyFields) +
                               " exceeds the field count " + std::to_string(numFields));

    HeaderReader r(bytes, h.headerSize, file);
    r.seek(h.hasExtension() ? kExtendedHeaderSize : kFixedHeaderSize);
    const std::uint8_t* info = r.take(2u * numFields, "field descriptions");
    for (std::size_t i = 0; i < numFields; ++i) {
        FieldInfo f{info[2 * i], info[2 * i + 1]};
        validateField(f, i, file);
        h.fields.push_back(f);
    }
    // Tree files (.PX, .Ynn) add block number, count and a spare short to each key.
    const std::size_t expected = recordSizeOf(h.fields) + (h.hasFieldNames() ? 0 : 6);
    if (expected != h.recordSize)
        throwCorrupt(file, "record size " + std::to_string(h.recordSize) +
                               " does not match the fields, which need " +
                               std::to_string(expected) + " bytes");
    r.take(4, "table name pointer");
    if (h.hasFieldNames()) r.take(4u * numFields, "field name pointers");
    const std::uint8_t* name = r.take(h.tableNameLength(), "table name");
    h.tableName.assign(reinterpret_cast<const char*>(name),
                       std::find(name, name + h.tableNameLength(), 0) - name);
    if (!h.hasFieldNames()) return h;

    for (std::size_t i = 0; i < numFields; ++i) h.fieldNames.push_back(r.cString("field name"));
    if (!h.hasExtension()) return h;

    seekToPointer(r, getLe16(bytes.data() + at::kFieldNumbersOffset), r.pos());
    const std::uint8_t* numbers = r.take(2u * numFields, "field numbers");
    for (std::size_t i = 0; i < numFields; ++i) h.fieldNumbers.push_back(getLe16(numbers + 2 * i));
    seekToPointer(r, getLe16(bytes.data() + at::kSortOrderNameOffset), r.pos());
    h.sortOrderName = r.cString("sort order name");
    const std::uint16_t indexNamePtr = getLe16(bytes.data() + at::kIndexNameOffset);
    if (indexNamePtr != 0) {
        r.seek(kFixedHeaderSize + indexNamePtr);
        h.indexName = r.cString("index name");
    }
    return h;
}

Header readHeader(File& file) {
    const std::uint64_t size = file.size();
    std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<std::uint64_t>(size, 4)));
    if (head.size() < 4) throwCorrupt(file.path(), "file is too short for a Paradox header");
    file.readAt(0, head.data(), head.size());
    const std::uint64_t headerSize =
        std::max<std::uint64_t>(getLe16(head.data() + at::kHeaderSize), kFixedHeaderSize);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(size, headerSize)));
    file.readAt(0, bytes.data(), bytes.size());
    return parseHeader(bytes, file.path());
}

namespace {

class HeaderWriter {
  public:
    void bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
    }
    void zeros(std::size_t n) { out_.insert(out_.end(), n, 0); }
    void u16(std::uint16_t v) {
        std::uint8_t b[2];
        putLe16(b, v);
        bytes(b, 2);
    }
    void cString(const std::string& s) {
        bytes(s.data(), s.size());
        zeros(1);
    }
    std::size_t pos() const { return out_.size(); }
    std::vector<std::uint8_t>& data() { return out_; }

  private:
    std::vector<std::uint8_t> out_;
};

void writeFixedPart(std::uint8_t* p, const Header& h, std::uint16_t realHeaderSize) {
    putLe16(p + at::kRecordSize, h.recordSize);
    putLe16(p + at::kHeaderSize, h.headerSize);
    p[at::kFileType] = static_cast<std::uint8_t>(h.fileType);
    p[at::kMaxTableSize] = h.blockSizeKb;
    putLe32(p + at::kNumRecords, h.numRecords);
    putLe16(p + at::kBlocksInUse, h.blocksInUse);
    putLe16(p + at::kFileBlocks, h.fileBlocks);
    putLe16(p + at::kFirstBlock, h.firstBlock);
    putLe16(p + at::kLastBlock, h.lastBlock);
    putLe16(p + at::kUnknown12, h.unknown12);
    p[at::kModifiedFlags1] = h.modifiedFlags1;
    p[at::kIndexFieldNumber] = h.indexFieldNumber;
    putLe16(p + at::kIndexRoot, h.indexRoot);
    p[at::kNumIndexLevels] = h.indexLevels;
    putLe16(p + at::kNumFields, static_cast<std::uint16_t>(h.fields.size()));
    putLe16(p + at::kPrimaryKeyFields, h.primaryKeyFields);
    // Level 4+ data and X files keep the real value at 0x5C and a constant here.
    putLe32(p + at::kEncryption1, h.hasExtension() ? kEncryptedMarker : h.encryption);
    p[at::kSortOrder] = h.sortOrder;
    p[at::kModifiedFlags2] = h.modifiedFlags2;
    p[at::kIndexFlags] = h.indexFlags;
    p[at::kIndexMarker] = h.byte2C;
    p[at::kChangeCount1] = h.changeCount1;
    p[at::kChangeCount2] = h.changeCount2;
    p[at::kPrimaryIndexMarker] = h.byte2F;
    p[at::kWriteProtected] = h.writeProtected;
    p[at::kFileVersionId] = h.version;
    putLe16(p + at::kMaxBlocks, h.maxBlocks);
    p[at::kAuxPasswords] = h.auxPasswords;
    if (h.hasFieldNames() && h.encryption == 0) putLe16(p + at::kWord3E, kMagic3E);
    putLe32(p + at::kAutoInc, h.autoInc);
    putLe16(p + at::kFirstFreeBlock, h.firstFreeBlock);
    putLe16(p + at::kRealHeaderSize, realHeaderSize);
    p[at::kRefIntegrity] = h.refIntegrity;
    if (h.hasExtension()) p[at::kByte56] = 0x20;
}

struct ExtensionOffsets {
    std::size_t fieldNumbers = 0;
    std::size_t sortOrderName = 0;
    std::size_t indexName = 0;
};

void writeExtension(std::uint8_t* p, const Header& h, const ExtensionOffsets& at) {
    putLe16(p + at::kVersionWord, static_cast<std::uint16_t>(0x0100 + h.version));
    putLe16(p + at::kVersionWordCopy, static_cast<std::uint16_t>(0x0100 + h.version));
    putLe32(p + at::kEncryption2, h.encryption);
    putLe32(p + at::kUpdateTime, h.updateTime);
    // At least one past the highest field number (X files name table fields beyond their own
    // count); a data file keeps the next field ID it had.
    std::size_t highest = h.fields.size();
    for (auto n : h.fieldNumbers) highest = std::max<std::size_t>(highest, n & 0x7FFF);
    putLe16(p + at::kNextFieldNumber,
            static_cast<std::uint16_t>(std::max<std::size_t>(highest + 1, h.nextFieldNumber)));
    putLe16(p + at::kFieldNumbersOffset,
            static_cast<std::uint16_t>(at.fieldNumbers - kFixedHeaderSize));
    putLe16(p + at::kIndexNameOffset,
            static_cast<std::uint16_t>(at.indexName ? at.indexName - kFixedHeaderSize : 0));
    putLe16(p + at::kCodePage, h.codePage);
    p[at::kByte6C] = h.byte6C;
    p[at::kByte6D] = 1;
    putLe16(p + at::kSortOrderNameOffset,
            static_cast<std::uint16_t>(at.sortOrderName - kFixedHeaderSize));
    putLe16(p + at::kChangeCount4, h.changeCount4);
    p[at::kByte74] = h.byte74;
}

}  // namespace

std::vector<std::uint8_t> serializeHeader(Header& h) {
    HeaderWriter w;
    w.zeros(h.hasExtension() ? kExtendedHeaderSize : kFixedHeaderSize);
    for (const auto& f : h.fields) {
        w.bytes(&f.type, 1);
        w.bytes(&f.size, 1);
    }
    w.zeros(4);  // table name pointer
    if (h.hasFieldNames()) w.zeros(4 * h.fields.size());
    std::string name = h.tableName.substr(0, h.tableNameLength() - 1);
    name.resize(h.tableNameLength(), '\0');
    w.bytes(name.data(), name.size());

    ExtensionOffsets at;
    if (h.hasFieldNames())
        for (const auto& n : h.fieldNames) w.cString(n);
    if (h.hasExtension()) {
        at.fieldNumbers = w.pos();
        for (auto n : h.fieldNumbers) w.u16(n);
        at.sortOrderName = w.pos();
        w.cString(h.sortOrderName);
        if (!h.indexName.empty()) {
            at.indexName = w.pos();
            w.cString(h.indexName);
        }
    }
    const std::size_t used = w.pos();
    if (h.version == kVersion30) {
        h.headerSize = static_cast<std::uint16_t>(used);
    } else {
        const std::size_t rounded = (used + kHeaderGranule - 1) / kHeaderGranule * kHeaderGranule;
        h.headerSize = static_cast<std::uint16_t>(std::max<std::size_t>(h.headerSize, rounded));
    }
    auto& out = w.data();
    out.resize(h.headerSize, 0);
    writeFixedPart(out.data(), h, h.version == kVersion30 ? 0 : static_cast<std::uint16_t>(used));
    if (h.hasExtension()) writeExtension(out.data(), h, at);
    return out;
}

}  // namespace kx4::paradox

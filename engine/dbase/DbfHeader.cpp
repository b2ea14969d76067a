#include "engine/dbase/DbfHeader.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/TextCodec.h"
#include "engine/dbase/ByteOrder.h"

namespace kx4::dbase {

namespace {

// Main header, levels III/IV/7 (little-endian):
//   0 version byte | 1 update date Y-1900, M, D | 4 record count (4) | 8 header length (2)
//   10 record length (2) | 14 transaction flag | 15 encryption flag | 28 table flags (bit 0:
//   production .MDX) | 29 language driver ID | level 7 only: 32 driver name (32) | 64 reserved (4)
constexpr std::size_t kMainHeaderSize = 32;
constexpr std::size_t kVersionOffset = 0;
constexpr std::size_t kUpdateDateOffset = 1;  // year - 1900, month, day
constexpr std::size_t kRecordCountOffset = 4;
constexpr std::size_t kHeaderLengthOffset = 8;
constexpr std::size_t kRecordLengthOffset = 10;
constexpr std::size_t kEncryptionFlagOffset = 15;
constexpr std::size_t kTableFlagsOffset = 28;
constexpr std::size_t kLanguageDriverIdOffset = 29;
constexpr std::uint8_t kProductionMdxFlag = 0x01;
constexpr std::size_t kLevel7HeaderSize = 68;
constexpr std::size_t kDriverNameOffset = 32;
constexpr std::size_t kDriverNameSize = 32;
constexpr std::uint8_t kHeaderTerminator = 0x0D;

// 32-byte descriptor: 0 name (11) | 11 type | 12 FoxPro: offset in record (4) | 16 length |
//   17 decimals | 18 FoxPro flags | 19 FoxPro auto-increment next (4) | 31 production-tag flag
constexpr std::size_t kDescriptorSize = 32;
constexpr std::size_t kNameSize = 11;
constexpr std::size_t kTypeOffset = 11;
constexpr std::size_t kLengthOffset = 16;
constexpr std::size_t kDecimalsOffset = 17;
constexpr std::size_t kFoxProAutoIncOffset = 19;
constexpr std::size_t kProductionTagOffset = 31;
// 48-byte level-7 descriptor: 0 name (32) | 32 type | 33 length | 34 decimals |
//   37 production-tag flag | 42 next auto-increment value (4)
constexpr std::size_t kLevel7DescriptorSize = 48;
constexpr std::size_t kLevel7NameSize = 32;
constexpr std::size_t kLevel7TypeOffset = 32;
constexpr std::size_t kLevel7LengthOffset = 33;
constexpr std::size_t kLevel7DecimalsOffset = 34;
constexpr std::size_t kLevel7ProductionTagOffset = 37;
constexpr std::size_t kLevel7AutoIncOffset = 42;

constexpr std::size_t kMaxFields = 1024;

[[noreturn]] void headerError(const std::string& file, const std::string& what) {
    throwEngineError(DBIERR_HEADERCORRUPT, "Corrupt header in " + file + ": " + what);
}

bool knownType(char t) { return std::strchr("CNFDLMBGI+O@YTVQWP0", t) != nullptr && t != 0; }

std::string decodeName(const std::uint8_t* p, std::size_t max, const TextCodec* codec) {
    std::size_t n = 0;
    while (n < max && p[n] != 0) ++n;
    std::string raw(reinterpret_cast<const char*>(p), n);
    while (!raw.empty() && raw.back() == ' ') raw.pop_back();
    return codec ? codec->toUtf8(raw) : raw;
}

// Fixed sizes of the binary types; a descriptor that disagrees cannot be decoded.
int fixedLength(char type, DbfLevel level) {
    switch (type) {
        case 'I':
        case '+':
            return 4;
        case 'O':
        case '@':
        case 'Y':
        case 'T':
            return 8;
        case 'L':
            return 1;
        case 'B':
            return level == DbfLevel::FoxPro ? 8 : 10;
        default:
            return -1;
    }
}

DbfField parseDescriptor(const std::uint8_t* d, DbfLevel level, const TextCodec* codec) {
    DbfField f;
    if (level == DbfLevel::Seven) {
        f.name = decodeName(d, kLevel7NameSize, codec);
        f.type = static_cast<char>(d[kLevel7TypeOffset]);
        f.length = d[kLevel7LengthOffset];
        f.decimals = d[kLevel7DecimalsOffset];
        f.productionTag = d[kLevel7ProductionTagOffset] != 0;
        f.autoIncNext = getLe32(d + kLevel7AutoIncOffset);
        return f;
    }
    f.name = decodeName(d, kNameSize, codec);
    f.type = static_cast<char>(d[kTypeOffset]);
    f.length = d[kLengthOffset];
    f.decimals = d[kDecimalsOffset];
    f.productionTag = d[kProductionTagOffset] != 0;
    if (level == DbfLevel::FoxPro) f.autoIncNext = getLe32(d + kFoxProAutoIncOffset);
    f.system = f.type == '0';
    // Clipper and FoxPro keep the high byte of long character fields in the decimals byte.
    if (f.type == 'C' && f.decimals != 0) {
        f.length |= f.decimals << 8;
        f.decimals = 0;
    }
    return f;
}

void checkField(const DbfField& f, DbfLevel level, const std::string& file) {
    if (!knownType(f.type))
        headerError(file, "field " + f.name + " has the unknown type byte " +
                              std::to_string(static_cast<unsigned char>(f.type)));
    const int fixed = fixedLength(f.type, level);
    if (fixed > 0 && f.length != fixed)
        headerError(file, "field " + f.name + " of type " + std::string(1, f.type) + " is " +
                              std::to_string(f.length) + " bytes long, expected " +
                              std::to_string(fixed));
    if ((f.type == 'M' || f.type == 'G' || (f.type == 'B' && level != DbfLevel::FoxPro)) &&
        f.length != 10 && f.length != 4)
        headerError(file, "memo field " + f.name + " is " + std::to_string(f.length) +
                              " bytes long, expected 10");
}

}  // namespace

DbfLevel levelOfVersion(std::uint8_t version, const std::string& fileName) {
    switch (version) {
        case 0x03:
        case 0x83:
            return DbfLevel::III;
        case 0x8B:
        case 0x43:
        case 0x63:
        case 0xCB:
            return DbfLevel::IV;
        case 0x04:
        case 0x8C:
            return DbfLevel::Seven;
        case 0x30:
        case 0x31:
        case 0x32:
        case 0xF5:
        case 0xFB:
            return DbfLevel::FoxPro;
        case 0x02:
            throwEngineError(DBIERR_NOTSUPPORTED,
                             "Cannot open " + fileName + ": dBase II tables are not supported");
        default:
            headerError(fileName, "unknown version byte " + std::to_string(version));
    }
}

void peekLanguage(File& file, std::uint8_t& version, std::uint8_t& ldid, std::string& driverName) {
    std::uint8_t head[kLevel7HeaderSize] = {};
    const std::size_t got = file.readSomeAt(0, head, sizeof head);
    if (got < kMainHeaderSize) headerError(file.path(), "the file is shorter than a header");
    version = head[kVersionOffset];
    ldid = head[kLanguageDriverIdOffset];
    driverName.clear();
    if (levelOfVersion(version, file.path()) == DbfLevel::Seven && got >= kLevel7HeaderSize)
        driverName = decodeName(head + kDriverNameOffset, kDriverNameSize, nullptr);
}

DbfHeader readDbfHeader(File& file, const TextCodec* codec) {
    const std::string& path = file.path();
    std::uint8_t head[kMainHeaderSize];
    if (file.readSomeAt(0, head, sizeof head) < sizeof head)
        headerError(path, "the file is shorter than a header");

    DbfHeader h;
    h.version = head[kVersionOffset];
    h.level = levelOfVersion(h.version, path);
    h.updateYear = 1900 + head[kUpdateDateOffset];
    h.updateMonth = head[kUpdateDateOffset + 1];
    h.updateDay = head[kUpdateDateOffset + 2];
    h.recordCount = getLe32(head + kRecordCountOffset);
    h.headerLength = getLe16(head + kHeaderLengthOffset);
    h.recordLength = getLe16(head + kRecordLengthOffset);
    h.hasProductionMdx = (head[kTableFlagsOffset] & kProductionMdxFlag) != 0;
    h.ldid = head[kLanguageDriverIdOffset];
    if (h.level != DbfLevel::FoxPro && head[kEncryptionFlagOffset] == 1)
        throwEngineError(DBIERR_NOTSUPPORTED, "Cannot open " + path + ": the table is encrypted");

    const bool seven = h.level == DbfLevel::Seven;
    const std::size_t descStart = seven ? kLevel7HeaderSize : kMainHeaderSize;
    const std::size_t descSize = seven ? kLevel7DescriptorSize : kDescriptorSize;
    if (h.headerLength < descStart)
        headerError(path, "header length " + std::to_string(h.headerLength) + " is too small");
    if (h.recordLength < 1) headerError(path, "record length is 0");

    std::vector<std::uint8_t> bytes(h.headerLength);
    if (file.readSomeAt(0, bytes.data(), bytes.size()) < bytes.size())
        headerError(path,
                    "the file ends inside its " + std::to_string(h.headerLength) + "-byte header");
    if (seven)
        h.driverName = decodeName(bytes.data() + kDriverNameOffset, kDriverNameSize, nullptr);

    std::size_t pos = descStart;
    h.terminatorMissing = true;
    while (pos < bytes.size()) {
        if (bytes[pos] == kHeaderTerminator) {
            h.terminatorMissing = false;
            break;
        }
        if (pos + descSize > bytes.size()) break;
        if (h.fields.size() == kMaxFields) headerError(path, "more than 1024 fields");
        h.fields.push_back(parseDescriptor(bytes.data() + pos, h.level, codec));
        pos += descSize;
    }

    // 0x03 is the version byte of dBase IV tables without memo fields as well: a production
    // index or a field type of dBase IV says which level the table has.
    if (h.version == 0x03 &&
        (h.hasProductionMdx || std::any_of(h.fields.begin(), h.fields.end(), [](const auto& f) {
             return f.type == 'F' || f.type == 'B' || f.type == 'G';
         })))
        h.level = DbfLevel::IV;
    int offset = 1;
    for (auto& f : h.fields) {
        checkField(f, h.level, path);
        f.offset = offset;
        offset += f.length;
    }
    // Some writers store a record length one short of the fields; the file size tells.
    const std::uint64_t needed =
        h.headerLength + static_cast<std::uint64_t>(h.recordCount) * offset;
    if (offset > h.recordLength && h.recordCount > 0 && file.size() >= needed &&
        file.size() <= needed + 1) {
        h.recordLength = static_cast<std::uint16_t>(offset);
        h.recordLengthRepaired = true;
    }
    if (offset > h.recordLength)
        headerError(path, "the fields need " + std::to_string(offset) + " bytes but a record has " +
                              std::to_string(h.recordLength));
    return h;
}

void layoutFields(DbfHeader& h) {
    int offset = 1;
    for (auto& f : h.fields) {
        f.offset = offset;
        offset += f.length;
    }
    h.recordLength = static_cast<std::uint16_t>(offset);
    const bool seven = h.level == DbfLevel::Seven;
    const std::size_t size = (seven ? kLevel7HeaderSize : kMainHeaderSize) +
                             h.fields.size() * (seven ? kLevel7DescriptorSize : kDescriptorSize) +
                             1;
    h.headerLength = static_cast<std::uint16_t>(size);
}

std::vector<std::uint8_t> encodeDbfHeader(const DbfHeader& h, const TextCodec& codec) {
    std::vector<std::uint8_t> out(h.headerLength, 0);
    out[kVersionOffset] = h.version;
    out[kUpdateDateOffset] = static_cast<std::uint8_t>(std::clamp(h.updateYear - 1900, 0, 255));
    out[kUpdateDateOffset + 1] = static_cast<std::uint8_t>(h.updateMonth);
    out[kUpdateDateOffset + 2] = static_cast<std::uint8_t>(h.updateDay);
    putLe32(out.data() + kRecordCountOffset, h.recordCount);
    putLe16(out.data() + kHeaderLengthOffset, h.headerLength);
    putLe16(out.data() + kRecordLengthOffset, h.recordLength);
    out[kTableFlagsOffset] = h.hasProductionMdx ? kProductionMdxFlag : 0;
    const bool seven = h.level == DbfLevel::Seven;
    out[kLanguageDriverIdOffset] = seven ? 0 : h.ldid;
    if (seven) {
        const std::string& name = h.driverName;
        std::memcpy(out.data() + kDriverNameOffset, name.data(),
                    std::min(name.size(), kDriverNameSize - 1));
    }
    std::size_t pos = seven ? kLevel7HeaderSize : kMainHeaderSize;
    for (const auto& f : h.fields) {
        const std::string name = codec.fromUtf8(f.name);
        std::uint8_t* d = out.data() + pos;
        if (seven) {
            std::memcpy(d, name.data(), std::min(name.size(), kLevel7NameSize - 1));
            d[kLevel7TypeOffset] = static_cast<std::uint8_t>(f.type);
            d[kLevel7LengthOffset] = static_cast<std::uint8_t>(f.length);
            d[kLevel7DecimalsOffset] = static_cast<std::uint8_t>(f.decimals);
            d[kLevel7ProductionTagOffset] = f.productionTag ? 1 : 0;
            if (f.type == '+') putLe32(d + kLevel7AutoIncOffset, f.autoIncNext);
            pos += kLevel7DescriptorSize;
        } else {
            std::memcpy(d, name.data(), std::min(name.size(), kNameSize - 1));
            d[kTypeOffset] = static_cast<std::uint8_t>(f.type);
            d[kLengthOffset] = static_cast<std::uint8_t>(f.length);
            d[kDecimalsOffset] = static_cast<std::uint8_t>(f.decimals);
            d[kProductionTagOffset] = f.productionTag ? 1 : 0;
            pos += kDescriptorSize;
        }
    }
    out[pos] = kHeaderTerminator;
    return out;
}

}  // namespace kx4::dbase

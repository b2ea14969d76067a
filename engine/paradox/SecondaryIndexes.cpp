#include "engine/paradox/SecondaryIndexes.h"

#include <algorithm>
#include <cctype>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/TableFormat.h"
#include "engine/core/TextCodec.h"
#include "engine/paradox/DataBlocks.h"
#include "engine/paradox/FieldCodec.h"
#include "engine/paradox/FieldTypes.h"
#include "engine/paradox/SortOrder.h"

namespace kx4::paradox {

namespace {

constexpr std::uint16_t kDescendingBit = 0x8000;
// Blocks of an X file read to tell the original's case-insensitive indexes from this
// engine's earlier case-sensitive ones, which set 0x55 bit 0 too.
constexpr int kBlocksToCrossCheck = 64;

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool maintained(FileType t) {
    return t == FileType::SecondaryIndexMaintained || t == FileType::CompositeIndexMaintained;
}

bool isIndexType(FileType t) {
    return t == FileType::SecondaryIndex || t == FileType::SecondaryIndexMaintained ||
           t == FileType::CompositeIndex || t == FileType::CompositeIndexMaintained;
}

// Table field numbers (1-based) of the indexed fields. The X record holds the indexed fields,
// then either the table's key fields and a block number (maintained indexes) or three
// position fields (indexes of unkeyed tables).
std::vector<int> indexedFields(const Header& x, const Header& table, const std::string& path) {
    const std::size_t trailing = maintained(x.fileType) ? table.primaryKeyFields + 1u : 3u;
    if (x.fields.size() <= trailing)
        throwCorrupt(path, "index file has " + std::to_string(x.fields.size()) +
                               " fields, too few for an index of this table");
    const std::size_t count = x.fields.size() - trailing;
    std::vector<int> numbers;
    for (std::size_t i = 0; i < count; ++i) {
        int number = 0;
        if (i < x.fieldNumbers.size())
            number = x.fieldNumbers[i] & ~kDescendingBit;
        else if (i == 0)
            number = x.indexFieldNumber;
        if (number < 1 || number > static_cast<int>(table.fields.size()))
            throwCorrupt(path, "index field " + std::to_string(i + 1) + " refers to field number " +
                                   std::to_string(number) + ", which the table does not have");
        if (x.fields[i] != table.fields[number - 1])
            throwCorrupt(path, "index field " + std::to_string(i + 1) +
                                   " does not match the type of table field " +
                                   std::to_string(number));
        numbers.push_back(number);
    }
    return numbers;
}

bool descending(const Header& x) {
    if (x.refIntegrity & kIndexDescendingBit) return true;
    return !x.fieldNumbers.empty() && (x.fieldNumbers[0] & kDescendingBit);
}

// Whether the text keys of the first entries are all in capitals, as the original stores those
// of a case-insensitive index.
bool keysInCapitals(File& file, const Header& x, std::size_t indexed, const TextCodec& codec) {
    std::vector<std::pair<std::size_t, std::size_t>> texts;  // offset, size
    std::size_t offset = 0;
    for (std::size_t i = 0; i < indexed; ++i) {
        if (x.fields[i].type == pxAlpha) texts.emplace_back(offset, x.fields[i].size);
        offset += storedSize(x.fields[i]);
    }
    if (texts.empty()) return true;
    const CaseFolder upper(codec);
    BlockChain chain(file, x);
    DataBlock block;
    for (int n = 0; n < kBlocksToCrossCheck && chain.next(block); ++n)
        for (std::size_t r = 0; r < block.records; ++r)
            for (const auto& [at, size] : texts)
                if (!upper.isUpper(block.record(r, x.recordSize) + at, size)) return false;
    return true;
}

bool caseInsensitive(const SecondaryIndexFile& ix, std::size_t indexed, const TextCodec& codec,
                     FileSystem& fs) {
    if (ix.header.indexFlags & kIndexCaseInsensitive) return true;  // this engine's former mark
    if (!(ix.header.refIntegrity & kIndexCaseInsensitiveBit)) return false;
    try {
        auto file = fs.open(ix.path, OpenMode::Read);
        return keysInCapitals(*file, ix.header, indexed, codec);
    } catch (const EDBEngineError&) {
        return true;  // unreadable entries: check() reports them
    }
}

IndexDef definitionOf(const SecondaryIndexFile& ix, const std::vector<std::string>& fields,
                      const TextCodec& codec, FileSystem& fs) {
    IndexDef def;
    def.fields = joinFieldList(fields);
    def.name = ix.header.indexName.empty()
                   ? (ix.suffix[1] == 'G' || fields.empty() ? def.fields : fields[0])
                   : codec.toUtf8(ix.header.indexName);
    if (def.name.empty()) def.name = ix.suffix;
    if (!maintained(ix.header.fileType)) def.options.add(IndexOption::ixNonMaintained);
    if (descending(ix.header)) def.options.add(IndexOption::ixDescending);
    if (isIndexType(ix.header.fileType) && caseInsensitive(ix, fields.size(), codec, fs))
        def.options.add(IndexOption::ixCaseInsensitive);
    if (ix.header.indexFlags & kIndexUnique) def.options.add(IndexOption::ixUnique);
    def.tagName = ix.suffix;
    return def;
}

// The fields an index that no longer fits the table was built over, by the names its header
// repeats; empty when one of them is gone.
std::vector<std::string> fieldsByName(const Header& x, const Header& table,
                                      const std::vector<std::string>& names,
                                      const TextCodec& codec) {
    const std::size_t trailing = maintained(x.fileType) ? table.primaryKeyFields + 1u : 3u;
    std::vector<std::string> fields;
    for (std::size_t i = 0; i + trailing < x.fieldNames.size(); ++i) {
        const std::string name = codec.toUtf8(x.fieldNames[i]);
        const auto it = std::find_if(names.begin(), names.end(),
                                     [&](const std::string& n) { return sameName(n, name); });
        if (it == names.end()) return {};
        fields.push_back(*it);
    }
    return fields;
}

// A single-field file names its field by number in its suffix ("X06").
std::vector<std::string> fieldBySuffix(const std::string& suffix,
                                       const std::vector<std::string>& names) {
    if (suffix[1] == 'G') return {};
    const auto number = std::stoul(suffix.substr(1), nullptr, 16);
    if (number < 1 || number > names.size()) return {};
    return {names[number - 1]};
}

SecondaryIndexFile readIndexFile(const std::string& path, const std::string& suffix,
                                 const Header& table, const std::vector<std::string>& names,
                                 const TextCodec& codec, FileSystem& fs) {
    SecondaryIndexFile ix{path, suffix, {}, {}};
    try {
        auto file = fs.open(path, OpenMode::Read);
        ix.header = readHeader(*file);
    } catch (const EDBEngineError& e) {
        ix.definition = definitionOf(ix, fieldBySuffix(suffix, names), codec, fs);
        ix.definition.fault = "damaged: " + std::string(e.what());
        return ix;
    }
    if (!isIndexType(ix.header.fileType)) {
        ix.definition = definitionOf(ix, fieldBySuffix(suffix, names), codec, fs);
        ix.definition.fault = "damaged: file type " +
                              std::to_string(static_cast<int>(ix.header.fileType)) +
                              " is not a secondary index";
        return ix;
    }
    try {
        std::vector<std::string> fields;
        for (int n : indexedFields(ix.header, table, path)) fields.push_back(names[n - 1]);
        ix.definition = definitionOf(ix, fields, codec, fs);
    } catch (const EDBEngineError& e) {
        // Written for an earlier layout of the table: its entries cannot be used, but its
        // field names tell what to rebuild it over.
        ix.definition = definitionOf(ix, fieldsByName(ix.header, table, names, codec), codec, fs);
        ix.definition.fault = "out of date: " + std::string(e.what());
        return ix;
    }
    if (maintained(ix.header.fileType) && ix.header.numRecords != table.numRecords)
        ix.definition.fault = "out of date: it holds " + std::to_string(ix.header.numRecords) +
                              " entries, the table has " + std::to_string(table.numRecords) +
                              " records";
    return ix;
}

}  // namespace

std::string secondaryIndexSuffix(const std::string& extension) {
    std::string e = toUpperAscii(extension);
    if (!e.empty() && e[0] == '.') e.erase(0, 1);
    if (e.size() == 3 && e[0] == 'X' && e[1] == 'G' && isHex(e[2])) return e;
    if (e.size() == 3 && e[0] == 'X' && isHex(e[1]) && isHex(e[2])) return e;
    return {};
}

std::vector<SecondaryIndexFile> findSecondaryIndexes(const std::string& tableFile,
                                                     const Header& table,
                                                     const std::vector<std::string>& names,
                                                     const TextCodec& codec, FileSystem& fs) {
    const std::string dir = directoryOf(tableFile);
    std::vector<SecondaryIndexFile> found;
    for (const auto& name : ownSiblings(TablePath{dir, fileNameOf(tableFile)}, fs)) {
        const std::string suffix = secondaryIndexSuffix(extensionOf(name));
        if (suffix.empty()) continue;
        found.push_back(readIndexFile(joinPath(dir, name), suffix, table, names, codec, fs));
    }
    // Single-field files (X06) before composite ones (XG0), each by number.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        const bool ga = a.suffix[1] == 'G', gb = b.suffix[1] == 'G';
        return ga != gb ? gb : a.suffix < b.suffix;
    });
    return found;
}

}  // namespace kx4::paradox

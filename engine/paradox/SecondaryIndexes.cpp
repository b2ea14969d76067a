#include "SecondaryIndexes.h"

#include <algorithm>
#include <cctype>

#include "Errors.h"
#include "FileSystem.h"
#include "TableFormat.h"
#include "TextCodec.h"

namespace kx4::paradox {

namespace {

constexpr std::uint16_t kDescendingBit = 0x8000;
constexpr std::uint8_t kDescendingMarker = 0x11;

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
    if (x.refIntegrity == kDescendingMarker) return true;
    return !x.fieldNumbers.empty() && (x.fieldNumbers[0] & kDescendingBit);
}

SecondaryIndexFile readIndexFile(const std::string& path, const std::string& suffix,
                                 const Header& table, const std::vector<std::string>& names,
                                 const TextCodec& codec) {
    auto file = fileSystem().open(path, OpenMode::Read);
    SecondaryIndexFile ix{path, suffix, readHeader(*file), {}};
    if (!isIndexType(ix.header.fileType))
        throwCorrupt(path, "file type " + std::to_string(static_cast<int>(ix.header.fileType)) +
                               " is not a secondary index");
    std::vector<std::string> fields;
    for (int n : indexedFields(ix.header, table, path)) fields.push_back(names[n - 1]);
    IndexDef& def = ix.definition;
    def.fields = joinFieldList(fields);
    def.name = ix.header.indexName.empty() ? (suffix[1] == 'G' ? def.fields : fields[0])
                                           : codec.toUtf8(ix.header.indexName);
    if (!maintained(ix.header.fileType)) def.options.add(IndexOption::ixNonMaintained);
    if (descending(ix.header)) def.options.add(IndexOption::ixDescending);
    if (ix.header.indexFlags & kIndexCaseInsensitive)
        def.options.add(IndexOption::ixCaseInsensitive);
    if (ix.header.indexFlags & kIndexUnique) def.options.add(IndexOption::ixUnique);
    def.tagName = suffix;
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
                                                     const TextCodec& codec) {
    const std::string dir = directoryOf(tableFile);
    std::vector<SecondaryIndexFile> found;
    for (const auto& name : ownSiblings(TablePath{dir, fileNameOf(tableFile)})) {
        const std::string suffix = secondaryIndexSuffix(extensionOf(name));
        if (suffix.empty()) continue;
        found.push_back(readIndexFile(joinPath(dir, name), suffix, table, names, codec));
    }
    // Single-field files (X06) before composite ones (XG0), each by number.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        const bool ga = a.suffix[1] == 'G', gb = b.suffix[1] == 'G';
        return ga != gb ? gb : a.suffix < b.suffix;
    });
    return found;
}

}  // namespace kx4::paradox

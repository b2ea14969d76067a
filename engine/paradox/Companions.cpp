#include "engine/paradox/Companions.h"

#include <algorithm>
#include <cctype>

#include "engine/core/FileSystem.h"
#include "engine/paradox/SecondaryIndexes.h"

namespace kx4::paradox {

namespace {

// Files only the interactive product uses (view settings, family list, forms and reports);
// they go with the table when it is replaced but are never rewritten.
constexpr const char* kProductFiles[] = {".VAL", ".TV", ".TVF", ".FAM", ".SET"};
constexpr const char* kDerivedFiles[] = {".PX", ".MB"};

bool isLowerCase(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](unsigned char c) { return std::islower(c); });
}

bool contains(const char* const* begin, const char* const* end, const std::string& ext) {
    return std::find_if(begin, end, [&](const char* e) { return ext == e; }) != end;
}

}  // namespace

std::string companionPath(const TablePath& table, const std::string& ext, FileSystem& fs) {
    for (const auto& name : ownSiblings(table, fs))
        if (toUpperAscii(extensionOf(name)) == toUpperAscii(ext))
            return joinPath(table.directory, name);
    return newCompanionPath(table, ext);
}

std::string newCompanionPath(const TablePath& table, const std::string& ext) {
    std::string wanted = ext;
    if (isLowerCase(extensionOf(table.fileName)))
        std::transform(wanted.begin(), wanted.end(), wanted.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return joinPath(table.directory, stemOf(table.fileName) + wanted);
}

bool companionExists(const TablePath& table, const std::string& ext, FileSystem& fs) {
    return fs.exists(companionPath(table, ext, fs));
}

bool isCompanionName(const TablePath& table, const std::string& fileName) {
    if (toUpperAscii(stemOf(fileName)) != toUpperAscii(stemOf(table.fileName))) return false;
    const std::string ext = toUpperAscii(extensionOf(fileName));
    std::string treeExt = ext;
    if (ext.size() > 1 && ext[1] == 'Y') treeExt[1] = 'X';
    return contains(std::begin(kDerivedFiles), std::end(kDerivedFiles), ext) ||
           contains(std::begin(kProductFiles), std::end(kProductFiles), ext) ||
           !secondaryIndexSuffix(treeExt).empty();
}

std::vector<std::string> tableFiles(const TablePath& table, bool derivedOnly, FileSystem& fs) {
    std::vector<std::string> files;
    if (fs.exists(table.full())) files.push_back(table.full());
    for (const auto& name : ownSiblings(table, fs)) {
        const std::string path = joinPath(table.directory, name);
        if (path == table.full()) continue;
        const std::string ext = toUpperAscii(extensionOf(name));
        std::string treeExt = ext;
        if (ext.size() > 1 && ext[1] == 'Y') treeExt[1] = 'X';  // .Ynn/.YGn go with their X file
        const bool derived = contains(std::begin(kDerivedFiles), std::end(kDerivedFiles), ext) ||
                             !secondaryIndexSuffix(treeExt).empty();
        const bool product = contains(std::begin(kProductFiles), std::end(kProductFiles), ext);
        if (derived || (product && !derivedOnly)) files.push_back(path);
    }
    return files;
}

}  // namespace kx4::paradox

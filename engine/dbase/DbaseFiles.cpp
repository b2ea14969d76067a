#include "DbaseFiles.h"

#include <cctype>

#include "Errors.h"

namespace kx4::dbase {

std::string findCompanion(const TablePath& table, const std::string& extension) {
    const std::string stem = toUpperAscii(stemOf(table.fileName));
    const std::string ext = toUpperAscii(extension);
    for (const auto& name :
         fileSystem().listDirectory(table.directory.empty() ? "." : table.directory))
        if (toUpperAscii(stemOf(name)) == stem && toUpperAscii(extensionOf(name)) == ext)
            return joinPath(table.directory, name);
    return {};
}

std::string companionPath(const TablePath& table, const std::string& extension) {
    std::string existing = findCompanion(table, extension);
    if (!existing.empty()) return existing;
    const std::string dataExt = extensionOf(table.fileName);
    const bool lower = dataExt.size() > 1 && dataExt[1] >= 'a' && dataExt[1] <= 'z';
    std::string ext = extension;
    if (lower)
        for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return joinPath(table.directory, stemOf(table.fileName) + ext);
}

}  // namespace kx4::dbase

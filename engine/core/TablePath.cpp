#include <algorithm>

#include "engine/core/FileSystem.h"
#include "engine/core/TableFormat.h"

namespace kx4 {

std::string TablePath::full() const { return joinPath(directory, fileName); }

std::vector<std::string> ownSiblings(const TablePath& table, FileSystem& fs) {
    const std::string dir = table.directory.empty() ? "." : table.directory;
    if (!fs.exists(dir)) return {};
    const std::string stem = stemOf(table.fileName);
    const std::string upperStem = toUpperAscii(stem);
    const std::string upperExt = toUpperAscii(extensionOf(table.fileName));
    std::vector<std::string> names;
    bool rivalTable = false;
    for (auto& name : fs.listDirectory(dir)) {
        if (toUpperAscii(stemOf(name)) != upperStem) continue;
        rivalTable =
            rivalTable || (stemOf(name) != stem && toUpperAscii(extensionOf(name)) == upperExt);
        names.push_back(std::move(name));
    }
    if (rivalTable)
        std::erase_if(names, [&](const std::string& name) { return stemOf(name) != stem; });
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace kx4

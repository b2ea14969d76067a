#include "engine/dbase/DbaseFiles.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "engine/core/Errors.h"

namespace kx4::dbase {

std::string findCompanion(const TablePath& table, const std::string& extension, FileSystem& fs) {
    const std::string ext = toUpperAscii(extension);
    for (const auto& name : ownSiblings(table, fs))
        if (toUpperAscii(extensionOf(name)) == ext) return joinPath(table.directory, name);
    return {};
}

std::string companionPath(const TablePath& table, const std::string& extension, FileSystem& fs) {
    std::string existing = findCompanion(table, extension, fs);
    if (!existing.empty()) return existing;
    const std::string dataExt = extensionOf(table.fileName);
    const bool lower = dataExt.size() > 1 && dataExt[1] >= 'a' && dataExt[1] <= 'z';
    std::string ext = extension;
    if (lower)
        for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return joinPath(table.directory, stemOf(table.fileName) + ext);
}

bool isCompanionName(const TablePath& table, const std::string& fileName) {
    if (toUpperAscii(stemOf(fileName)) != toUpperAscii(stemOf(table.fileName))) return false;
    const std::string ext = toUpperAscii(extensionOf(fileName));
    return ext == ".DBT" || ext == ".MDX" || ext == ".FPT" || ext == ".CDX";
}

void forEachRecord(File& data, const DbfHeader& header, std::uint32_t count,
                   const std::function<void(const std::uint8_t* raw, std::uint32_t n)>& visit) {
    constexpr std::size_t kChunkBytes = 256 * 1024;
    const std::size_t length = header.recordLength;
    const auto perChunk =
        static_cast<std::uint32_t>(std::max<std::size_t>(kChunkBytes / length, 1));
    std::vector<std::uint8_t> chunk;
    for (std::uint64_t first = 1; first <= count; first += perChunk) {
        const auto n =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(perChunk, count - first + 1));
        chunk.resize(std::size_t{n} * length);
        data.readAt(header.headerLength + (first - 1) * length, chunk.data(), chunk.size());
        for (std::uint32_t i = 0; i < n; ++i)
            visit(chunk.data() + i * length, static_cast<std::uint32_t>(first + i));
    }
}

}  // namespace kx4::dbase

#include "engine/dbase/NdxFile.h"

#include "engine/core/Errors.h"
#include "engine/dbase/ByteOrder.h"

namespace kx4::dbase {

namespace {

// Header (page 0, 512 bytes): 0 root page (4) | 4 pages in the file (4) | 12 key length (2)
//   14 keys per node (2) | 16 key type: 0 character, 1 number or date (2) | 18 item length (2)
//   23 unique flag | 24 key expression, NUL-terminated
// Node (512 bytes): 0 key count (4) | items: left child page (4), record number (4), key |
//   interior nodes: one more child page after the last item
constexpr std::size_t kPage = 512;
constexpr std::size_t kRootPageAt = 0;
constexpr std::size_t kKeyLengthAt = 12;
constexpr std::size_t kKeysPerNodeAt = 14;
constexpr std::size_t kKeyTypeAt = 16;
constexpr std::size_t kItemLengthAt = 18;
constexpr std::size_t kUniqueFlagAt = 23;
constexpr std::size_t kExpressionAt = 24;
constexpr int kMaxDepth = 40;

}  // namespace

NdxFile::NdxFile(std::unique_ptr<File> file) : file_(std::move(file)) {
    std::uint8_t h[kPage] = {};
    if (file_->readSomeAt(0, h, sizeof h) < kExpressionAt) corrupt("the header is incomplete");
    root_ = getLe32(h + kRootPageAt);
    pages_ = static_cast<std::uint32_t>(file_->size() / kPage);
    keyLength_ = getLe16(h + kKeyLengthAt);
    maxKeys_ = getLe16(h + kKeysPerNodeAt);
    numeric_ = getLe16(h + kKeyTypeAt) != 0;
    itemLength_ = getLe16(h + kItemLengthAt);
    unique_ = h[kUniqueFlagAt] != 0;
    std::size_t n = kExpressionAt;
    while (n < kPage && h[n] != 0) ++n;
    expression_.assign(reinterpret_cast<const char*>(h + kExpressionAt), n - kExpressionAt);
    while (!expression_.empty() && expression_.back() == ' ') expression_.pop_back();
    if (keyLength_ < 1 || itemLength_ < keyLength_ + 8 || maxKeys_ < 1 ||
        static_cast<std::size_t>(maxKeys_) * itemLength_ + 8 > kPage)
        corrupt("inconsistent key sizes (key " + std::to_string(keyLength_) + ", item " +
                std::to_string(itemLength_) + ", " + std::to_string(maxKeys_) + " per node)");
}

void NdxFile::corrupt(const std::string& what) const {
    throwEngineError(DBIERR_INDEXCORRUPT, "Corrupt index file " + path() + ": " + what);
}

void NdxFile::collect(std::uint32_t page, int depth, std::vector<std::uint32_t>& out,
                      std::vector<bool>& visited) {
    if (depth > kMaxDepth)
        corrupt("the tree is deeper than " + std::to_string(kMaxDepth) + " levels");
    if (page == 0 || page >= pages_)
        corrupt("page " + std::to_string(page) + " lies outside the file");
    if (visited[page]) corrupt("page " + std::to_string(page) + " is reached twice");
    visited[page] = true;
    std::uint8_t node[kPage];
    file_->readAt(static_cast<std::uint64_t>(page) * kPage, node, sizeof node);
    const std::uint32_t n = getLe32(node);
    if (n > static_cast<std::uint32_t>(maxKeys_))
        corrupt("page " + std::to_string(page) + " claims " + std::to_string(n) + " keys");
    const auto item = static_cast<std::size_t>(itemLength_);
    bool interior = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint8_t* p = node + 4 + i * item;
        const std::uint32_t child = getLe32(p);
        if (child != 0) {
            interior = true;
            collect(child, depth + 1, out, visited);
        } else {
            out.push_back(getLe32(p + 4));
        }
    }
    const std::size_t lastAt = 4 + n * item;
    if (interior && lastAt + 4 <= kPage) {
        const std::uint32_t last = getLe32(node + lastAt);
        if (last != 0) collect(last, depth + 1, out, visited);
    }
}

std::vector<std::uint32_t> NdxFile::recordOrder() {
    std::vector<std::uint32_t> out;
    std::vector<bool> visited(pages_, false);
    collect(root_, 0, out, visited);
    return out;
}

}  // namespace kx4::dbase

#include "engine/core/TableSchema.h"

#include "engine/core/Utf8.h"

namespace kx4 {

namespace {

char32_t foldCase(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;  // Latin-1 lower-case letters
    return c;
}

}  // namespace

bool sameName(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (foldCase(nextCodePoint(a, i)) != foldCase(nextCodePoint(b, j))) return false;
    }
    return i == a.size() && j == b.size();
}

int TableSchema::fieldIndex(const std::string& name) const {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (sameName(fields[i].name, name)) return static_cast<int>(i);
    return -1;
}

IndexDef indexOn(std::string name, std::string fields, TIndexOptions options) {
    IndexDef index;
    index.name = std::move(name);
    index.fields = std::move(fields);
    index.options = options;
    return index;
}

std::vector<std::string> splitFieldList(const std::string& list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = list.find(';', start);
        const std::string part = list.substr(start, end == std::string::npos ? end : end - start);
        if (!part.empty()) names.push_back(part);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return names;
}

std::string joinFieldList(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) {
        if (!out.empty()) out += ';';
        out += n;
    }
    return out;
}

}  // namespace kx4

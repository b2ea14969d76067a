#include "tests/engine/paradox/ParadoxTestSupport.h"

#include <cmath>
#include <cstdio>

#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"

namespace kx4::test {

TablePath tablePath(const std::string& fullPath) {
    return TablePath{directoryOf(fullPath), fileNameOf(fullPath)};
}

std::unique_ptr<TableFile> openParadox(const std::string& path, bool exclusive,
                                       PasswordSource* passwords, FileSystem& fs) {
    return paradoxFormat().open(tablePath(path), OpenOptions{exclusive, passwords, 0, fs});
}

std::vector<Record> readAll(TableFile& table) {
    std::vector<Record> records;
    auto cursor = table.scan();
    Record r;
    while (cursor->next(r)) records.push_back(r);
    return records;
}

void writeParadox(const std::string& path, const TableSchema& schema,
                  const std::vector<Record>& records, std::shared_ptr<const FormatProperties> like,
                  FileSystem& fs) {
    FileTransaction tx(fs, path);
    auto builder = paradoxFormat().build(tablePath(path), schema, std::move(like), tx);
    for (const auto& r : records) builder->append(r);
    builder->finish();
    tx.commit();
}

IndexDef primaryKey(const std::string& fields) {
    return indexOn("", fields, TIndexOptions(IndexOption::ixPrimary).add(IndexOption::ixUnique));
}

FieldDef field(const std::string& name, TFieldType type, int size) {
    FieldDef f;
    f.name = name;
    f.type = type;
    f.size = size;
    return f;
}

Blob pictureBlob(int kind, const Bytes& payload) {
    Bytes out = {1, 0, 0, static_cast<std::uint8_t>(kind)};
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(payload.size() >> 8 * i));
    out.insert(out.end(), payload.begin(), payload.end());
    return Blob{out};
}

std::string canonicalDecimal(std::string text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.erase(0, 1);
    }
    text.erase(0, std::min(text.find_first_not_of('0'), text.size()));
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0') text.pop_back();
        if (!text.empty() && text.back() == '.') text.pop_back();
    }
    if (text.empty() || text[0] == '.') text = "0" + text;
    return negative && text != "0" ? "-" + text : text;
}

std::string canonical(const FieldValue& v) {
    char buf[64];
    if (const auto* d = std::get_if<double>(&v)) {
        std::snprintf(buf, sizeof buf, "%.17g", *d);
        return buf;
    }
    if (const auto* t = std::get_if<Timestamp>(&v)) return std::to_string(t->msec);
    if (const auto* d = std::get_if<Date>(&v)) return "day " + std::to_string(d->day);
    if (const auto* t = std::get_if<Time>(&v)) return "ms " + std::to_string(t->msec);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? "1" : "0";
    if (const auto* d = std::get_if<Decimal>(&v)) return canonicalDecimal(d->text);
    return formatValue(v);
}

}  // namespace kx4::test

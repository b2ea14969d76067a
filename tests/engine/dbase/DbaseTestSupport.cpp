#include "tests/engine/dbase/DbaseTestSupport.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "engine/core/FieldType.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/dbase/DbaseTable.h"

namespace kx4::test {

TablePath tablePathOf(const std::string& fullPath) {
    return TablePath{directoryOf(fullPath), fileNameOf(fullPath)};
}

std::unique_ptr<TableFile> openDbase(const std::string& fullPath, bool exclusive) {
    OpenOptions options;
    options.exclusive = exclusive;
    return dbaseFormat().open(tablePathOf(fullPath), options);
}

std::vector<Record> readAll(RecordCursor& cursor) {
    std::vector<Record> out;
    Record r;
    while (cursor.next(r)) out.push_back(r);
    return out;
}

void buildDbase(const std::string& fullPath, const TableSchema& schema,
                const std::vector<Record>& records, std::shared_ptr<const FormatProperties> like) {
    FileTransaction tx(defaultFileSystem(), fullPath);
    auto builder = dbaseFormat().build(tablePathOf(fullPath), schema, std::move(like), tx);
    for (const auto& r : records) builder->append(r);
    builder->finish();
    tx.commit();
}

void packDbase(const std::string& fullPath) {
    auto table = openDbase(fullPath, true);
    const auto records = readAll(*table->scan());
    FileTransaction tx(defaultFileSystem(), fullPath);
    auto builder = dbaseFormat().build(table->path(), table->schema(), table->properties(), tx);
    for (const auto& r : records) builder->append(r);
    builder->finish();
    tx.commit();
}

FieldDef dbField(const std::string& name, std::uint16_t physicalType, int size, int decimals) {
    FieldDef f;
    f.name = name;
    f.physicalType = physicalType;
    f.size = size;
    f.decimals = decimals;
    return f;
}

namespace {

std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string hex(const Bytes& b) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (auto c : b) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

}  // namespace

std::string dumpValue(const FieldValue& v) {
    if (isBlank(v)) return "~";
    if (auto* b = std::get_if<bool>(&v)) return *b ? "B:T" : "B:F";
    if (auto* i = std::get_if<std::int64_t>(&v)) return "N:" + std::to_string(*i);
    if (auto* d = std::get_if<double>(&v)) {
        char buf[64];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *d);
        return "N:" + std::string(buf, end);
    }
    if (auto* s = std::get_if<std::string>(&v)) return "S:" + escape(*s);
    if (auto* blob = std::get_if<Blob>(&v)) return "X:" + hex(blob->data);
    if (auto* bytes = std::get_if<Bytes>(&v)) return "X:" + hex(*bytes);
    if (std::holds_alternative<Date>(v)) return "D:" + formatValue(v);
    if (std::holds_alternative<Timestamp>(v)) return "T:" + formatValue(v);
    return "?" + formatValue(v);
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::vector<std::vector<std::string>> dbfreadRecords(const std::string& path, int codePage,
                                                     bool withDeleted) {
    const std::string script = std::string(KX4_SOURCE_DIR) + "/tests/engine/dbase/dbfread_dump.py";
    std::string out;
    const int rc = runCommand(std::string(KX4_DEBIAN_PYTHON) + " " + shellQuote(script) + " " +
                                  shellQuote(path) + " cp" + std::to_string(codePage) +
                                  (withDeleted ? " all" : "") + " 2>&1",
                              out);
    EXPECT_EQ(rc, 0) << out;
    std::vector<std::vector<std::string>> records;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("UNSUPPORTED")) return {{line}};
        if (line == "R" || line == "D") {
            records.emplace_back();
            if (withDeleted) records.back().push_back(line == "D" ? "*" : " ");
        } else if (!records.empty())
            records.back().push_back(line);
    }
    return records;
}

bool sameDumpedValue(const std::string& ours, const std::string& theirs) {
    if (ours == theirs) return true;
    // The engine reports an all-blank text as a blank value, dbfread as "".
    if (ours == "~" && theirs == "S:") return true;
    // Memos stored with a C string's NUL: the engine drops it.
    if (theirs.starts_with("S:") && theirs.find_last_not_of('\0') + 1 < theirs.size()) {
        const std::string trimmed = theirs.substr(0, theirs.find_last_not_of('\0') + 1);
        return sameDumpedValue(ours, trimmed == "S:" ? "~" : trimmed);
    }
    if (ours.rfind("N:", 0) != 0 || theirs.rfind("N:", 0) != 0) return false;
    double a = 0, b = 0;
    std::from_chars(ours.data() + 2, ours.data() + ours.size(), a);
    std::from_chars(theirs.data() + 2, theirs.data() + theirs.size(), b);
    return a == b;
}

void setByte(const std::string& path, std::uint64_t offset, std::uint8_t value) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.put(static_cast<char>(value));
}

void markDeleted(const std::string& path, std::uint32_t n) {
    const auto bytes = readFileBytes(path);
    const auto le16 = [&](std::size_t at) {
        return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1])
                                                           << 8;
    };
    setByte(path, le16(8) + std::uint64_t{n - 1} * le16(10), '*');
}

TableSchema peopleSchema() {
    TableSchema s;
    s.fields = {dbField("ID", fldDBNUM, 6, 0), dbField("NAME", fldDBCHAR, 50),
                dbField("BORN", fldDBDATE), dbField("SCORE", fldDBNUM, 10, 2),
                dbField("NOTES", fldDBMEMO)};
    TIndexOptions unique(IndexOption::ixUnique), caseless(IndexOption::ixCaseInsensitive),
        descending(IndexOption::ixDescending);
    s.indexes = {indexOn("NAME", "NAME"),
                 indexOn("BORN", "BORN"),
                 indexOn("SCORE", "SCORE"),
                 indexOn("UNAME", "NAME", caseless),
                 indexOn("NAMEBORN", "NAME;BORN"),
                 indexOn("USCORE", "SCORE", unique),
                 indexOn("DSCORE", "SCORE", descending)};
    return s;
}

Record person(std::int64_t id, std::mt19937& rng) {
    static const char* names[] = {"müller", "Meier", "abel",  "Zorn",
                                  "meier",  "Ölke",  "baker", "Abel"};
    const std::string name = std::string(names[rng() % 8]) + std::to_string(rng() % 40);
    const double score = static_cast<double>(static_cast<int>(rng() % 20000) - 10000) / 4;
    return {id, name,
            dateFromYmd(1900 + static_cast<int>(rng() % 200), 1 + static_cast<int>(rng() % 12), 1),
            score,
            id % 3 == 0 ? FieldValue(std::string("memo of ") + std::to_string(id))
                        : FieldValue(Blank{})};
}

// Every entry of every tag, in index order.
std::vector<std::vector<dbase::IndexEntry>> allTagEntries(const std::string& path) {
    auto table = openDbase(path);
    dbase::MdxFile& mdx = *dynamic_cast<dbase::DbaseTable&>(*table).mdx();
    std::vector<std::vector<dbase::IndexEntry>> out;
    for (const auto& tag : mdx.tags()) out.push_back(mdx.entries(tag));
    return out;
}

}  // namespace kx4::test

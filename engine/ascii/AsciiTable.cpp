#include "engine/ascii/AsciiTable.h"

#include <numeric>

#include "engine/ascii/AsciiProperties.h"
#include "engine/ascii/TextLines.h"
#include "engine/ascii/TextValues.h"
#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/TableLock.h"

namespace kx4::ascii {

namespace {

constexpr char kEndOfFile = '\x1A';
constexpr std::size_t kMaxCheckLines = 100;

class LineCursor : public RecordCursor {
  public:
    explicit LineCursor(const AsciiTable& table) : table_(table) {}
    bool next(Record& out) override {
        if (next_ >= table_.lines().size()) return false;
        out = table_.decodeLine(table_.lines()[next_], next_ + 1);
        ++next_;
        return true;
    }

  private:
    const AsciiTable& table_;
    std::size_t next_ = 0;
};

}  // namespace

std::string schemaPathFor(const TablePath& table, FileSystem& fs) {
    for (const auto& name : ownSiblings(table, fs))
        if (toUpperAscii(extensionOf(name)) == ".SCH") return joinPath(table.directory, name);
    return {};
}

bool isSchemaName(const TablePath& table, const std::string& fileName) {
    return toUpperAscii(stemOf(fileName)) == toUpperAscii(stemOf(table.fileName)) &&
           toUpperAscii(extensionOf(fileName)) == ".SCH";
}

std::unique_ptr<AsciiTable> AsciiTable::open(FileSystem& fs, const TablePath& path,
                                             bool exclusive) {
    std::unique_ptr<AsciiTable> t(new AsciiTable);
    t->path_ = path;
    t->fullPath_ = joinPath(path.directory, path.fileName);
    t->exclusive_ = exclusive;
    t->fs_ = &fs;
    t->file_ = openLockedTable(fs, t->fullPath_, exclusive, [&path](const std::string& name) {
        return isSchemaName(path, name);
    });
    const std::string schemaPath = schemaPathFor(path, fs);
    if (schemaPath.empty())
        throwEngineError(DBIERR_NOSUCHFILE, "Text table " + t->fullPath_ + " has no schema file (" +
                                                stemOf(path.fileName) + ".SCH)");
    auto schemaFile = fs.open(schemaPath, OpenMode::Read);
    const auto bytes = readWholeFile(*schemaFile, 1 << 20);
    t->text_ = parseSchema(std::string(bytes.begin(), bytes.end()), schemaPath);
    // Text tables are written back in their schema's CHARSET, so a setting does not apply.
    const int named = t->text_.charset.empty() ? 0 : codePageOfCharset(t->text_.charset);
    const auto [codePage, origin] = codePageOrSetting(named, 0, codePageOfCharset(""));
    t->codec_ = std::make_unique<TextCodec>(codePage);
    t->codePageOrigin_ = origin;
    for (auto& f : t->text_.fields) {
        f.name = t->codec_->toUtf8(f.name);
        t->schema_.fields.push_back(fieldDefOf(f));
    }
    t->readLines();
    return t;
}

void AsciiTable::readLines() {
    const auto bytes = readWholeFile(*file_, kMaxTextTableSize);
    std::size_t pos = 0, number = 0;
    while (pos < bytes.size()) {
        std::size_t end = pos;
        while (end < bytes.size() && bytes[end] != '\n') ++end;
        std::string line(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                         bytes.begin() + static_cast<std::ptrdiff_t>(end));
        pos = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() == 1 && line[0] == kEndOfFile) break;
        if (line.empty()) continue;
        lines_.push_back(std::move(line));
        lineNumbers_.push_back(number);
    }
}

Record AsciiTable::decodeLine(const std::string& line, std::size_t n) const {
    const std::size_t lineNumber = n - 1 < lineNumbers_.size() ? lineNumbers_[n - 1] : n;
    const auto where = [&] { return "line " + std::to_string(lineNumber); };
    const auto texts = splitLine(text_, line);
    if (!texts)
        throwCorrupt(fullPath_, where() + " does not match the " +
                                    (text_.fixed ? "FIXED" : "VARYING") + " layout");
    Record out;
    for (std::size_t i = 0; i < text_.fields.size(); ++i) {
        const TextField& f = text_.fields[i];
        const std::string text =
            f.type == TextType::Char ? codec_->toUtf8((*texts)[i]) : (*texts)[i];
        auto value = parseText(f, text);
        if (!value)
            throwCorrupt(fullPath_, where() + ", field " + f.name + ": '" + text +
                                        "' is not a valid " + typeName(f.type));
        out.push_back(std::move(*value));
    }
    return out;
}

TableInfo AsciiTable::info() const {
    TableInfo i;
    i.driverName = "ASCIIDRV";
    i.seqNums = -1;  // neither sequence numbers nor record numbers: a text table cannot be packed
    i.version = 0;
    i.codePage = codec_->codePage();
    i.codePageOrigin = codePageOrigin_;
    i.recordCount = lines_.size();
    int size = 0;
    for (const auto& f : text_.fields) size += f.width;
    i.recordSize = size;
    return i;
}

std::shared_ptr<const FormatProperties> AsciiTable::properties() const {
    auto p = std::make_shared<AsciiProperties>();
    p->fixed = text_.fixed;
    p->delimiter = text_.delimiter;
    p->separator = text_.separator;
    p->charset = text_.charset;
    return p;
}

std::unique_ptr<RecordCursor> AsciiTable::scan() { return std::make_unique<LineCursor>(*this); }

std::unique_ptr<RecordCursor> AsciiTable::scanIndex(const std::string& indexName) {
    if (indexName.empty()) return scan();
    throwEngineError(DBIERR_NOTSUPPORTED,
                     "Indexes are not supported for text tables (" + fullPath_ + ")");
}

namespace {

// The table's lines are in memory already: a position is an index into them.
class LineReader final : public RecordReader {
  public:
    explicit LineReader(const AsciiTable& table) : table_(table) {}
    std::uint64_t count() const override { return table_.lines().size(); }
    bool read(std::uint64_t position, Record& out) override {
        if (position == 0 || position > count())
            throwEngineError(DBIERR_EOF, "Table " + table_.path().full() + " has no record " +
                                             std::to_string(position));
        out = table_.decodeLine(table_.lines()[position - 1], position);
        return true;
    }

  private:
    const AsciiTable& table_;
};

}  // namespace

std::unique_ptr<RecordReader> AsciiTable::readByPosition() {
    return std::make_unique<LineReader>(*this);
}

std::vector<std::uint32_t> AsciiTable::indexPositions(const std::string& indexName) {
    scanIndex(indexName);  // raises for any index but the physical order
    std::vector<std::uint32_t> order(lines_.size());
    std::iota(order.begin(), order.end(), 1u);
    return order;
}

std::string encodeRecordLine(const TextSchema& schema, const TextCodec& codec,
                             const Record& record) {
    if (record.size() != schema.fields.size())
        throwEngineError(DBIERR_INVALIDPARAM, "A record needs " +
                                                  std::to_string(schema.fields.size()) +
                                                  " values, not " + std::to_string(record.size()));
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < record.size(); ++i) {
        const TextField& f = schema.fields[i];
        std::string text = formatText(f, record[i]);
        if (f.type == TextType::Char) {
            try {
                text = codec.fromUtf8(text);
            } catch (const EDBEngineError& e) {
                throwEngineError(e.errorCode(), "Field " + f.name + ": " + e.what());
            }
        }
        if (static_cast<int>(text.size()) > f.width)
            throwEngineError(DBIERR_DATATOOLONG, "Value does not fit field " + f.name + ": " +
                                                     std::to_string(text.size()) +
                                                     " characters, the field holds " +
                                                     std::to_string(f.width));
        texts.push_back(std::move(text));
    }
    return joinLine(schema, texts);
}

void AsciiTable::appendRecord(const Record& record) {
    if (!exclusive_)
        throwEngineError(DBIERR_NOTSUFFTABLERIGHTS,
                         "Cannot append to " + fullPath_ + ": the table is not open exclusively");
    if (!text_.fixed)
        throwEngineError(DBIERR_NOTSUPPORTED,
                         "Cannot append to " + fullPath_ + ": VARYING text tables are read only");
    const std::string line = encodeRecordLine(text_, *codec_, record);
    // Append behind the last line; an end-of-file mark or a missing final line end is repaired.
    std::uint64_t at = file_->size();
    std::string out;
    if (at > 0) {
        char last = 0;
        file_->readAt(at - 1, &last, 1);
        if (last == kEndOfFile) {
            --at;
            if (at > 0) file_->readAt(at - 1, &last, 1);
        }
        if (at > 0 && last != '\n') out = "\r\n";
    }
    out += line + "\r\n";
    file_->writeAt(at, out.data(), out.size());
    file_->truncate(at + out.size());
    lines_.push_back(line);
    lineNumbers_.push_back(lineNumbers_.empty() ? 1 : lineNumbers_.back() + 1);
}

std::vector<std::string> AsciiTable::check() {
    std::vector<std::string> problems;
    for (std::size_t i = 0; i < lines_.size() && problems.size() < kMaxCheckLines; ++i) {
        try {
            decodeLine(lines_[i], i + 1);
        } catch (const EDBEngineError& e) {
            problems.push_back(e.what());
        }
    }
    return problems;
}

}  // namespace kx4::ascii

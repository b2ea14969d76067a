#include "engine/dbase/DbaseTable.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <numeric>

#include "engine/core/Errors.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/TableLock.h"
#include "engine/dbase/ByteOrder.h"
#include "engine/dbase/DbaseFiles.h"
#include "engine/dbase/FieldCodec.h"
#include "engine/dbase/KeyExpression.h"
#include "engine/dbase/LanguageDriver.h"
#include "engine/dbase/NdxFile.h"
#include "engine/dbase/RecordEncoder.h"
#include "engine/dbase/TagDefinition.h"

namespace kx4::dbase {

namespace {

constexpr std::size_t kChunkBytes = 256 * 1024;
constexpr std::size_t kMaxCheckLines = 100;
// Header bytes patched by an append: 1 update date (3) | 4 record count (4); level 7 keeps the
// next auto-increment value at byte 42 of each 48-byte descriptor starting at 68.
constexpr std::size_t kDateAt = 1;
constexpr std::size_t kCountAt = 4;
constexpr std::size_t kLevel7Descriptors = 68;
constexpr std::size_t kLevel7DescriptorSize = 48;
constexpr std::size_t kLevel7AutoIncAt = 42;

int levelNumber(DbfLevel level) {
    switch (level) {
        case DbfLevel::III:
            return 3;
        case DbfLevel::IV:
            return 4;
        case DbfLevel::Seven:
            return 7;
        case DbfLevel::FoxPro:
            return 25;
    }
    return 0;
}

// The code page the header names by its language driver; 0 for none or an unknown one.
int namedCodePage(const DbfHeader& h) {
    const int cp = h.level == DbfLevel::Seven ? codePageOfDriverName(h.driverName) : 0;
    return cp != 0 ? cp : codePageOfLdid(h.ldid);
}

class DbaseCursor : public RecordCursor {
  public:
    // Physical order when `order` is empty.
    DbaseCursor(DbaseTable& table, std::vector<std::uint32_t> order, bool physical)
        : table_(table), order_(std::move(order)), physical_(physical) {}

    bool next(Record& out) override {
        for (;;) {
            std::uint32_t n;
            if (physical_) {
                if (next_ > table_.storedRecords()) return finished();
                n = next_++;
            } else {
                if (pos_ >= order_.size()) return finished();
                n = order_[pos_++];
                // A stale entry, or one of the records the file lacks (reported at the end).
                if (n == 0 || n > table_.storedRecords()) continue;
            }
            const std::vector<std::uint8_t> raw = read(n);
            if (raw[0] == kRecordDeleted) continue;
            out = table_.decode(raw, n);
            return true;
        }
    }

  private:
    // A table whose file lacks records it counts must not read as complete.
    bool finished() const {
        table_.requireCountedRecords();
        return false;
    }

    std::vector<std::uint8_t> read(std::uint32_t n) {
        if (!physical_) return table_.readRaw(n);
        const std::size_t length = table_.header().recordLength;
        if (n < chunkFirst_ || n >= chunkFirst_ + chunkCount_) {
            const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::uint64_t>(
                std::max<std::size_t>(kChunkBytes / length, 1), table_.storedRecords() - n + 1));
            chunk_.resize(count * length);
            table_.dataFile().readAt(table_.header().headerLength + (n - 1ull) * length,
                                     chunk_.data(), chunk_.size());
            chunkFirst_ = n;
            chunkCount_ = count;
        }
        const auto at = chunk_.begin() + static_cast<std::ptrdiff_t>((n - chunkFirst_) * length);
        return std::vector<std::uint8_t>(at, at + static_cast<std::ptrdiff_t>(length));
    }

    DbaseTable& table_;
    std::vector<std::uint32_t> order_;
    bool physical_;
    std::uint32_t next_ = 1;
    std::size_t pos_ = 0;
    std::vector<std::uint8_t> chunk_;
    std::uint32_t chunkFirst_ = 0;
    std::uint32_t chunkCount_ = 0;
};

// Set when the file holds the counted records at the length of the fields but not at the
// header's record length: then the header's word is wrong and no record can be trusted.
std::string wrongRecordLength(const DbfHeader& h, std::uint64_t room) {
    if (h.fields.empty()) return {};
    const std::uint64_t fieldsLength = h.fields.back().offset + h.fields.back().length;
    if (fieldsLength == h.recordLength || room / h.recordLength >= h.recordCount ||
        room / fieldsLength < h.recordCount)
        return {};
    return "the header's record length is " + std::to_string(h.recordLength) +
           " bytes, but its fields take " + std::to_string(fieldsLength) +
           " and the file holds its " + std::to_string(h.recordCount) + " records at that length";
}

}  // namespace

std::unique_ptr<DbaseTable> DbaseTable::open(FileSystem& fs, const TablePath& path, bool exclusive,
                                             int codePageSetting) {
    std::unique_ptr<DbaseTable> t(new DbaseTable);
    t->path_ = path;
    t->fullPath_ = joinPath(path.directory, path.fileName);
    t->exclusive_ = exclusive;
    t->fs_ = &fs;
    t->file_ = openLockedTable(fs, t->fullPath_, exclusive, [&path](const std::string& name) {
        return isCompanionName(path, name);
    });

    std::uint8_t version = 0, ldid = 0;
    std::string driver;
    peekLanguage(*t->file_, version, ldid, driver);
    DbfHeader probe;
    probe.level = levelOfVersion(version, t->fullPath_);
    probe.ldid = ldid;
    probe.driverName = driver;
    const auto [codePage, origin] =
        codePageOrSetting(namedCodePage(probe), codePageSetting, kDefaultCodePage);
    t->codec_ = std::make_unique<TextCodec>(codePage);
    t->codePageOrigin_ = origin;
    t->header_ = readDbfHeader(*t->file_, t->codec_.get());

    const std::uint64_t size = t->file_->size();
    const std::uint64_t room = size > t->header_.headerLength ? size - t->header_.headerLength : 0;
    const std::uint64_t available = room / t->header_.recordLength;
    t->stored_ =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(t->header_.recordCount, available));
    // A file may hold more than the header counts: an end marker, or what some writers leave.
    t->headerDisagreement_ = wrongRecordLength(t->header_, room);
    if (!t->headerDisagreement_.empty())
        t->stored_ = 0;
    else if (t->stored_ < t->header_.recordCount)
        t->headerDisagreement_ = "the header counts " + std::to_string(t->header_.recordCount) +
                                 " records of " + std::to_string(t->header_.recordLength) +
                                 " bytes, but the file holds only " + std::to_string(t->stored_);
    if (!t->headerDisagreement_.empty()) t->openProblems_.push_back(t->headerDisagreement_);
    if (t->header_.recordLengthRepaired)
        t->openProblems_.push_back("the header's record length is shorter than the fields");
    if (t->header_.terminatorMissing)
        t->openProblems_.push_back("the header has no end marker (0x0D)");
    t->openCompanions();
    t->buildSchema();
    return t;
}

DbaseTable::~DbaseTable() = default;

std::uint64_t DbaseTable::countLiveRecords() const {
    std::uint64_t live = 0;
    const std::size_t length = header_.recordLength;
    const std::uint32_t perChunk =
        static_cast<std::uint32_t>(std::max<std::size_t>(kChunkBytes / length, 1));
    std::vector<std::uint8_t> chunk;
    for (std::uint32_t first = 1; first <= stored_; first += perChunk) {
        const std::uint32_t count = std::min(perChunk, stored_ - first + 1);
        chunk.resize(count * length);
        file_->readAt(header_.headerLength + (first - 1ull) * length, chunk.data(), chunk.size());
        for (std::uint32_t i = 0; i < count; ++i)
            if (chunk[i * length] != kRecordDeleted) ++live;
    }
    return live;
}

void DbaseTable::openCompanions() {
    const OpenMode mode = exclusive_ ? OpenMode::ReadWrite : OpenMode::Read;
    const DbfLevel level = header_.level;
    bool hasMemoFields = false;
    for (const auto& f : header_.fields) hasMemoFields = hasMemoFields || isMemoField(f, level);
    if (hasMemoFields) {
        const bool fox = level == DbfLevel::FoxPro;
        const std::string memoPath = findCompanion(path_, fox ? ".FPT" : ".DBT", *fs_);
        // The records stay readable without it, up to the first memo; every change is refused.
        if (memoPath.empty()) {
            memoProblem_ = "the memo file " + companionPath(path_, fox ? ".FPT" : ".DBT", *fs_) +
                           " is missing";
        } else {
            const MemoKind kind = fox                      ? MemoKind::Fpt
                                  : level == DbfLevel::III ? MemoKind::DbtIII
                                                           : MemoKind::DbtIV;
            try {
                memo_ = std::make_unique<MemoFile>(fs_->open(memoPath, fox ? OpenMode::Read : mode),
                                                   kind);
            } catch (const EDBEngineError& e) {
                if (e.errorCode() != DBIERR_BLOBCORRUPT) throw;
                memoProblem_ = e.what();
            }
        }
        if (!memoProblem_.empty()) openProblems_.push_back(memoProblem_);
    }
    if (level == DbfLevel::FoxPro) return;  // .CDX indexes are not read
    const std::string mdxPath = findCompanion(path_, ".MDX", *fs_);
    if (!mdxPath.empty() && header_.hasProductionMdx) {
        try {
            mdx_ = std::make_unique<MdxFile>(fs_->open(mdxPath, mode));
        } catch (const EDBEngineError& e) {
            // A layout we cannot read (level-7 tag tables) still lets the data be read; writes
            // are refused so that the index is never left behind the data.
            if (e.errorCode() != DBIERR_NOTSUPPORTED) throw;
            indexUnreadable_ = e.what();
            openProblems_.push_back(e.what());
        }
    } else if (header_.hasProductionMdx)
        openProblems_.push_back("the production index (.MDX) is missing");
}

void DbaseTable::buildSchema() {
    for (std::size_t i = 0; i < header_.fields.size(); ++i) {
        if (header_.fields[i].system) continue;
        schema_.fields.push_back(fieldDefOf(header_.fields[i], header_.level));
        visibleFields_.push_back(static_cast<int>(i));
    }
    if (mdx_)
        for (const auto& tag : mdx_->tags())
            schema_.indexes.push_back(indexDefOf(tag, header_.fields));
}

TableInfo DbaseTable::info() const {
    TableInfo i;
    i.driverName = "DBASE";
    i.seqNums = 0;
    i.version = levelNumber(header_.level);
    i.codePage = codec_->codePage();
    i.codePageOrigin = codePageOrigin_;
    i.encrypted = false;
    if (!liveRecords_) liveRecords_ = countLiveRecords();
    i.recordCount = *liveRecords_;
    i.recordSize = header_.recordLength;
    return i;
}

std::shared_ptr<const FormatProperties> DbaseTable::properties() const {
    auto p = std::make_shared<DbaseProperties>();
    p->level = header_.level;
    p->version = header_.version;
    p->codePage = codec_->codePage();
    if (codePageOrigin_ != CodePageOrigin::Table) {
        // A rewrite must not make the table name a code page it never named.
        p->ldid = header_.ldid;
        p->driverName = header_.driverName;
    } else {
        p->ldid =
            header_.level == DbfLevel::Seven ? ldidForCodePage(codec_->codePage()) : header_.ldid;
        if (p->ldid == 0) p->ldid = ldidForCodePage(codec_->codePage());
        p->driverName = header_.driverName.empty() ? driverNameForCodePage(codec_->codePage())
                                                   : header_.driverName;
    }
    if (memo_ && memo_->kind() == MemoKind::DbtIV) p->memoBlockSize = memo_->blockSize();
    p->indexUnreadable = indexUnreadable_;
    p->memoUnreadable = memoProblem_;
    p->headerDisagreement = headerDisagreement_;
    for (const auto& f : header_.fields)
        if (f.type == '+') p->autoIncNext[toUpperAscii(f.name)] = f.autoIncNext;
    return p;
}

std::vector<std::uint8_t> DbaseTable::readRaw(std::uint32_t n) {
    std::vector<std::uint8_t> raw(header_.recordLength);
    file_->readAt(header_.headerLength + (n - 1ull) * header_.recordLength, raw.data(), raw.size());
    return raw;
}

Record DbaseTable::decode(const std::vector<std::uint8_t>& raw, std::uint32_t n) {
    const DecodeContext ctx{*codec_, header_.level, memo_.get(), fullPath_, n, memoProblem_};
    Record out;
    out.reserve(visibleFields_.size());
    for (int i : visibleFields_)
        out.push_back(decodeField(header_.fields[static_cast<std::size_t>(i)], raw.data(), ctx));
    return out;
}

std::unique_ptr<RecordCursor> DbaseTable::scan() {
    return std::make_unique<DbaseCursor>(*this, std::vector<std::uint32_t>{}, true);
}

std::unique_ptr<RecordCursor> DbaseTable::cursorOver(std::vector<std::uint32_t> order) {
    return std::make_unique<DbaseCursor>(*this, std::move(order), false);
}

std::unique_ptr<RecordCursor> DbaseTable::scanIndex(const std::string& indexName) {
    if (indexName.empty()) return scan();  // dBase tables have no primary index
    return cursorOver(indexPositions(indexName));
}

std::vector<std::uint32_t> DbaseTable::indexPositions(const std::string& indexName) {
    std::vector<std::uint32_t> order;
    if (indexName.empty()) {
        order.resize(stored_);
        std::iota(order.begin(), order.end(), 1u);
        return order;
    }
    if (toUpperAscii(extensionOf(indexName)) == ".NDX") {
        const std::string ndxPath = indexName.find('/') == std::string::npos
                                        ? joinPath(path_.directory, indexName)
                                        : indexName;
        if (!fs_->exists(ndxPath))
            throwEngineError(DBIERR_NOSUCHINDEX, "Index file " + ndxPath + " does not exist");
        NdxFile ndx(fs_->open(ndxPath, OpenMode::Read));
        return ndx.recordOrder();
    }
    const int tag = mdx_ ? mdx_->findTag(indexName) : -1;
    if (tag < 0)
        throwEngineError(DBIERR_NOSUCHINDEX,
                         "Table " + fullPath_ + " has no index named " + indexName);
    for (const auto& e : mdx_->entries(mdx_->tags()[static_cast<std::size_t>(tag)]))
        order.push_back(e.record);
    return order;
}

namespace {

class DbasePositionReader final : public RecordReader {
  public:
    explicit DbasePositionReader(DbaseTable& table) : table_(table) {}
    std::uint64_t count() const override { return table_.storedRecords(); }
    bool read(std::uint64_t position, Record& out) override {
        if (position == 0 || position > table_.storedRecords())
            throwEngineError(DBIERR_EOF, "Table " + table_.path().full() + " has no record " +
                                             std::to_string(position));
        const auto n = static_cast<std::uint32_t>(position);
        const std::vector<std::uint8_t> raw = table_.readRaw(n);
        out = table_.decode(raw, n);
        return raw[0] != kRecordDeleted;
    }

  private:
    DbaseTable& table_;
};

}  // namespace

std::unique_ptr<RecordReader> DbaseTable::readByPosition() {
    return std::make_unique<DbasePositionReader>(*this);
}

void DbaseTable::forEachStored(
    const std::function<void(const std::uint8_t* raw, std::uint32_t n)>& visit) {
    forEachRecord(*file_, header_, stored_, visit);
}

std::vector<IndexEntry> DbaseTable::computeKeys(const std::string& expression) {
    const KeyExpression expr(expression, header_.fields, header_.level);
    std::vector<IndexEntry> entries;
    entries.reserve(stored_);
    forEachStored([&](const std::uint8_t* raw, std::uint32_t n) {
        entries.push_back({expr.evaluate(raw, *codec_), n});
    });
    return entries;
}

void DbaseTable::requireCountedRecords() const {
    if (!headerDisagreement_.empty()) throwCorrupt(fullPath_, headerDisagreement_);
}

void DbaseTable::requireWritable(const std::string& action) const {
    if (header_.level == DbfLevel::FoxPro)
        throwEngineError(DBIERR_NOTSUPPORTED,
                         "Cannot " + action + " " + fullPath_ + ": FoxPro tables are read only");
    if (!headerDisagreement_.empty())
        throwCorrupt(fullPath_, "cannot " + action + " the table: " + headerDisagreement_);
    if (header_.recordLengthRepaired)
        throwEngineError(DBIERR_NOTSUPPORTED, "Cannot " + action + " " + fullPath_ +
                                                  ": its header has a wrong record length");
    if (!indexUnreadable_.empty())
        throwEngineError(DBIERR_NOTSUPPORTED,
                         "Cannot " + action + " " + fullPath_ + ": " + indexUnreadable_);
    if (!memoProblem_.empty())
        throwEngineError(DBIERR_BLOBCORRUPT,
                         "Cannot " + action + " " + fullPath_ + ": " + memoProblem_);
    if (!exclusive_)
        throwEngineError(DBIERR_NOTSUFFTABLERIGHTS, "Cannot " + action + " " + fullPath_ +
                                                        ": the table is not open exclusively");
}

void DbaseTable::appendRecord(const Record& record) {
    requireWritable("append to");

    // Everything that can fail is done before the first byte is written.
    EncodedRecord encoded =
        encodeRecord(header_.fields, visibleFields_, record, EncodeContext{*codec_, header_.level},
                     header_.recordLength);
    if (!encoded.memos.empty() && !memo_)
        throwCorrupt(fullPath_, "the memo file is missing, so memos cannot be stored");
    std::vector<KeyExpression> keys;
    if (mdx_) {
        for (const auto& tag : mdx_->tags()) {
            if (!tag.filter.empty())
                throwEngineError(DBIERR_NOTSUPPORTED, "Cannot append to " + fullPath_ + ": tag " +
                                                          tag.name + " has a FOR condition");
            keys.emplace_back(tag.expression, header_.fields, header_.level);
        }
    }

    if (memo_) storeMemos(encoded, header_.fields, *memo_);
    const std::vector<std::uint8_t>& raw = encoded.bytes;
    const std::uint32_t n = stored_ + 1;
    const std::uint64_t at = header_.headerLength + (n - 1ull) * header_.recordLength;
    file_->writeAt(at, raw.data(), raw.size());
    const std::uint8_t eof = kEndOfFile;
    file_->writeAt(at + raw.size(), &eof, 1);
    for (std::size_t t = 0; t < keys.size(); ++t)
        mdx_->insert(t, keys[t].evaluate(raw.data(), *codec_), n);

    std::uint8_t count[4];
    putLe32(count, n);
    file_->writeAt(kCountAt, count, sizeof count);
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    const std::uint8_t date[3] = {static_cast<std::uint8_t>(tm.tm_year),
                                  static_cast<std::uint8_t>(tm.tm_mon + 1),
                                  static_cast<std::uint8_t>(tm.tm_mday)};
    file_->writeAt(kDateAt, date, sizeof date);
    for (const auto& [index, next] : encoded.autoIncNext) {
        std::uint8_t value[4];
        putLe32(value, next);
        file_->writeAt(kLevel7Descriptors + index * kLevel7DescriptorSize + kLevel7AutoIncAt, value,
                       4);
        header_.fields[index].autoIncNext = next;
    }
    header_.recordCount = n;
    stored_ = n;
    if (liveRecords_) ++*liveRecords_;
}

std::vector<std::string> DbaseTable::check() {
    std::vector<std::string> problems = openProblems_;
    const auto add = [&](const std::string& line) {
        if (problems.size() < kMaxCheckLines) problems.push_back(line);
    };
    for (std::uint32_t n = 1; n <= stored_; ++n) {
        try {
            decode(readRaw(n), n);
        } catch (const EDBEngineError& e) {
            add(e.what());
        }
    }
    if (!mdx_) return problems;
    for (const auto& tag : mdx_->tags()) {
        try {
            const auto actual = mdx_->entries(tag);
            for (std::size_t i = 1; i < actual.size(); ++i) {
                int c = compareKeys(tag.keyType, actual[i - 1].key, actual[i].key, tag.keyLength);
                if (tag.descending) c = -c;
                if (c > 0) {
                    add("tag " + tag.name + ": keys out of order at entry " +
                        std::to_string(i + 1));
                    break;
                }
            }
            if (!tag.filter.empty()) continue;
            auto expected = computeKeys(tag.expression);
            sortEntries(expected, tag.keyType, tag.keyLength, tag.unique, tag.descending);
            std::vector<std::uint32_t> a, b;
            for (const auto& e : actual) a.push_back(e.record);
            for (const auto& e : expected) b.push_back(e.record);
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            if (a != b)
                add("tag " + tag.name + ": holds " + std::to_string(actual.size()) +
                    " keys that do not match the " + std::to_string(expected.size()) +
                    " records of the table");
        } catch (const EDBEngineError& e) {
            add("tag " + tag.name + ": " + e.what());
        }
    }
    return problems;
}

}  // namespace kx4::dbase

#include "engine/dbase/DbaseBuilder.h"

#include <algorithm>
#include <ctime>

#include "engine/core/Errors.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/Progress.h"
#include "engine/core/TextCodec.h"
#include "engine/dbase/CarriedTagOrder.h"
#include "engine/dbase/DbaseFiles.h"
#include "engine/dbase/DbaseTable.h"
#include "engine/dbase/FieldCodec.h"
#include "engine/dbase/FieldMapping.h"
#include "engine/dbase/KeyExpression.h"
#include "engine/dbase/MdxFile.h"
#include "engine/dbase/RecordEncoder.h"
#include "engine/dbase/StoredRecordCopy.h"
#include "engine/dbase/TagDefinition.h"
#include "engine/dbase/TagKeySorter.h"

namespace kx4::dbase {

namespace {

// Version bytes written for each level, without and with a memo file.
std::uint8_t versionByte(DbfLevel level, bool memo) {
    switch (level) {
        case DbfLevel::III:
            return memo ? 0x83 : 0x03;
        case DbfLevel::Seven:
            return memo ? 0x8C : 0x04;
        default:
            return memo ? 0x8B : 0x03;
    }
}

std::string levelName(DbfLevel level) {
    switch (level) {
        case DbfLevel::III:
            return "dBase III";
        case DbfLevel::Seven:
            return "dBase 7";
        default:
            return "dBase IV";
    }
}

int maxFields(DbfLevel level) {
    return level == DbfLevel::III ? 128 : level == DbfLevel::Seven ? 1024 : 255;
}
int maxRecordLength(DbfLevel level) { return level == DbfLevel::Seven ? 32767 : 4000; }

DbfLevel higher(DbfLevel a, DbfLevel b) {
    return static_cast<int>(a) > static_cast<int>(b) ? a : b;
}

// Records waiting to be written: together with the sort of the keys (TagKeySorter), what a
// rewrite needs stays the same whatever the size of the table.
constexpr std::size_t kWriteBehind = 1 << 20;

struct Tag {
    MdxTagSpec tagLayout;
    KeyExpression expression;
    std::unique_ptr<TagKeySorter> keys;
    // A rewrite that copies stored records may take the order from the old tag instead: then
    // the keys of the new records only go into a digest that the old entries must match.
    const MdxTag* carriedFrom = nullptr;
    EntryDigest digest;
    std::unique_ptr<CarriedTagEntries> carried;
};

class DbaseBuilder : public TableBuilder {
  public:
    DbaseBuilder(const TablePath& target, const TableSchema& schema,
                 std::shared_ptr<const FormatProperties> like, FileTransaction& tx)
        : target_(target), dataPath_(joinPath(target.directory, target.fileName)), tx_(tx) {
        if (const auto* p = dynamic_cast<const DbaseProperties*>(like.get())) props_ = *p;
        if (!props_.indexUnreadable.empty())
            throwEngineError(DBIERR_NOTSUPPORTED,
                             "Cannot rewrite " + dataPath_ + ": " + props_.indexUnreadable);
        if (!props_.headerDisagreement.empty())
            throwCorrupt(dataPath_, "cannot rewrite the table: " + props_.headerDisagreement);
        if (!props_.memoUnreadable.empty())
            throwEngineError(DBIERR_BLOBCORRUPT,
                             "Cannot rewrite " + dataPath_ + ": " + props_.memoUnreadable);
        if (props_.level == DbfLevel::FoxPro)
            throwEngineError(DBIERR_NOTSUPPORTED,
                             "Cannot write " + dataPath_ + ": FoxPro tables are read only");
        codec_ = std::make_unique<TextCodec>(props_.codePage);
        defineFields(schema);
        defineTags(schema);
        stageFiles();
    }

    void append(const Record& record) override {
        if (finished_)
            throwEngineError(DBIERR_INVALIDPARAM,
                             "The table " + dataPath_ + " is already finished");
        EncodedRecord encoded =
            encodeRecord(header_.fields, visible_, record, EncodeContext{*codec_, header_.level},
                         header_.recordLength);
        place(encoded);
    }

    // Copies the stored records of a dBase table of the same level and code page instead of
    // going through values, and lets tags whose key stays take their order from the old index.
    // Records marked deleted keep their mark unless the rewrite packs.
    void appendAll(const RecordSource& source) override {
        auto* table = dynamic_cast<DbaseTable*>(&source.table);
        if (!table || count_ > 0) return TableBuilder::appendAll(source);
        if (!StoredRecordCopier::canCopy(*table, header_.level, codec_->codePage()))
            return appendStoredValues(*table, source);
        table->dataFile().willRead();
        StoredRecordCopier copier(*table, header_.fields, visible_, header_.recordLength, source,
                                  EncodeContext{*codec_, header_.level});
        const bool renumber = carryTagOrders(*table);
        std::uint64_t recordNo = 0;
        ProgressMeter meter(ProgressPhase::Records, table->storedRecords());
        table->forEachStored([&](const std::uint8_t* raw, std::uint32_t n) {
            meter.advance();
            const bool kept = source.keepDeleted || raw[0] != kRecordDeleted;
            if (renumber) renumbering_.add(kept);
            if (!kept) return;
            EncodedRecord& record = copier.copy(raw, n, ++recordNo);
            record.bytes[0] = raw[0];
            placeFor(source, record, recordNo);
        });
        meter.finish();
    }

    void finish() override {
        if (finished_) return;
        header_.recordCount = count_;
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        header_.updateYear = tm.tm_year + 1900;
        header_.updateMonth = tm.tm_mon + 1;
        header_.updateDay = tm.tm_mday;
        pending_.push_back(kEndOfFile);
        writePending();
        const auto head = encodeDbfHeader(header_, *codec_);
        data_->writeAt(0, head.data(), head.size());
        if (memo_) memo_->flush();
        if (!tags_.empty()) writeTags();
        finished_ = true;
    }

  private:
    // The stored records of a dBase table of another level or code page, through values.
    void appendStoredValues(DbaseTable& table, const RecordSource& source) {
        const std::size_t length = table.header().recordLength;
        std::uint64_t recordNo = 0;
        Record out(source.fields.size());
        ProgressMeter meter(ProgressPhase::Records, table.storedRecords());
        table.forEachStored([&](const std::uint8_t* raw, std::uint32_t n) {
            meter.advance();
            if (!source.keepDeleted && raw[0] == kRecordDeleted) return;
            ++recordNo;
            const Record in = table.decode(std::vector<std::uint8_t>(raw, raw + length), n);
            for (std::size_t i = 0; i < source.fields.size(); ++i) {
                const int from = source.fields[i];
                out[i] = from < 0 ? FieldValue(Blank{})
                                  : source.convert(in[static_cast<std::size_t>(from)], i, recordNo);
            }
            try {
                EncodedRecord encoded =
                    encodeRecord(header_.fields, visible_, out,
                                 EncodeContext{*codec_, header_.level}, header_.recordLength);
                encoded.bytes[0] = raw[0];
                place(encoded);
            } catch (const EDBEngineError& e) {
                source.failedAt(e, recordNo);
            }
        });
        meter.finish();
    }

    void placeFor(const RecordSource& source, EncodedRecord& record, std::uint64_t recordNo) {
        try {
            place(record);
        } catch (const EDBEngineError& e) {
            source.failedAt(e, recordNo);
        }
    }

    void place(EncodedRecord& encoded) {
        if (count_ == UINT32_MAX)
            throwEngineError(DBIERR_INVALIDPARAM, "Too many records for " + dataPath_);
        if (memo_) storeMemos(encoded, header_.fields, *memo_);
        for (const auto& [index, next] : encoded.autoIncNext)
            header_.fields[index].autoIncNext = next;
        ++count_;
        pending_.insert(pending_.end(), encoded.bytes.begin(), encoded.bytes.end());
        if (pending_.size() >= kWriteBehind) writePending();
        for (auto& tag : tags_) {
            KeyBytes key = tag.expression.evaluate(encoded.bytes.data(), *codec_);
            if (tag.carriedFrom)
                tag.digest.add(key, count_);
            else
                tag.keys->add(key, count_);
        }
    }

    // Picks the old tag each new tag may take its order from; false when none can.
    bool carryTagOrders(DbaseTable& table) {
        if (!table.mdx() || table.storedRecords() > RecordRenumbering::kMaxRecords) return false;
        bool any = false;
        for (auto& tag : tags_) {
            tag.carriedFrom = carriableTag(*table.mdx(), tag.tagLayout);
            any = any || tag.carriedFrom;
        }
        if (any) oldIndex_ = table.mdx();
        return any;
    }

    // Writes the .MDX; when an old tag's order proves unusable, sorts the keys of every tag
    // from the records just written and writes it again.
    void writeTags() {
        File& mdx = tx_.stage(companionPath(target_, ".MDX", tx_.fileSystem()));
        try {
            writeMdxOnce(mdx);
        } catch (const TagOrderLost&) {
            sortKeysOfWrittenRecords();
            writeMdxOnce(mdx);
        }
        tags_.clear();  // removes the scratch files of the sort
    }

    void writeMdxOnce(File& mdx) {
        std::vector<MdxTagSpec> specs;
        std::vector<TagEntries*> entries;
        for (auto& tag : tags_) {
            specs.push_back(tag.tagLayout);
            if (tag.carriedFrom) {
                tag.carried = std::make_unique<CarriedTagEntries>(
                    *oldIndex_, *tag.carriedFrom, tag.tagLayout, renumbering_, tag.digest);
                entries.push_back(tag.carried.get());
            } else {
                entries.push_back(tag.keys.get());
            }
        }
        writeMdx(mdx, toUpperAscii(stemOf(target_.fileName)), props_.ldid, specs, entries);
        for (auto& tag : tags_)
            if (tag.carried) tag.carried->confirm();
    }

    void sortKeysOfWrittenRecords() {
        for (auto& tag : tags_) {
            tag.carriedFrom = nullptr;
            tag.carried.reset();
            tag.keys.reset();  // its scratch files go before the new ones come
            tag.keys = std::make_unique<TagKeySorter>(tx_.fileSystem(), tag.tagLayout, dataPath_,
                                                      sortMemoryPerTag(tags_.size()));
        }
        forEachRecord(*data_, header_, count_, [&](const std::uint8_t* raw, std::uint32_t n) {
            for (auto& tag : tags_) tag.keys->add(tag.expression.evaluate(raw, *codec_), n);
        });
    }

    void defineFields(const TableSchema& schema) {
        DbfLevel level = props_.level;
        for (const auto& def : schema.fields) {
            DbfField f = dbfFieldFor(def);
            for (const auto& other : header_.fields)
                if (sameName(other.name, f.name))
                    throwEngineError(DBIERR_INVALIDPARAM,
                                     "Field name " + f.name + " occurs twice in " + dataPath_);
            if (f.type == '+') {
                const auto it = props_.autoIncNext.find(toUpperAscii(f.name));
                f.autoIncNext =
                    it == props_.autoIncNext.end() ? 1 : std::max<std::uint32_t>(it->second, 1);
            }
            level = higher(level, levelFor(f));
            hasMemo_ = hasMemo_ || isMemoField(f, DbfLevel::IV);
            visible_.push_back(static_cast<int>(header_.fields.size()));
            header_.fields.push_back(std::move(f));
        }
        if (header_.fields.empty())
            throwEngineError(DBIERR_INVALIDPARAM,
                             "Table " + dataPath_ + " needs at least one field");
        if (static_cast<int>(header_.fields.size()) > maxFields(level))
            throwEngineError(DBIERR_FLDLIMIT, "Table " + dataPath_ + " has more than " +
                                                  std::to_string(maxFields(level)) + " fields");
        for (const auto& f : header_.fields) {
            checkFieldForLevel(f, level);
            codec_->fromUtf8(f.name);  // the name must exist in the code page
        }
        header_.level = level;
        header_.version = versionByte(level, hasMemo_);
        header_.ldid = props_.ldid;
        header_.driverName = props_.driverName.empty() ? driverNameForCodePage(codec_->codePage())
                                                       : props_.driverName;
        layoutFields(header_);
        if (header_.recordLength > maxRecordLength(level))
            throwEngineError(DBIERR_FLDLIMIT, "Records of " + dataPath_ + " would be " +
                                                  std::to_string(header_.recordLength) +
                                                  " bytes long; the limit is " +
                                                  std::to_string(maxRecordLength(level)));
    }

    // The level field `f` needs. A rewrite keeps the table's level: a field that needs a
    // higher one is refused rather than turning the table into one other programs cannot read.
    DbfLevel levelFor(const DbfField& f) const {
        const DbfLevel needed = requiredLevel(f.type);
        const bool existing = props_.version != 0;
        if (!existing || static_cast<int>(needed) <= static_cast<int>(props_.level)) return needed;
        // A dBase IV table without memo fields has the version byte of dBase III (0x03).
        if (props_.version == 0x03 && needed == DbfLevel::IV) return needed;
        throwEngineError(DBIERR_INVALIDFLDTYPE,
                         "Cannot change table " + target_.fileName + ": field " + f.name +
                             " of type " + std::string(1, f.type) + " needs a " +
                             levelName(needed) + " table, and " + target_.fileName + " is a " +
                             levelName(props_.level) + " table. The table was not changed");
    }

    void defineTags(const TableSchema& schema) {
        if (schema.indexes.size() > static_cast<std::size_t>(kMaxTags))
            throwEngineError(DBIERR_INVALIDPARAM, "A dBase table has at most 47 indexes");
        for (const auto& index : schema.indexes) {
            MdxTagSpec tagLayout = tagSpecFor(index, header_.fields, header_.level, dataPath_);
            for (const auto& tag : tags_)
                if (tag.tagLayout.name == tagLayout.name)
                    throwEngineError(DBIERR_INDEXEXISTS, "Index " + tagLayout.name +
                                                             " is defined twice for " + dataPath_);
            KeyExpression expression(tagLayout.expression, header_.fields, header_.level);
            if (const auto field = expression.singleField())
                header_.fields[static_cast<std::size_t>(*field)].productionTag = true;
            tags_.push_back(
                {std::move(tagLayout), std::move(expression), nullptr, nullptr, {}, nullptr});
        }
        header_.hasProductionMdx = !tags_.empty();
        for (auto& tag : tags_)
            tag.keys = std::make_unique<TagKeySorter>(tx_.fileSystem(), tag.tagLayout, dataPath_,
                                                      sortMemoryPerTag(tags_.size()));
    }

    // Records follow the header in the order they come.
    void writePending() {
        data_->writeAt(header_.headerLength + written_, pending_.data(), pending_.size());
        written_ += pending_.size();
        pending_.clear();
    }

    void stageFiles() {
        data_ = &tx_.stage(dataPath_);
        data_->truncate(0);
        if (hasMemo_) {
            const MemoKind kind =
                header_.level == DbfLevel::III ? MemoKind::DbtIII : MemoKind::DbtIV;
            File& file = tx_.stage(companionPath(target_, ".DBT", tx_.fileSystem()));
            memo_ = MemoFile::create(file, kind, props_.memoBlockSize,
                                     toUpperAscii(stemOf(target_.fileName)));
        } else if (auto old = findCompanion(target_, ".DBT", tx_.fileSystem()); !old.empty()) {
            tx_.removeOnCommit(old);
        }
        if (tags_.empty())
            if (auto old = findCompanion(target_, ".MDX", tx_.fileSystem()); !old.empty())
                tx_.removeOnCommit(old);
    }

    TablePath target_;
    std::string dataPath_;
    FileTransaction& tx_;
    DbaseProperties props_;
    std::unique_ptr<TextCodec> codec_;
    DbfHeader header_;
    std::vector<int> visible_;
    bool hasMemo_ = false;
    std::vector<Tag> tags_;
    MdxFile* oldIndex_ = nullptr;  // of the table being copied, when a tag takes its order
    RecordRenumbering renumbering_;
    File* data_ = nullptr;
    std::unique_ptr<MemoFile> memo_;
    std::uint32_t count_ = 0;
    std::vector<std::uint8_t> pending_;  // records not yet written
    std::uint64_t written_ = 0;          // bytes of records written
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<TableBuilder> makeDbaseBuilder(const TablePath& target, const TableSchema& schema,
                                               std::shared_ptr<const FormatProperties> like,
                                               FileTransaction& tx) {
    return std::make_unique<DbaseBuilder>(target, schema, std::move(like), tx);
}

}  // namespace kx4::dbase

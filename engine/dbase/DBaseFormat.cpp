#include "engine/dbase/DBaseFormat.h"

#include "engine/core/DbiTypes.h"
#include "engine/core/Errors.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/Progress.h"
#include "engine/dbase/DbaseBuilder.h"
#include "engine/dbase/DbaseFiles.h"
#include "engine/dbase/DbaseTable.h"
#include "engine/dbase/FieldMapping.h"
#include "engine/dbase/KeyExpression.h"
#include "engine/dbase/MdxFile.h"
#include "engine/dbase/TagDefinition.h"
#include "engine/dbase/TagKeySorter.h"

namespace kx4 {

namespace {

using namespace dbase;

// Header byte 28 (production index flag) and each descriptor's production-tag flag change with
// the set of tags; the new header goes into a staged copy of the data file.
constexpr std::size_t kTableFlagsAt = 28;

DbaseTable& dbaseTable(TableFile& file, const std::string& action) {
    auto* table = dynamic_cast<DbaseTable*>(&file);
    if (!table) throwEngineError(DBIERR_INVALIDPARAM, "Cannot " + action + ": not a dBase table");
    table->requireWritable(action);
    return *table;
}

std::string tablePath(const TableFile& file) {
    return joinPath(file.path().directory, file.path().fileName);
}

// Copies the data file into the transaction with the production-index flags set for `tags`.
void stageDataWithFlags(DbaseTable& table, const std::vector<MdxTagSpec>& tags,
                        FileTransaction& tx) {
    const DbfHeader& h = table.header();
    const bool seven = h.level == DbfLevel::Seven;
    std::vector<std::uint8_t> head(h.headerLength);
    table.dataFile().readAt(0, head.data(), head.size());
    std::vector<std::uint8_t> patched = head;
    patched[kTableFlagsAt] =
        tags.empty() ? (head[kTableFlagsAt] & ~1u) : (head[kTableFlagsAt] | 1u);
    const std::size_t start = seven ? 68 : 32, size = seven ? 48 : 32, flagAt = seven ? 37 : 31;
    for (std::size_t i = 0; i < h.fields.size(); ++i) {
        bool tagged = false;
        for (const auto& tag : tags)
            if (sameName(tag.expression, h.fields[i].name)) tagged = true;
        patched[start + i * size + flagAt] = tagged ? 1 : 0;
    }
    if (patched == head) return;
    File& out = tx.stage(tablePath(table));
    out.truncate(0);
    out.writeAt(0, patched.data(), patched.size());
    const std::uint64_t total = table.dataFile().size();
    std::vector<std::uint8_t> chunk(1 << 20);
    for (std::uint64_t at = head.size(); at < total;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), total - at));
        table.dataFile().readAt(at, chunk.data(), n);
        out.writeAt(at, chunk.data(), n);
        at += n;
    }
}

// The definitions of the existing tags.
std::vector<MdxTagSpec> currentTags(DbaseTable& table) {
    std::vector<MdxTagSpec> specs;
    MdxFile* mdx = table.mdx();
    if (!mdx) return specs;
    for (const auto& tag : mdx->tags()) {
        if (!tag.filter.empty())
            throwEngineError(DBIERR_NOTSUPPORTED,
                             "Tag " + tag.name + " of " + tablePath(table) +
                                 " has a FOR condition, which cannot be rewritten");
        MdxTagSpec tagLayout;
        tagLayout.name = tag.name;
        tagLayout.expression = tag.expression;
        tagLayout.keyType = tag.keyType;
        tagLayout.keyLength = tag.keyLength;
        tagLayout.unique = tag.unique;
        tagLayout.descending = tag.descending;
        specs.push_back(std::move(tagLayout));
    }
    return specs;
}

// The entries of an existing tag as stored.
std::unique_ptr<TagEntries> storedEntries(DbaseTable& table, const std::string& name) {
    MdxFile& mdx = *table.mdx();
    return mdx.streamEntries(mdx.tags()[static_cast<std::size_t>(mdx.findTag(name))]);
}

// The keys of every stored record for each of `tags`, sorted in one pass over the records
// (deleted records too: dBase keeps them in its tags).
std::vector<std::unique_ptr<TagKeySorter>> keysOfRecords(DbaseTable& table,
                                                         const std::vector<MdxTagSpec>& tags) {
    const DbfHeader& h = table.header();
    std::vector<KeyExpression> expressions;
    std::vector<std::unique_ptr<TagKeySorter>> sorters;
    for (const auto& tag : tags) {
        expressions.emplace_back(tag.expression, h.fields, h.level);
        sorters.push_back(std::make_unique<TagKeySorter>(table.fileSystem(), tag, tablePath(table),
                                                         sortMemoryPerTag(tags.size())));
    }
    ProgressMeter meter(ProgressPhase::Records, table.storedRecords());
    table.forEachStored([&](const std::uint8_t* raw, std::uint32_t n) {
        meter.advance();
        for (std::size_t i = 0; i < tags.size(); ++i)
            sorters[i]->add(expressions[i].evaluate(raw, table.codec()), n);
    });
    meter.finish();
    return sorters;
}

void writeTags(DbaseTable& table, const std::vector<MdxTagSpec>& tags,
               const std::vector<TagEntries*>& entries, FileTransaction& tx) {
    stageDataWithFlags(table, tags, tx);
    const std::string mdxPath = companionPath(table.path(), ".MDX", table.fileSystem());
    if (tags.empty()) {
        tx.removeOnCommit(mdxPath);
        return;
    }
    const std::uint8_t ldid =
        std::static_pointer_cast<const DbaseProperties>(table.properties())->ldid;
    writeMdx(tx.stage(mdxPath), toUpperAscii(stemOf(table.path().fileName)), ldid, tags, entries);
}

class DBaseFormat : public TableFormat {
  public:
    TTableType type() const override { return TTableType::ttDBase; }
    std::string driverName() const override { return szDBASE; }
    std::string defaultExtension() const override { return ".DBF"; }

    bool isTableFile(const std::string& fileName) const override {
        return toUpperAscii(extensionOf(fileName)) == ".DBF";
    }

    std::vector<std::string> companionFiles(const TablePath& path, FileSystem& fs) override {
        std::vector<std::string> files;
        const std::string data = joinPath(path.directory, path.fileName);
        if (!fs.exists(data)) return files;
        files.push_back(data);
        for (const char* ext : {".DBT", ".MDX", ".FPT", ".CDX"})
            if (auto f = findCompanion(path, ext, fs); !f.empty()) files.push_back(f);
        return files;
    }

    bool isCompanion(const TablePath& path, const std::string& fileName) const override {
        return isCompanionName(path, fileName);
    }

    std::unique_ptr<TableFile> open(const TablePath& path, const OpenOptions& options) override {
        return DbaseTable::open(options.fileSystem, path, options.exclusive, options.codePage);
    }

    std::unique_ptr<TableBuilder> build(const TablePath& target, const TableSchema& schema,
                                        std::shared_ptr<const FormatProperties> like,
                                        FileTransaction& tx) override {
        return makeDbaseBuilder(target, schema, std::move(like), tx);
    }

    FieldDef fieldFromDescriptor(const FLDDesc& desc) const override {
        return fieldFromDbaseDescriptor(desc);
    }

    void describeField(const FieldDef& field, bool physical, FLDDesc& out) const override {
        describeDbaseField(field, physical, out);
    }

    void addIndex(TableFile& file, const IndexDef& index, FileTransaction& tx) override {
        DbaseTable& table = dbaseTable(file, "add an index to");
        const DbfHeader& h = table.header();
        MdxTagSpec tagLayout = tagSpecFor(index, h.fields, h.level, tablePath(table));
        std::vector<MdxTagSpec> tags = currentTags(table);
        for (const auto& tag : tags)
            if (tag.name == tagLayout.name)
                throwEngineError(
                    DBIERR_INDEXEXISTS,
                    "Table " + tablePath(table) + " already has an index named " + tagLayout.name);
        if (tags.size() >= static_cast<std::size_t>(kMaxTags))
            throwEngineError(DBIERR_INVALIDPARAM,
                             "Table " + tablePath(table) + " already has 47 indexes");
        // The existing tags are copied as stored; only the new one is computed.
        std::vector<std::unique_ptr<TagEntries>> sources;
        for (const auto& tag : tags) sources.push_back(storedEntries(table, tag.name));
        auto added = keysOfRecords(table, {tagLayout});
        sources.push_back(std::move(added.front()));
        tags.push_back(std::move(tagLayout));
        writeTags(table, tags, pointers(sources), tx);
    }

    void deleteIndex(TableFile& file, const std::string& name, FileTransaction& tx) override {
        DbaseTable& table = dbaseTable(file, "delete an index of");
        std::vector<MdxTagSpec> tags = currentTags(table);
        const auto it = std::find_if(tags.begin(), tags.end(), [&](const MdxTagSpec& t) {
            return toUpperAscii(t.name) == toUpperAscii(name);
        });
        if (it == tags.end())
            throwEngineError(DBIERR_NOSUCHINDEX,
                             "Table " + tablePath(table) + " has no index named " + name);
        tags.erase(it);
        std::vector<std::unique_ptr<TagEntries>> sources;
        for (const auto& tag : tags) sources.push_back(storedEntries(table, tag.name));
        writeTags(table, tags, pointers(sources), tx);
    }

    // Every tag computed anew from the records; the data file stays as it is.
    void rebuildIndexes(TableFile& file, FileTransaction& tx) override {
        DbaseTable& table = dbaseTable(file, "rebuild the indexes of");
        const std::vector<MdxTagSpec> tags = currentTags(table);
        if (tags.empty()) return;
        std::vector<std::unique_ptr<TagEntries>> sources;
        for (auto& sorter : keysOfRecords(table, tags)) sources.push_back(std::move(sorter));
        writeTags(table, tags, pointers(sources), tx);
    }

  private:
    static std::vector<TagEntries*> pointers(const std::vector<std::unique_ptr<TagEntries>>& all) {
        std::vector<TagEntries*> out;
        for (const auto& p : all) out.push_back(p.get());
        return out;
    }
};

}  // namespace

TableFormat& dbaseFormat() {
    static DBaseFormat format;
    return format;
}

}  // namespace kx4

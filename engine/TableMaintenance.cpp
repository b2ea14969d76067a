#include "engine/TableMaintenance.h"

#include <algorithm>
#include <cstring>

#include "engine/core/DbiTypes.h"
#include "engine/core/Errors.h"
#include "engine/core/FieldTypeFacts.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"
#include "engine/core/Progress.h"
#include "engine/core/TextCodec.h"
#include "engine/core/ValueConversion.h"

namespace kx4 {

namespace {

// Holds an existing table file exclusively (whatever its content) while it is replaced.
std::unique_ptr<File> lockExisting(FileSystem& fs, const std::string& path) {
    if (!fs.exists(path)) return nullptr;
    auto file = fs.open(path, OpenMode::ReadWrite);
    if (!file->tryLock(LockMode::Exclusive))
        throwEngineError(DBIERR_TABLEINUSE,
                         "Table is busy: " + path + " is in use by another user");
    return file;
}

std::string nameOfSource(const TableSchema& schema, const RestructurePlan& plan,
                         const std::string& sourceName) {
    const int source = schema.fieldIndex(sourceName);
    for (const auto& f : plan.fields)
        if (source >= 0 && f.source == source) return f.target.name;
    return {};
}

std::vector<IndexDef> remapIndexes(const TableFile& file, const RestructurePlan& plan) {
    const TableSchema& schema = file.schema();
    std::vector<IndexDef> result;
    for (const auto& index : schema.indexes) {
        IndexDef mapped = index;
        std::vector<std::string> names;
        for (const auto& name : splitFieldList(index.fields)) {
            const std::string target = nameOfSource(schema, plan, name);
            if (target.empty()) {
                const std::string what = index.options.has(IndexOption::ixPrimary)
                                             ? "the primary key"
                                             : "the index " + index.name;
                throwEngineError(DBIERR_INVALIDPARAM,
                                 "Field " + name + " of " + file.path().fileName +
                                     " cannot be dropped: " + what + " uses it");
            }
            names.push_back(target);
        }
        mapped.fields = joinFieldList(names);
        result.push_back(mapped);
    }
    return result;
}

[[noreturn]] void refuse(const TableFile& file, const std::string& field, std::uint64_t record,
                         const std::string& reason) {
    throwEngineError(DBIERR_INVALIDFLDXFORM, "Cannot change table " + file.path().fileName +
                                                 ": field " + field + ", record " +
                                                 std::to_string(record) + ": " + reason +
                                                 ". The table was not changed");
}

void removeFilesTheNewTableLacks(const std::vector<std::string>& oldFiles, FileTransaction& tx) {
    for (const auto& f : oldFiles)
        if (!tx.isStaged(f)) tx.removeOnCommit(f);
}

}  // namespace

void descriptorForType(TFieldType type, int size, FLDDesc& desc) {
    const EngineType engine = engineTypeOf(type);
    desc.iFldType = engine.type;
    desc.iSubType = engine.subType;
    if (type == TFieldType::ftBCD) {
        desc.iUnits1 = 32;
        desc.iUnits2 = static_cast<std::int16_t>(size);
    } else {
        desc.iUnits1 = static_cast<std::int16_t>(size);
    }
}

FieldDef fieldForCreate(TableFormat& format, const std::string& name, TFieldType type, int size,
                        bool required) {
    FLDDesc desc;
    std::strncpy(desc.szName, name.c_str(), DBIMAXNAMELEN);
    if (name.size() > DBIMAXNAMELEN)
        throwEngineError(DBIERR_INVALIDPARAM, "Field name too long: " + name);
    descriptorForType(type, size, desc);
    if (desc.iFldType == fldUNKNOWN)
        throwEngineError(DBIERR_INVALIDFLDTYPE, "Field " + name + " has a type that " +
                                                    format.driverName() + " tables cannot hold");
    FieldDef field = format.fieldFromDescriptor(desc);
    field.name = name;
    field.required = required;
    return field;
}

void createTable(TableFormat& format, const TablePath& path, const TableSchema& schema,
                 const std::vector<Record>& records, FileSystem& fs) {
    if (schema.fields.empty())
        throwEngineError(DBIERR_INVALIDPARAM,
                         "Table " + path.fileName + " needs at least one field");
    FileTransaction::recover(
        fs, path.full(), [&](const std::string& name) { return format.isCompanion(path, name); });
    const auto held = lockExisting(fs, path.full());
    const auto oldFiles = held ? format.companionFiles(path, fs) : std::vector<std::string>{};
    FileTransaction tx(fs, path.full());
    auto builder = format.build(path, schema, nullptr, tx);
    for (const auto& record : records) builder->append(record);
    builder->finish();
    removeFilesTheNewTableLacks(oldFiles, tx);
    tx.commit();
}

RestructurePlan identityPlan(const TableSchema& schema) {
    RestructurePlan plan;
    for (std::size_t i = 0; i < schema.fields.size(); ++i)
        plan.fields.push_back(FieldPlan{schema.fields[i], static_cast<int>(i)});
    return plan;
}

void restructureTable(TableFormat& format, TableFile& source, const RestructurePlan& plan,
                      std::vector<std::string>* notes, ProgressSink* progress) {
    const ProgressScope reporting(progress);
    if (!format.canRestructure())
        throwEngineError(DBIERR_NOTSUPPORTED, "Restructure and pack are not supported for " +
                                                  format.driverName() + " tables (" +
                                                  source.path().fileName + ")");
    if (!source.exclusive())
        throwEngineError(
            DBIERR_NEEDEXCLACCESS,
            "Table " + source.path().fileName + " must be opened exclusively to be restructured");
    if (plan.fields.empty())
        throwEngineError(DBIERR_INVALIDPARAM,
                         "Table " + source.path().fileName + " needs at least one field");
    TableSchema schema;
    for (const auto& f : plan.fields) schema.fields.push_back(f.target);
    schema.indexes = remapIndexes(source, plan);

    const TablePath& path = source.path();
    const auto oldFiles = format.derivedFiles(path, source.fileSystem());
    FileTransaction tx(source.fileSystem(), path.full());
    auto builder = format.build(path, schema, source.properties(), tx);
    std::unique_ptr<TextCodec> tableText;  // made when a value is first converted
    auto convert = [&](const FieldValue& value, std::size_t field, std::uint64_t recordNo) {
        const FieldDef& target = plan.fields[field].target;
        std::string reason;
        if (!tableText) tableText = std::make_unique<TextCodec>(source.info().codePage);
        auto converted = convertValue(value, target, reason, *tableText);
        if (!converted) refuse(source, target.name, recordNo, reason);
        return std::move(*converted);
    };
    RecordSource records{source, {}, convert, !plan.pack};
    for (const auto& f : plan.fields) records.fields.push_back(f.source);
    builder->appendAll(records);
    builder->finish();
    removeFilesTheNewTableLacks(oldFiles, tx);
    tx.commit();
    if (notes) *notes = builder->notes();
}

void packTable(TableFormat& format, TableFile& source, ProgressSink* progress) {
    RestructurePlan plan = identityPlan(source.schema());
    plan.pack = true;
    restructureTable(format, source, plan, nullptr, progress);
}

void rebuildIndexes(TableFormat& format, TableFile& file, ProgressSink* progress) {
    const ProgressScope reporting(progress);
    FileTransaction tx(file.fileSystem(), file.path().full());
    format.rebuildIndexes(file, tx);
    tx.commit();
    // A damaged index that does not say which fields it covers cannot be rebuilt; the others
    // are, and the user learns which one is left.
    std::string left;
    for (const auto& index : file.schema().indexes)
        if (!index.fault.empty() && index.fields.empty() && index.expression.empty())
            left += (left.empty() ? "" : "; ") + index.name + " (" + index.fault + ")";
    if (!left.empty())
        throwEngineError(DBIERR_INDEXCORRUPT,
                         "The indexes of " + file.path().fileName +
                             " were rebuilt except these, whose fields are unknown: " + left +
                             ". Delete them and define them again");
}

void addIndexToTable(TableFormat& format, const TablePath& path, const IndexDef& index,
                     const OpenOptions& options) {
    OpenOptions exclusive = options;
    exclusive.exclusive = true;
    auto file = format.open(path, exclusive);
    FileTransaction tx(file->fileSystem(), path.full());
    format.addIndex(*file, index, tx);
    tx.commit();
}

void deleteIndexFromTable(TableFormat& format, const TablePath& path, const std::string& name,
                          const OpenOptions& options) {
    OpenOptions exclusive = options;
    exclusive.exclusive = true;
    auto file = format.open(path, exclusive);
    FileTransaction tx(file->fileSystem(), path.full());
    format.deleteIndex(*file, name, tx);
    tx.commit();
}

}  // namespace kx4

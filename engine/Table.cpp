#include "engine/Table.h"

#include "engine/Cursor.h"
#include "engine/Session.h"
#include "engine/TableMaintenance.h"
#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "engine/core/FileTransaction.h"

namespace kx4 {

int TField::Size() const { return def_.size; }

void TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required) {
    defs_.push_back(TFieldDef{name, type, size, required});
}

void TIndexDefs::Update() {
    if (table_.Active()) {
        defs_ = table_.File().schema().indexes;
        return;
    }
    const TablePath path = table_.Path();
    auto file = table_.Format().open(path, table_.session().openOptions(path, false));
    defs_ = file->schema().indexes;
}

TTable::TTable(TSession& session) : session_(session) {}
TTable::~TTable() = default;

void TTable::checkInactive(const char* what) const {
    if (Active())
        throw EDatabaseError(std::string("Cannot perform this operation on an open table (") +
                             what + "): " + TableName);
}

TableFormat& TTable::Format() const { return formatFor(TableType, TableName); }

TablePath TTable::Path() const {
    if (TableName.empty()) throwEngineError(DBIERR_NAMEREQUIRED, "Table name is missing");
    TablePath path = database().resolve(TableName);
    if (extensionOf(path.fileName).empty()) path.fileName += Format().defaultExtension();
    return path;
}

TableFile& TTable::File() {
    if (!cursor_) throw EDatabaseError("Table is not open: " + TableName);
    return cursor_->file();
}

Database TTable::database() const {
    return Database(session_, DatabaseName,
                    DatabaseName.empty() ? std::string() : session_.directoryOf(DatabaseName));
}

void TTable::Open() {
    if (Active()) return;
    TableFormat& format = Format();
    const TablePath path = Path();
    auto file = format.open(path, session_.openOptions(path, Exclusive));
    cursor_ = std::make_unique<Cursor>(database(), format, std::move(file), IndexName);
    loadFields();
    indexDefs_.defs_ = File().schema().indexes;
}

void TTable::Close() {
    cursor_.reset();
    fields_.clear();
}

void TTable::loadFields() {
    fields_.clear();
    const TableSchema& schema = File().schema();
    // The current index: the named one, else the primary index (Paradox keys), else none.
    std::vector<std::string> indexFields;
    if (!IndexFieldNames.empty()) {
        indexFields = splitFieldList(IndexFieldNames);
    } else {
        for (const auto& index : schema.indexes) {
            const bool current = IndexName.empty() ? index.options.has(IndexOption::ixPrimary)
                                                   : sameName(index.name, IndexName);
            if (current) {
                indexFields = splitFieldList(index.fields);
                break;
            }
        }
    }
    for (std::size_t i = 0; i < schema.fields.size(); ++i) {
        TField field;
        field.def_ = schema.fields[i];
        field.index_ = static_cast<int>(i);
        for (const auto& name : indexFields)
            if (sameName(name, field.def_.name)) field.indexField_ = true;
        fields_.push_back(field);
    }
}

const TField* TTable::FindField(const std::string& name) const {
    for (const auto& f : fields_)
        if (sameName(f.FieldName(), name)) return &f;
    return nullptr;
}

const TField& TTable::FieldByName(const std::string& name) const {
    if (const TField* f = FindField(name)) return *f;
    throw EDatabaseError("Feld '" + name + "' nicht gefunden");
}

void TTable::GetFieldNames(std::vector<std::string>& names) const {
    names.clear();
    for (const auto& f : fields_) names.push_back(f.FieldName());
}

hDBICur TTable::Handle() {
    File();
    return cursor_.get();
}

std::unique_ptr<RecordCursor> TTable::Records() { return File().scan(); }

void TTable::changeOpenTable(const char* what,
                             const std::function<void(FileTransaction&)>& change) {
    if (!File().exclusive())
        throwEngineError(DBIERR_NEEDEXCLACCESS,
                         std::string(what) + " needs the table opened exclusively: " + TableName);
    {
        FileTransaction tx(File().fileSystem(), File().path().full());
        change(tx);
        tx.commit();
    }
    cursor_->reopen();
    loadFields();
    indexDefs_.defs_ = File().schema().indexes;
}

void TTable::AddIndex(const std::string& name, const std::string& fields, TIndexOptions options,
                      const std::string& descFields) {
    IndexDef index;
    index.name = name;
    index.fields = fields;
    index.options = options;
    if (!descFields.empty()) index.options.add(IndexOption::ixDescending);
    if (Active())
        changeOpenTable("AddIndex",
                        [&](FileTransaction& tx) { Format().addIndex(File(), index, tx); });
    else
        addIndexToTable(Format(), Path(), index, session_.openOptions(Path(), true));
}

void TTable::DeleteIndex(const std::string& name) {
    if (Active())
        changeOpenTable("DeleteIndex",
                        [&](FileTransaction& tx) { Format().deleteIndex(File(), name, tx); });
    else
        deleteIndexFromTable(Format(), Path(), name, session_.openOptions(Path(), true));
}

void TTable::CreateTable() {
    checkInactive("CreateTable");
    TableSchema schema;
    for (int i = 0; i < FieldDefs.Count(); ++i) {
        const TFieldDef& d = FieldDefs[i];
        schema.fields.push_back(fieldForCreate(Format(), d.Name, d.DataType, d.Size, d.Required));
    }
    createTable(Format(), Path(), schema, {}, session_.fileSystem());
}

}  // namespace kx4

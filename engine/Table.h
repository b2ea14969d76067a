#pragma once
// The table object: names a table of a database (alias), opens it shared or exclusively and
// gives its fields, field definitions and index definitions; adds and deletes indexes and creates
// tables.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Cursor.h"
#include "engine/Session.h"
#include "engine/core/DbiTypes.h"
#include "engine/core/TableFormat.h"

namespace kx4 {

class FileTransaction;
class TTable;

class TField {
  public:
    const std::string& FieldName() const { return def_.name; }
    TFieldType DataType() const { return def_.type; }
    int Size() const;  // declared size (characters, bytes, BCD decimals); 0 for fixed types
    int DataSize() const { return def_.dataSize; }
    bool IsIndexField() const { return indexField_; }
    int Index() const { return index_; }
    const FieldDef& Def() const { return def_; }

  private:
    friend class TTable;
    FieldDef def_;
    int index_ = 0;
    bool indexField_ = false;
};

struct TFieldDef {
    std::string Name;
    TFieldType DataType = TFieldType::ftUnknown;
    int Size = 0;
    bool Required = false;
};

class TFieldDefs {
  public:
    void Add(const std::string& name, TFieldType type, int size, bool required);
    void Clear() { defs_.clear(); }
    int Count() const { return static_cast<int>(defs_.size()); }
    const TFieldDef& operator[](int i) const { return defs_.at(i); }

  private:
    std::vector<TFieldDef> defs_;
};

class TIndexDefs {
  public:
    // Re-reads the index definitions from the table (open or closed).
    void Update();
    int Count() const { return static_cast<int>(defs_.size()); }
    const IndexDef& operator[](int i) const { return defs_.at(i); }
    const std::vector<IndexDef>& items() const { return defs_; }

  private:
    friend class TTable;
    explicit TIndexDefs(TTable& table) : table_(table) {}
    TTable& table_;
    std::vector<IndexDef> defs_;
};

class TTable {
  public:
    // The table opens through `session`: its passwords, code pages and file system.
    explicit TTable(TSession& session = Session());
    ~TTable();
    TTable(const TTable&) = delete;
    TTable& operator=(const TTable&) = delete;

    // Properties; set them while the table is closed: nothing guards a change to an open table.
    std::string DatabaseName;
    std::string TableName;
    TTableType TableType = TTableType::ttDefault;
    bool Exclusive = false;
    std::string IndexName;
    std::string IndexFieldNames;

    void Open();
    void Close();
    bool Active() const { return cursor_ != nullptr; }
    void SetActive(bool active) { active ? Open() : Close(); }

    int FieldCount() const { return static_cast<int>(fields_.size()); }
    const TField& Fields(int i) const { return fields_.at(i); }
    // Raises EDatabaseError "Feld 'NAME' nicht gefunden" for an unknown name.
    const TField& FieldByName(const std::string& name) const;
    const TField* FindField(const std::string& name) const;
    void GetFieldNames(std::vector<std::string>& names) const;

    TFieldDefs FieldDefs;
    TIndexDefs& IndexDefs() { return indexDefs_; }

    // On a closed table, addressed by database, name and type; or on the table opened
    // exclusively, which stays open.
    void AddIndex(const std::string& name, const std::string& fields, TIndexOptions options,
                  const std::string& descFields = {});
    void DeleteIndex(const std::string& name);
    // Creates the table from FieldDefs, replacing a same-named table with its companion files.
    void CreateTable();

    // The cursor of the open table (for the Dbi calls); raises when inactive.
    hDBICur Handle();
    // Live records of the open table in physical order.
    std::unique_ptr<RecordCursor> Records();

    // Where the table lives, resolved from DatabaseName and TableName.
    TablePath Path() const;
    TableFormat& Format() const;
    TableFile& File();  // the open table; raises when inactive
    TSession& session() const { return session_; }

  private:
    void checkInactive(const char* what) const;
    void changeOpenTable(const char* what, const std::function<void(FileTransaction&)>& change);
    void loadFields();
    Database database() const;

    TSession& session_;
    std::unique_ptr<Cursor> cursor_;  // owns the open table
    std::vector<TField> fields_;
    TIndexDefs indexDefs_{*this};
};

}  // namespace kx4

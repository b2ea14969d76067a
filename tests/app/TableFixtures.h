#pragma once
// Aliases of the default session in a temporary directory, and tables written into them, for
// the tests of the browser and of the operations that open tables by alias.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/Session.h"
#include "engine/TableMaintenance.h"
#include "engine/core/DbiTypes.h"
#include "engine/core/FileTransaction.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {

// The default session reads its aliases from a configuration in a temporary directory while the
// object lives; no password is left in the session afterwards.
class SessionAliases {
  public:
    SessionAliases() {
        std::ofstream{config()};
        use();
    }
    ~SessionAliases() {
        Session().RemoveAllPasswords();
        Session().setConfigPath(TSession::defaultConfigPath());
    }
    SessionAliases(const SessionAliases&) = delete;
    SessionAliases& operator=(const SessionAliases&) = delete;

    // A file alias whose directory is `directoryName` below the temporary directory (created).
    std::string addAlias(const std::string& alias, const std::string& directoryName = {}) {
        const std::filesystem::path dir =
            dir_.path() / (directoryName.empty() ? "db-" + alias : directoryName);
        std::filesystem::create_directories(dir);
        append("[" + alias + "]\nTYPE=STANDARD\nPATH=" + dir.string() + "\n");
        return dir.string();
    }
    void addServerAlias(const std::string& alias, const std::string& server) {
        append("[" + alias + "]\nTYPE=INTRBASE\nSERVER NAME=" + server + "\n");
    }
    void append(const std::string& text) {
        std::ofstream(config(), std::ios::app) << text;
        use();
    }
    const TempDir& dir() const { return dir_; }

  private:
    std::string config() const { return dir_.file("engine.ini"); }
    void use() {
        Session().setConfigPath(config());
        Session().RemoveAllPasswords();
    }
    TempDir dir_;
};

// A field by the table component's type, or by the driver's own type code when `physical` is
// set (for dBase types such as I, + and @ that no component type asks for).
struct FieldSpec {
    std::string name;
    TFieldType type;
    int size = 0;  // characters, bytes, blob leader, BCD decimals, number width
    std::uint16_t physical = 0;
    int decimals = 0;
};

inline FieldDef fieldFor(TableFormat& format, const FieldSpec& wanted) {
    if (wanted.physical == 0)
        return fieldForCreate(format, wanted.name, wanted.type, wanted.size, false);
    FLDDesc desc;
    std::strncpy(desc.szName, wanted.name.c_str(), DBIMAXNAMELEN);
    desc.iFldType = wanted.physical;
    desc.iUnits1 = static_cast<std::int16_t>(wanted.size);
    desc.iUnits2 = static_cast<std::int16_t>(wanted.decimals);
    FieldDef field = format.fieldFromDescriptor(desc);
    field.name = wanted.name;
    return field;
}

inline IndexDef primaryKey(const std::string& fields) {
    return indexOn("", fields, IndexOption::ixPrimary);
}

inline IndexDef expressionIndex(const std::string& name, const std::string& expression) {
    IndexDef index;
    index.name = name;
    index.expression = expression;
    index.options = IndexOption::ixExpression;
    return index;
}

// Writes table `fileName` of `type` into `directory` with the given fields, indexes and
// records; `like` carries format properties such as a Paradox password.
inline void writeTable(const std::string& directory, const std::string& fileName, TTableType type,
                       const std::vector<FieldSpec>& fields, const std::vector<IndexDef>& indexes,
                       const std::vector<Record>& records = {},
                       std::shared_ptr<const FormatProperties> like = nullptr) {
    TableFormat& format = formatFor(type, fileName);
    TableSchema schema;
    for (const FieldSpec& f : fields) schema.fields.push_back(fieldFor(format, f));
    schema.indexes = indexes;
    const TablePath path{directory, fileName};
    if (!like) {
        createTable(format, path, schema, records);
        return;
    }
    FileTransaction tx(defaultFileSystem(), path.full());
    auto builder = format.build(path, schema, like, tx);
    for (const Record& record : records) builder->append(record);
    builder->finish();
    tx.commit();
}

}  // namespace kx4::test

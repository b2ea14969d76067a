#include "tests/support/DemoAlias.h"

#include <fstream>
#include <sstream>

#include "engine/Session.h"
#include "engine/Table.h"
#include "tools/kx4table/DemoDatabase.h"

namespace kx4::test {

DemoAlias::DemoAlias() {
    writeDemoTables(tables());
    std::ofstream(dir_.file("engine.ini")) << "[DEMO]\nTYPE=STANDARD\nPATH=" << tables() << "\n";
    Session().setConfigPath(dir_.file("engine.ini"));
    Session().RemoveAllPasswords();
}

DemoAlias::~DemoAlias() {
    Session().RemoveAllPasswords();
    Session().setConfigPath(TSession::defaultConfigPath());
}

std::string dumpTable(const std::string& alias, const std::string& tableName) {
    TTable table;
    table.DatabaseName = alias;
    table.TableName = tableName;
    table.Open();
    std::ostringstream out;
    std::vector<std::string> names;
    table.GetFieldNames(names);
    for (const auto& n : names) out << n << ';';
    out << '\n';
    auto records = table.Records();
    Record record;
    while (records->next(record)) {
        for (const auto& v : record) out << formatValue(v) << ';';
        out << '\n';
    }
    return out.str();
}

}  // namespace kx4::test

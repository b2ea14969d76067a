#include "engine/Query.h"

#include "engine/Session.h"
#include "engine/Table.h"
#include "engine/TableMaintenance.h"
#include "engine/core/Errors.h"
#include "engine/sql/AlterTable.h"

namespace kx4 {

namespace {

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        if (!text.empty()) text += ' ';
        text += line;
    }
    return text;
}

RestructurePlan planForAlter(TableFormat& format, const TableSchema& schema,
                             const AlterTableStatement& st, const std::string& tableFile) {
    RestructurePlan plan = identityPlan(schema);
    const int existing = schema.fieldIndex(st.column);
    if (st.action == AlterTableStatement::Action::Add) {
        if (existing >= 0)
            throwEngineError(DBIERR_INVALIDPARAM,
                             "Table " + tableFile + " already has a field named " + st.column);
        plan.fields.push_back(
            FieldPlan{fieldForCreate(format, st.column, st.type, st.size, false), -1});
    } else {
        if (existing < 0)
            throwEngineError(DBIERR_NOSUCHFIELD,
                             "Table " + tableFile + " has no field named " + st.column);
        if (schema.fields.size() == 1)
            throwEngineError(DBIERR_INVALIDPARAM,
                             "The only field of table " + tableFile + " cannot be dropped");
        plan.fields.erase(plan.fields.begin() + existing);
    }
    return plan;
}

}  // namespace

void TQuery::ExecSQL() {
    const AlterTableStatement st = parseAlterTable(joinLines(SQL));
    TTable table(session_);
    table.DatabaseName = DatabaseName;
    table.TableName = st.table;
    table.Exclusive = true;
    table.Open();
    TableFile& file = table.File();
    const RestructurePlan plan =
        planForAlter(table.Format(), file.schema(), st, file.path().fileName);
    restructureTable(table.Format(), file, plan, &Notes);
    table.Close();
}

}  // namespace kx4

// "Del Index": deletes the index whose field list was last clicked in the index list.
#include "engine/core/ScopeExit.h"
#include "maintenance/MaintenanceOperations.h"
#include "maintenance/MaintenanceSupport.h"
#include "ui/ExclusiveOpen.h"
#include "ui/Prompts.h"
#include "ui/TabTyp.h"
#include "ui/TableNames.h"
#include "ui/TablePasswords.h"

namespace kx4 {

namespace {

// The name of the index whose field list is exactly `fieldList` (case-sensitive); the last such
// index in definition order wins, and without one the name is empty.
std::string indexNameForFieldList(TTable& table, const QString& fieldList) {
    std::string name;
    table.IndexDefs().Update();
    for (const IndexDef& index : table.IndexDefs().items())
        if (fromEngine(index.fields) == fieldList) name = index.name;
    return name;
}

}  // namespace

void runIdxDelete(const OperationContext& context, const std::function<void()>& deleted) {
    const Selection& chosen = context.selection;
    if (!chosen.index) return;

    context.session.DropConnections();
    const TablePasswords passwords(context.session);
    TTable table(context.session);
    prepareTable(table, chosen.alias, chosen.table);

    const ScopeExit cleanUp([&] { showIndexesShared(context, table); });
    table.Open();
    const std::string foundName = indexNameForFieldList(table, *chosen.index);
    table.Close();

    TTabTyp& dialog = context.valuesDialog();
    dialog.TypPanel->hide();
    dialog.Label3->hide();
    dialog.FelderEdit->hide();
    dialog.TabNameEdit->setText(chosen.table);
    dialog.IndexEdit->setText(fromEngine(foundName));
    const int result = dialog.ShowModal();

    if (!staysInsideAlias(dialog.TabNameEdit->text())) {
        if (result != mrCancel) refuseTableName(dialog.TabNameEdit->text());
        return;
    }
    table.TableName = toEngine(dialog.TabNameEdit->text());
    table.TableType = typeForTypedName(dialog.TabNameEdit->text(), table.TableType);
    const std::string indexName = toEngine(dialog.IndexEdit->text());
    if (result == mrCancel) return;

    OpenExclusiveWithRetry(table, ExclusiveRetryQuestion(fromEngine(table.TableName)));
    table.Close();
    table.DeleteIndex(indexName);
    deleted();
}

}  // namespace kx4

// "Del Index": deletes the index whose field list was last clicked in the index list.
#include <QComboBox>
#include <QLabel>
#include <QTreeWidget>

#include "ExclusiveOpen.h"
#include "MaintenanceSupport.h"
#include "Prompts.h"
#include "ScopeExit.h"
#include "TabTyp.h"
#include "TabellenForm.h"
#include "TableNames.h"
#include "TablePasswords.h"

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

void TTabellenForm::IdxDelBtnClick() {
    if (ListView2->selectedItems().isEmpty()) return;

    session().DropConnections();
    const TablePasswords passwords(session());
    TTable table(session());
    prepareTable(table, AliasBox->currentText(), TabString->text());

    const ScopeExit cleanUp([&] { showIndexesShared(*this, table); });
    table.Open();
    const std::string foundName = indexNameForFieldList(table, IndexText->text());
    table.Close();

    TTabTyp& dialog = valuesDialog(*this);
    dialog.TypPanel->hide();
    dialog.Label3->hide();
    dialog.FelderEdit->hide();
    dialog.TabNameEdit->setText(TabString->text());
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
    IndexText->clear();
}

}  // namespace kx4

// The main window's toolbar buttons: each calls the operation of its folder with what the user
// has chosen in this window.
#include <QComboBox>
#include <QLabel>
#include <QTreeWidget>

#include "app/TabellenForm.h"
#include "definition/DefineOperations.h"
#include "maintenance/MaintenanceOperations.h"
#include "report/DruckTab.h"
#include "ui/TabTyp.h"

namespace kx4 {

namespace {

// A node of the tree's second level: a table below the root "Tabellen".
bool isTableNode(const QTreeWidgetItem* node) {
    return node && node->parent() && !node->parent()->parent();
}

// The first selected row of a list, in row order.
const QTreeWidgetItem* firstSelectedRow(const QTreeWidget& list) {
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list.topLevelItem(i);
        if (item->isSelected()) return item;
    }
    return nullptr;
}

}  // namespace

Selection TTabellenForm::selection() const {
    Selection chosen;
    chosen.alias = AliasBox->currentText();
    chosen.table = TabString->text();
    const QList<QTreeWidgetItem*> nodes = TabellenNamen->selectedItems();
    if (!nodes.isEmpty() && isTableNode(nodes.first())) chosen.treeTable = nodes.first()->text(0);
    if (const QTreeWidgetItem* row = firstSelectedRow(*ListView1))
        chosen.field = FieldRow{row->text(0), row->text(1), row->text(2)};
    if (!ListView2->selectedItems().isEmpty()) chosen.index = IndexText->text();
    return chosen;
}

OperationContext TTabellenForm::operationContext() {
    return {.session = session_,
            .parent = this,
            .panel = *WartePanel,
            .selection = selection(),
            .valuesDialog = [this]() -> TTabTyp& {
                // The start-up creates the dialog; a window made without it gets one on first use.
                if (!TabTyp) TabTyp = new TTabTyp(this);
                return *TabTyp;
            },
            .showIndexes = [this](TTable& table) { GetIndexes(table); }};
}

void TTabellenForm::DruckBtnClick() { DruckTab(operationContext(), DruckBtn->icon()); }
void TTabellenForm::NeuTableClick() { runNewTable(operationContext()); }
void TTabellenForm::ZQSpeedBtn1Click() { runDelField(operationContext()); }
void TTabellenForm::AddFeldBtnClick() { runAddField(operationContext()); }
void TTabellenForm::ChangeFeldLenthClick() { runChangeFieldLength(operationContext()); }
void TTabellenForm::CompressBtnClick() { runCompress(operationContext()); }
void TTabellenForm::IndexReorgBtnClick() { runIndexReorg(operationContext()); }
void TTabellenForm::IdxDefineBtnClick() { runIdxDefine(operationContext()); }
void TTabellenForm::IdxDelBtnClick() {
    runIdxDelete(operationContext(), [this] { IndexText->clear(); });
}

}  // namespace kx4

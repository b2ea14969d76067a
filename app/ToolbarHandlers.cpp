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

Selection TTabellenForm::selection() const {
    Selection chosen;
    chosen.alias = AliasBox->currentText();
    chosen.table = TabString->text();
    if (const QTreeWidgetItem* node = selectedTableNode()) chosen.treeTable = node->text(0);
    if (const QTreeWidgetItem* row = selectedFieldRow())
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

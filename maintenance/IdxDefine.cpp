// "Create Idx": adds one index, asked for in the values dialog, to a table of the chosen alias.
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

constexpr qsizetype kMaxIndexNameLength = 25;

// The index type from the type box's text, compared exactly; any other text means
// case-insensitive.
TIndexOptions optionsFromTypeText(const QString& text) {
    if (text == QStringLiteral("ixPrimary")) return IndexOption::ixPrimary;
    if (text == QStringLiteral("ixUnique")) return IndexOption::ixUnique;
    return IndexOption::ixCaseInsensitive;
}

}  // namespace

void runIdxDefine(const OperationContext& context) {
    const Selection& chosen = context.selection;
    if (!chosen.table.contains(u'.')) return;

    const TablePasswords passwords(context.session);
    TTable table(context.session);
    prepareTable(table, chosen.alias, chosen.table);

    TTabTyp& dialog = context.valuesDialog();
    for (QWidget* control :
         {static_cast<QWidget*>(dialog.TypPanel), static_cast<QWidget*>(dialog.IndexLabel),
          static_cast<QWidget*>(dialog.IndexEdit), static_cast<QWidget*>(dialog.Label3),
          static_cast<QWidget*>(dialog.FelderEdit)})
        control->setVisible(true);
    dialog.TabNameEdit->setText(fromEngine(table.TableName));
    dialog.IndexEdit->clear();  // the field list and the type keep what they held
    const bool cancelled = dialog.ShowModal() == mrCancel;

    const TIndexOptions options = optionsFromTypeText(dialog.TabBox->currentText());
    table.TableName = toEngine(dialog.TabNameEdit->text());
    table.TableType = typeForTypedName(dialog.TabNameEdit->text(), table.TableType);
    const QString indexName = dialog.IndexEdit->text();
    const QString fields = dialog.FelderEdit->text();
    if (cancelled) return;
    if (!staysInsideAlias(dialog.TabNameEdit->text())) {
        refuseTableName(dialog.TabNameEdit->text());
        return;
    }

    if (indexName.length() > kMaxIndexNameLength) {
        MessageDlg(QStringLiteral("Index name is too long!\rMaximum length is 25 characters."),
                   TMsgDlgType::mtError, mbOK);
        return;
    }

    const ScopeExit cleanUp([&] { showIndexesShared(context, table); });
    OpenExclusiveWithRetry(table, ExclusiveRetryQuestion(fromEngine(table.TableName)));
    table.Close();
    table.AddIndex(toEngine(indexName), toEngine(fields), options);
}

}  // namespace kx4

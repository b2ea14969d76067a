// "Field Type": changes the type (and for sized types the length) of the field chosen in the
// main window's field list by restructuring its table.
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

#include "app/ChangeFeldTypForm.h"
#include "app/TabellenForm.h"
#include "engine/core/Errors.h"
#include "restructure/ParadoxChange.h"
#include "ui/AliasPath.h"
#include "ui/Convert.h"
#include "ui/ExclusiveOpen.h"
#include "ui/Prompts.h"
#include "ui/TablePasswords.h"
#include "ui/TableTypeOfName.h"

namespace kx4 {

namespace {

constexpr int kTypeColumn = 1;
constexpr int kLargestSize = 0xFFFF;

// The length typed into the dialog. A number that a field length cannot be is refused rather
// than cut to 16 bits, which would ask the engine for some other length than the one typed.
std::uint16_t feldSizeOf(const QString& text) {
    const int size = StrToInt(text);
    if (size < 0 || size > kLargestSize)
        throw EConvertError(QStringLiteral("Feld-Länge %1 liegt nicht zwischen 0 und %2")
                                .arg(size)
                                .arg(kLargestSize)
                                .toStdString());
    return static_cast<std::uint16_t>(size);
}

}  // namespace

void TTabellenForm::FeldTypBtnClick() {
    const QTreeWidgetItem* row = selectedFieldRow();
    if (!row) {
        MessageDlg(QStringLiteral("Es muss zuerst ein Feld in der Liste gewählt werden!"),
                   TMsgDlgType::mtError, mbOK);
        return;
    }
    PdxTable->Close();
    const QString feldName = row->text(0);
    const QString alias = AliasBox->currentText();
    const QString table = TabString->text();

    if (!ChangeFeldTypForm) ChangeFeldTypForm = new TChangeFeldTypForm(this);
    TChangeFeldTypForm& dialog = *ChangeFeldTypForm;
    dialog.AliasEdit->setText(alias);
    dialog.TabNameEdit->setText(table);
    dialog.FeldEdit->setText(feldName);
    dialog.altFeldTypEdit->setText(row->text(kTypeColumn));
    if (dialog.ShowModal() != mrOk) return;

    const QString typName = dialog.FeldTypBox->currentText();
    const std::uint8_t feldTyp = TChangeFeldTypForm::FeldTypCode(typName);
    const std::uint16_t size =
        TChangeFeldTypForm::TakesNoSize(typName) ? 0 : feldSizeOf(dialog.FeldSizeEdit->text());
    if (CheckExclusive(alias, table)) DoChangeFeldTyp(alias, table, feldName, feldTyp, size);
}

bool TTabellenForm::CheckExclusive(const QString& alias, const QString& table) {
    const TablePasswords passwords(session_);
    TTable probe(session_);  // closed and freed before the passwords go
    probe.DatabaseName = AnsiToOem(alias);
    probe.TableName = AnsiToOem(table);
    probe.TableType = TableTypeOfName(table);
    probe.IndexFieldNames.clear();
    OpenExclusiveWithRetry(probe, ExclusiveRetryQuestion(table));
    probe.Close();
    probe.Exclusive = false;
    return true;
}

void TTabellenForm::DoChangeFeldTyp(const QString& alias, const QString& table,
                                    const QString& feldName, std::uint8_t feldTyp,
                                    std::uint16_t size) {
    TParadoxChange change(session_);
    change.DatabaseName = AnsiToOem(alias);
    change.TableName = AnsiToOem(table);
    {
        const WartePanelScope progress(*WartePanel, restructureSubtitle(), kShowPanelAfter);
        change.ChangeField(feldName.toStdString(), feldTyp, size);
    }
    QCoreApplication::processEvents();
}

}  // namespace kx4

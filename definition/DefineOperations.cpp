#include "DefineOperations.h"

#include <QTreeWidget>

#include "Convert.h"
#include "DefineForm.h"
#include "Errors.h"
#include "Prompts.h"
#include "TabellenForm.h"

namespace kx4 {

namespace {

// Creates DefineForm for one use and frees it when the use ends, also by an exception.
class DefineFormUse {
  public:
    explicit DefineFormUse(TTabellenForm& owner) {
        DefineForm = new TDefineForm(owner.session(), &owner);
    }
    ~DefineFormUse() { TTabellenForm::NilAndFree(DefineForm); }
    DefineFormUse(const DefineFormUse&) = delete;
    DefineFormUse& operator=(const DefineFormUse&) = delete;
};

// The first selected row of the field list, in row order.
QTreeWidgetItem* firstSelectedField(const QTreeWidget& fields) {
    for (int i = 0; i < fields.topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = fields.topLevelItem(i);
        if (item->isSelected()) return item;
    }
    return nullptr;
}

constexpr int kLargestLength = 0xFFFF;

// The typed length. A number beyond 16 bits is refused in its own words rather than cut, which
// would ask the engine for some other length (99999 came back as "Invalid size -31073").
int fieldLengthOf(const QString& text) {
    const int length = StrToInt(text);
    if (length > kLargestLength)
        throw EConvertError(QStringLiteral("Feld-Länge %1 ist größer als %2")
                                .arg(length)
                                .arg(kLargestLength)
                                .toStdString());
    return length;
}

// A node of the tree's second level: a table below the root "Tabellen".
bool isTableNode(const QTreeWidgetItem* node) {
    return node && node->parent() && !node->parent()->parent();
}

}  // namespace

void runNewTable(TTabellenForm& form) {
    const DefineFormUse use(form);
    DefineForm->exec();
}

void runDelField(TTabellenForm& form) {
    const DefineFormUse use(form);
    DefineForm->exec();
}

void runAddField(TTabellenForm& form) {
    const QList<QTreeWidgetItem*> selected = form.TabellenNamen->selectedItems();
    QTreeWidgetItem* node = selected.isEmpty() ? nullptr : selected.first();
    if (!isTableNode(node)) return;

    const DefineFormUse use(form);
    DefineMode = kFieldMode;
    DefineForm->AliasBox->setEditText(form.AliasBox->currentText());
    DefineForm->TabellenBox->setEditText(node->text(0));
    DefineForm->exec();
}

void runChangeFieldLength(TTabellenForm& form) {
    const QTreeWidgetItem* item = firstSelectedField(*form.ListView1);
    if (!item) return;
    const QString field = item->text(0);
    const QString typeName = item->text(1);
    QString length = item->text(2);

    if (!typeName.toUpper().contains(QStringLiteral("STRING"))) {
        MessageDlg(QStringLiteral("Function only for character fields!"),
                   TMsgDlgType::mtInformation, mbOK);
        return;
    }
    if (!InputQuery(QStringLiteral("New Field Length:"), QStringLiteral("set new Field Length:"),
                    length)) {
        return;
    }
    const DefineFormUse use(form);
    const WartePanelScope progress(*form.WartePanel, restructureSubtitle(), kShowPanelAfter);
    DefineForm->ChangeFeldLength(form.AliasBox->currentText(), form.TabString->text(), field,
                                 fieldLengthOf(length));
}

}  // namespace kx4

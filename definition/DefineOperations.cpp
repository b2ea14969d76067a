#include "definition/DefineOperations.h"

#include "definition/DefineForm.h"
#include "engine/core/Errors.h"
#include "ui/Convert.h"
#include "ui/Prompts.h"
#include "ui/WartePanel.h"

namespace kx4 {

namespace {

// Creates DefineForm for one use and frees it when the use ends, also by an exception.
class DefineFormUse {
  public:
    explicit DefineFormUse(const OperationContext& context) {
        DefineForm = new TDefineForm(context.session, context.parent);
    }
    ~DefineFormUse() {
        delete DefineForm;
        DefineForm = nullptr;
    }
    DefineFormUse(const DefineFormUse&) = delete;
    DefineFormUse& operator=(const DefineFormUse&) = delete;
};

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

}  // namespace

void runNewTable(const OperationContext& context) {
    const DefineFormUse use(context);
    DefineForm->exec();
}

void runDelField(const OperationContext& context) {
    const DefineFormUse use(context);
    DefineForm->exec();
}

void runAddField(const OperationContext& context) {
    const std::optional<QString>& table = context.selection.treeTable;
    if (!table) return;

    const DefineFormUse use(context);
    DefineMode = kFieldMode;
    DefineForm->AliasBox->setEditText(context.selection.alias);
    DefineForm->TabellenBox->setEditText(*table);
    DefineForm->exec();
}

void runChangeFieldLength(const OperationContext& context) {
    const std::optional<FieldRow>& row = context.selection.field;
    if (!row) return;
    const QString field = row->name;
    const QString typeName = row->typeName;
    QString length = row->length;

    if (!typeName.toUpper().contains(QStringLiteral("STRING"))) {
        MessageDlg(QStringLiteral("Function only for character fields!"),
                   TMsgDlgType::mtInformation, mbOK);
        return;
    }
    if (!InputQuery(QStringLiteral("New Field Length:"), QStringLiteral("set new Field Length:"),
                    length)) {
        return;
    }
    const DefineFormUse use(context);
    const WartePanelScope progress(context.panel, restructureSubtitle(), kShowPanelAfter);
    DefineForm->ChangeFeldLength(context.selection.alias, context.selection.table, field,
                                 fieldLengthOf(length));
}

}  // namespace kx4

#include "app/ChangeFeldTypForm.h"

#include <QFocusEvent>
#include <QVBoxLayout>

#include "ui/Convert.h"
#include "ui/ErrorBox.h"
#include "ui/ExactComboBox.h"
#include "ui/FormTextApplier.h"
#include "ui/Prompts.h"

namespace kx4 {

namespace {

QFrame* bevelPanel(const char* name, QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return panel;
}

QLabel* label(const char* name, const QString& text, QWidget* parent) {
    auto* result = new QLabel(text, parent);
    result->setObjectName(name);
    return result;
}

QLineEdit* readOnlyEdit(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::ClickFocus);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, QColor(192, 192, 192));
    edit->setPalette(palette);
    return edit;
}

// Label above its edit, as in the other values dialog.
void addRow(QVBoxLayout* layout, QLabel* caption, QWidget* field) {
    layout->addWidget(caption);
    layout->addWidget(field);
    layout->addSpacing(4);
}

}  // namespace

const QStringList& TChangeFeldTypForm::FeldTypNames() {
    static const QStringList names = {
        "ftString",     "ftSmallint",    "ftInteger", "ftWord",      "ftBoolean",    "ftFloat",
        "ftCurrency",   "ftBCD",         "ftDate",    "ftTime",      "ftDateTime",   "ftBytes",
        "ftVarBytes",   "ftAutoInc",     "ftBlob",    "ftMemo",      "ftGraphic",    "ftFmtMemo",
        "ftParadoxOle", "ftTypedBinary", "ftCursor",  "ftFixedChar", "ftWideString", "ftLargeInt"};
    return names;
}

std::uint8_t TChangeFeldTypForm::FeldTypCode(const QString& typName) {
    // Codes are the field types' ordinals; ftDBaseOle (20) has no entry in the box.
    static const std::pair<const char*, std::uint8_t> kCodes[] = {
        {"ftString", 1},    {"ftSmallint", 2},   {"ftInteger", 3},     {"ftWord", 4},
        {"ftBoolean", 5},   {"ftFloat", 6},      {"ftCurrency", 7},    {"ftBCD", 8},
        {"ftDate", 9},      {"ftTime", 10},      {"ftDateTime", 11},   {"ftBytes", 12},
        {"ftVarBytes", 13}, {"ftAutoInc", 14},   {"ftBlob", 15},       {"ftMemo", 16},
        {"ftGraphic", 17},  {"ftFmtMemo", 18},   {"ftParadoxOle", 19}, {"ftTypedBinary", 21},
        {"ftCursor", 22},   {"ftFixedChar", 23}, {"ftWideString", 24}, {"ftLargeInt", 25}};
    for (const auto& [name, code] : kCodes)
        if (typName == QLatin1String(name)) return code;
    return 0;
}

bool TChangeFeldTypForm::TakesNoSize(const QString& typName) {
    static const QStringList kSizeLess = {"ftSmallint", "ftInteger",  "ftFloat", "ftCurrency",
                                          "ftDateTime", "ftLargeInt", "ftDate",  "ftTime"};
    return kSizeLess.contains(typName, Qt::CaseSensitive);
}

int TChangeFeldTypForm::ShowModal() { return exec(); }

TChangeFeldTypForm::TChangeFeldTypForm(QWidget* parent) : ValuesDialog(parent) {
    setObjectName("ChangeFeldTypForm");
    setWindowTitle(QStringLiteral("Werte angeben"));
    setFixedSize(366, 343);
    setFont(dialogFont(font()));

    Panel2 = bevelPanel("Panel2", this);
    auto* identification = new QVBoxLayout(Panel2);
    identification->setSpacing(2);
    Label3 = label("Label3", QStringLiteral("DB-Alias-Name:"), Panel2);
    AliasEdit = readOnlyEdit("AliasEdit", Panel2);
    Label2 = label("Label2", QStringLiteral("Tabellen-Name:"), Panel2);
    TabNameEdit = readOnlyEdit("TabNameEdit", Panel2);
    IndexLabel = label("IndexLabel", QStringLiteral("Feld-Name:"), Panel2);
    FeldEdit = readOnlyEdit("FeldEdit", Panel2);
    FeldEdit->setToolTip(QStringLiteral("mehrere Felder durch \"&\" verbinden"));
    addRow(identification, Label3, AliasEdit);
    addRow(identification, Label2, TabNameEdit);
    addRow(identification, IndexLabel, FeldEdit);

    TypPanel = bevelPanel("TypPanel", this);
    auto* type = new QVBoxLayout(TypPanel);
    type->setSpacing(2);
    Label4 = label("Label4", QStringLiteral("bisheriger Feld-Typ:"), TypPanel);
    altFeldTypEdit = readOnlyEdit("altFeldTypEdit", TypPanel);
    Label1 = label("Label1", QStringLiteral("neuen Feld-Typ festlegen:"), TypPanel);
    FeldTypBox = new QComboBox(TypPanel);
    FeldTypBox->setObjectName("FeldTypBox");
    FeldTypBox->setEditable(true);
    FeldTypBox->setInsertPolicy(QComboBox::NoInsert);
    FeldTypBox->addItems(FeldTypNames());
    FeldTypBox->setCurrentText("ftString");
    exactEntriesOnly(*FeldTypBox);
    Label5 = label("Label5", QStringLiteral("Feld-Länge:"), TypPanel);
    FeldSizeEdit = new QLineEdit(TypPanel);
    FeldSizeEdit->setObjectName("FeldSizeEdit");
    FeldSizeEdit->installEventFilter(this);
    addRow(type, Label4, altFeldTypEdit);
    addRow(type, Label1, FeldTypBox);
    addRow(type, Label5, FeldSizeEdit);

    const DialogToolBar toolBar = createDialogToolBar(*this);
    ToolBar1 = toolBar.bar;
    OKBtn = toolBar.okButton;
    CancelBtn = toolBar.cancelButton;
    connect(OKBtn, &QToolButton::clicked, this, [this] { runHandler([this] { OKBtnClick(); }); });
    connect(CancelBtn, &QToolButton::clicked, this,
            [this] { runHandler([this] { CancelBtnClick(); }); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 5, 0);
    layout->setSpacing(5);
    layout->addWidget(Panel2);
    layout->addWidget(TypPanel);
    layout->addStretch(1);
    layout->addWidget(ToolBar1);

    runHandler([this] { FormCreate(); });
}

void TChangeFeldTypForm::FormCreate() {
    if (usesCatalogueTexts()) LadeSprache();
}

void TChangeFeldTypForm::LadeSprache() { applyFormTexts(*this, changeFeldTypFormTexts()); }

bool TChangeFeldTypForm::CheckSize() {
    const QString size = FeldSizeEdit->text();
    if (size.isEmpty() || TryStrToInt(size)) return true;
    MessageDlg(QStringLiteral("Wert muss eine ganze Zahl sein!"), TMsgDlgType::mtError, mbOK);
    FeldSizeEdit->setFocus();
    return false;
}

void TChangeFeldTypForm::FeldSizeEditExit() { CheckSize(); }

void TChangeFeldTypForm::OKBtnClick() {
    if (CheckSize()) done(mrOk);
}

void TChangeFeldTypForm::CancelBtnClick() { done(mrCancel); }

// Leaving the length for another control of the dialog (not for another window) checks it.
bool TChangeFeldTypForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FeldSizeEdit && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            runHandler([this] { FeldSizeEditExit(); });
        }
    }
    return ValuesDialog::eventFilter(watched, event);
}

}  // namespace kx4

#include "ui/TabTyp.h"

#include <QScreen>

#include "ui/ErrorBox.h"
#include "ui/ExactComboBox.h"
#include "ui/FormTextApplier.h"
#include "ui/PlacedLabel.h"
#include "ui/Prompts.h"

namespace kx4 {

namespace {

QFrame* bevelPanel(const char* name, QRect geometry, QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(geometry);
    return panel;
}

QLineEdit* edit(const char* name, QPoint at, int width, QWidget* parent) {
    auto* result = new QLineEdit(parent);
    result->setObjectName(name);
    result->setGeometry(at.x(), at.y(), width, 21);
    return result;
}

TTabTyp::ModalHook& installedModalHook() {
    static TTabTyp::ModalHook hook;
    return hook;
}

// "MS Sans Serif", 11 pixels, bold, for the whole dialog.
QFont valuesDialogFont(const QFont& base) {
    QFont font = dialogFont(base);
    font.setFamily(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

}  // namespace

TTabTyp::TTabTyp(QWidget* parent) : ValuesDialog(parent) {
    setObjectName("TabTyp");
    setWindowTitle(QStringLiteral("Werte angeben"));
    setFixedSize(366, 275);
    setFont(valuesDialogFont(font()));

    TypPanel = bevelPanel("TypPanel", QRect(6, 150, 355, 59), this);
    Label1 = placedLabel("Label1", QStringLiteral("Index-Typ festlegen:"), {14, 10}, TypPanel);
    TabBox = new QComboBox(TypPanel);
    TabBox->setObjectName("TabBox");
    TabBox->setEditable(true);
    TabBox->addItems({"ixPrimary", "ixUnique", "ixCaseInsensitive"});
    TabBox->setCurrentText("ixCaseInsensitive");
    exactEntriesOnly(*TabBox);
    TabBox->setGeometry(14, 28, 207, 22);

    Panel2 = bevelPanel("Panel2", QRect(6, 6, 355, 139), this);
    Label2 = placedLabel("Label2", QStringLiteral("Tabellen-Name:"), {10, 6}, Panel2);
    Label3 = placedLabel("Label3",
                         QStringLiteral("Index-Feld-Namen:     (Felder trennen durch Semikolon)"),
                         {10, 94}, Panel2);
    IndexLabel =
        placedLabel("IndexLabel", QStringLiteral("Index-Name:              (nicht bei ixPrimary)"),
                    {11, 50}, Panel2);
    TabNameEdit = edit("TabNameEdit", {8, 22}, 333, Panel2);
    IndexEdit = edit("IndexEdit", {8, 66}, 333, Panel2);
    IndexEdit->setToolTip(QStringLiteral("mehrere Felder durch \"&\" verbinden"));
    FelderEdit = edit("FelderEdit", {8, 110}, 333, Panel2);
    // The type panel comes first in the tab order, then the names panel.
    setTabOrder(TabBox, TabNameEdit);
    setTabOrder(TabNameEdit, IndexEdit);
    setTabOrder(IndexEdit, FelderEdit);

    const DialogToolBar toolBar = createDialogToolBar(*this);
    ToolBar1 = toolBar.bar;
    OKBtn = toolBar.okButton;
    CancelBtn = toolBar.cancelButton;
    ToolBar1->setGeometry(0, height() - 46, width(), 46);
    connect(OKBtn, &QToolButton::clicked, this, [this] { runHandler([this] { OKBtnClick(); }); });
    connect(CancelBtn, &QToolButton::clicked, this,
            [this] { runHandler([this] { CancelBtnClick(); }); });

    runHandler([this] { FormCreate(); });
}

void TTabTyp::FormCreate() {
    if (usesCatalogueTexts()) LadeSprache();
}

void TTabTyp::LadeSprache() {
    applyFormTexts(*this, tabTypTexts());
    for (QLabel* text : {Label1, Label2, Label3, IndexLabel}) text->adjustSize();
}

void TTabTyp::OKBtnClick() { done(mrOk); }

void TTabTyp::CancelBtnClick() { done(mrCancel); }

int TTabTyp::ShowModal() {
    if (const QScreen* shown = screen())
        move(shown->availableGeometry().center() - rect().center());
    const ModalHook& hook = installedModalHook();
    if (!hook) return exec();
    setResult(mrNone);
    show();
    hook(*this);
    if (isVisible()) reject();
    return result();
}

void TTabTyp::setModalHook(ModalHook hook) { installedModalHook() = std::move(hook); }

}  // namespace kx4

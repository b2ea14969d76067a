#include "ui/DialogToolBar.h"

#include "ui/Images.h"
#include "ui/Prompts.h"

namespace kx4 {

namespace {

constexpr QSize kButtonSize(95, 38);

void addSpacer(QToolBar* bar, const char* name, int width) {
    auto* spacer = new QWidget(bar);
    spacer->setObjectName(name);
    spacer->setFixedWidth(width);
    bar->addWidget(spacer);
}

QToolButton* addButton(QToolBar* bar, const char* name, const QString& caption, int image) {
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setText(caption);
    button->setIcon(ListeImg().icon(image));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setMinimumSize(kButtonSize);
    button->setFocusPolicy(Qt::NoFocus);
    bar->addWidget(button);
    return button;
}

}  // namespace

QFont dialogFont(QFont base) {
    base.setPixelSize(11);
    base.setBold(true);
    return base;
}

DialogToolBar createDialogToolBar(QDialog& dialog) {
    auto* bar = new QToolBar(&dialog);
    bar->setObjectName("ToolBar1");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(18, 18));
    addSpacer(bar, "Panel1", 69);
    QToolButton* ok = addButton(bar, "OKBtn", QStringLiteral("OK"), imgOk);
    addSpacer(bar, "Panel9", 33);
    QToolButton* cancel =
        addButton(bar, "CancelBtn", QStringLiteral("      Cancel      "), imgCancel);
    return {bar, ok, cancel};
}

void ValuesDialog::reject() { done(mrCancel); }

}  // namespace kx4

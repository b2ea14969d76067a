#pragma once
// The OK/Cancel tool bar at the bottom of the values dialogs: flat, captions under the images,
// buttons 95 x 38, a 69-pixel spacer before OK and a 33-pixel one between the buttons.
#include <QDialog>
#include <QToolBar>
#include <QToolButton>

namespace kx4 {

struct DialogToolBar {
    QToolBar* bar;
    QToolButton* okButton;
    QToolButton* cancelButton;
};

// The values dialogs' font: bold, 11 pixels high.
QFont dialogFont(QFont base);

// Creates the tool bar as a child of `dialog`; the caller places it and wires the buttons.
DialogToolBar createDialogToolBar(QDialog& dialog);

// The modal results of the values dialogs: OK gives mrOk (1), everything else mrCancel (2).
class ValuesDialog : public QDialog {
  public:
    using QDialog::QDialog;
    void reject() override;  // Escape and the window frame give mrCancel
};

}  // namespace kx4

#pragma once
// The values dialog "Werte angeben" of the index operations: table name, index name, index
// fields and index type. One instance lives from start-up to exit; its edits keep their texts
// between uses. exec() returns mrOk (1) after OK and mrCancel (2) otherwise.
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QToolBar>
#include <QToolButton>
#include <functional>

#include "ui/DialogToolBar.h"

namespace kx4 {

class TTabTyp : public ValuesDialog {
    Q_OBJECT

  public:
    explicit TTabTyp(QWidget* parent = nullptr);

    void FormCreate();
    void LadeSprache();
    void OKBtnClick();
    void CancelBtnClick();

    // Shows the dialog modally, centred on the screen, and returns its modal result.
    int ShowModal();

    // Tests play the user's part without a nested event loop: while a hook is installed,
    // ShowModal shows the dialog, calls the hook (which fills in the controls and presses OK or
    // Cancel, or nothing) and returns the modal result; a dialog left open counts as closed.
    using ModalHook = std::function<void(TTabTyp&)>;
    static void setModalHook(ModalHook hook);

    QFrame* TypPanel = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* TabBox = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* IndexLabel = nullptr;
    QLineEdit* TabNameEdit = nullptr;
    QLineEdit* IndexEdit = nullptr;
    QLineEdit* FelderEdit = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* OKBtn = nullptr;
    QToolButton* CancelBtn = nullptr;
};

}  // namespace kx4

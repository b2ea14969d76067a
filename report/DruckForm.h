#pragma once
// The print options dialog "Drucken": printer or text file, and the file's name. Created for
// one report and freed after it; however it is closed, the radio buttons decide the target.
#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolBar>
#include <QToolButton>

namespace kx4 {

class TDruckForm : public QDialog {
    Q_OBJECT

  public:
    explicit TDruckForm(QWidget* parent = nullptr);

    // Runs the dialog modally; returns its modal result (mrOk after "Drucken").
    int ShowModal();

    void OKBtnClick();
    void aktuellRadioClick();
    void alleRadioClick();
    // The file name is shown exactly while "alle" (the file target) is chosen.
    void updateAnsicht();

    // Hides a button of ToolBar2 (a tool bar shows or hides its widgets through their actions).
    void hideToolButton(QToolButton* button);

    QLabel* Label1 = nullptr;
    QFrame* Bevel1 = nullptr;
    QRadioButton* aktuellRadio = nullptr;
    QRadioButton* alleRadio = nullptr;
    QLabel* DateiLabel = nullptr;
    QLineEdit* DateiEdit = nullptr;
    QCheckBox* CustReport = nullptr;
    QToolBar* ToolBar2 = nullptr;
    QToolButton* OKBtn = nullptr;
    QToolButton* HelpBtn = nullptr;
    QToolButton* CancelBtn = nullptr;
};

}  // namespace kx4

#pragma once
// The change-field-type dialog "Werte angeben": shows alias, table, field and its current type;
// the user picks the new type and, for sized types, the length. One instance lives from start-up
// to exit; the type box and the length keep the last choice. exec() returns mrOk (1) after OK and
// mrCancel (2) otherwise. Its texts are the same for every language.
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QToolBar>
#include <QToolButton>

#include "DialogToolBar.h"

namespace kx4 {

class TChangeFeldTypForm : public ValuesDialog {
    Q_OBJECT

  public:
    explicit TChangeFeldTypForm(QWidget* parent = nullptr);

    // The type names the box offers, in order.
    static const QStringList& FeldTypNames();

    void FormCreate();
    void LadeSprache();
    void OKBtnClick();
    void CancelBtnClick();
    void FeldSizeEditExit();
    // False (after telling the user) when the length is neither empty nor a whole number.
    bool CheckSize();

    QFrame* Panel2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* AliasEdit = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* TabNameEdit = nullptr;
    QLabel* IndexLabel = nullptr;
    QLineEdit* FeldEdit = nullptr;
    QFrame* TypPanel = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* altFeldTypEdit = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* FeldTypBox = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* FeldSizeEdit = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* OKBtn = nullptr;
    QToolButton* CancelBtn = nullptr;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace kx4

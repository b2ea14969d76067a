#pragma once
// The change-field-type dialog "Werte angeben": shows alias, table, field and its current type;
// the user picks the new type and, for sized types, the length. One instance lives from start-up
// to exit; the type box and the length keep the last choice. ShowModal() returns mrOk (1) after
// OK and mrCancel (2) otherwise. Its texts are the same for every language.
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QToolBar>
#include <QToolButton>
#include <cstdint>

#include "ui/DialogToolBar.h"

namespace kx4 {

class TChangeFeldTypForm : public ValuesDialog {
    Q_OBJECT

  public:
    explicit TChangeFeldTypForm(QWidget* parent = nullptr);

    // The type names the box offers, in order.
    static const QStringList& FeldTypNames();
    // The field-type code of a type name (exact spelling), 0 for any other text.
    static std::uint8_t FeldTypCode(const QString& typName);
    // Types whose length is fixed: the length field is ignored for them.
    static bool TakesNoSize(const QString& typName);

    // Runs the dialog modally and returns its modal result. Tests override it to fill the
    // dialog and press its buttons without a nested event loop.
    virtual int ShowModal();

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

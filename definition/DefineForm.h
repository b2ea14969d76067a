#pragma once
// The table definition window "Tabelle definieren": an alias, a table and a list of field
// definitions, one row per field (name, type letter, size), held in three parallel list boxes.
// In table mode saving creates the table from all rows; in field mode (DefineMode "feld") it adds
// the field of the last row to the existing table. The delete button drops the field of the
// selected row from the table. The main window creates the window for each use (DefineForm) and
// frees it afterwards; exec() returns mrOk after "Beenden" and mrCancel when the window is closed.
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <functional>

#include "engine/Query.h"
#include "engine/Session.h"
#include "ui/DialogToolBar.h"
#include "ui/Images.h"

namespace kx4 {

// The window's mode, shared with the main window: "feld" selects field mode, anything else is
// table mode. Every new window starts in table mode.
extern QString DefineMode;
inline const QString kFieldMode = QStringLiteral("feld");

class TDefineForm;
// The one definition window that exists, if any (the main window creates and frees it).
extern TDefineForm* DefineForm;

// An editable combo box that reports when its list is about to open.
class TDropDownBox : public QComboBox {
  public:
    using QComboBox::QComboBox;
    std::function<void()> OnDropDown;
    void showPopup() override;
};

class TDefineForm : public ValuesDialog {
    Q_OBJECT

  public:
    explicit TDefineForm(TSession& session = Session(), QWidget* parent = nullptr);

    // Handlers.
    void EndeBtnClick();
    void AliasBoxDropDown();
    void TabellenBoxDropDown();
    void SaveBtnClick();
    void A1Click();
    void S1Click();
    void I1Click();
    void D1Click();
    void N1Click();
    void M1Click();
    void Einfgen1Click();
    void Grsse1Click();
    void FormCreate();
    void DefineTabelle();
    void DefineFeld();
    void Zurcksetzen1Click();
    void Zurcksetzen2Click();
    void Zurcksetzen3Click();
    void OKBtnClick();
    void TypEditChange();
    void TabellenBoxChange();
    void LadeSprache();
    void DeleteFeld();
    void DelBtnClick();
    // Gives a character field of the table a new length (the low 16 bits of `length`; 0 keeps
    // the length) by restructuring the table. Uses none of the window's controls.
    void ChangeFeldLength(const QString& alias, const QString& table, const QString& field,
                          int length);
    void L1Click();

    QFrame* Panel1 = nullptr;  // column header of the three lists
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QMenu* Pop2 = nullptr;  // type letters, for TypListe and TypEdit
    QAction* A1 = nullptr;
    QAction* S1 = nullptr;
    QAction* I1 = nullptr;
    QAction* D1 = nullptr;
    QLabel* Panel3 = nullptr;  // "Alias: "
    TDropDownBox* AliasBox = nullptr;
    QLabel* Panel4 = nullptr;  // "Tabelle: "
    TDropDownBox* TabellenBox = nullptr;
    QAction* N1 = nullptr;  // "&$"
    QAction* M1 = nullptr;
    QListWidget* FelderListe = nullptr;
    QListWidget* TypListe = nullptr;
    QListWidget* SizeListe = nullptr;
    QMenu* Pop1 = nullptr;  // of FelderListe
    QAction* Einfgen1 = nullptr;
    QMenu* Pop3 = nullptr;  // of SizeListe
    QAction* Grsse1 = nullptr;
    QAction* Zurcksetzen1 = nullptr;
    QAction* N2 = nullptr;
    QAction* Zurcksetzen2 = nullptr;
    QAction* N3 = nullptr;
    QAction* Zurcksetzen3 = nullptr;
    QAction* N4 = nullptr;
    QFrame* NeuPanel = nullptr;  // the entry editor, over the three lists while shown
    QLineEdit* NameEdit = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* TypEdit = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* SizeEdit = nullptr;
    TQuery Query1;
    QToolBar* ToolBar1 = nullptr;
    const TImageList ImageList1;
    QToolButton* DelBtn = nullptr;
    QWidget* Panel2 = nullptr;
    QAction* ToolButton2 = nullptr;
    QToolButton* SaveBtn = nullptr;
    QAction* ToolButton4 = nullptr;
    QWidget* Panel5 = nullptr;
    QToolButton* EndeBtn = nullptr;
    QPushButton* OKBtn = nullptr;
    QAction* L1 = nullptr;

    // The smallest size at which every type code, size and the caption can be read.
    QSize readableMinimumSize() const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void execWithProgress();
    void createToolBar();
    void createChoosers();
    void createLists();
    void createNeuPanel();
    void createMenus();
    void arrangeTabOrder();
    void arrangeControls();
    int typListeWidth() const;
    int sizeListeWidth() const;
    QAction* addMenuItem(QMenu* menu, const char* name, const QString& caption,
                         void (TDefineForm::*handler)());
    QAction* addMenuSeparator(QMenu* menu, const char* name);
    void wire(QAbstractButton* button, void (TDefineForm::*handler)());
    void chooseLetter(const QString& letter);

    TSession& session_;
};

}  // namespace kx4

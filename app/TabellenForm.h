#pragma once
// The main window "KX4 Tabellen-Info": toolbar, alias box, table tree, field and index lists.
// The window holds what the user has chosen (alias box text, TabString, IndexText, the selected
// tree node and field rows) and hands it to the toolbar operations as a Selection; the controls
// below are public so that the tests can reach them.
#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "engine/Session.h"
#include "engine/Table.h"
#include "ui/OperationContext.h"
#include "ui/WartePanel.h"

class QComboBox;
class QFrame;
class QLabel;
class QAction;
class QListWidget;
class QMenu;
class QTabWidget;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kx4 {

class TDataPage;
class TTabellenForm;
class TTabTyp;
class TableFile;

// Which code page the table's text is read with, and where that comes from ("CP 866 (Tabelle)").
QString codePageText(const TableFile& file);
class TChangeFeldTypForm;

// The three lists of the table definition window that GetFeldInfos fills in mode 2.
struct FeldListen {
    QListWidget* FelderListe = nullptr;  // field names
    QListWidget* TypListe = nullptr;     // type codes
    QListWidget* SizeListe = nullptr;    // lengths
};

class TTabellenForm : public QMainWindow {
    Q_OBJECT

  public:
    explicit TTabellenForm(TSession& session = Session(), QWidget* parent = nullptr);
    ~TTabellenForm() override;

    // Creation and destruction.
    void FormCreate();
    void FormDestroy();
    void LadeSprache();

    // Toolbar. Each button hands the operation of its folder what it needs of this window.
    void DruckBtnClick();
    void ChangeFeldLenthClick();
    void FeldTypBtnClick();
    void ZQSpeedBtn1Click();
    void AddFeldBtnClick();
    void NeuTableClick();
    void CompressBtnClick();
    void IndexReorgBtnClick();
    void IdxDefineBtnClick();
    void IdxDelBtnClick();
    void EndeBtnClick();

    // Browser.
    void AliasBoxChange();
    void GetTableNames();
    void TabellenNamenClick();
    void ListView2Click();
    // The tree's menu entry "Exportieren nach SQLite…": the table `tableName` of the chosen
    // alias into an SQLite database the user names.
    void ExportSqliteClick(const QString& tableName);
    void GetIndexes(TTable& table);
    // Describes field `feldName` of the open `table`. Mode 1: inserts the row (name, type name
    // with " (*)" for a field of the current index, length) into ListView1 at `position`.
    // Mode 2: appends name, type code and length to the three `lists` (position unused).
    void GetFeldInfos(const QString& feldName, TTable& table, int mode, int position,
                      const FeldListen& lists = {});
    // The alias's directory, or its server name for a non-file database (see AliasPath.h).
    QString GetAliasPath(const QString& alias) const;

    // "Field Type": true when the table could be opened exclusively (asking to retry while it
    // cannot); then the change itself.
    bool CheckExclusive(const QString& alias, const QString& table);
    void DoChangeFeldTyp(const QString& alias, const QString& table, const QString& feldName,
                         std::uint8_t feldTyp, std::uint16_t size);

    // Destroys a window created on demand and clears the caller's pointer to it.
    template <class Component>
    static void NilAndFree(Component*& component) {
        delete component;
        component = nullptr;
    }

    TSession& session() const { return session_; }

    // What the user has chosen in the controls, as the toolbar operations read it.
    Selection selection() const;
    // The session, this window as the dialogs' parent, the wait panel, the selection, the values
    // dialog (created on first use when the start-up did not) and GetIndexes.
    OperationContext operationContext();

    // The two dialogs that live from start-up to exit (see StartUp.h); owned by this window.
    TTabTyp* TabTyp = nullptr;
    TChangeFeldTypForm* ChangeFeldTypForm = nullptr;

    // Alias names of the session, in the session's order (the box shows them sorted).
    QStringList AliasNames;
    // The window's table component; closed except while the browser reads a table.
    std::unique_ptr<TTable> PdxTable;

    QToolBar* ToolBar1 = nullptr;
    QToolButton* DruckBtn = nullptr;
    QToolButton* ChangeFeldLenth = nullptr;
    QToolButton* FeldTypBtn = nullptr;
    QToolButton* ZQSpeedBtn1 = nullptr;
    QToolButton* AddFeldBtn = nullptr;
    QToolButton* NeuTable = nullptr;
    QToolButton* CompressBtn = nullptr;
    QToolButton* IndexReorgBtn = nullptr;
    QToolButton* IdxDefineBtn = nullptr;
    QToolButton* IdxDelBtn = nullptr;
    QToolButton* EndeBtn = nullptr;

    QLabel* TabString = nullptr;  // chosen table
    QLabel* IndexText = nullptr;  // chosen index's field list
    QFrame* Panel6 = nullptr;
    QLabel* Panel7 = nullptr;  // chosen alias's directory
    QLabel* Panel8 = nullptr;

    QTabWidget* PageControl1 = nullptr;
    QWidget* TablePage = nullptr;
    QWidget* Panel1 = nullptr;
    QWidget* Panel2 = nullptr;
    QComboBox* AliasBox = nullptr;
    QTreeWidget* TabellenNamen = nullptr;
    QTreeWidget* ListView1 = nullptr;  // fields: name, type, length
    QTreeWidget* ListView2 = nullptr;  // index field lists
    TDataPage* DatenPage = nullptr;    // the chosen table's records
    QMenu* TreeMenu = nullptr;         // the table tree's context menu
    QAction* ExportSqliteItem = nullptr;

    TWartePanel* WartePanel = nullptr;
    QLabel* Label1 = nullptr;  // "Bitte warten ..."
    QLabel* Label2 = nullptr;  // the running operation's subtitle

    // Every toolbar button, left to right.
    QList<QToolButton*> toolButtons() const;

  private:
    void createToolBar();
    QWidget* createSelectionBar(QWidget* parent);
    void createTablePage();
    void createWartePanel();
    QToolButton* addToolButton(const char* name, const QString& caption, const QString& hint,
                               int image, void (TTabellenForm::*handler)());
    void addGap(const char* name, int width);
    void addSeparator(const char* name);
    void sortTableNodes();
    void completeAlias(const QString& typed);
    bool eventFilter(QObject* watched, QEvent* event) override;
    QTreeWidgetItem* selectedTableNode() const;
    // The first selected row of the field list, in row order.
    QTreeWidgetItem* selectedFieldRow() const;
    void createTreeMenu();
    void pageChanged();
    QString menuTable_;  // the table node the tree's context menu was opened on

    TSession& session_;
    QString aliasTextBefore_;  // the alias box's text before the edit being handled
};

}  // namespace kx4

#pragma once
// The "Daten" page of the main window: the records of the table chosen in the tree, read-only,
// in physical order or in the order of one of its indexes, with the whole value of the current
// cell below the grid. The page holds the table open (shared) only while it is shown; an
// operation that needs the table to itself releases it first and shows it again afterwards.
#include <QString>
#include <QWidget>
#include <memory>

#include "app/RecordModel.h"
#include "engine/Session.h"
#include "engine/Table.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QTableView;

namespace kx4 {

class TDataPage : public QWidget {
    Q_OBJECT

  public:
    explicit TDataPage(TSession& session, QWidget* parent = nullptr);
    ~TDataPage() override;

    // The table the browser chose: an alias and a table name as the tree lists it.
    void choose(const QString& alias, const QString& table);
    // Opens the chosen table (again) and shows its records, keeping the chosen order while the
    // table still has that index.
    void load();
    // Closes the table; the page shows nothing until the next load().
    void release();
    bool loaded() const { return table_ != nullptr; }

    QLabel* OrderLabel = nullptr;
    QComboBox* OrderBox = nullptr;  // item data: the index name; none for physical order
    QLabel* RecordInfo = nullptr;   // record count and code page
    QTableView* DataGrid = nullptr;
    QPlainTextEdit* CellText = nullptr;  // the whole value of the current cell
    TRecordModel* Records = nullptr;

  private:
    void fillOrders(const QVariant& keep);
    int columnWidth(const TField& field) const;
    void orderChosen();
    void showCell();

    TSession& session_;
    QString alias_;
    QString tableName_;
    std::unique_ptr<TTable> table_;
};

}  // namespace kx4

#pragma once
// The records of an open table for a read-only grid. Rows are read on demand, a page of rows at
// a time, through the engine's reading by position, and only a few pages are kept: a table of a
// million records opens as fast as a small one, and memory stays bounded wherever the view goes.
#include <QAbstractTableModel>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/TableFormat.h"

namespace kx4 {

class TRecordModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    // The whole value of a cell as text: memos in full, binary values as hex; none for a blank.
    static constexpr int kFullTextRole = Qt::UserRole + 1;
    static constexpr int kRowsPerPage = 256;
    static constexpr std::size_t kCachedPages = 16;

    explicit TRecordModel(QObject* parent = nullptr);
    ~TRecordModel() override;

    // Shows the records of `table` (not owned; null: none) in physical order.
    void setTable(TableFile* table);
    // Shows the records in the order of the named index ("" the primary one); nullopt:
    // physical order. Holds the index's record positions, 4 bytes a record.
    void setOrder(const std::optional<std::string>& indexName);
    // The record position (from 1, in physical order) of `row`.
    std::uint64_t positionOf(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  signals:
    // A row could not be read; its cells stay empty.
    void readFailed(const QString& message) const;

  private:
    struct Row {
        Record values;
        bool deleted = false;
        bool failed = false;
    };
    struct Page {
        int number = 0;
        std::vector<Row> rows;
    };
    const Row& rowAt(int row) const;
    Page readPage(int number) const;

    TableFile* table_ = nullptr;
    std::unique_ptr<RecordReader> reader_;
    std::optional<std::vector<std::uint32_t>> order_;
    std::vector<FieldDef> fields_;
    int rows_ = 0;
    mutable std::list<Page> pages_;  // most recently used first
};

}  // namespace kx4

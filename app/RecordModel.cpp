#include "app/RecordModel.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <algorithm>
#include <climits>

#include "app/FieldTypeNames.h"
#include "texts/TextCatalogue.h"

namespace kx4 {

namespace {

const QColor kBlankBackground(232, 232, 232);
const QColor kDeletedText(150, 150, 150);

QFont deletedFont() {
    QFont font;
    font.setStrikeOut(true);
    return font;
}

QString firstLine(const std::string& text) {
    const auto end = text.find_first_of("\r\n");
    if (end == std::string::npos) return QString::fromStdString(text);
    return QString::fromStdString(text.substr(0, end)) + QStringLiteral(" …");
}

std::size_t binarySize(const FieldValue& value) {
    if (const auto* bytes = std::get_if<Bytes>(&value)) return bytes->size();
    if (const auto* blob = std::get_if<Blob>(&value)) return blob->data.size();
    return 0;
}

bool isBinary(const FieldValue& value) {
    return std::holds_alternative<Bytes>(value) || std::holds_alternative<Blob>(value);
}

bool isNumber(const FieldValue& value) {
    return std::holds_alternative<std::int64_t>(value) || std::holds_alternative<double>(value) ||
           std::holds_alternative<Decimal>(value);
}

QString cellText(const FieldValue& value) {
    if (isBinary(value))
        return CatalogueText(65215).arg(static_cast<qulonglong>(binarySize(value)));
    if (const auto* text = std::get_if<std::string>(&value)) return firstLine(*text);
    return QString::fromStdString(formatValue(value));
}

}  // namespace

TRecordModel::TRecordModel(QObject* parent) : QAbstractTableModel(parent) {}

TRecordModel::~TRecordModel() = default;

void TRecordModel::setTable(TableFile* table) {
    beginResetModel();
    pages_.clear();
    order_.reset();
    table_ = table;
    reader_ = table ? table->readByPosition() : nullptr;
    fields_ = table ? table->schema().fields : std::vector<FieldDef>{};
    rows_ = reader_ ? static_cast<int>(std::min<std::uint64_t>(reader_->count(), INT_MAX)) : 0;
    endResetModel();
}

void TRecordModel::setOrder(const std::optional<std::string>& indexName) {
    if (!table_) return;
    std::optional<std::vector<std::uint32_t>> order;
    if (indexName) {
        order = table_->indexPositions(*indexName);
        // A stale index entry may name a record the table no longer holds.
        std::erase_if(*order, [&](std::uint32_t p) { return p == 0 || p > reader_->count(); });
    }
    beginResetModel();
    pages_.clear();
    order_ = std::move(order);
    rows_ = static_cast<int>(
        std::min<std::uint64_t>(order_ ? order_->size() : reader_->count(), INT_MAX));
    endResetModel();
}

std::uint64_t TRecordModel::positionOf(int row) const {
    return order_ ? (*order_)[static_cast<std::size_t>(row)] : static_cast<std::uint64_t>(row) + 1;
}

TRecordModel::Page TRecordModel::readPage(int number) const {
    Page page{number, {}};
    const int first = number * kRowsPerPage;
    const int end = std::min(rows_, first + kRowsPerPage);
    page.rows.resize(static_cast<std::size_t>(end - first));
    for (int row = first; row < end; ++row) {
        Row& out = page.rows[static_cast<std::size_t>(row - first)];
        try {
            out.deleted = !reader_->read(positionOf(row), out.values);
        } catch (const std::exception& e) {
            out.failed = true;
            out.values.clear();
            emit readFailed(QString::fromUtf8(e.what()));
        }
    }
    return page;
}

const TRecordModel::Row& TRecordModel::rowAt(int row) const {
    const int number = row / kRowsPerPage;
    auto it = std::find_if(pages_.begin(), pages_.end(),
                           [&](const Page& p) { return p.number == number; });
    if (it == pages_.end()) {
        pages_.push_front(readPage(number));
        if (pages_.size() > kCachedPages) pages_.pop_back();
    } else if (it != pages_.begin()) {
        pages_.splice(pages_.begin(), pages_, it);
    }
    return pages_.front().rows[static_cast<std::size_t>(row - number * kRowsPerPage)];
}

int TRecordModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TRecordModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(fields_.size());
}

QVariant TRecordModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || index.column() >= columnCount()) return {};
    const Row& row = rowAt(index.row());
    if (row.failed || static_cast<std::size_t>(index.column()) >= row.values.size()) return {};
    const FieldValue& value = row.values[static_cast<std::size_t>(index.column())];
    switch (role) {
        case Qt::DisplayRole:
            return cellText(value);
        case kFullTextRole:
            return isBlank(value) ? QVariant() : QString::fromStdString(formatValue(value));
        case Qt::BackgroundRole:
            return isBlank(value) ? QBrush(kBlankBackground) : QVariant();
        case Qt::ForegroundRole:
            return row.deleted ? QBrush(kDeletedText) : QVariant();
        case Qt::FontRole:
            return row.deleted ? deletedFont() : QVariant();
        case Qt::ToolTipRole:
            return isBlank(value) ? CatalogueText(65214) : QVariant();
        case Qt::TextAlignmentRole:
            return isNumber(value) ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        default:
            return {};
    }
}

QVariant TRecordModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columnCount() || role != Qt::DisplayRole) return {};
        const FieldDef& field = fields_[static_cast<std::size_t>(section)];
        return QString::fromStdString(field.name) + u'\n' +
               QString::fromStdString(browserTypeName(field.type));
    }
    if (section < 0 || section >= rows_) return {};
    // The record's number in physical order, whatever the order shown. Known without reading
    // the record, so that sizing the header reads nothing.
    if (role == Qt::DisplayRole) return QString::number(positionOf(section));
    if (role == Qt::ToolTipRole && rowAt(section).deleted) return CatalogueText(65213);
    return {};
}

Qt::ItemFlags TRecordModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace kx4

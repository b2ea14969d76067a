#include "app/DataPage.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "app/FieldTypeNames.h"
#include "app/TabellenForm.h"
#include "app/WaitCursor.h"
#include "texts/TextCatalogue.h"
#include "ui/AliasPath.h"
#include "ui/ErrorBox.h"
#include "ui/TablePasswords.h"
#include "ui/TableTypeOfName.h"

namespace kx4 {

namespace {

constexpr int kMaxColumnChars = 40;

// Index orders of the table: its indexes in the table's order, each under its name (a Paradox
// primary index as "Primärindex") with its fields or key expression.
QString orderText(const IndexDef& index) {
    const bool primary = index.options.has(IndexOption::ixPrimary);
    const QString name = primary ? CatalogueText(65208) : QString::fromStdString(index.name);
    const std::string& key = index.fields.empty() ? index.expression : index.fields;
    return name + QStringLiteral(" (") + QString::fromStdString(key) + u')';
}

}  // namespace

// Wide enough for the field's header and a typical value, from the field's definition alone:
// measuring values would read records.
int TDataPage::columnWidth(const TField& field) const {
    int chars = 12;
    switch (field.DataType()) {
        case TFieldType::ftString:
        case TFieldType::ftFixedChar:
        case TFieldType::ftWideString:
            chars = field.Size();
            break;
        case TFieldType::ftDateTime:
            chars = 23;
            break;
        case TFieldType::ftMemo:
        case TFieldType::ftFmtMemo:
            chars = kMaxColumnChars;
            break;
        default:
            break;
    }
    const QFontMetrics metrics = DataGrid->fontMetrics();
    const QFontMetrics headerMetrics = DataGrid->horizontalHeader()->fontMetrics();
    const int header =
        std::max(headerMetrics.horizontalAdvance(QString::fromStdString(field.FieldName())),
                 headerMetrics.horizontalAdvance(
                     QString::fromStdString(browserTypeName(field.DataType())))) +
        24;
    return std::max(header,
                    metrics.averageCharWidth() * std::clamp(chars, 4, kMaxColumnChars) + 16);
}

TDataPage::TDataPage(TSession& session, QWidget* parent) : QWidget(parent), session_(session) {
    setObjectName("DataPage");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* bar = new QHBoxLayout;
    OrderLabel = new QLabel(QStringLiteral("Reihenfolge:"), this);
    OrderLabel->setObjectName("OrderLabel");
    OrderBox = new QComboBox(this);
    OrderBox->setObjectName("OrderBox");
    OrderBox->setMinimumWidth(260);
    OrderLabel->setBuddy(OrderBox);
    RecordInfo = new QLabel(this);
    RecordInfo->setObjectName("RecordInfo");
    bar->addWidget(OrderLabel);
    bar->addWidget(OrderBox);
    bar->addSpacing(16);
    bar->addWidget(RecordInfo, 1);
    layout->addLayout(bar);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    Records = new TRecordModel(this);
    DataGrid = new QTableView(splitter);
    DataGrid->setObjectName("DataGrid");
    DataGrid->setModel(Records);
    DataGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DataGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    DataGrid->setWordWrap(false);
    // Rows keep one height, so the view never measures rows it does not show.
    DataGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DataGrid->verticalHeader()->setDefaultSectionSize(DataGrid->fontMetrics().height() + 6);
    DataGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    CellText = new QPlainTextEdit(splitter);
    CellText->setObjectName("CellText");
    CellText->setReadOnly(true);
    splitter->addWidget(DataGrid);
    splitter->addWidget(CellText);
    splitter->setStretchFactor(0, 4);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);

    connect(OrderBox, &QComboBox::currentIndexChanged, this,
            [this] { runHandler([this] { orderChosen(); }); });
    connect(DataGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { showCell(); });
    connect(Records, &TRecordModel::readFailed, this,
            [this](const QString& message) { RecordInfo->setText(message); });
}

TDataPage::~TDataPage() { release(); }

void TDataPage::choose(const QString& alias, const QString& table) {
    if (alias == alias_ && table == tableName_) return;
    release();
    alias_ = alias;
    tableName_ = table;
    const QSignalBlocker quiet(OrderBox);
    OrderBox->clear();
}

void TDataPage::release() {
    Records->setTable(nullptr);
    CellText->clear();
    RecordInfo->clear();
    table_.reset();
}

void TDataPage::load() {
    const QVariant keep = OrderBox->currentData();
    release();
    if (tableName_.isEmpty()) return;
    const WaitCursor hourglass{this};
    auto table = std::make_unique<TTable>(session_);
    {
        const TablePasswords passwords(session_);
        table->DatabaseName = AnsiToOem(alias_);
        table->TableName = AnsiToOem(tableName_);
        table->TableType = TableTypeOfName(tableName_);
        table->Open();
    }
    table_ = std::move(table);
    Records->setTable(&table_->File());
    RecordInfo->setText(CatalogueText(65209).arg(QLocale().toString(Records->rowCount())) +
                        QStringLiteral("   ") + codePageText(table_->File()));
    for (int column = 0; column < table_->FieldCount(); ++column)
        DataGrid->setColumnWidth(column, columnWidth(table_->Fields(column)));
    fillOrders(keep);
}

void TDataPage::fillOrders(const QVariant& keep) {
    const QSignalBlocker quiet(OrderBox);
    OrderBox->clear();
    OrderBox->addItem(CatalogueText(65207));
    for (const IndexDef& index : table_->File().schema().indexes) {
        if (!index.fault.empty()) continue;
        const bool primary = index.options.has(IndexOption::ixPrimary);
        OrderBox->addItem(orderText(index), QString::fromStdString(primary ? "" : index.name));
    }
    const int kept = keep.isValid() ? OrderBox->findData(keep) : -1;
    OrderBox->setCurrentIndex(std::max(kept, 0));
    if (kept > 0) orderChosen();
}

void TDataPage::orderChosen() {
    if (!table_) return;
    const WaitCursor hourglass{this};
    const QVariant name = OrderBox->currentData();
    Records->setOrder(name.isValid() ? std::optional(name.toString().toStdString()) : std::nullopt);
    CellText->clear();
}

void TDataPage::showCell() {
    const QModelIndex current = DataGrid->currentIndex();
    CellText->setPlainText(current.data(TRecordModel::kFullTextRole).toString());
}

}  // namespace kx4

// The table browser of the main window: alias box, table tree, field list and index list.
#include <QCollator>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <stdexcept>

#include "app/DataPage.h"
#include "app/TabellenForm.h"
#include "app/WaitCursor.h"
#include "engine/core/ScopeExit.h"
#include "engine/core/TextCodec.h"
#include "ui/AliasPath.h"
#include "ui/FeldInfos.h"
#include "ui/Images.h"
#include "ui/TablePasswords.h"
#include "ui/TableTypeOfName.h"

namespace kx4 {

namespace {

constexpr int kTreeImageRoot = 1;
constexpr int kTreeImageTable = 2;
constexpr int kFieldRowImage = 0;
constexpr int kIndexRowImage = 0;
constexpr int kLengthColumn = 2;
const QString kRootNodeText = QStringLiteral("Tabellen");

QString pathParameter(const std::vector<std::string>& params) {
    QString path;
    for (const std::string& line : params) {
        const QString text = OemToAnsi(line);
        if (text.section(u'=', 0, 0).compare(u"PATH", Qt::CaseInsensitive) == 0)
            path = text.section(u'=', 1);
    }
    return path;
}

}  // namespace

// Which code page the table's text is read with, and whether the table names it; short enough
// for the panel. Asked alone: a dBase table's full info counts its live records, reading every
// record, and a click on a table must not depend on its size.
QString codePageText(const TableFile& file) {
    const auto [codePage, origin] = file.codePageInUse();
    const QString number = QString::fromStdString(TextCodec::nameOf(codePage));
    switch (origin) {
        case CodePageOrigin::Table:
            return QStringLiteral("CP %1 (Tabelle)").arg(number);
        case CodePageOrigin::Setting:
            return QStringLiteral("CP %1 (Einstellung)").arg(number);
        case CodePageOrigin::Default:
            break;
    }
    return QStringLiteral("CP %1 (Vorgabe)").arg(number);
}

void TTabellenForm::AliasBoxChange() {
    const QString alias = AliasBox->currentText();
    if (!AliasNames.contains(alias, Qt::CaseInsensitive)) return;

    std::vector<std::string> params;
    session_.GetAliasParams(AnsiToOem(alias), params);
    Panel7->setText(pathParameter(params));
    Panel8->clear();
    AddFeldBtn->setEnabled(false);
    DatenPage->choose(alias, {});

    GetTableNames();

    TabellenNamen->setFocus();
    sortTableNodes();
    TabString->clear();
    DruckBtn->setEnabled(false);
    TabellenNamen->expandAll();
}

void TTabellenForm::GetTableNames() {
    ListView1->clear();
    ListView2->clear();
    // Both guards end with the listing, also when the engine cannot list the alias.
    const WaitCursor hourglass{AliasBox, TablePage, TabellenNamen};
    TabellenNamen->setSortingEnabled(false);
    const TablePasswords passwords(session_);

    // Only a chosen item counts; a typed text that no item stands for lists nothing.
    std::vector<std::string> names;
    const int item = AliasBox->currentIndex();
    const bool itemChosen = item >= 0 && AliasBox->itemText(item).compare(AliasBox->currentText(),
                                                                          Qt::CaseInsensitive) == 0;
    if (itemChosen)
        session_.GetTableNames(AnsiToOem(AliasBox->itemText(item)), "", true, false, names);

    TabellenNamen->clear();
    auto* root = new QTreeWidgetItem(TabellenNamen, {kRootNodeText});
    root->setIcon(0, TableImg().icon(kTreeImageRoot));
    const QIcon tableIcon = TableImg().icon(kTreeImageTable);
    QList<QTreeWidgetItem*> nodes;
    nodes.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names) {
        auto* node = new QTreeWidgetItem({OemToAnsi(name)});
        node->setIcon(0, tableIcon);
        nodes << node;
    }
    root->addChildren(nodes);
    PdxTable->Close();
}

// Once after loading, with the locale's case-sensitive collation; nodes added later stay where
// they are put.
void TTabellenForm::sortTableNodes() {
    QTreeWidgetItem* root = TabellenNamen->topLevelItem(0);
    if (!root) return;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    QList<QTreeWidgetItem*> nodes = root->takeChildren();
    std::vector<std::pair<QCollatorSortKey, QTreeWidgetItem*>> keyed;
    keyed.reserve(static_cast<std::size_t>(nodes.size()));
    for (QTreeWidgetItem* node : nodes) keyed.emplace_back(collator.sortKey(node->text(0)), node);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    for (qsizetype i = 0; i < nodes.size(); ++i)
        nodes[i] = keyed[static_cast<std::size_t>(i)].second;
    root->addChildren(nodes);
}

namespace {

// Whether `after` is `before` with characters taken away in one place (backspace, delete, cut).
bool onlyRemoved(const QString& before, const QString& after) {
    if (after.size() >= before.size()) return false;
    qsizetype same = 0;
    while (same < after.size() && after[same] == before[same]) ++same;
    return before.endsWith(QStringView(after).mid(same));
}

}  // namespace

// The alias box's text before the key being typed, so that completeAlias tells typing from
// deleting.
bool TTabellenForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == AliasBox->lineEdit() && event->type() == QEvent::KeyPress)
        aliasTextBefore_ = AliasBox->lineEdit()->text();
    return QMainWindow::eventFilter(watched, event);
}

// Typing completes the text to the first alias of the box that begins with it (ignoring case),
// which becomes the chosen item; the completed part stays selected so that typing on replaces
// it. Deleting characters completes nothing.
void TTabellenForm::completeAlias(const QString& typed) {
    QLineEdit* edit = AliasBox->lineEdit();
    if (onlyRemoved(aliasTextBefore_, typed) || typed.isEmpty() ||
        edit->cursorPosition() != typed.size())
        return;
    for (int i = 0; i < AliasBox->count(); ++i) {
        const QString alias = AliasBox->itemText(i);
        if (!alias.startsWith(typed, Qt::CaseInsensitive)) continue;
        AliasBox->setCurrentIndex(i);
        if (edit->text() != alias) edit->setText(alias);  // same item chosen again
        const auto completed = static_cast<int>(std::min(typed.size(), alias.size()));
        edit->setSelection(completed, static_cast<int>(alias.size()) - completed);
        return;
    }
}

QTreeWidgetItem* TTabellenForm::selectedTableNode() const {
    const QList<QTreeWidgetItem*> selected = TabellenNamen->selectedItems();
    if (selected.isEmpty()) return nullptr;
    QTreeWidgetItem* node = selected.first();
    const bool isTable =
        node->parent() != nullptr && node->parent() == TabellenNamen->topLevelItem(0);
    return isTable ? node : nullptr;
}

QTreeWidgetItem* TTabellenForm::selectedFieldRow() const {
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        if (ListView1->topLevelItem(i)->isSelected()) return ListView1->topLevelItem(i);
    return nullptr;
}

void TTabellenForm::TabellenNamenClick() {
    const WaitCursor hourglass{TabellenNamen};
    AddFeldBtn->setEnabled(false);
    QTreeWidgetItem* node = selectedTableNode();
    const TablePasswords passwords(session_);
    const ScopeExit closeTable([this] { PdxTable->Close(); });
    Panel8->clear();
    if (!node) return;

    AddFeldBtn->setEnabled(true);
    TabString->setText(node->text(0));
    DatenPage->choose(AliasBox->currentText(), node->text(0));
    DruckBtn->setEnabled(true);
    ListView1->clear();
    ListView2->clear();
    PdxTable->Close();

    PdxTable->DatabaseName = AnsiToOem(AliasBox->currentText());
    PdxTable->TableName = AnsiToOem(node->text(0));
    PdxTable->TableType = TableTypeOfName(node->text(0));
    PdxTable->Exclusive = false;
    PdxTable->IndexName.clear();
    PdxTable->IndexFieldNames.clear();
    PdxTable->Open();
    Panel8->setText(codePageText(PdxTable->File()));

    std::vector<std::string> names;
    PdxTable->GetFieldNames(names);
    for (std::size_t i = 0; i < names.size(); ++i)
        GetFeldInfos(QString::fromStdString(names[i]), *PdxTable, 1, static_cast<int>(i));
    GetIndexes(*PdxTable);
}

namespace {

// What the caption (the field list) does not say: the case rule and an unusable index file.
QString indexToolTip(const IndexDef& index) {
    QStringList lines;
    if (index.options.has(IndexOption::ixCaseInsensitive))
        lines << QStringLiteral("Groß-/Kleinschreibung wird nicht unterschieden");
    if (!index.fault.empty())
        lines << QStringLiteral("Index unbrauchbar, bitte Indizes reorganisieren: %1")
                     .arg(QString::fromStdString(index.fault));
    return lines.join(u'\n');
}

}  // namespace

void TTabellenForm::GetIndexes(TTable& table) {
    ListView2->clear();
    table.IndexDefs().Update();
    const QIcon icon = Liste2Img().icon(kIndexRowImage);
    for (int i = 0; i < table.IndexDefs().Count(); ++i) {
        const IndexDef& index = table.IndexDefs()[i];
        const bool byExpression = index.options.has(IndexOption::ixExpression);
        auto* row =
            new QTreeWidgetItem({byExpression ? QString() : QString::fromStdString(index.fields)});
        row->setIcon(0, icon);
        row->setToolTip(0, indexToolTip(index));
        ListView2->insertTopLevelItem(i, row);
    }
}

void TTabellenForm::ListView2Click() {
    for (int i = 0; i < ListView2->topLevelItemCount(); ++i) {
        if (ListView2->topLevelItem(i)->isSelected()) {
            IndexText->setText(ListView2->topLevelItem(i)->text(0));
            return;
        }
    }
}

void TTabellenForm::GetFeldInfos(const QString& feldName, TTable& table, int mode, int position,
                                 const FeldListen& lists) {
    const FeldInfo info = DescribeFeld(table, feldName.toStdString(), mode);
    if (mode == 2) {
        if (!lists.FelderListe || !lists.TypListe || !lists.SizeListe)
            throw std::invalid_argument("GetFeldInfos: the definition window's lists are missing");
        lists.FelderListe->addItem(info.name);
        lists.TypListe->addItem(info.typeText);
        lists.SizeListe->addItem(info.lengthText);
        return;
    }
    auto* row = new QTreeWidgetItem({info.name, info.typeText, info.lengthText});
    row->setIcon(0, ListeImg().icon(kFieldRowImage));
    row->setTextAlignment(kLengthColumn, Qt::AlignRight | Qt::AlignVCenter);
    ListView1->insertTopLevelItem(position, row);
}

QString TTabellenForm::GetAliasPath(const QString& alias) const {
    return kx4::GetAliasPath(alias, session_);
}

}  // namespace kx4

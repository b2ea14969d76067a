#include "app/TabellenForm.h"

#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "app/DataPage.h"
#include "texts/TextCatalogue.h"
#include "ui/ErrorBox.h"
#include "ui/Fonts.h"
#include "ui/FormTextApplier.h"
#include "ui/Images.h"

namespace kx4 {

namespace {

constexpr int kToolBarHeight = 45;
constexpr QSize kToolButtonSize(61, 38);
constexpr int kTreeImageTable = 2;
constexpr int kTabStringWidth = 200;
constexpr int kColumnPadding = 16;  // the header's and the cell's margins

const QString kDesignCaption = QStringLiteral("KX4 Tabellen-Info");
const QString kRootNodeText = QStringLiteral("Tabellen");
const QString kDesignDatabase = QStringLiteral("MORVANE");

QLabel* selectionLabel(const char* name, const QString& design, QWidget* parent) {
    auto* label = new QLabel(design, parent);
    label->setObjectName(name);
    label->setFont(arialBold(8));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 128, 0));
    label->setPalette(palette);
    return label;
}

QLabel* panelLabel(const char* name, int width, QWidget* parent) {
    auto* panel = new QLabel(parent);
    panel->setObjectName(name);
    panel->setFixedWidth(width);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    panel->setIndent(3);
    panel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return panel;
}

// A tree or list whose left clicks reach OnClick wherever they land, on an item or beside the
// items, once the click has updated the selection.
class TClickTree : public QTreeWidget {
  public:
    using QTreeWidget::QTreeWidget;
    std::function<void()> OnClick;

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QTreeWidget::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && OnClick) OnClick();
    }
};

void onClick(QTreeWidget* tree, std::function<void()> handler) {
    static_cast<TClickTree*>(tree)->OnClick = [handler = std::move(handler)] {
        runHandler(handler);
    };
}

QTreeWidget* reportList(const char* name, const QStringList& columns, QWidget* parent) {
    auto* list = new TClickTree(parent);
    list->setObjectName(name);
    list->setColumnCount(static_cast<int>(columns.size()));
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setSectionsMovable(false);
    list->header()->setStretchLastSection(false);
    return list;
}

}  // namespace

TTabellenForm::TTabellenForm(TSession& session, QWidget* parent)
    : QMainWindow(parent), session_(session) {
    setObjectName("TabellenForm");
    setWindowTitle(kDesignCaption);
    setWindowIcon(programIcon());
    resize(937, 682);

    PdxTable = std::make_unique<TTable>(session_);
    PdxTable->DatabaseName = kDesignDatabase.toStdString();
    PdxTable->TableType = TTableType::ttParadox;

    createToolBar();
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(createSelectionBar(central));
    createTablePage();
    layout->addWidget(PageControl1, 1);
    setCentralWidget(central);
    createWartePanel();

    runHandler([this] { FormCreate(); });

    // Wired after FormCreate, which fills the alias box without choosing an alias.
    connect(AliasBox, &QComboBox::currentTextChanged, this,
            [this] { runHandler([this] { AliasBoxChange(); }); });
    AliasBox->setCompleter(nullptr);  // the box completes typed names itself (completeAlias)
    connect(AliasBox->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& typed) { runHandler([this, typed] { completeAlias(typed); }); });
    AliasBox->lineEdit()->installEventFilter(this);  // notes the text before each key
    onClick(TabellenNamen, [this] { TabellenNamenClick(); });
    onClick(ListView2, [this] { ListView2Click(); });
}

TTabellenForm::~TTabellenForm() { FormDestroy(); }

QToolButton* TTabellenForm::addToolButton(const char* name, const QString& caption,
                                          const QString& hint, int image,
                                          void (TTabellenForm::*handler)()) {
    auto* button = new QToolButton(ToolBar1);
    button->setObjectName(name);
    button->setText(caption);
    button->setToolTip(hint);
    button->setIcon(ListeImg().icon(image));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setMinimumSize(kToolButtonSize);
    button->setFocusPolicy(Qt::NoFocus);
    ToolBar1->addWidget(button);
    // An operation may need the table to itself: the data page lets it go first and shows the
    // table's new state afterwards.
    connect(button, &QToolButton::clicked, this, [this, handler] {
        const bool showingData = PageControl1->currentWidget() == DatenPage;
        DatenPage->release();
        runHandler([this, handler] { (this->*handler)(); });
        if (showingData && PageControl1->currentWidget() == DatenPage)
            runHandler([this] { DatenPage->load(); });
    });
    return button;
}

void TTabellenForm::addGap(const char* name, int width) {
    auto* gap = new QWidget(ToolBar1);
    gap->setObjectName(name);
    gap->setFixedWidth(width);
    ToolBar1->addWidget(gap);
}

void TTabellenForm::addSeparator(const char* name) {
    ToolBar1->addSeparator()->setObjectName(name);
}

void TTabellenForm::createToolBar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->toggleViewAction()->setEnabled(false);
    ToolBar1->setIconSize(QSize(18, 18));
    ToolBar1->setMinimumHeight(kToolBarHeight);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    using F = TTabellenForm;
    DruckBtn = addToolButton("DruckBtn", "Print", "Drucken", imgPrint, &F::DruckBtnClick);
    addGap("Panel3", 17);
    ChangeFeldLenth = addToolButton("ChangeFeldLenth", "Field length", "increase (!) Field Length",
                                    imgFieldLength, &F::ChangeFeldLenthClick);
    FeldTypBtn = addToolButton("FeldTypBtn", "Field Type", "change the Field-Type", imgFieldType,
                               &F::FeldTypBtnClick);
    addGap("Panel9", 17);
    ZQSpeedBtn1 = addToolButton("ZQSpeedBtn1", "Del Field", QStringLiteral("Feld löschen"),
                                imgDelField, &F::ZQSpeedBtn1Click);
    addSeparator("ToolButton3");
    AddFeldBtn = addToolButton("AddFeldBtn", "Add Field", "neues Feld definieren", imgAddField,
                               &F::AddFeldBtnClick);
    addSeparator("ToolButton5");
    NeuTable = addToolButton("NeuTable", "New Table", "neue Tabelle anlegen", imgNewTable,
                             &F::NeuTableClick);
    addGap("Panel4", 16);
    CompressBtn = addToolButton("CompressBtn", "Compress", "Tabelle komprimieren", imgCompress,
                                &F::CompressBtnClick);
    addSeparator("ToolButton9");
    IndexReorgBtn = addToolButton("IndexReorgBtn", "Reorg Idxs", "alle Indizes reorganisieren",
                                  imgReorgIndexes, &F::IndexReorgBtnClick);
    addSeparator("ToolButton11");
    IdxDefineBtn = addToolButton("IdxDefineBtn", "Create Idx", "Index definieren", imgCreateIndex,
                                 &F::IdxDefineBtnClick);
    addSeparator("ToolButton13");
    IdxDelBtn = addToolButton("IdxDelBtn", "Del Index", QStringLiteral("Index löschen"),
                              imgDelIndex, &F::IdxDelBtnClick);
    addGap("Panel5", 20);
    EndeBtn = addToolButton("EndeBtn", "Close", "Beenden", imgClose, &F::EndeBtnClick);

    DruckBtn->setEnabled(false);
    AddFeldBtn->setEnabled(false);
}

QList<QToolButton*> TTabellenForm::toolButtons() const {
    return {DruckBtn,    ChangeFeldLenth, FeldTypBtn,   ZQSpeedBtn1, AddFeldBtn, NeuTable,
            CompressBtn, IndexReorgBtn,   IdxDefineBtn, IdxDelBtn,   EndeBtn};
}

// The chosen table, the alias's directory and the chosen index, between toolbar and page.
QWidget* TTabellenForm::createSelectionBar(QWidget* parent) {
    auto* bar = new QWidget(parent);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(8, 3, 8, 3);
    row->setSpacing(10);

    TabString = selectionLabel("TabString", QStringLiteral("Tabelle"), bar);
    // A long table name is cut at the label's edge rather than pushing the path panel and the
    // index label aside.
    TabString->setFixedWidth(kTabStringWidth);
    IndexText = selectionLabel("IndexText", QStringLiteral("Index"), bar);

    Panel6 = new QFrame(bar);
    Panel6->setObjectName("Panel6");
    Panel6->setFrameStyle(QFrame::NoFrame);
    Panel6->setFixedHeight(19);
    auto* panels = new QHBoxLayout(Panel6);
    panels->setContentsMargins(0, 0, 0, 0);
    panels->setSpacing(2);
    Panel7 = panelLabel("Panel7", 355, Panel6);
    Panel8 = panelLabel("Panel8", 187, Panel6);
    panels->addWidget(Panel7);
    panels->addWidget(Panel8);

    row->addWidget(TabString);
    row->addWidget(Panel6);
    row->addWidget(IndexText, 1);
    return bar;
}

void TTabellenForm::createTablePage() {
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setDocumentMode(true);

    TablePage = new QWidget(PageControl1);
    TablePage->setObjectName("TablePage");
    PageControl1->addTab(TablePage, TableImg().icon(kTreeImageTable), kRootNodeText);

    auto* splitter = new QSplitter(Qt::Horizontal, TablePage);
    splitter->setChildrenCollapsible(false);

    Panel1 = new QWidget(splitter);
    Panel1->setObjectName("Panel1");
    auto* panel1Layout = new QVBoxLayout(Panel1);
    panel1Layout->setContentsMargins(0, 0, 0, 0);
    panel1Layout->setSpacing(0);
    Panel2 = new QWidget(Panel1);
    Panel2->setObjectName("Panel2");
    Panel2->setFixedHeight(30);
    auto* panel2Layout = new QHBoxLayout(Panel2);
    panel2Layout->setContentsMargins(4, 4, 4, 2);
    AliasBox = new QComboBox(Panel2);
    AliasBox->setObjectName("AliasBox");
    AliasBox->setEditable(true);
    AliasBox->setInsertPolicy(QComboBox::NoInsert);
    AliasBox->setMaxVisibleItems(16);
    AliasBox->setMinimumWidth(233);
    panel2Layout->addWidget(AliasBox);

    TabellenNamen = new TClickTree(Panel1);
    TabellenNamen->setObjectName("TabellenNamen");
    TabellenNamen->setHeaderHidden(true);
    TabellenNamen->setIndentation(19);
    TabellenNamen->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TabellenNamen->setSortingEnabled(false);
    panel1Layout->addWidget(Panel2);
    panel1Layout->addWidget(TabellenNamen, 1);

    ListView1 = reportList("ListView1", {"Feldname", "Typ", QStringLiteral("Länge")}, splitter);
    ListView1->setColumnWidth(0, 240);
    // The type column shows the longest type name with its key marker whole.
    ListView1->setColumnWidth(
        1, std::max(76, ListView1->fontMetrics().horizontalAdvance(QStringLiteral("DateTime (*)")) +
                            kColumnPadding));
    ListView1->setColumnWidth(2, 42);
    ListView1->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    ListView2 = reportList("ListView2", {"Indizes"}, splitter);
    ListView2->setColumnWidth(0, 280);
    ListView2->header()->setStretchLastSection(true);

    splitter->addWidget(Panel1);
    splitter->addWidget(ListView1);
    splitter->addWidget(ListView2);
    splitter->setStretchFactor(2, 1);
    splitter->setSizes({249, 380, 300});

    auto* pageLayout = new QHBoxLayout(TablePage);
    pageLayout->setContentsMargins(2, 2, 2, 2);
    pageLayout->addWidget(splitter);

    DatenPage = new TDataPage(session_, PageControl1);
    PageControl1->addTab(DatenPage, QStringLiteral("Daten"));
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] { pageChanged(); });
    createTreeMenu();
}

// The data page holds its table open only while it is shown.
void TTabellenForm::pageChanged() {
    if (PageControl1->currentWidget() == DatenPage)
        runHandler([this] { DatenPage->load(); });
    else
        DatenPage->release();
}

void TTabellenForm::createTreeMenu() {
    TreeMenu = new QMenu(this);
    TreeMenu->setObjectName("TreeMenu");
    ExportSqliteItem = TreeMenu->addAction(CatalogueText(65210));
    ExportSqliteItem->setObjectName("ExportSqliteItem");
    connect(ExportSqliteItem, &QAction::triggered, this,
            [this] { runHandler([this] { ExportSqliteClick(menuTable_); }); });
    TabellenNamen->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TabellenNamen, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* node = TabellenNamen->itemAt(at);
        const bool isTable =
            node && node->parent() && node->parent() == TabellenNamen->topLevelItem(0);
        if (!isTable) return;
        menuTable_ = node->text(0);
        TreeMenu->popup(TabellenNamen->viewport()->mapToGlobal(at));
    });
}

void TTabellenForm::createWartePanel() {
    WartePanel = new TWartePanel(TablePage);
    WartePanel->setGeometry(216, 102, 260, 150);
    Label1 = WartePanel->Label1;
    Label2 = WartePanel->Label2;
}

void TTabellenForm::FormCreate() {
    std::vector<std::string> names;
    session_.GetAliasNames(names);
    AliasNames.clear();
    for (const std::string& name : names) AliasNames << QString::fromStdString(name);

    QStringList sorted = AliasNames;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(sorted.begin(), sorted.end(), collator);
    {
        const QSignalBlocker quiet(AliasBox);
        AliasBox->clear();
        AliasBox->addItems(sorted);
        AliasBox->setCurrentIndex(-1);
        AliasBox->clearEditText();
    }

    TabString->clear();
    IndexText->clear();
    if (usesCatalogueTexts()) LadeSprache();
}

void TTabellenForm::FormDestroy() { AliasNames.clear(); }

void TTabellenForm::LadeSprache() { applyFormTexts(*this, tabellenFormTexts()); }

void TTabellenForm::EndeBtnClick() { QCoreApplication::quit(); }

}  // namespace kx4

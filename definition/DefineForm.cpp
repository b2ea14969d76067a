#include "definition/DefineForm.h"

#include <QCollator>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <memory>

#include "definition/RowLists.h"
#include "engine/Table.h"
#include "ui/AliasPath.h"
#include "ui/ErrorBox.h"
#include "ui/FeldInfos.h"
#include "ui/FormTextApplier.h"
#include "ui/PlacedLabel.h"
#include "ui/Prompts.h"
#include "ui/TableNames.h"
#include "ui/TableTypeOfName.h"

namespace kx4 {

QString DefineMode;
TDefineForm* DefineForm = nullptr;

namespace {

constexpr QSize kClientSize(218, 313);
constexpr QPoint kDesignPosition(204, 100);
constexpr QSize kToolButtonSize(25, 24);
constexpr int kSeparatorWidth = 8;

enum DefineImage { imgDelete = 0, imgSave = 1, imgEnde = 2 };

QImage floppyImage() {
    QImage image(18, 18, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(30, 90, 190));
    p.drawRoundedRect(QRectF(1.5, 1.5, 15, 15), 1.5, 1.5);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 1.5, 9, 6));  // label
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(4.5, 10.5, 9, 6));  // shutter
    p.fillRect(QRectF(10, 11.5, 2, 4), QColor(40, 40, 40));
    p.end();
    return image;
}

// Delete, save and close, 18 x 18; delete and close as on the main window's toolbar.
std::vector<QImage> defineImages() {
    return {ListeImg().image(imgDelField), floppyImage(), ListeImg().image(imgClose)};
}

QLabel* captionPanel(const char* name, const QString& text, QRect geometry, QWidget* parent) {
    auto* panel = new QLabel(text, parent);
    panel->setObjectName(name);
    panel->setGeometry(geometry);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return panel;
}

// A label whose right edge stays at `right`, also when its text changes.
QLabel* rightAlignedLabel(const char* name, const QString& text, int right, int top,
                          QWidget* parent) {
    constexpr int kWidth = 46;
    auto* result = new QLabel(text, parent);
    result->setObjectName(name);
    result->setGeometry(right - kWidth, top, kWidth, 15);
    result->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return result;
}

QLineEdit* edit(const char* name, QRect geometry, QWidget* parent) {
    auto* result = new QLineEdit(parent);
    result->setObjectName(name);
    result->setGeometry(geometry);
    return result;
}

TDropDownBox* comboBox(const char* name, QRect geometry, QWidget* parent) {
    auto* box = new TDropDownBox(parent);
    box->setObjectName(name);
    box->setGeometry(geometry);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);  // every keystroke is a change of its own
    return box;
}

QListWidget* list(const char* name, QRect geometry, QWidget* parent) {
    auto* result = new QListWidget(parent);
    result->setObjectName(name);
    result->setGeometry(geometry);
    result->setSelectionMode(QAbstractItemView::SingleSelection);
    result->setEditTriggers(QAbstractItemView::NoEditTriggers);
    result->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    result->setContextMenuPolicy(Qt::CustomContextMenu);
    return result;
}

// Names sorted as the sorted combo boxes show them: case-insensitively.
QStringList sortedNames(const std::vector<std::string>& names) {
    QStringList sorted;
    for (const std::string& name : names) sorted << OemToAnsi(name);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(sorted.begin(), sorted.end(), collator);
    return sorted;
}

// Replaces the entries of a combo box and keeps the text it shows.
void replaceItems(QComboBox& box, const QStringList& items) {
    const QString text = box.currentText();
    box.clear();
    box.addItems(items);
    box.setCurrentIndex(box.findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
    box.setEditText(text);
}

}  // namespace

void TDropDownBox::showPopup() {
    if (OnDropDown) OnDropDown();
    QComboBox::showPopup();
}

TDefineForm::TDefineForm(TSession& session, QWidget* parent)
    : ValuesDialog(parent), ImageList1(defineImages()), session_(session) {
    setObjectName("DefineForm");
    setWindowTitle(QStringLiteral("Tabelle definieren"));
    QFont designFont(QStringLiteral("MS Sans Serif"));
    designFont.setStyleHint(QFont::SansSerif);
    designFont.setPointSize(8);
    setFont(designFont);
    move(kDesignPosition);

    createToolBar();
    createChoosers();
    createLists();
    createNeuPanel();
    createMenus();
    arrangeTabOrder();
    // The design's layout is the smallest the window gets, widened where a type code, a size or
    // the caption would not be readable in it; the window may grow, and the lists with it.
    setMinimumSize(readableMinimumSize());
    resize(minimumSize());
    arrangeControls();
    AliasBox->setFocus();

    runHandler([this] { FormCreate(); });
}

void TDefineForm::wire(QAbstractButton* button, void (TDefineForm::*handler)()) {
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { runHandler([this, handler] { (this->*handler)(); }); });
}

void TDefineForm::createToolBar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setGeometry(0, 0, kClientSize.width(), 29);
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(18, 18));

    auto addSpacer = [this](const char* name, int width) {
        auto* spacer = new QWidget(ToolBar1);
        spacer->setObjectName(name);
        spacer->setFixedWidth(width);
        ToolBar1->addWidget(spacer);
        return spacer;
    };
    auto addButton = [this](const char* name, const QString& hint, int image,
                            void (TDefineForm::*handler)()) {
        auto* button = new QToolButton(ToolBar1);
        button->setObjectName(name);
        button->setToolTip(hint);
        button->setIcon(ImageList1.icon(image));
        button->setAutoRaise(true);
        button->setFixedSize(kToolButtonSize);
        button->setFocusPolicy(Qt::NoFocus);
        ToolBar1->addWidget(button);
        wire(button, handler);
        return button;
    };
    auto addSeparator = [this](const char* name) {
        auto* separator = new QWidget(ToolBar1);
        separator->setFixedWidth(kSeparatorWidth);
        QAction* action = ToolBar1->addWidget(separator);
        action->setObjectName(name);
        return action;
    };

    Panel2 = addSpacer("Panel2", 65);
    DelBtn = addButton("DelBtn", QStringLiteral("löschen"), imgDelete, &TDefineForm::DelBtnClick);
    ToolButton2 = addSeparator("ToolButton2");
    SaveBtn =
        addButton("SaveBtn", QStringLiteral("Speichern"), imgSave, &TDefineForm::SaveBtnClick);
    ToolButton4 = addSeparator("ToolButton4");
    Panel5 = addSpacer("Panel5", 40);
    EndeBtn = addButton("EndeBtn", QStringLiteral("Beenden"), imgEnde, &TDefineForm::EndeBtnClick);
}

void TDefineForm::createChoosers() {
    Panel3 = captionPanel("Panel3", QStringLiteral("Alias: "), {6, 38, 60, 21}, this);
    AliasBox = comboBox("AliasBox", {66, 38, 145, 21}, this);
    AliasBox->OnDropDown = [this] { runHandler([this] { AliasBoxDropDown(); }); };

    Panel4 = captionPanel("Panel4", QStringLiteral("Tabelle: "), {6, 64, 60, 21}, this);
    TabellenBox = comboBox("TabellenBox", {66, 64, 145, 21}, this);
    TabellenBox->OnDropDown = [this] { runHandler([this] { TabellenBoxDropDown(); }); };
    // Changes by the user only: typing, or picking an entry. Texts set by the program (the preset
    // of field mode, the emptying by the alias list) load nothing.
    connect(TabellenBox->lineEdit(), &QLineEdit::textEdited, this,
            [this] { runHandler([this] { TabellenBoxChange(); }); });
    connect(TabellenBox, &QComboBox::activated, this,
            [this] { runHandler([this] { TabellenBoxChange(); }); });
}

void TDefineForm::createLists() {
    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(8, 110, 203, 17);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Label1 = placedLabel("Label1", QStringLiteral("Feldnamen"), {6, 2}, Panel1);
    Label2 = placedLabel("Label2", QStringLiteral("Typ"), {130, 2}, Panel1);
    Label3 = placedLabel("Label3", QStringLiteral("Size"), {174, 2}, Panel1);

    FelderListe = list("FelderListe", {10, 126, 119, 181}, this);
    TypListe = list("TypListe", {136, 126, 33, 181}, this);
    TypListe->setToolTip(QStringLiteral("Typ-Auswahl per Mausklick rechts"));
    TypListe->installEventFilter(this);  // its hint is never shown
    SizeListe = list("SizeListe", {176, 126, 33, 181}, this);
}

void TDefineForm::createNeuPanel() {
    NeuPanel = new QFrame(this);
    NeuPanel->setObjectName("NeuPanel");
    NeuPanel->setGeometry(10, 138, 199, 87);
    NeuPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    NeuPanel->setAutoFillBackground(true);

    Label4 = rightAlignedLabel("Label4", QStringLiteral("Name"), 48, 14, NeuPanel);
    Label5 = rightAlignedLabel("Label5", QStringLiteral("Typ"), 48, 36, NeuPanel);
    Label6 = rightAlignedLabel("Label6", QStringLiteral("Size"), 48, 58, NeuPanel);
    NameEdit = edit("NameEdit", {54, 10, 137, 21}, NeuPanel);
    TypEdit = edit("TypEdit", {54, 32, 31, 21}, NeuPanel);
    TypEdit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TypEdit, &QLineEdit::textChanged, this,
            [this] { runHandler([this] { TypEditChange(); }); });
    SizeEdit = edit("SizeEdit", {54, 54, 31, 21}, NeuPanel);

    OKBtn = new QPushButton(ListeImg().icon(imgOk), QStringLiteral("&OK"), NeuPanel);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setGeometry(118, 44, 71, 29);
    OKBtn->setAutoDefault(false);
    wire(OKBtn, &TDefineForm::OKBtnClick);
    NeuPanel->hide();
}

QAction* TDefineForm::addMenuItem(QMenu* menu, const char* name, const QString& caption,
                                  void (TDefineForm::*handler)()) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this,
            [this, handler] { runHandler([this, handler] { (this->*handler)(); }); });
    return action;
}

QAction* TDefineForm::addMenuSeparator(QMenu* menu, const char* name) {
    QAction* separator = menu->addSeparator();
    separator->setObjectName(name);
    return separator;
}

void TDefineForm::createMenus() {
    Pop1 = new QMenu(this);
    Pop1->setObjectName("Pop1");
    Einfgen1 =
        addMenuItem(Pop1, "Einfgen1", QStringLiteral("&Neues Feld"), &TDefineForm::Einfgen1Click);
    N4 = addMenuSeparator(Pop1, "N4");
    Zurcksetzen1 = addMenuItem(Pop1, "Zurcksetzen1", QStringLiteral("&Zurücksetzen"),
                               &TDefineForm::Zurcksetzen1Click);

    Pop2 = new QMenu(this);
    Pop2->setObjectName("Pop2");
    A1 = addMenuItem(Pop2, "A1", QStringLiteral("&A"), &TDefineForm::A1Click);
    S1 = addMenuItem(Pop2, "S1", QStringLiteral("&S"), &TDefineForm::S1Click);
    I1 = addMenuItem(Pop2, "I1", QStringLiteral("&I"), &TDefineForm::I1Click);
    L1 = addMenuItem(Pop2, "L1", QStringLiteral("&L"), &TDefineForm::L1Click);
    D1 = addMenuItem(Pop2, "D1", QStringLiteral("&D"), &TDefineForm::D1Click);
    N1 = addMenuItem(Pop2, "N1", QStringLiteral("&$"), &TDefineForm::N1Click);
    M1 = addMenuItem(Pop2, "M1", QStringLiteral("&M"), &TDefineForm::M1Click);
    N2 = addMenuSeparator(Pop2, "N2");
    Zurcksetzen2 = addMenuItem(Pop2, "Zurcksetzen2", QStringLiteral("&Zurücksetzen"),
                               &TDefineForm::Zurcksetzen2Click);

    Pop3 = new QMenu(this);
    Pop3->setObjectName("Pop3");
    Grsse1 = addMenuItem(Pop3, "Grsse1", QStringLiteral("&Grösse"), &TDefineForm::Grsse1Click);
    N3 = addMenuSeparator(Pop3, "N3");
    Zurcksetzen3 = addMenuItem(Pop3, "Zurcksetzen3", QStringLiteral("&Zurücksetzen"),
                               &TDefineForm::Zurcksetzen3Click);

    // The widget that has the custom context menu policy asks for the menu; a list gives the
    // position in its viewport, where its rows are drawn.
    auto popUpOver = [this](QWidget* widget, QWidget* area, QMenu* menu) {
        connect(widget, &QWidget::customContextMenuRequested, this,
                [area, menu](const QPoint& position) { menu->popup(area->mapToGlobal(position)); });
    };
    popUpOver(FelderListe, FelderListe->viewport(), Pop1);
    popUpOver(TypListe, TypListe->viewport(), Pop2);
    popUpOver(SizeListe, SizeListe->viewport(), Pop3);
    popUpOver(TypEdit, TypEdit, Pop2);
}

namespace {

// Widest entries the two narrow lists show: the longest type name loading can put there, and a
// five-digit size.
const QString kWidestType = QStringLiteral("VarBytes");
const QString kWidestSize = QStringLiteral("65535");
constexpr int kDesignTypWidth = 33;
constexpr int kDesignSizeWidth = 33;
constexpr int kDesignFelderWidth = 119;
constexpr int kListTop = 126;
constexpr int kListGap = 7;
constexpr int kLeftMargin = 10;
constexpr int kRightMargin = 9;
constexpr int kBottomMargin = 6;
constexpr int kChooserLeft = 66;
constexpr int kTitleButtonsWidth = 120;  // the frame's icon and buttons beside the caption

// Width a list needs to show `text` whole, with its frame, item margins and a scroll bar.
int listWidthFor(const QListWidget& list, const QString& text) {
    const int frame = 2 * list.frameWidth();
    const int scrollBar = list.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list);
    constexpr int kItemMargins = 8;
    return list.fontMetrics().horizontalAdvance(text) + frame + scrollBar + kItemMargins;
}

}  // namespace

int TDefineForm::typListeWidth() const {
    return std::max(kDesignTypWidth, listWidthFor(*TypListe, kWidestType));
}

int TDefineForm::sizeListeWidth() const {
    return std::max(kDesignSizeWidth, listWidthFor(*SizeListe, kWidestSize));
}

QSize TDefineForm::readableMinimumSize() const {
    const int lists = kLeftMargin + kDesignFelderWidth + kListGap + typListeWidth() + kListGap +
                      sizeListeWidth() + kRightMargin;
    const int caption = fontMetrics().horizontalAdvance(windowTitle()) + kTitleButtonsWidth;
    return {std::max({kClientSize.width(), lists, caption}), kClientSize.height()};
}

// Places the controls for the window's present size: the design's positions at the smallest
// size; a wider window widens the choosers and the field name list, a taller one lengthens the
// lists.
void TDefineForm::arrangeControls() {
    const int w = width();
    const int listHeight = height() - kListTop - kBottomMargin;
    ToolBar1->setGeometry(0, 0, w, 29);
    AliasBox->setGeometry(kChooserLeft, 38, w - kChooserLeft - kListGap, 21);
    TabellenBox->setGeometry(kChooserLeft, 64, w - kChooserLeft - kListGap, 21);

    const int sizeLeft = w - kRightMargin - sizeListeWidth();
    const int typLeft = sizeLeft - kListGap - typListeWidth();
    SizeListe->setGeometry(sizeLeft, kListTop, sizeListeWidth(), listHeight);
    TypListe->setGeometry(typLeft, kListTop, typListeWidth(), listHeight);
    FelderListe->setGeometry(kLeftMargin, kListTop, typLeft - kListGap - kLeftMargin, listHeight);

    Panel1->setGeometry(8, 110, w - 15, 17);
    Label2->move(typLeft - Panel1->x() - 6, 2);
    Label3->move(sizeLeft - Panel1->x() - 2, 2);

    const int panelWidth = w - 19;
    NeuPanel->setGeometry(kLeftMargin, 138, panelWidth, 87);
    NameEdit->setGeometry(54, 10, panelWidth - 62, 21);
    OKBtn->move(panelWidth - 81, 44);
}

void TDefineForm::resizeEvent(QResizeEvent* event) {
    ValuesDialog::resizeEvent(event);
    arrangeControls();
}

void TDefineForm::arrangeTabOrder() {
    const QList<QWidget*> order = {AliasBox, TabellenBox, FelderListe, TypListe, SizeListe,
                                   NameEdit, TypEdit,     SizeEdit,    OKBtn};
    for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void TDefineForm::keyPressEvent(QKeyEvent* event) {
    // The window has no cancel button: Escape does not close it.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    ValuesDialog::keyPressEvent(event);
}

bool TDefineForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == TypListe && event->type() == QEvent::ToolTip) return true;
    return ValuesDialog::eventFilter(watched, event);
}

void TDefineForm::FormCreate() {
    DefineMode.clear();
    if (usesCatalogueTexts()) LadeSprache();
}

void TDefineForm::LadeSprache() { applyFormTexts(*this, defineFormTexts()); }

void TDefineForm::EndeBtnClick() { done(mrOk); }

void TDefineForm::AliasBoxDropDown() {
    if (DefineMode == kFieldMode) return;
    replaceItems(*AliasBox, {});
    TabellenBox->setEditText(QString());
    std::vector<std::string> names;
    session_.GetAliasNames(names);
    replaceItems(*AliasBox, sortedNames(names));
}

void TDefineForm::TabellenBoxDropDown() {
    if (DefineMode == kFieldMode) return;
    replaceItems(*TabellenBox, {});
    const int item = AliasBox->currentIndex();
    if (item < 0 ||
        AliasBox->itemText(item).compare(AliasBox->currentText(), Qt::CaseInsensitive) != 0) {
        return;
    }
    std::vector<std::string> names;
    session_.GetTableNames(AnsiToOem(AliasBox->itemText(item)), "", true, false, names);
    replaceItems(*TabellenBox, sortedNames(names));
}

void TDefineForm::TabellenBoxChange() {
    const QString tableName = TabellenBox->currentText();
    if (!staysInsideAlias(tableName)) return;  // names no table of the alias
    auto table = std::make_unique<TTable>(session_);
    table->DatabaseName = AnsiToOem(AliasBox->currentText());
    table->TableName = AnsiToOem(tableName);
    table->TableType = TableTypeOfName(tableName);
    std::vector<std::string> names;
    try {
        table->Open();
        table->GetFieldNames(names);
    } catch (const std::exception&) {
        // A name that names no readable table (yet): the rows stay as they are.
        return;
    }

    FelderListe->clear();
    TypListe->clear();
    SizeListe->clear();
    for (const std::string& name : names) {
        const FeldInfo info = DescribeFeld(*table, name, 2);
        appendEntry(*FelderListe, info.name);
        appendEntry(*TypListe, info.typeText);
        appendEntry(*SizeListe, info.lengthText);
    }
    table->Close();
}

}  // namespace kx4

#include "report/DruckForm.h"

#include "ui/ErrorBox.h"
#include "ui/Prompts.h"

namespace kx4 {

namespace {

constexpr QSize kWindowSize(354, 247);
constexpr QPoint kWindowPosition(65, 93);
constexpr QSize kToolButtonSize(88, 21);
constexpr int kToolBarHeight = 31;

QFont boldFont(QFont base, int points) {
    base.setPointSize(points);
    base.setBold(true);
    return base;
}

void addSpacer(QToolBar* bar, const char* name, int width) {
    auto* spacer = new QWidget(bar);
    spacer->setObjectName(name);
    spacer->setFixedWidth(width);
    bar->addWidget(spacer);
}

QToolButton* addButton(QToolBar* bar, const char* name, const QString& caption) {
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setText(caption);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setFixedSize(kToolButtonSize);
    bar->addWidget(button);
    return button;
}

template <class Widget>
Widget* place(Widget* widget, const char* name, QRect geometry) {
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

}  // namespace

TDruckForm::TDruckForm(QWidget* parent) : QDialog(parent) {
    setObjectName("DruckForm");
    setWindowTitle(QStringLiteral("Drucken"));
    setFixedSize(kWindowSize);
    move(kWindowPosition);

    Label1 = place(new QLabel(QStringLiteral("Druck-Ziel auswählen"), this), "Label1",
                   QRect(0, 6, kWindowSize.width(), 20));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setFont(boldFont(font(), 10));
    QPalette navy = Label1->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Label1->setPalette(navy);

    Bevel1 = place(new QFrame(this), "Bevel1", QRect(16, 32, 321, 72));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    aktuellRadio = place(new QRadioButton(QStringLiteral("&aktueller Eintrag"), this),
                         "aktuellRadio", QRect(32, 44, 289, 20));
    aktuellRadio->setChecked(true);
    alleRadio = place(new QRadioButton(QStringLiteral("alle &Einträge zu diesem Kunden"), this),
                      "alleRadio", QRect(32, 72, 289, 20));

    DateiLabel = place(new QLabel(QStringLiteral("Datei-Name:"), this), "DateiLabel",
                       QRect(16, 114, 321, 16));
    DateiEdit = place(new QLineEdit(QStringLiteral("DateiEdit"), this), "DateiEdit",
                      QRect(16, 132, 321, 22));
    CustReport = place(
        new QCheckBox(QStringLiteral("&Report-Generator für eigenen Bericht verwenden"), this),
        "CustReport", QRect(16, 166, 321, 20));
    DateiLabel->hide();
    DateiEdit->hide();
    CustReport->hide();

    ToolBar2 =
        place(new QToolBar(this), "ToolBar2",
              QRect(0, kWindowSize.height() - kToolBarHeight, kWindowSize.width(), kToolBarHeight));
    ToolBar2->setWindowTitle(QStringLiteral("KX4 Settings ToolBar"));
    ToolBar2->setMovable(false);
    ToolBar2->setFloatable(false);
    ToolBar2->setIconSize(QSize(18, 18));
    addSpacer(ToolBar2, "Panel8", 21);
    OKBtn = addButton(ToolBar2, "OKBtn", QStringLiteral("&Drucken"));
    addSpacer(ToolBar2, "Panel2", 26);
    HelpBtn = addButton(ToolBar2, "HelpBtn", QStringLiteral("&Hilfe"));
    addSpacer(ToolBar2, "Panel1", 10);
    CancelBtn = addButton(ToolBar2, "CancelBtn", QStringLiteral("    &Schliessen    "));

    connect(OKBtn, &QToolButton::clicked, this, [this] { runHandler([this] { OKBtnClick(); }); });
    connect(aktuellRadio, &QRadioButton::clicked, this,
            [this] { runHandler([this] { aktuellRadioClick(); }); });
    connect(alleRadio, &QRadioButton::clicked, this,
            [this] { runHandler([this] { alleRadioClick(); }); });
}

int TDruckForm::ShowModal() { return exec(); }

void TDruckForm::OKBtnClick() { done(mrOk); }

void TDruckForm::aktuellRadioClick() { updateAnsicht(); }

void TDruckForm::alleRadioClick() { updateAnsicht(); }

void TDruckForm::hideToolButton(QToolButton* button) {
    for (QAction* action : ToolBar2->actions()) {
        if (ToolBar2->widgetForAction(action) == button) action->setVisible(false);
    }
}

void TDruckForm::updateAnsicht() {
    const bool toFile = alleRadio->isChecked();
    DateiLabel->setVisible(toFile);
    DateiEdit->setVisible(toFile);
}

}  // namespace kx4

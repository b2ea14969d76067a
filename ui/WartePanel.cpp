#include "ui/WartePanel.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "texts/TextCatalogue.h"
#include "ui/Fonts.h"

namespace kx4 {

namespace {

constexpr int kBarSteps = 1000;

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::Close:
            return true;
        default:
            return false;
    }
}

}  // namespace

TWartePanel::TWartePanel(QWidget* parent) : QFrame(parent) {
    setObjectName("WartePanel");
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    Label1 = new QLabel(QStringLiteral("Bitte warten ..."), this);
    Label1->setObjectName("Label1");
    Label1->setFont(arialBold(12));
    Label1->setAlignment(Qt::AlignCenter);
    Label2 = new QLabel(QStringLiteral("(Tabelle wird komprimiert)"), this);
    Label2->setObjectName("Label2");
    Label2->setFont(arialBold(9));
    Label2->setAlignment(Qt::AlignCenter);
    QPalette palette = Label2->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
    Label2->setPalette(palette);
    Fortschritt = new QProgressBar(this);
    Fortschritt->setObjectName("Fortschritt");
    Fortschritt->setRange(0, kBarSteps);
    Fortschritt->setValue(0);
    Fortschritt->setFormat(QString());
    AbbrechenBtn = new QPushButton(CatalogueText(65200), this);
    AbbrechenBtn->setObjectName("AbbrechenBtn");
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Fortschritt);
    layout->addWidget(AbbrechenBtn, 0, Qt::AlignHCenter);
    resize(260, 150);
    hide();
}

QString phaseText(const ProgressStep& step) {
    switch (step.phase) {
        case ProgressPhase::Records:
            return CatalogueText(65201);
        case ProgressPhase::Index:
            return CatalogueText(65202).arg(QString::fromStdString(step.name));
        case ProgressPhase::Memos:
            return CatalogueText(65203);
    }
    return {};
}

QString restructureSubtitle() { return CatalogueText(65204); }

// Swallows the user's input to the panel's window, but for the panel itself; other windows (a
// password prompt, say) are left alone.
class WartePanelScope::InputBlocker : public QObject {
  public:
    explicit InputBlocker(TWartePanel& panel) : panel_(panel) { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!isUserInput(event->type())) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->window() != panel_.window()) return false;
        if (panel_.isAncestorOf(widget)) return false;
        event->ignore();
        return true;
    }

  private:
    TWartePanel& panel_;
};

WartePanelScope::WartePanelScope(TWartePanel& panel, const QString& subtitle,
                                 std::chrono::milliseconds delay)
    : panel_(panel),
      subtitle_(subtitle),
      delay_(delay),
      blocker_(std::make_unique<InputBlocker>(panel)) {
    running_.start();
    panel_.Fortschritt->setValue(0);
    panel_.Fortschritt->setFormat(QString());
    panel_.AbbrechenBtn->setEnabled(true);
    QObject::connect(panel_.AbbrechenBtn, &QPushButton::clicked, blocker_.get(),
                     [this] { stop_ = true; });
    if (delay_.count() == 0) show();
}

WartePanelScope::~WartePanelScope() { panel_.hide(); }

void WartePanelScope::show() {
    panel_.Label2->setText(subtitle_);
    QWidget* parent = panel_.parentWidget();
    if (parent && panel_.pos().isNull())  // centred unless its window placed it
        panel_.move((parent->width() - panel_.width()) / 2,
                    (parent->height() - panel_.height()) / 2);
    panel_.show();
    panel_.raise();
    QCoreApplication::processEvents();
}

void WartePanelScope::progress(const ProgressStep& step) {
    if (panel_.isHidden() && running_.elapsed() >= delay_.count()) show();
    const int value = step.total ? static_cast<int>(step.done * kBarSteps / step.total) : kBarSteps;
    panel_.Fortschritt->setValue(value);
    panel_.Fortschritt->setFormat(phaseText(step) + QStringLiteral("  %p%"));
    QCoreApplication::processEvents();
}

void WartePanelScope::noLongerStoppable() {
    stoppable_ = false;
    panel_.AbbrechenBtn->setEnabled(false);
}

}  // namespace kx4

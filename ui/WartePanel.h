#pragma once
// The wait panel: "Bitte warten ...", a line naming the running operation, the progress of the
// engine's work with its phase, and "Abbrechen" to stop it.
#include <QElapsedTimer>
#include <QFrame>
#include <QString>
#include <chrono>
#include <memory>

#include "engine/core/Progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kx4 {

class TWartePanel : public QFrame {
    Q_OBJECT

  public:
    explicit TWartePanel(QWidget* parent);

    QLabel* Label1 = nullptr;  // "Bitte warten ..."
    QLabel* Label2 = nullptr;  // the running operation's line
    QProgressBar* Fortschritt = nullptr;
    QPushButton* AbbrechenBtn = nullptr;
};

// The text of a phase as the panel shows it: "Datensätze", "Index NAME", "Memos".
QString phaseText(const ProgressStep& step);

// The second line of the panel while a field's definition changes.
QString restructureSubtitle();

// Restructures that are usually quick show the panel only once they have run this long.
inline constexpr std::chrono::milliseconds kShowPanelAfter{500};

// While it exists: engine work reports its progress here, the window keeps repainting and
// takes no input but the panel's own, and "Abbrechen" asks the work to stop (it then ends with
// EOperationCancelled, the table unchanged). The panel shows with `subtitle` at once, or after
// `delay` when the work is still running then; it is hidden again at the end.
class WartePanelScope : public ProgressSink {
  public:
    WartePanelScope(TWartePanel& panel, const QString& subtitle,
                    std::chrono::milliseconds delay = {});
    ~WartePanelScope() override;
    WartePanelScope(const WartePanelScope&) = delete;
    WartePanelScope& operator=(const WartePanelScope&) = delete;

    void progress(const ProgressStep& step) override;
    bool stopRequested() const override { return stop_ && stoppable_; }
    // From here on a stop would leave the work half done: "Abbrechen" is disabled.
    void noLongerStoppable();

  private:
    class InputBlocker;

    void show();

    TWartePanel& panel_;
    QString subtitle_;
    std::chrono::milliseconds delay_;
    QElapsedTimer running_;
    bool stop_ = false;
    bool stoppable_ = true;
    std::unique_ptr<InputBlocker> blocker_;
    ProgressScope reporting_{this};
};

}  // namespace kx4

#pragma once
// The hourglass over some controls for as long as the scope runs; the default cursor comes back
// in every outcome.
#include <QPointer>
#include <QWidget>
#include <initializer_list>
#include <vector>

namespace kx4 {

class WaitCursor {
  public:
    explicit WaitCursor(std::initializer_list<QWidget*> widgets) {
        for (QWidget* widget : widgets) {
            widget->setCursor(Qt::WaitCursor);
            widgets_.emplace_back(widget);
        }
    }
    ~WaitCursor() {
        for (const QPointer<QWidget>& widget : widgets_) {
            if (widget) widget->unsetCursor();
        }
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    std::vector<QPointer<QWidget>> widgets_;
};

}  // namespace kx4

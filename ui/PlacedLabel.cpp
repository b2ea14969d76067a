#include "ui/PlacedLabel.h"

namespace kx4 {

QLabel* placedLabel(const char* name, const QString& text, QPoint at, QWidget* parent) {
    auto* result = new QLabel(text, parent);
    result->setObjectName(name);
    result->move(at);
    result->adjustSize();
    return result;
}

}  // namespace kx4

#pragma once
// The dialogs lay their labels out at fixed places, each named so that the texts and the tests
// find it.
#include <QLabel>
#include <QPoint>
#include <QString>

namespace kx4 {

// A label named `name` showing `text` at `at` in `parent`, as large as its text.
QLabel* placedLabel(const char* name, const QString& text, QPoint at, QWidget* parent);

}  // namespace kx4

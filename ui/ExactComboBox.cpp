#include "ui/ExactComboBox.h"

#include <QCompleter>

namespace kx4 {

void exactEntriesOnly(QComboBox& box) {
    if (QCompleter* completer = box.completer()) completer->setCaseSensitivity(Qt::CaseSensitive);
}

}  // namespace kx4

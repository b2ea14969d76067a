#pragma once
// Editable combo boxes whose typed text counts only when it equals an entry exactly.
#include <QComboBox>

namespace kx4 {

// Completes and matches typed text to the box's entries only in the same letter case: Qt's
// default would turn "ixprimary" into the entry "ixPrimary", which the operations compare
// case-sensitively.
void exactEntriesOnly(QComboBox& box);

}  // namespace kx4

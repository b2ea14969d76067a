#pragma once
// What a toolbar operation is handed by the main window, and all it may use of it: the session,
// the window that parents the operation's dialogs, the wait panel, the user's choice, the values
// dialog and the refresh of the index list.
#include <functional>

#include "ui/Selection.h"

class QWidget;

namespace kx4 {

class TSession;
class TTabTyp;
class TTable;
class TWartePanel;

struct OperationContext {
    TSession& session;
    QWidget* parent;  // of the operation's dialogs
    TWartePanel& panel;
    Selection selection;
    // The values dialog "Werte angeben" of the index operations.
    std::function<TTabTyp&()> valuesDialog;
    // Shows the index definitions of the open `table` in the main window's index list.
    std::function<void(TTable&)> showIndexes;
};

}  // namespace kx4

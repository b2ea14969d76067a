#pragma once
// The program's start-up: language module, password prompt, then the main window followed by
// the two dialogs that live until exit.
#include <memory>

#include "app/TabellenForm.h"

namespace kx4 {

// Installs the text catalogue for the user's language (a language module beside the program,
// else the built-in texts) and the engine's prompt for a table password the session lacks.
void initialiseApplication(TSession& session = Session());

// The engine asks for a table password through the installed prompts.
void installPasswordPrompt(TSession& session);

// Creates TabellenForm, then TabTyp, then ChangeFeldTypForm (both owned by the main window).
std::unique_ptr<TTabellenForm> createStartUpWindows(TSession& session = Session());

}  // namespace kx4

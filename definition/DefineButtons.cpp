// The main window's buttons that work through the table definition window.
#include "DefineOperations.h"
#include "TabellenForm.h"

namespace kx4 {

void TTabellenForm::NeuTableClick() { runNewTable(*this); }
void TTabellenForm::ZQSpeedBtn1Click() { runDelField(*this); }
void TTabellenForm::AddFeldBtnClick() { runAddField(*this); }
void TTabellenForm::ChangeFeldLenthClick() { runChangeFieldLength(*this); }

}  // namespace kx4

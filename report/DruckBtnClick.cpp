// The main window's "Print" button.
#include "DruckTab.h"
#include "TabellenForm.h"

namespace kx4 {

void TTabellenForm::DruckBtnClick() { DruckTab(*this); }

}  // namespace kx4

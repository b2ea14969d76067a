#pragma once
// What the main window's buttons "New Table", "Del Field", "Add Field" and "Field length" do.
// Each creates the definition window (DefineForm) for its use and frees it afterwards, also when
// the use fails.
#include "ui/OperationContext.h"

namespace kx4 {

// "New Table" and "Del Field": the window in table mode, modal.
void runNewTable(const OperationContext& context);
void runDelField(const OperationContext& context);

// "Add Field": only with a table node selected in the tree; the window in field mode with the
// alias and that table preset, modal.
void runAddField(const OperationContext& context);

// "Field length": a new length for the character field of the first selected row of the field
// list, asked in an input box; the window is created only to carry ChangeFeldLength and is never
// shown. The field list is not refreshed.
void runChangeFieldLength(const OperationContext& context);

}  // namespace kx4

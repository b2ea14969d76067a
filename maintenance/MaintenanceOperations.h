#pragma once
// The index and table maintenance operations behind the main window's buttons "Compress",
// "Reorg Idxs", "Create Idx" and "Del Index". Each works on the table chosen in the context's
// selection and does nothing when none is chosen.
#include <functional>

#include "ui/OperationContext.h"

namespace kx4 {

// "Compress": packs the chosen table after the user confirmed its name, then says so.
void runCompress(const OperationContext& context);

// "Reorg Idxs": saves the index definitions beside the table and creates the indexes again.
void runIndexReorg(const OperationContext& context);

// "Create Idx": adds the index the user describes in the values dialog.
void runIdxDefine(const OperationContext& context);

// "Del Index": deletes the index whose field list is chosen in the index list (only while a row
// of it is selected); `deleted` runs once the index is gone.
void runIdxDelete(const OperationContext& context, const std::function<void()>& deleted);

}  // namespace kx4

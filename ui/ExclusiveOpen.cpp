#include "ui/ExclusiveOpen.h"

#include "engine/core/Errors.h"
#include "texts/TextCatalogue.h"
#include "ui/Prompts.h"

namespace kx4 {

QString ExclusiveRetryQuestion(const QString& tableName) {
    return "\"" + tableName + CatalogueText(65162);
}

QString TabelleExclusiveRetryQuestion(const QString& tableName) {
    return CatalogueText(65161) + tableName + CatalogueText(65162);
}

namespace {

// Whether the open failed because someone else holds the table, the one failure that trying
// again can mend. A missing, damaged or protected table is reported at once.
bool heldElsewhere(const EDatabaseError& error) {
    const auto* engineError = dynamic_cast<const EDBEngineError*>(&error);
    if (!engineError) return true;
    switch (engineError->errorCode()) {
        case DBIERR_LOCKED:
        case DBIERR_FILELOCKED:
        case DBIERR_TABLEINUSE:
        case DBIERR_NEEDEXCLACCESS:
            return true;
        default:
            return false;
    }
}

}  // namespace

void OpenExclusiveWithRetry(TTable& table, const QString& question) {
    for (;;) {
        try {
            table.Exclusive = true;
            table.Open();
            return;
        } catch (const EDatabaseError& error) {
            if (!heldElsewhere(error) ||
                MessageDlg(question, TMsgDlgType::mtError, mbOK | mbCancel) != mrOk)
                throw;
        }
    }
}

}  // namespace kx4

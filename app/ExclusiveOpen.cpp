#include "ExclusiveOpen.h"

#include "Errors.h"
#include "Prompts.h"
#include "TextCatalogue.h"

namespace kx4 {

QString ExclusiveRetryQuestion(const QString& tableName) {
    return "\"" + tableName + CatalogueText(65162);
}

QString TabelleExclusiveRetryQuestion(const QString& tableName) {
    return CatalogueText(65161) + tableName + CatalogueText(65162);
}

void OpenExclusiveWithRetry(TTable& table, const QString& question) {
    for (;;) {
        try {
            table.Exclusive = true;
            table.Open();
            return;
        } catch (const EDatabaseError&) {
            if (MessageDlg(question, TMsgDlgType::mtError, mbOK | mbCancel) != mrOk) throw;
        }
    }
}

}  // namespace kx4

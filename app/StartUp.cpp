#include "app/StartUp.h"

#include <QApplication>
#include <QCoreApplication>

#include "app/ChangeFeldTypForm.h"
#include "texts/Sprache.h"
#include "texts/TextCatalogue.h"
#include "ui/Images.h"
#include "ui/Prompts.h"
#include "ui/TabTyp.h"

namespace kx4 {

void initialiseApplication(TSession& session) {
    QApplication::setWindowIcon(programIcon());
    const QString abbreviation = abbreviatedLanguageName(userLocaleName()).value_or(QString());
    installTextCatalogue(
        TextCatalogue::forProgram(QCoreApplication::applicationFilePath(), abbreviation));

    installPasswordPrompt(session);
}

void installPasswordPrompt(TSession& session) {
    session.OnPassword = [](const std::string& tableFile,
                            bool previousWasWrong) -> std::optional<std::string> {
        const auto password =
            prompts().AskTablePassword(QString::fromStdString(tableFile), previousWasWrong);
        if (!password) return std::nullopt;
        return password->toStdString();
    };
}

std::unique_ptr<TTabellenForm> createStartUpWindows(TSession& session) {
    auto form = std::make_unique<TTabellenForm>(session);
    form->TabTyp = new TTabTyp(form.get());
    form->ChangeFeldTypForm = new TChangeFeldTypForm(form.get());
    return form;
}

}  // namespace kx4

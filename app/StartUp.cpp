#include "StartUp.h"

#include <QApplication>
#include <QCoreApplication>

#include "ChangeFeldTypForm.h"
#include "Images.h"
#include "Prompts.h"
#include "Sprache.h"
#include "TabTyp.h"
#include "TextCatalogue.h"

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

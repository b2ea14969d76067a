#include "ui/ErrorBox.h"

#include "engine/core/Progress.h"
#include "ui/Prompts.h"

namespace kx4 {

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QChar(u'.')) return message + u'.';
    return message;
}

void ShowException(const QString& message) { prompts().ShowErrorBox(errorBoxText(message)); }

void ShowException(const std::exception& error) { ShowException(QString::fromUtf8(error.what())); }

namespace {

// Called inside a catch block: shows the exception being handled, and never throws. An
// operation the user stopped left the table as it was and ends without a box.
void showCurrentException() noexcept {
    try {
        try {
            throw;
        } catch (const EOperationCancelled&) {
        } catch (const std::exception& error) {
            ShowException(error);
        } catch (...) {
            ShowException(QStringLiteral("Unbekannter Fehler"));
        }
    } catch (...) {
        // Showing the box failed as well; nothing is left to tell the user with.
    }
}

}  // namespace

void runHandler(const std::function<void()>& handler) noexcept {
    try {
        handler();
    } catch (...) {
        showCurrentException();
    }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(kApplicationTitle);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showCurrentException();
        return false;
    }
}

}  // namespace kx4

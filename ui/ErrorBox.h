#pragma once
// The application's default error box and the wrapper every event handler runs in: an exception
// that a handler does not catch ends the handler (its RAII clean-up runs first) and is shown here.
// Exceptions must not cross Qt's event loop, so nothing escapes the wrapper.
#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace kx4 {

// The message as the error box shows it: "." appended when its last character sorts after "."
// (a letter or a digit, for example).
QString errorBoxText(const QString& message);

// Shows `message` in the application's default error box (after errorBoxText()).
void ShowException(const QString& message);
void ShowException(const std::exception& error);

// Runs one event handler; an exception escaping it is shown in the default error box.
void runHandler(const std::function<void()>& handler) noexcept;

// The application object: also catches what escapes a slot that was not wrapped in runHandler.
class TApplication : public QApplication {
  public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace kx4

#pragma once
// Everything the operations ask the user goes through one Prompts object, so that tests can
// script the answers. The program installs QtPrompts; tests install a scripted one.
#include <QString>
#include <optional>

namespace kx4 {

inline const QString kApplicationTitle = QStringLiteral("KX4 Table Tool");

// The three kinds of message box; each has a fixed caption.
enum class TMsgDlgType { mtError, mtInformation, mtConfirmation };

// Buttons of a message box ("OK", "Abbrechen", "&Ja", "&Nein"), combinable with |.
enum TMsgDlgBtn : unsigned { mbOK = 1, mbCancel = 2, mbYes = 4, mbNo = 8 };
using TMsgDlgButtons = unsigned;

// What a message box returns: the button pressed; closing the box otherwise gives Cancel (or No
// when the box has no Cancel button).
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

QString messageCaption(TMsgDlgType type);  // "Fehler", "Information", "Bestätigung"

class Prompts {
  public:
    virtual ~Prompts() = default;

    // A modal message box of the given kind; returns the button pressed.
    virtual int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) = 0;

    // The one-line input box (buttons "OK" and "Abbrechen"); true and the edited `value` on OK.
    virtual bool InputQuery(const QString& caption, const QString& prompt, QString& value) = 0;

    // The application's default error box: error icon, caption kApplicationTitle, button "OK".
    // `text` is shown as given (see errorBoxText()).
    virtual void ShowErrorBox(const QString& text) = 0;

    // The engine's prompt for the password of a protected table; nullopt when the user declines.
    virtual std::optional<QString> AskTablePassword(const QString& tableFile,
                                                    bool previousWasWrong) = 0;
};

// The prompts in use; QtPrompts unless a test installed others.
Prompts& prompts();

// Installs `replacement` (not owned) until the returned scope ends; restores the previous one.
class PromptsOverride {
  public:
    explicit PromptsOverride(Prompts& replacement);
    ~PromptsOverride();
    PromptsOverride(const PromptsOverride&) = delete;
    PromptsOverride& operator=(const PromptsOverride&) = delete;

  private:
    Prompts* previous_;
};

// Shortcuts for the operations.
inline int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    return prompts().MessageDlg(text, type, buttons);
}
inline bool InputQuery(const QString& caption, const QString& prompt, QString& value) {
    return prompts().InputQuery(caption, prompt, value);
}

}  // namespace kx4

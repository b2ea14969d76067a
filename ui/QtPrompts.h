#pragma once
// The prompts of the running program: Qt message boxes and input dialogs.
#include "ui/Prompts.h"

namespace kx4 {

class QtPrompts : public Prompts {
  public:
    int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
    bool InputQuery(const QString& caption, const QString& prompt, QString& value) override;
    void ShowErrorBox(const QString& text) override;
    std::optional<QString> AskTablePassword(const QString& tableFile,
                                            bool previousWasWrong) override;
};

}  // namespace kx4

#pragma once
// Prompts for tests: records every question and answers from queues the test fills. A question
// without a queued answer fails the test.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "ui/Prompts.h"

namespace kx4::test {

class ScriptedPrompts : public Prompts {
  public:
    struct Message {
        QString text;
        TMsgDlgType type;
        TMsgDlgButtons buttons;
    };
    struct Input {
        QString caption;
        QString prompt;
        QString preset;
    };

    // What was asked, in order.
    std::vector<Message> messages;
    std::vector<Input> inputs;
    std::vector<QString> errorBoxes;
    std::vector<QString> passwordRequests;
    std::vector<bool> passwordToldWrong;  // per request: told that the answer before did not fit

    // Answers, taken from the front.
    std::deque<int> messageAnswers;
    std::deque<std::optional<QString>> inputAnswers;  // nullopt: the user cancels
    std::deque<std::optional<QString>> passwordAnswers;

    int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) override {
        messages.push_back({text, type, buttons});
        if (messageAnswers.empty()) {
            ADD_FAILURE() << "unexpected message box: " << text.toStdString();
            return mrCancel;
        }
        const int answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }

    bool InputQuery(const QString& caption, const QString& prompt, QString& value) override {
        inputs.push_back({caption, prompt, value});
        if (inputAnswers.empty()) {
            ADD_FAILURE() << "unexpected input box: " << caption.toStdString();
            return false;
        }
        const std::optional<QString> answer = inputAnswers.front();
        inputAnswers.pop_front();
        if (answer) value = *answer;
        return answer.has_value();
    }

    void ShowErrorBox(const QString& text) override { errorBoxes.push_back(text); }

    std::optional<QString> AskTablePassword(const QString& tableFile,
                                            bool previousWasWrong) override {
        passwordRequests.push_back(tableFile);
        passwordToldWrong.push_back(previousWasWrong);
        if (passwordAnswers.empty()) return std::nullopt;
        const std::optional<QString> answer = passwordAnswers.front();
        passwordAnswers.pop_front();
        return answer;
    }
};

// Installs a ScriptedPrompts for the lifetime of the object.
class ScriptedPromptsScope : public ScriptedPrompts {
  public:
    ScriptedPromptsScope() : override_(*this) {}

  private:
    PromptsOverride override_;
};

}  // namespace kx4::test

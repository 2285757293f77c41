#include "ScriptedPrompter.h"

#include <gtest/gtest.h>

namespace testsupport {

int ScriptedPrompter::Ask(const TPrompt& Prompt) {
    Prompts.push_back(Prompt);
    if (OnAsk) OnAsk(Prompt);
    if (Answers.empty()) {
        if (!DefaultsAllowed) ADD_FAILURE() << "unscripted question: " << Prompt.Text.toStdString();
        return Prompt.DefaultAnswer();
    }
    const int answer = Answers.front();
    Answers.pop_front();
    return answer;
}

bool ScriptedPrompter::InputQuery(const QString& Caption, const QString& Prompt, QString& Value) {
    InputPrompts.push_back(Caption + ": " + Prompt);
    if (Inputs.empty()) {
        if (!DefaultsAllowed) ADD_FAILURE() << "unscripted input query: " << Prompt.toStdString();
        return false;
    }
    const std::optional<QString> answer = Inputs.front();
    Inputs.pop_front();
    if (!answer) return false;
    Value = *answer;
    return true;
}

ScriptedPrompterGuard::ScriptedPrompterGuard() {
    auto prompter = std::make_unique<ScriptedPrompter>();
    FPrompter = prompter.get();
    FPrevious = TPrompter::Install(std::move(prompter));
}

ScriptedPrompterGuard::~ScriptedPrompterGuard() {
    TPrompter::Install(std::move(FPrevious));
}

} // namespace testsupport

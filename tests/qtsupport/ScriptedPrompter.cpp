#include "ScriptedPrompter.h"

#include <gtest/gtest.h>

namespace testsupport {

int ScriptedPrompter::Ask(const TPrompt& Prompt) {
    Prompts.push_back(Prompt);
    if (Answers.empty()) {
        if (!DefaultsAllowed) ADD_FAILURE() << "unscripted question: " << Prompt.Text.toStdString();
        return Prompt.DefaultAnswer();
    }
    const int answer = Answers.front();
    Answers.pop_front();
    return answer;
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

// A prompter for tests: answers from a script, records every prompt, and fails the test when
// a question comes that the script has no answer for (it then takes the default answer).
#pragma once

#include "app/common/Prompter.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace testsupport {

class ScriptedPrompter : public TPrompter {
public:
    std::deque<int> Answers;
    std::vector<TPrompt> Prompts;
    bool DefaultsAllowed = false; // answer unscripted questions with their defaults, silently
    // Runs before each question is answered (a test that acts as the user would: puts a disk in).
    std::function<void(const TPrompt&)> OnAsk;

    // Answers of InputQuery in order: a text is typed over the pre-filled one, nullopt cancels.
    std::deque<std::optional<QString>> Inputs;
    std::vector<QString> InputPrompts;

    int Ask(const TPrompt& Prompt) override;
    bool InputQuery(const QString& Caption, const QString& Prompt, QString& Value) override;
};

// Installs a ScriptedPrompter for the life of the guard and restores the previous one after.
class ScriptedPrompterGuard {
public:
    ScriptedPrompterGuard();
    ~ScriptedPrompterGuard();
    ScriptedPrompterGuard(const ScriptedPrompterGuard&) = delete;
    ScriptedPrompterGuard& operator=(const ScriptedPrompterGuard&) = delete;
    ScriptedPrompter& Prompter() { return *FPrompter; }

private:
    ScriptedPrompter* FPrompter;
    std::unique_ptr<TPrompter> FPrevious;
};

} // namespace testsupport

#include "app/main/QtEngineHost.h"

#include "ScriptedPrompter.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// Installs the Qt host for one test and the previous host again after it.
class QtHostGuard {
public:
    QtHostGuard() : FPrevious(EngineHost::Install(std::make_unique<TQtEngineHost>())) {}
    ~QtHostGuard() { EngineHost::Install(std::move(FPrevious)); }

private:
    std::unique_ptr<EngineHost> FPrevious;
};

} // namespace

// The engine's questions reach the prompter with their buttons, and the answer comes back; the
// pump lets queued work run.
TEST(QtEngineHost, AsksThroughThePrompterAndPumps) {
    QtHostGuard host;
    ScriptedPrompterGuard guard;
    guard.Prompter().Answers = {mrOk, mrCancel, mrNo, mrYes, mrRetry};
    const std::vector<std::pair<TAskButtons, TMsgDlgButtons>> cases = {
        {abOK, mbOK},
        {abOKCancel, mbOK | mbCancel},
        {abYesNo, mbYes | mbNo},
        {abYesNoCancel, mbYes | mbNo | mbCancel},
        {abRetryCancel, mbRetry | mbCancel},
    };
    std::vector<int> answers;
    for (const auto& [ask, buttons] : cases)
        answers.push_back(EngineHost::Ask("Insert disk 2\r\nnow", ask));
    EXPECT_EQ(answers, (std::vector<int>{mrOk, mrCancel, mrNo, mrYes, mrRetry}));
    ASSERT_EQ(guard.Prompter().Prompts.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(guard.Prompter().Prompts[i].Buttons, cases[i].second) << i;
        EXPECT_EQ(guard.Prompter().Prompts[i].ScreenText(), "Insert disk 2\nnow");
    }

    bool ran = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { ran = true; }, Qt::QueuedConnection);
    EngineHost::Pump();
    EXPECT_TRUE(ran);
}

// Trash and file types come from the desktop's own services.
TEST(QtEngineHost, TrashAndFileTypes) {
    QtHostGuard host;
    TempDir dir;
    // A data folder that does not exist yet, as for a new user.
    EnvGuard data("XDG_DATA_HOME", (dir / "data").c_str());
    WriteFile(dir / "doomed.txt", "bye");
    ASSERT_TRUE(EngineHost::MoveToTrash((dir / "doomed.txt").string()));
    EXPECT_FALSE(fs::exists(dir / "doomed.txt"));
    EXPECT_EQ(ReadFile(dir / "data/Trash/files/doomed.txt"), "bye");
    EXPECT_FALSE(EngineHost::MoveToTrash((dir / "missing.txt").string()));

    WriteFile(dir / "a.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    EXPECT_FALSE(EngineHost::FileTypeName((dir / "a.zip").string()).empty());
}

// The tray program beside the program is started when the settings enable it and none runs
// (once, however often the settings are applied), and ended when they disable it.
#include "MainWindowFixture.h"

#include "app/common/AppSettings.h"
#include "app/common/SystemUtils.h"
#include "platform/Registry.h"
#include "platform/RunningProcesses.h"

#include <QApplication>
#include <QElapsedTimer>
#include <filesystem>

using namespace testsupport;

namespace {

class TrayProgram : public MainWindowTest {
protected:
    void TearDown() override {
        for (pid_t pid : FindProcessesByName("QuillarTray.exe"))
            TerminateProcessWait(pid, 5000);
        SetProgramFilePath("");
    }
    // Waits until Count tray programs run; the count found.
    static std::size_t WaitForCount(std::size_t Count) {
        QElapsedTimer clock;
        clock.start();
        std::size_t found = FindProcessesByName("QuillarTray.exe").size();
        while (found != Count && clock.elapsed() < 10000) {
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            found = FindProcessesByName("QuillarTray.exe").size();
        }
        return found;
    }
};

TEST_F(TrayProgram, StartedOnceAndEndedWhenDisabled) {
    ASSERT_TRUE(FindProcessesByName("QuillarTray.exe").empty()) << "a tray program runs already";
    TempDir folder;
    const fs::path tray = folder / "QuillarTray.exe";
    WriteFile(tray, "#!/bin/sh\ntrap 'exit 0' TERM\nwhile :; do sleep 0.1; done\n");
    fs::permissions(tray, fs::perms::owner_all);
    SetProgramFilePath((folder / "quillar").string());

    Open();
    ASSERT_EQ(WaitForCount(1), 1u);
    // Applying the settings again, and a second window, start no second one.
    FWindow->ApplyRegSettings();
    TfmMain second({});
    second.ApplyRegSettings();
    EXPECT_EQ(FindProcessesByName("QuillarTray.exe").size(), 1u);
    TRegistry run;
    ASSERT_TRUE(run.OpenKeyReadOnly(RunKey));
    EXPECT_EQ(run.ReadString("Quillar"), tray.string());

    AppSettings().EnableTray = false;
    FWindow->ApplyRegSettings();
    EXPECT_EQ(WaitForCount(0), 0u);
    TRegistry after;
    EXPECT_FALSE(after.OpenKeyReadOnly(RunKey) && after.ValueExists("Quillar"));
    // Disabled while none runs: nothing to end, nothing asked.
    FWindow->ApplyRegSettings();
    EXPECT_TRUE(FPrompter.Prompter().Prompts.empty());
    AppSettings().EnableTray = true;
}

} // namespace

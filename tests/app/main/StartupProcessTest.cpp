// The program as a process on the offscreen platform, in a private home: the first run writes
// the default settings and the menu shortcut, a second start loads what the settings hold, one
// archive argument lists its entries, and arguments that name no archive leave the window empty
// and usable. The window's state comes from its start-up report (QUILLAR_READY_FILE).
#include "MainWindowFixture.h"
#include "ProcessRun.h"

#include "app/common/SettingValues.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <map>
#include <sstream>

using namespace testsupport;

namespace {

struct TStart {
    ToolResult Run;
    std::map<std::string, std::string> Report; // the report's first value of each key
    std::vector<std::string> Rows;
};

class StartupProcess : public QuillarProcessTest {
protected:
    StartupProcess()
        : FReady("QUILLAR_READY_FILE", (FRegistry.Dir() / "ready").c_str()),
          FQuit("QUILLAR_QUIT_WHEN_READY", "1") {}

    TStart Start(const std::vector<std::string>& Arguments) {
        fs::remove(FRegistry.Dir() / "ready");
        TStart start;
        start.Run = RunQuillar(Arguments, FRegistry.Dir().Path());
        if (!fs::exists(FRegistry.Dir() / "ready")) return start;
        std::istringstream in(ReadFile(FRegistry.Dir() / "ready"));
        for (std::string line; std::getline(in, line);) {
            const std::size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            const std::string key = line.substr(0, eq);
            if (key == "row") start.Rows.push_back(line.substr(eq + 1));
            start.Report.try_emplace(key, line.substr(eq + 1));
        }
        return start;
    }

    EnvGuard FReady, FQuit;
};

TEST_F(StartupProcess, FirstRunThenSettingsThenAnArchive) {
    ASSERT_FALSE(SettingsViewKeyExists());
    const TStart first = Start({});
    ASSERT_EQ(first.Run.ExitCode, 0) << first.Run.Err;
    EXPECT_EQ(first.Report.at("caption"), "Quillar");
    EXPECT_EQ(first.Report.at("rows"), "0");
    EXPECT_EQ(first.Report.at("columns"), "File Name|Date|Packed|Unpacked|Ratio|Folder");
    // The defaults are stored, and the applications menu has the program.
    EXPECT_TRUE(SettingsViewKeyExists());
    EXPECT_TRUE(ReadSettingBool("View", "ColDate"));
    EXPECT_FALSE(ReadSettingBool("View", "ColMethod"));
    EXPECT_EQ(ReadSettingInteger("Miscellaneous", "MRUList"), 8);
    EXPECT_TRUE(fs::exists(FRegistry.Dir() / "data/applications/Quillar.desktop"));

    // A second start reads the settings as they are now.
    WriteSettingBool("View", "ColDate", false);
    WriteSettingBool("View", "ColMethod", true);
    WriteSettingBool("View", "ColCRC", true);
    TempDir dir;
    WriteFile(dir / "a.txt", "hello\n");
    WriteFile(dir / "b.txt", TextBytes(10000));
    ASSERT_EQ(RunTool({"zip", "-q", "t.zip", "a.txt", "b.txt"}, dir.Path()).ExitCode, 0);
    const std::string zip = (dir / "t.zip").string();
    const TStart second = Start({zip});
    ASSERT_EQ(second.Run.ExitCode, 0) << second.Run.Err;
    EXPECT_EQ(second.Report.at("columns"), "File Name|Packed|Unpacked|Ratio|Method|Folder|CRC");
    EXPECT_EQ(second.Report.at("caption"), zip + " - Quillar");
    EXPECT_EQ(second.Report.at("rows"), "2");
    ASSERT_EQ(second.Rows.size(), 2u);
    EXPECT_EQ(second.Rows[0], "a.txt|6|6|0%|Stored||363A3020");
    EXPECT_TRUE(second.Rows[1].starts_with("b.txt|")) << second.Rows[1];
    EXPECT_TRUE(second.Report.at("status").starts_with("ZIP|Ratio: ")) << second.Report.at("status");
    // The archive is in the recent list of the next start.
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Quillar\\MRU"));
    EXPECT_EQ(reg.ReadString("File1"), zip);
}

TEST_F(StartupProcess, ArgumentsThatNameNoArchive) {
    TempDir dir;
    WriteFile(dir / "notes.txt", "no archive\n");
    // A file that is no archive: the message, and an empty window.
    const TStart notArchive = Start({(dir / "notes.txt").string()});
    ASSERT_EQ(notArchive.Run.ExitCode, 0) << notArchive.Run.Err;
    EXPECT_NE(notArchive.Run.Err.find("Invalid archive format."), std::string::npos) << notArchive.Run.Err;
    EXPECT_EQ(notArchive.Report.at("rows"), "0");
    EXPECT_EQ(notArchive.Report.at("caption"), "Quillar");
    // A name of nothing that exists opens the window as without arguments.
    const TStart missing = Start({(dir / "gone.zip").string()});
    ASSERT_EQ(missing.Run.ExitCode, 0) << missing.Run.Err;
    EXPECT_EQ(missing.Report.at("rows"), "0");
    EXPECT_EQ(missing.Run.Err.find("Invalid archive format."), std::string::npos);
    // Two arguments: no window at all.
    const TStart twoArguments = Start({"-x", (dir / "notes.txt").string()});
    EXPECT_NE(twoArguments.Run.ExitCode, 0);
    EXPECT_TRUE(twoArguments.Report.empty());
}

} // namespace

namespace {

// The program as the desktop starts it: an administrator's first run takes the association
// question's default (Yes) and binds the archive types to the program's entry; -SYS -REMOVEREG
// gives the user's mimeapps.list back as it was and removes the program's settings.
TEST_F(StartupProcess, FirstRunAssociatesAndRemoveRegGivesBack) {
    const std::string mimeApps = "[Default Applications]\napplication/zip=ark.desktop\n";
    WriteFile(FRegistry.Dir() / "mimeapps.list", mimeApps);
    const TStart first = Start({});
    ASSERT_EQ(first.Run.ExitCode, 0) << first.Run.Err;
    EXPECT_NE(first.Run.Err.find("Do you want to associate Quillar"), std::string::npos) << first.Run.Err;
    const std::string bound = ReadFile(FRegistry.Dir() / "mimeapps.list");
    EXPECT_NE(bound.find("application/zip=quillar.desktop\n"), std::string::npos) << bound;
    EXPECT_NE(ReadFile(FRegistry.Dir() / "data/applications/quillar.desktop")
                  .find("Exec=" + std::string(QUILLAR_BINARY_DIR) + "/app/quillar %f"),
              std::string::npos);

    const TStart remove = Start({"-SYS", "-REMOVEREG"});
    EXPECT_EQ(remove.Run.ExitCode, 0) << remove.Run.Err;
    EXPECT_EQ(ReadFile(FRegistry.Dir() / "mimeapps.list"), mimeApps);
    EXPECT_FALSE(SettingsViewKeyExists());
}

} // namespace

// Symbolic links in archives made by GNU tar, bsdtar (tar and zip) and Info-ZIP's zip -y: a test
// passes them (nothing of them is damaged), an extraction makes every other file and reports
// each link skipped by name in the same way, and no link and no file of the link's name is made.
#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(LinkEntriesInterop, EveryFormatReportsItsLinksSkippedTheSameWay) {
    TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    WriteFile(src / "a.txt", "first");
    WriteFile(src / "z.txt", "last");
    fs::create_symlink("a.txt", src / "link to a");
    const struct {
        std::string Archive;
        std::vector<std::string> Argv; // the archive and the names follow
    } makers[] = {
        {"gnu.tar", {"tar", "-cf"}},
        {"bsd.tar", {"bsdtar", "-cf"}},
        {"bsd.zip", {"bsdtar", "--format=zip", "-cf"}},
        {"info.zip", {"zip", "-q", "-y"}},
    };
    for (const auto& m : makers) {
        SCOPED_TRACE(m.Archive);
        std::vector<std::string> argv = m.Argv;
        argv.insert(argv.end(), {(dir / m.Archive).string(), "a.txt", "link to a", "z.txt"});
        ASSERT_EQ(RunTool(argv, src).ExitCode, 0);
        const ToolResult test = RunProbe({"test", (dir / m.Archive).string()});
        EXPECT_EQ(test.ExitCode, 0) << test.Out << test.Err;
        const fs::path out = dir / ("out-" + m.Archive);
        const ToolResult x = RunProbe({"extract", (dir / m.Archive).string(), out.string()});
        EXPECT_EQ(x.ExitCode, 1);
        EXPECT_NE(x.Out.find("link to a\tERROR 26800"), std::string::npos) << x.Out << x.Err;
        EXPECT_EQ(ReadTree(out), (std::map<std::string, std::string>{{"a.txt", "first"}, {"z.txt", "last"}}));
    }
}

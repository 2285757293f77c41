// The converter's events through the main window: every stage reaches the output log, and the
// result is an archive lhasa accepts.
#include "MainWindowFixture.h"

#include "engine/write/krvArc2Arc.h"

using namespace testsupport;

namespace {

using TConvertLogTest = MainWindowTest;

TEST_F(TConvertLogTest, EveryStageReachesTheLog) {
    TempDir dir;
    WriteFile(dir / "a.txt", TextBytes(4000));
    WriteFile(dir / "b.txt", TextBytes(4000, 2));
    ASSERT_EQ(RunTool({"zip", "-q", "-X", "in.zip", "a.txt", "b.txt"}, dir.Path()).ExitCode, 0);
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    TArc2Arc converter;
    FWindow->BindConverter(converter);
    converter.SetArchiveFile((dir / "in.zip").string());
    converter.NewArchive = (dir / "out.lzh").string();
    converter.OutArcType = tyLzh;
    ASSERT_TRUE(converter.Activate());
    const QString log = FWindow->OutputLog();
    for (const char* line : {":: Current Archive: ", "> (0) Extracting: ", "> Extraction Completed.",
                             ":: New Archive: ", "> Compression Completed.", ":: Checking Integrity: ",
                             "Testing: ", " ... Passed", "> Integrity Check Completed."})
        EXPECT_TRUE(log.contains(line)) << line << "\n" << log.toStdString();
    EXPECT_FALSE(log.contains("Failed")) << log.toStdString();
    EXPECT_EQ(RunTool({"lhasa", "t", (dir / "out.lzh").string()}).ExitCode, 0);
    EXPECT_TRUE(FPrompter.Prompter().Prompts.empty());
}

} // namespace

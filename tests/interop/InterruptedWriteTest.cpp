// A write ended by SIGTERM or SIGINT leaves the old archive byte-identical and no temporary
// file beside it: the test driver, like the program, removes its temporary archive on those
// signals before it ends.
#include "ChildProcess.h"
#include "TestSupport.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>

using namespace testsupport;

TEST(InterruptedWrite, SigtermAndSigintLeaveTheArchiveAsItWasAndNoTemporary) {
    TempDir dir;
    // Enough incompressible data that the run lasts well past the temporary's creation.
    const fs::path big = dir / "src" / "big.bin";
    fs::create_directories(big.parent_path());
    {
        std::ofstream out(big, std::ios::binary);
        for (std::uint32_t block = 1; block <= 50; ++block)
            out << RandomBytes(4 << 20, block);
        ASSERT_TRUE(out.flush());
    }
    WriteFile(dir / "src" / "small.txt", TextBytes(5000));
    const fs::path target = dir / "out" / "target.zip";
    fs::create_directories(target.parent_path());
    ASSERT_EQ(RunTool({ProbePath().string(), "add", target.string(), (dir / "src" / "small.txt").string()})
                  .ExitCode,
              0);
    const std::string before = ReadFile(target);

    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(signal));
        TChild probe({ProbePath().string(), "add", target.string(), big.string()});
        ASSERT_TRUE(probe.Started());
        // Wait for the temporary archive beside the target.
        while (FolderNames(target.parent_path()).size() < 2) {
            ASSERT_FALSE(probe.Ended()) << "the run ended before its temporary archive was seen";
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        probe.Signal(signal);
        const int status = probe.Wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "wait status " << status;
        EXPECT_EQ(FolderNames(target.parent_path()), std::vector<std::string>{"target.zip"});
        EXPECT_TRUE(ReadFile(target) == before) << "the archive changed";
    }
}

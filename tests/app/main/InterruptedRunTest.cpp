// The program ended by SIGTERM midway leaves nothing behind: an add to an existing zip,
// tar.gz or cabinet (made by zip, GNU tar and gcab) leaves the old archive byte-identical and
// no temporary beside it nor in a private TMPDIR (the tar.gz and cabinet writers work in a
// folder there), and an extraction over an existing file leaves that file as it was and no
// sibling of it.
#include "ChildProcess.h"
#include "ProcessRun.h"
#include "ToolChecks.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>

using namespace testsupport;

namespace {

class InterruptedRun : public QuillarProcessTest {
protected:
    void SetUp() override {
        // Enough incompressible data that each run lasts well past its temporaries' making.
        fs::create_directories(FDir / "src");
        std::ofstream out(FDir / "src" / "big.bin", std::ios::binary);
        for (std::uint32_t block = 1; block <= 50; ++block)
            out << RandomBytes(4 << 20, block);
        ASSERT_TRUE(out.flush());
        WriteFile(FDir / "src" / "small.txt", TextBytes(5000));
    }

    // Starts the program with Arguments, signals it once something new shows in Folder or in
    // TMPDIR, and checks that both are as they were afterwards, Kept byte-identical.
    void InterruptAndCheck(const std::vector<std::string>& Arguments, const fs::path& Folder,
                           const fs::path& Kept) {
        const std::vector<std::string> before = FolderNames(Folder);
        const std::string kept = ReadFile(Kept);
        ASSERT_TRUE(FolderNames(FTmp.Path()).empty());
        std::vector<std::string> argv{std::string(QUILLAR_BINARY_DIR) + "/app/quillar"};
        argv.insert(argv.end(), Arguments.begin(), Arguments.end());
        TChild program(argv, FRegistry.Dir().Str());
        ASSERT_TRUE(program.Started());
        while (FolderNames(Folder) == before && FolderNames(FTmp.Path()).empty()) {
            ASSERT_FALSE(program.Ended()) << "the run ended before a temporary was seen";
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        program.Signal(SIGTERM);
        const int status = program.Wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "wait status " << status;
        EXPECT_EQ(FolderNames(Folder), before);
        EXPECT_EQ(FolderNames(FTmp.Path()), std::vector<std::string>{});
        EXPECT_TRUE(ReadFile(Kept) == kept) << Kept << " changed";
    }

    TempDir FDir;
    TempDir FTmp; // the runs' TMPDIR
    EnvGuard FTmpDir{"TMPDIR", FTmp.Str().c_str()};
};

TEST_F(InterruptedRun, AddToAnExistingArchiveLeavesItAsItWasAndNoTemporary) {
    const std::string small = (FDir / "src" / "small.txt").string();
    const std::string big = (FDir / "src" / "big.bin").string();
    struct TCase {
        const char* Archive;
        std::vector<std::string> Make; // the tool that makes it, "ARCHIVE" standing for its path
    } const cases[] = {
        {"old.zip", {"zip", "-q", "-j", "ARCHIVE", small}},
        {"old.tar.gz", {"tar", "-czf", "ARCHIVE", "-C", (FDir / "src").string(), "small.txt"}},
        {"old.cab", {"gcab", "-c", "-n", "ARCHIVE", small}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Archive);
        const fs::path folder = FDir / (std::string("out-") + c.Archive);
        fs::create_directories(folder);
        const fs::path archive = folder / c.Archive;
        std::vector<std::string> make = c.Make;
        std::replace(make.begin(), make.end(), std::string("ARCHIVE"), archive.string());
        Must(RunTool(make));
        InterruptAndCheck({"-G", archive.string(), big}, folder, archive);
    }
}

TEST_F(InterruptedRun, ExtractionOverAnExistingFileLeavesItAsItWasAndNoSibling) {
    const fs::path archive = FDir / "big.zip";
    Must(RunTool({"zip", "-q", "-j", "-0", archive.string(), (FDir / "src" / "big.bin").string()}));
    const fs::path dest = FDir / "dest";
    fs::create_directories(dest);
    WriteFile(dest / "big.bin", "the file that was there\n");
    InterruptAndCheck({"-DDEH", dest.string(), archive.string()}, dest, dest / "big.bin");
}

// "-A" onto an existing zip writes the new archive beside it and renames it over the old one:
// ended by SIGTERM or SIGKILL at any moment, the name holds the old archive byte-identical or
// the whole new one (SIGKILL may leave the temporary beside it, never a missing archive).
TEST_F(InterruptedRun, ReplacingAnArchiveKeepsItsNameWhateverEndsTheRun) {
    const fs::path mid = FDir / "src" / "mid.bin";
    WriteFile(mid, RandomBytes(24 << 20, 77));
    const fs::path folder = FDir / "replace";
    fs::create_directories(folder);
    const fs::path archive = folder / "old.zip";
    Must(RunTool({"zip", "-q", "-j", archive.string(), (FDir / "src" / "small.txt").string()}));
    const std::string old = ReadFile(archive);
    int replaced = 0;
    for (const int signal : {SIGTERM, SIGKILL}) {
        for (const int delayMs : {0, 20, 80, 250, 1000}) {
            SCOPED_TRACE(std::string(strsignal(signal)) + " after " + std::to_string(delayMs) + " ms");
            TChild program(
                {std::string(QUILLAR_BINARY_DIR) + "/app/quillar", "-A", archive.string(), mid.string()},
                FRegistry.Dir().Str());
            ASSERT_TRUE(program.Started());
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            program.Signal(signal);
            program.Wait();
            ASSERT_TRUE(fs::exists(archive)) << "no archive under its name";
            if (ReadFile(archive) != old) {
                ++replaced;
                Must(RunTool({"unzip", "-tq", archive.string()}));
                EXPECT_EQ(RunTool({"unzip", "-Z1", archive.string()}).Out, "mid.bin\n");
                WriteFile(archive, old);
            }
            if (signal == SIGTERM) {
                EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"old.zip"});
            }
            for (const std::string& name : FolderNames(folder))
                if (name != "old.zip") fs::remove(folder / name);
        }
    }
    EXPECT_LT(replaced, 10) << "no run was ended before its end";
}

} // namespace

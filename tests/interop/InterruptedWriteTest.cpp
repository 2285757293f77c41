// A write ended by SIGTERM or SIGINT leaves the old archive byte-identical and no temporary
// file beside it: the test driver, like the program, removes its temporary archive on those
// signals before it ends.
#include "TestSupport.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace testsupport;

namespace {

// A child process, killed and reaped if the test leaves before it has ended.
class TChild {
public:
    // Starts Argv with standard output discarded and SIGINT and SIGTERM at their default
    // action, whatever this process does with them.
    explicit TChild(const std::vector<std::string>& Argv) {
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGTERM);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
        std::vector<char*> argv;
        for (const std::string& a : Argv)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&FPid, argv[0], &files, &attr, argv.data(), environ) != 0) FPid = -1;
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&files);
    }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;
    ~TChild() {
        if (FPid <= 0) return;
        ::kill(FPid, SIGKILL);
        Wait();
    }

    bool Started() const { return FPid > 0; }
    // True once the child has ended (its wait status then in Status()).
    bool Ended() { return FPid <= 0 || Reap(WNOHANG); }
    int Wait() {
        while (FPid > 0 && !Reap(0)) {
        }
        return FStatus;
    }
    void Signal(int Number) { ::kill(FPid, Number); }
    int Status() const { return FStatus; }

private:
    bool Reap(int Options) {
        const pid_t r = ::waitpid(FPid, &FStatus, Options);
        if (r == FPid || (r < 0 && errno != EINTR)) {
            FPid = -1;
            return true;
        }
        return false;
    }
    pid_t FPid = -1;
    int FStatus = 0;
};

} // namespace

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

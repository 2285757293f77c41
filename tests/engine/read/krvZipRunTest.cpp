#include "engine/read/krvZipRun.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvGbls.h"
#include "platform/TemporaryCleanup.h"

#include "TestSupport.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testsupport;

TEST(ZipRun, OwnsAPrivateFolderAndRemovesItWithEverythingInIt) {
    TempDir dir;
    WriteFile(dir / "a.zip", "PK");
    std::string removed;
    std::string folder;
    {
        TZipRun run;
        EXPECT_EQ(run.ExecutionMethod, emExecuteAndWait);
        EXPECT_EQ(run.WindowState, esNormal);
        folder = run.TempFolder();
        ASSERT_FALSE(folder.empty());
        // Made at once, private, in the temporary folder.
        EXPECT_EQ(fs::status(folder).type(), fs::file_type::directory);
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
        EXPECT_EQ(fs::path(folder).parent_path(), fs::path(GetTempPathStr()).parent_path());
        fs::create_directories(fs::path(folder) / "sub");
        WriteFile(fs::path(folder) / "sub/file", "x");
        fs::create_symlink(dir.Path(), fs::path(folder) / "link");
        run.SetArchiveFile((dir / "a.zip").string());
        run.OnRemoveTempfile = [&](TZipCommon&, const std::string& Name) { removed = Name; };
    }
    EXPECT_EQ(removed, folder);
    EXPECT_FALSE(fs::exists(folder));
    // What the link pointed at is untouched.
    EXPECT_TRUE(fs::exists(dir / "a.zip"));

    // Without an archive nothing is deleted, but the (empty) folder is still removed.
    std::string second;
    {
        TZipRun run;
        second = run.TempFolder();
        EXPECT_TRUE(fs::is_directory(second));
        EXPECT_NE(second, folder);
    }
    EXPECT_FALSE(fs::exists(second));
}

TEST(ZipRun, NeverDeletesARoot) {
    EXPECT_FALSE(TZipRun::DeleteFolderTree("/"));
    EXPECT_FALSE(TZipRun::DeleteFolderTree("//"));
    EXPECT_FALSE(TZipRun::DeleteFolderTree(""));
}

// A process ended by SIGTERM or SIGINT while its folder holds views leaves nothing behind once
// the signal clean-up is installed.
TEST(ZipRun, ItsFolderGoesOnSigtermAndSigint) {
    for (const int signal : {SIGTERM, SIGINT}) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            InstallTemporaryCleanupOnSignals();
            TZipRun run;
            const std::string view = CreateTempFolder(run.TempFolder(), "view");
            WriteFile(fs::path(view) / "entry.txt", "viewed");
            const std::string folder = run.TempFolder() + "\n";
            if (::write(pipeFds[1], folder.data(), folder.size()) < 0) ::_exit(2);
            ::raise(signal);
            ::_exit(3); // not reached: the signal ends the process
        }
        ::close(pipeFds[1]);
        std::string folder;
        char c;
        while (::read(pipeFds[0], &c, 1) == 1 && c != '\n')
            folder += c;
        ::close(pipeFds[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "wait status " << status;
        ASSERT_FALSE(folder.empty());
        EXPECT_FALSE(fs::exists(folder)) << folder;
    }
}

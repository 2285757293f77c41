// The program's adds that cannot go as asked end and say why, taking every question's default
// answer: onto a read-only file system (one question, then the error, never a loop), into a
// folder that does not exist (its reason, not a faulty drive), and over trees holding a folder
// and a file the user may not read (each named, the run failing), also as a backup set.
#include "ProcessRun.h"
#include "ToolChecks.h"

#include "app/common/AppSettings.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace testsupport;

namespace {

class CommandLineFaults : public QuillarProcessTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteDefaultSettings());
        WriteFile(FWork / "f.txt", "hello\n");
        WriteFile(FWork / "src" / "open" / "b.txt", "b\n");
        WriteFile(FWork / "src" / "c.txt", "c\n");
        WriteFile(FWork / "src" / "locked" / "a.txt", "a\n");
        WriteFile(FWork / "src" / "unread.txt", "d\n");
        fs::create_directories(FWork / "ro");
        fs::create_directories(FWork / "out");
    }
    void TearDown() override { fs::permissions(FWork / "src" / "locked", fs::perms::owner_all); }

    // The program, ended after a minute should it not end by itself.
    static std::vector<std::string> Program(const std::vector<std::string>& Arguments) {
        std::vector<std::string> argv = {"timeout", "60", std::string(QUILLAR_BINARY_DIR) + "/app/quillar"};
        argv.insert(argv.end(), Arguments.begin(), Arguments.end());
        return argv;
    }

    TempDir FWork;
};

std::size_t Count(const std::string& Text, const std::string& Part) {
    std::size_t n = 0;
    for (std::size_t at = Text.find(Part); at != std::string::npos; at = Text.find(Part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST_F(CommandLineFaults, AddsThatCannotGoAsAskedEndAndSayWhy) {
    // Unreadable parts only keep a user out who is not root: root's runs take another user.
    fs::permissions(FWork / "src" / "locked", fs::perms::none);
    fs::permissions(FWork / "src" / "unread.txt", fs::perms::none);
    const bool root = ::geteuid() == 0;
    if (root)
        for (const fs::path& open : {FWork.Path(), FWork / "out", FRegistry.Dir().Path()})
            fs::permissions(open, fs::perms::all);
    const std::vector<std::string> asUser =
        root ? std::vector<std::string>{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}
             : std::vector<std::string>{};
    const std::string backups = (FRegistry.Dir() / "data/quillar/Backups").string();
    fs::create_directories(backups);
    WriteFile(fs::path(backups) / "Docs.zfb",
              "BackupSetName=Docs\r\nDescription=\r\nBackupFolder=" + (FWork / "out").string() +
                  "\r\nArcType=6\r\nCompression=0\r\nStorePathInfo=0\r\nBackupMethod=1\r\nGenerations=3\r\n"
                  "[FilesInBackupSet]\r\n" +
                  (FWork / "src").string() + "/*.*\r\n");
    if (root) {
        RunTool({"chmod", "-R", "a+rwX", FRegistry.Dir().Str()});
        RunTool({"chmod", "-R", "a+rwX", (FWork / "src" / "open").string()});
    }

    auto with = [](std::vector<std::string> Prefix, const std::vector<std::string>& Argv) {
        Prefix.insert(Prefix.end(), Argv.begin(), Argv.end());
        return Prefix;
    };
    const std::string mount = "mount -t tmpfs -o ro,size=64k tmpfs \"$0\" && exec \"$@\"";
    const std::vector<std::string> readOnly =
        root ? std::vector<std::string>{"unshare", "--mount", "sh", "-c", mount, (FWork / "ro").string()}
             : std::vector<std::string>{"unshare", "--user", "--map-root-user",      "--mount", "sh",
                                        "-c",      mount,    (FWork / "ro").string()};
    struct TCase {
        const char* Name;
        std::vector<std::string> Argv;
        std::vector<std::string> Said; // on standard error
        const char* NotSaid;
        const char* Archive; // what the run leaves under out/, listed by unzip ("" none)
    } const cases[] = {
        {"read-only file system",
         with(readOnly, Program({"-G", (FWork / "ro" / "x.zip").string(), (FWork / "f.txt").string()})),
         {"Error No : 25171"},
         "bad sectors",
         ""},
        {"missing folder",
         Program({"-G", (FWork / "no" / "such" / "x.zip").string(), (FWork / "f.txt").string()}),
         {"Error No : 25235", (FWork / "no" / "such").string() + ": No such file or directory"},
         "bad sectors",
         ""},
        {"unreadable parts",
         with(asUser, Program({"-A", (FWork / "out" / "x.zip").string(), (FWork / "src").string()})),
         {"Filename : locked\nError No : 25235", "Filename : unread.txt\nError No : 25235",
          "Permission denied"},
         "bad sectors",
         "src/c.txt\nsrc/open/b.txt\n"},
        {"backup of unreadable parts",
         with(asUser, Program({"-B", (fs::path(backups) / "Docs.zfb").string()})),
         {"Filename : locked", "Backup failed or aborted"},
         "successfully",
         ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const ToolResult run = RunTool(c.Argv, FWork.Path());
        EXPECT_EQ(run.ExitCode, 1) << run.Err;
        for (const std::string& said : c.Said)
            EXPECT_NE(run.Err.find(said), std::string::npos) << said << '\n' << run.Err;
        EXPECT_EQ(run.Err.find(c.NotSaid), std::string::npos) << run.Err;
        // The write-protect question once at most, with its default answer, then the error.
        EXPECT_LE(Count(run.Err, "write protected. Please unprotect"), 1U) << run.Err;
        const fs::path archive = FWork / "out" / "x.zip";
        if (*c.Archive) {
            EXPECT_EQ(RunTool({"unzip", "-Z1", archive.string()}).Out, c.Archive);
        }
        fs::remove(archive);
        EXPECT_FALSE(fs::exists(FWork / "out" / "Docs.zip")) << "a backup short of files was kept";
    }
}

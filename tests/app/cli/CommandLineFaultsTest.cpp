// The program's adds that cannot go as asked end and say why, taking every question's default
// answer: onto a read-only file system (one question, then the error, never a loop), into a
// folder that does not exist (its reason, not a faulty drive), and over trees holding a folder
// and a file the user may not read (each named, the run failing), also as a backup set. And
// nothing of the user's is lost, nor does a run wait for nobody.
#include "ChildProcess.h"
#include "ExtractRun.h"
#include "ProcessRun.h"
#include "ToolChecks.h"
#include "ZipBuilder.h"

#include "app/common/AppSettings.h"
#include "engine/core/krvFileIo.h"

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/file.h>
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

    // The program (the build's, or Copy), ended after a minute should it not end by itself.
    static std::vector<std::string> Program(const std::vector<std::string>& Arguments,
                                            const fs::path& Copy = {}) {
        const std::string program =
            Copy.empty() ? std::string(QUILLAR_BINARY_DIR) + "/app/quillar" : Copy.string();
        std::vector<std::string> argv = {"timeout", "60", program};
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
    // That user runs a copy of the program: the build may lie where only its owner can reach.
    const fs::path copy = root ? ReachableCopy(FWork / "build", "app/quillar") : fs::path();
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
         with(asUser, Program({"-A", (FWork / "out" / "x.zip").string(), (FWork / "src").string()}, copy)),
         {"Filename : locked\nError No : 25235", "Filename : unread.txt\nError No : 25235",
          "Permission denied"},
         "bad sectors",
         "src/c.txt\nsrc/open/b.txt\n"},
        {"backup of unreadable parts",
         with(asUser, Program({"-B", (fs::path(backups) / "Docs.zfb").string()}, copy)),
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

namespace {

// The files "krv??????" in Folder: the temporaries of updates.
std::vector<std::string> Temporaries(const fs::path& Folder) {
    std::vector<std::string> found;
    for (const std::string& name : FolderNames(Folder))
        if (name.size() == 9 && name.rfind("krv", 0) == 0) found.push_back(name);
    return found;
}

// True once another process holds a flock on Path.
bool LockedByAnother(const fs::path& Path) {
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

} // namespace

// Nothing of the user's is lost, and no run waits for an answer nobody gives or for a lock
// that is gone: each case in a folder of its own, with the real tools as oracles.
TEST_F(CommandLineFaults, NothingLostAndNoRunWaitsForNobody) {
    const std::string probe = ProbePath().string();
    auto quillar = [](const std::vector<std::string>& Arguments, const fs::path& Cwd) {
        return RunTool(Program(Arguments), Cwd);
    };
    struct TCase {
        const char* Name;
        std::function<void(const fs::path&)> Run;
    } const cases[] = {
        {"an existing file renamed to a name that differs only in case",
         [](const fs::path& Dir) {
             WriteFile(Dir / "src" / "readme.txt", "from the archive\n");
             Must(RunTool(
                 {"zip", "-q", "-j", (Dir / "a.zip").string(), (Dir / "src" / "readme.txt").string()}));
             WriteFile(Dir / "out" / "readme.txt", "the user's own\n");
             const fs::path renamed = Dir / "out" / "README.txt";
             const ExtractResult run = ExtractAll(Dir / "a.zip", Dir / "out", [&renamed](TUnBase& Reader) {
                 Reader.ConfirmOverwrites = true;
                 Reader.OnFileExists = [&renamed](TZipCommon&, const std::string&, std::string& NewName,
                                                  TOverwriteMode& Mode) {
                     NewName = renamed.string();
                     Mode = omOverwrite;
                 };
             });
             EXPECT_TRUE(run.AllPassed()) << run.Describe();
             EXPECT_EQ(ReadFile(Dir / "out" / "readme.txt"), "the user's own\n");
             EXPECT_EQ(ReadFile(renamed), "from the archive\n");
         }},
        {"-A while another program holds a lock on the archive",
         [&quillar](const fs::path& Dir) {
             WriteFile(Dir / "f.txt", "new\n");
             WriteFile(Dir / "old.txt", "old\n");
             for (const char* kind : {"exclusive", "shared", "posix-read"}) {
                 SCOPED_TRACE(kind);
                 const fs::path archive = Dir / "a.zip";
                 fs::remove(archive);
                 Must(RunTool({"zip", "-q", "-j", archive.string(), (Dir / "old.txt").string()}));
                 std::unique_ptr<TChild> holder;
                 int posix = -1;
                 if (std::string(kind) == "posix-read") {
                     posix = ::open(archive.c_str(), O_RDONLY | O_CLOEXEC);
                     struct flock lock {};
                     lock.l_type = F_RDLCK;
                     lock.l_whence = SEEK_SET;
                     ASSERT_EQ(::fcntl(posix, F_SETLK, &lock), 0);
                 } else {
                     std::vector<std::string> argv = {"/usr/bin/flock"};
                     if (std::string(kind) == "shared") argv.push_back("-s");
                     argv.insert(argv.end(), {archive.string(), "sleep", "3"});
                     holder = std::make_unique<TChild>(argv);
                     for (int i = 0; i < 500 && !LockedByAnother(archive); ++i)
                         ::usleep(10000);
                     ASSERT_TRUE(LockedByAnother(archive));
                 }
                 const ToolResult run = quillar({"-A", archive.string(), (Dir / "f.txt").string()}, Dir);
                 if (posix >= 0) ::close(posix);
                 if (holder) {
                     // The update waited for the lock to go.
                     EXPECT_TRUE(holder->Ended());
                     holder->Wait();
                 }
                 EXPECT_EQ(run.ExitCode, 0) << run.Err;
                 EXPECT_EQ(run.Err.find("in use"), std::string::npos) << run.Err;
                 // A lock of flock is another update's, and waited for as "-G" waits; a POSIX
                 // read lock keeps nobody from replacing the file.
                 EXPECT_EQ(run.Err.find("Waiting for another update of the archive to end: " +
                                        archive.string()) != std::string::npos,
                           holder != nullptr)
                     << run.Err;
                 EXPECT_EQ(RunTool({"unzip", "-Z1", archive.string()}).Out, "f.txt\n");
             }
         }},
        {"a named file that is not there",
         [&quillar, &probe](const fs::path& Dir) {
             WriteFile(Dir / "a.txt", "a\n");
             const ToolResult run = quillar({"-G", (Dir / "x.zip").string(), (Dir / "a.txt").string(),
                                             (Dir / "nosuchfile.txt").string()},
                                            Dir);
             EXPECT_EQ(run.ExitCode, 1) << run.Err;
             EXPECT_NE(run.Err.find("Filename : nosuchfile.txt\nError No : 25192"), std::string::npos)
                 << run.Err;
             // A name that matches a file only when case is ignored is not that file.
             WriteFile(Dir / "d" / "readme.txt", "r\n");
             const ToolResult probed = RunTool({probe, "add", (Dir / "y.zip").string(), "d/README.TXT"}, Dir);
             EXPECT_EQ(probed.ExitCode, 1) << probed.Err;
             EXPECT_NE(probed.Err.find("error 25192"), std::string::npos) << probed.Err;
             EXPECT_FALSE(fs::exists(Dir / "y.zip"));
         }},
        {"a stored name that begins with NUL",
         [&probe](const fs::path& Dir) {
             TZipSpec spec;
             spec.Add(std::string("\0abc", 4), "hidden\n").Add("good.txt", "good\n");
             WriteFile(Dir / "nul.zip", MakeStoredZip(spec));
             const ToolResult run =
                 RunTool({probe, "extract", (Dir / "nul.zip").string(), (Dir / "out").string()});
             // Named so that it can be seen, as an invalid name.
             EXPECT_NE(run.Out.find("\\x00abc\tERROR 25244 Invalid file name"), std::string::npos) << run.Out;
             EXPECT_EQ(run.Out.find("25235"), std::string::npos) << run.Out;
             EXPECT_EQ(FolderNames(Dir / "out"), std::vector<std::string>{"good.txt"});
         }},
        {"the temporary of an update that was killed",
         [&probe, &quillar](const fs::path& Dir) {
             WriteFile(Dir / "small.txt", "small\n");
             WriteFile(Dir / "big.bin", RandomBytes(48 << 20, 7));
             const fs::path archive = Dir / "k.zip";
             Must(RunTool({probe, "add", archive.string(), (Dir / "small.txt").string()}));
             const std::string before = ReadFile(archive);
             // Killed while it writes its temporary beside the archive.
             TChild update({probe, "add", archive.string(), "-m", "max", (Dir / "big.bin").string()});
             for (int i = 0; i < 2000 && Temporaries(Dir).empty() && !update.Ended(); ++i)
                 ::usleep(2000);
             update.Signal(SIGKILL);
             update.Wait();
             ASSERT_EQ(Temporaries(Dir).size(), 1U);
             const std::string left = (Dir / Temporaries(Dir).front()).string();
             EXPECT_EQ(ReadFile(archive), before);
             // A temporary that a running process holds is not taken for one left behind.
             std::string held;
             const int dir = ::open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
             const int heldFd = CreateTempFileAt(dir, "krv", held);
             WriteFile(Dir / "more.txt", "more\n");
             const ToolResult next = quillar({"-G", archive.string(), (Dir / "more.txt").string()}, Dir);
             EXPECT_EQ(next.ExitCode, 0) << next.Err;
             EXPECT_NE(next.Err.find("Removed a temporary file left by an update that did not end: " + left),
                       std::string::npos)
                 << next.Err;
             EXPECT_EQ(RunTool({"unzip", "-Z1", archive.string()}).Out, "small.txt\nmore.txt\n");
             EXPECT_EQ(Temporaries(Dir), std::vector<std::string>{held});
             ::unlinkat(dir, held.c_str(), 0);
             ::close(heldFd);
             ::close(dir);
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        c.Run(dir.Path());
    }
}

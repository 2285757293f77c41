// Writes that cannot go as asked end at once with their real cause and lose nothing: a
// write-protected file system and a missing folder, two updates of one archive at the same time,
// a tree with folders and files the user may not read, a conversion to a tar.gz under a ".gz"
// name. Each run is krvprobe, checked with unzip, lhasa and GNU tar.
#include "ChildProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace testsupport;

namespace {

void Must(const ToolResult& Run) {
    ASSERT_EQ(Run.ExitCode, 0) << Run.Out << Run.Err;
}

bool Says(const ToolResult& Run, const std::string& Text) {
    return Run.Err.find(Text) != std::string::npos;
}

std::size_t Count(const std::string& Text, const std::string& Part) {
    std::size_t n = 0;
    for (std::size_t at = Text.find(Part); at != std::string::npos; at = Text.find(Part, at + 1))
        ++n;
    return n;
}

// The test driver run as an unprivileged user when this test runs as root (root reads
// everything), from a copy in Folder that the user can reach; as it is otherwise.
std::vector<std::string> Unprivileged(const fs::path& Folder, std::vector<std::string> Argv) {
    if (::geteuid() != 0) {
        Argv.insert(Argv.begin(), ProbePath().string());
        return Argv;
    }
    Argv.insert(Argv.begin(), ReachableCopy(Folder, "tests/krvprobe").string());
    Argv.insert(Argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    return Argv;
}

// The command run with Folder mounted as an empty read-only file system, in a mount namespace of
// its own (a user namespace too when not root).
std::vector<std::string> OnReadOnlyMount(const fs::path& Folder, const std::vector<std::string>& Argv) {
    std::string command = "mount -t tmpfs -o ro,size=64k tmpfs \"$0\" && exec \"$@\"";
    std::vector<std::string> argv = {"unshare"};
    if (::geteuid() != 0) argv.insert(argv.end(), {"--user", "--map-root-user"});
    argv.insert(argv.end(), {"--mount", "sh", "-c", command, Folder.string()});
    argv.insert(argv.end(), Argv.begin(), Argv.end());
    return argv;
}

} // namespace

TEST(FaultPaths, AWriteThatCannotStartEndsWithItsCause) {
    TempDir dir;
    WriteFile(dir / "f.txt", "hello\n");
    fs::create_directories(dir / "ro");
    const std::string probe = ProbePath().string();
    struct TCase {
        const char* Name;
        std::vector<std::string> Argv;
        const char* Said;
        const char* Reason;
    } const cases[] = {
        {"read-only file system",
         OnReadOnlyMount(dir / "ro",
                         {probe, "add", (dir / "ro" / "x.zip").string(), (dir / "f.txt").string()}),
         "error 25171", ""},
        {"missing folder",
         {probe, "add", (dir / "no" / "such" / "x.zip").string(), (dir / "f.txt").string()},
         "error 25235",
         "No such file or directory"},
        {"a file taken for a folder",
         {probe, "add", (dir / "f.txt" / "x.zip").string(), (dir / "f.txt").string()},
         "error 25235",
         "Not a directory"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const ToolResult run = RunTool(c.Argv);
        EXPECT_EQ(run.ExitCode, 1) << run.Err;
        EXPECT_EQ(Count(run.Err, c.Said), 1U) << run.Err;
        EXPECT_TRUE(Says(run, c.Reason)) << run.Err;
        EXPECT_FALSE(Says(run, "25170")) << "taken for a drive without its disk: " << run.Err;
    }
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"f.txt", "ro"}));
}

// Two updates of one archive started together: the second waits for the first, so both files
// are in the archive, whether it existed before or both runs make it.
TEST(FaultPaths, TwoUpdatesAtOnceKeepBothAdditions) {
    TempDir dir;
    const std::string probe = ProbePath().string();
    for (int i = 0; i < 6; ++i) {
        WriteFile(dir / ("x" + std::to_string(i) + ".bin"), RandomBytes(3 << 20, 2 * i + 1));
        WriteFile(dir / ("y" + std::to_string(i) + ".bin"), RandomBytes(3 << 20, 2 * i + 2));
    }
    WriteFile(dir / "first.txt", "first\n");
    struct TCase {
        const char* Archive;
        bool Exists;
        std::vector<std::string> List; // the tool that lists it, "ARCHIVE" for its path
    } const cases[] = {
        {"old.zip", true, {"unzip", "-l", "ARCHIVE"}},
        {"new.zip", false, {"unzip", "-l", "ARCHIVE"}},
        {"old.lzh", true, {"lhasa", "l", "ARCHIVE"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Archive);
        const std::string archive = (dir / c.Archive).string();
        std::vector<std::string> list = c.List;
        list.back() = archive;
        for (int i = 0; i < 3; ++i) {
            const std::string x = "x" + std::to_string(i + (c.Exists ? 0 : 3)) + ".bin";
            const std::string y = "y" + std::to_string(i + (c.Exists ? 0 : 3)) + ".bin";
            fs::remove(archive);
            if (c.Exists) Must(RunTool({probe, "add", archive, (dir / "first.txt").string()}));
            TChild one({probe, "add", archive, (dir / x).string()});
            TChild two({probe, "add", archive, (dir / y).string()});
            const int a = one.Wait(), b = two.Wait();
            EXPECT_TRUE(WIFEXITED(a) && WEXITSTATUS(a) == 0) << a;
            EXPECT_TRUE(WIFEXITED(b) && WEXITSTATUS(b) == 0) << b;
            const ToolResult listed = RunTool(list);
            EXPECT_EQ(listed.ExitCode, 0) << listed.Out << listed.Err;
            for (const std::string& name :
                 c.Exists ? std::vector<std::string>{"first.txt", x, y} : std::vector<std::string>{x, y})
                EXPECT_NE(listed.Out.find(name), std::string::npos) << name << " missing:\n" << listed.Out;
        }
    }
}

// A tree holding a folder and a file the user may not read: the add stores the rest, names
// each and fails; the folder is not stored as if it were empty.
TEST(FaultPaths, AnAddOfATreeWithUnreadablePartsNamesThemAndFails) {
    TempDir dir;
    WriteFile(dir / "src" / "open" / "b.txt", "b\n");
    WriteFile(dir / "src" / "c.txt", "c\n");
    WriteFile(dir / "src" / "locked" / "a.txt", "a\n");
    WriteFile(dir / "src" / "unread.txt", "d\n");
    fs::permissions(dir / "src" / "locked", fs::perms::none);
    fs::permissions(dir / "src" / "unread.txt", fs::perms::none);
    fs::permissions(dir.Path(), fs::perms::all);
    const fs::path archive = dir / "x.zip";
    const ToolResult run = RunTool(
        Unprivileged(dir / "build", {"add", archive.string(), "-r", (dir / "src").string()}), dir.Path());
    fs::permissions(dir / "src" / "locked", fs::perms::owner_all);
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    EXPECT_TRUE(Says(run, "error 25235 Error opening file: " + (dir / "src" / "locked").string() +
                              " Permission denied"))
        << run.Err;
    EXPECT_TRUE(Says(run, "error 25235 Error opening file: " + (dir / "src" / "unread.txt").string() +
                              " Permission denied"))
        << run.Err;
    const ToolResult listed = RunTool({"unzip", "-Z1", archive.string()});
    // The folder that could not be read is not stored as an empty one (empty folders are stored
    // only when asked for).
    EXPECT_EQ(listed.Out, "open/b.txt\nc.txt\n");
}

// The tar.gz converter takes a ".gz" name as the gzip file itself (GNU tar reads it), and its
// errors name the output the user chose, never the private file it is staged in.
TEST(FaultPaths, ConvertingToATarGzUnderAGzName) {
    TempDir dir;
    WriteFile(dir / "src" / "a.txt", TextBytes(4000, 3));
    WriteFile(dir / "src" / "sub" / "b.txt", TextBytes(9000, 4));
    Must(RunTool({"zip", "-q", "-r", "in.zip", "a.txt", "sub"}, dir / "src"));
    const std::string probe = ProbePath().string();
    const std::string input = (dir / "src" / "in.zip").string();
    for (const char* name : {"x.gz", "y.tgz", "z.tar.gz"}) {
        SCOPED_TRACE(name);
        const ToolResult run = RunTool({probe, "convert", input, (dir / name).string(), "-v"});
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        const fs::path written = std::string(name) == "y.tgz" ? dir / "y.tar.gz" : dir / name;
        const ToolResult tar = RunTool({"tar", "-tzf", written.string()});
        EXPECT_EQ(tar.ExitCode, 0) << tar.Err;
        EXPECT_NE(tar.Out.find("sub/b.txt"), std::string::npos) << tar.Out;
    }
    const ToolResult cab = RunTool({probe, "convert", input, (dir / "t.cab").string(), "-v"});
    EXPECT_TRUE(Says(cab, "krvprobe: " + (dir / "t.cab").string() + ": error 25243")) << cab.Err;
    EXPECT_FALSE(Says(cab, ".krv")) << cab.Err;
    for (const std::string& name : FolderNames(dir.Path()))
        EXPECT_NE(name.rfind(".krv", 0), 0U) << name;
}

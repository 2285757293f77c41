// Trees written by the zip writer come back whole in Info-ZIP's unzip, 7-Zip and bsdtar: the
// same bytes, the files' permission bits (executables stay executable), empty folders and
// non-ASCII names; archives with Zip64 records made by Info-ZIP's zip stay readable by every
// peer after each update.
#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace testsupport;

namespace {

// Every file and folder below Root with its permission bits: name -> "mode content".
std::map<std::string, std::string> TreeWithModes(const fs::path& Root) {
    std::map<std::string, std::string> tree = ReadTree(Root);
    for (auto& [name, content] : tree) {
        struct stat st {};
        EXPECT_EQ(::lstat((Root / name).c_str(), &st), 0) << name;
        content = std::to_string(st.st_mode & 07777) + " " + content;
    }
    return tree;
}

void ExpectToolsPass(const fs::path& Zip) {
    for (const std::vector<std::string>& argv :
         {std::vector<std::string>{"unzip", "-t", Zip.string()}, {"7zz", "t", "-bd", Zip.string()}}) {
        const ToolResult r = RunUtf8(argv);
        EXPECT_EQ(r.ExitCode, 0) << argv[0] << " on " << Zip << "\n" << r.Out << r.Err;
    }
}

class ZipTreeInterop : public ::testing::Test {
protected:
    // The peers apply the process's mask to the stored bits; with 022 every mode here is kept.
    void SetUp() override { FOldMask = ::umask(022); }
    void TearDown() override { ::umask(FOldMask); }
    mode_t FOldMask = 0;
    TempDir Dir;
};

TEST_F(ZipTreeInterop, WrittenTreeComesBackWholeInEveryPeer) {
    const fs::path src = Dir / "src";
    struct TFile {
        const char* Name;
        fs::perms Mode;
    };
    const TFile files[] = {
        {"run.sh", fs::perms(0755)},
        {"private/key.txt", fs::perms(0600)},
        {"shared/group.txt", fs::perms(0640)},
        {"read-only.txt", fs::perms(0444)},
        {"\xc3\xa9t\xc3\xa9/caf\xc3\xa9.txt", fs::perms(0644)},
    };
    for (const TFile& f : files) {
        WriteFile(src / f.Name, std::string("data of ") + f.Name);
        fs::permissions(src / f.Name, f.Mode);
    }
    for (const char* folder : {"empty", "nested/empty/deeper", "\xe7\xa9\xba"})
        fs::create_directories(src / folder);
    fs::permissions(src / "empty", fs::perms(0700));

    const fs::path zip = Dir / "tree.zip";
    const ToolResult add = RunProbe({"add", zip.string(), "-r", "-d", src.string() + "/"});
    ASSERT_EQ(add.ExitCode, 0) << add.Out << add.Err;
    ExpectToolsPass(zip);
    // Every entry is marked as made on Unix, with its mode.
    const ToolResult info = RunUtf8({"zipinfo", zip.string()});
    EXPECT_NE(info.Out.find("-rwxr-xr-x  2.0 unx"), std::string::npos) << info.Out;
    EXPECT_EQ(info.Out.find(" fat "), std::string::npos) << info.Out;

    const std::map<std::string, std::string> expected = TreeWithModes(src);
    struct TPeer {
        const char* Name;
        std::vector<std::string> Argv; // the destination is appended
    };
    const TPeer peers[] = {
        {"unzip", {"unzip", "-q", zip.string(), "-d"}},
        {"7zz", {"7zz", "x", "-bd", "-y", zip.string(), "-o"}},
        {"bsdtar", {"bsdtar", "-xf", zip.string(), "-C"}},
        {"krvprobe", {ProbePath().string(), "extract", zip.string()}},
    };
    for (const TPeer& peer : peers) {
        SCOPED_TRACE(peer.Name);
        const fs::path out = Dir / peer.Name;
        fs::create_directories(out);
        std::vector<std::string> argv = peer.Argv;
        if (argv.back() == "-o")
            argv.back() += out.string();
        else
            argv.push_back(out.string());
        const ToolResult r = RunUtf8(argv);
        ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        std::map<std::string, std::string> got = TreeWithModes(out);
        if (std::string(peer.Name) != "krvprobe") {
            EXPECT_EQ(got, expected);
            continue;
        }
        // Our own reader makes folders with the default mode; files keep theirs.
        for (auto& [name, content] : got)
            if (name.back() == '/') content = expected.at(name);
        EXPECT_EQ(got, expected);
    }
}

TEST_F(ZipTreeInterop, Zip64ArchivesOfInfoZipStayReadableAfterEveryUpdate) {
    const fs::path src = Dir / "src";
    WriteFile(src / "a.txt", "hello\n");
    WriteFile(src / "b.txt", TextBytes(200000, 7));
    struct TCase {
        const char* Name;
        std::vector<std::string> Zip; // zip's arguments; "OUT" is the archive, "-" a pipe
        std::string Input;            // what zip reads from its standard input
    };
    const TCase cases[] = {
        // Zip64 fields in every record and a Zip64 end record.
        {"forced", {"zip", "-q", "-fz", "OUT", "a.txt", "b.txt"}, ""},
        // Written to a pipe: local Zip64 fields, the sizes in Zip64 data descriptors.
        {"piped", {"zip", "-q", "-", "a.txt", "b.txt"}, ""},
        {"from-stdin", {"zip", "-q", "-", "-"}, TextBytes(70000, 9)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteFile(Dir / "new" / "c.txt", "added later\n");
        const fs::path zip = Dir / (std::string(c.Name) + ".zip");
        std::vector<std::string> argv = c.Zip;
        for (std::string& arg : argv)
            if (arg == "OUT") arg = zip.string();
        const ToolResult made = RunTool(argv, src, c.Input);
        ASSERT_EQ(made.ExitCode, 0) << made.Err;
        if (!fs::exists(zip)) WriteFile(zip, made.Out);
        ExpectToolsPass(zip);
        const std::vector<std::vector<std::string>> updates = {
            {"add", zip.string(), (Dir / "new" / "c.txt").string()},
            {"add", zip.string(), "-s", "refresh", (Dir / "new" / "c.txt").string()},
            {"delete", zip.string(), "c.txt"},
            {"delete", zip.string(), "a.txt"},
        };
        for (const auto& update : updates) {
            SCOPED_TRACE(update[0] + " " + update[2]);
            // A refresh takes a file that changed.
            if (update[2] == "-s") WriteFile(Dir / "new" / "c.txt", std::string("changed for ") + c.Name);
            const ToolResult r = RunProbe(update);
            ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
            ExpectToolsPass(zip);
            // Nothing here needs a Zip64 end record: the rewritten directory has none.
            EXPECT_EQ(ReadFile(zip).find(std::string("PK\x06\x06", 4)), std::string::npos);
            // What we extract is what unzip extracts.
            const fs::path ours = Dir / "ours";
            const fs::path theirs = Dir / "theirs";
            fs::remove_all(ours);
            fs::remove_all(theirs);
            fs::create_directories(ours);
            ASSERT_EQ(RunProbe({"extract", zip.string(), ours.string()}).ExitCode, 0);
            ASSERT_EQ(RunTool({"unzip", "-q", zip.string(), "-d", theirs.string()}).ExitCode, 0);
            EXPECT_EQ(ReadTree(ours), ReadTree(theirs));
        }
    }
}

} // namespace

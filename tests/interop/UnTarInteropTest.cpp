// The tar reader against GNU tar and bsdtar: archives they make in every format extract to
// the tree they extract themselves, and every cut of an archive extracts only whole files.
#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

ToolResult RunOk(const std::vector<std::string>& Argv, const fs::path& Cwd = {}) {
    ToolResult r = RunTool(Argv, Cwd);
    EXPECT_EQ(r.ExitCode, 0) << Argv[0] << " failed: " << r.Err << r.Out;
    return r;
}

// Sizes around the block size, a long name in a deep path (ustar splits it, gnu and pax keep
// it in records of their own), the same name in two folders, an empty folder and a hard link.
void MakeTree(const fs::path& Root, bool LongNames) {
    fs::create_directories(Root / "a" / "same");
    fs::create_directories(Root / "b" / "same");
    fs::create_directories(Root / "empty");
    WriteFile(Root / "a" / "same" / "f.txt", "first");
    WriteFile(Root / "b" / "same" / "f.txt", "second");
    for (int size : {0, 511, 512, 513, 70000})
        WriteFile(Root / ("s" + std::to_string(size) + ".bin"),
                  RandomBytes(static_cast<std::size_t>(size), size));
    fs::create_hard_link(Root / "s513.bin", Root / "a" / "hard.bin");
    if (!LongNames) return;
    const fs::path deep = fs::path("deep") / std::string(60, 'd') / std::string(60, 'e');
    fs::create_directories(Root / deep);
    WriteFile(Root / deep / (std::string(80, 'n') + ".txt"), TextBytes(3000, 7));
}

class UnTarInterop : public ::testing::Test {
protected:
    // What the tool extracts from Archive into a folder of its own.
    std::map<std::string, std::string> ToolTree(const std::string& Tool, const fs::path& Archive) {
        const fs::path out = Dir / (Tool + "-out-" + Archive.filename().string());
        fs::create_directories(out);
        RunOk({Tool, "-xf", Archive.string(), "-C", out.string()});
        return ReadTree(out);
    }
    TempDir Dir;
};

} // namespace

TEST_F(UnTarInterop, EveryFormatExtractsAsGnuTarAndBsdtarDo) {
    MakeTree(Dir / "src", true);
    MakeTree(Dir / "src-short", false);
    struct TMaker {
        std::string Name;
        std::vector<std::string> Argv;
        bool LongNames;
    };
    const TMaker makers[] = {
        {"v7", {"tar", "--format=v7", "-cf"}, false},
        {"ustar", {"tar", "--format=ustar", "-cf"}, true},
        {"gnu", {"tar", "--format=gnu", "-cf"}, true},
        {"pax", {"tar", "--format=pax", "-cf"}, true},
        {"bsdtar", {"bsdtar", "-cf"}, true},
        {"bsdtar-ustar", {"bsdtar", "--format=ustar", "-cf"}, true},
    };
    for (const TMaker& m : makers) {
        const fs::path archive = Dir / (m.Name + ".tar");
        std::vector<std::string> argv = m.Argv;
        argv.push_back(archive.string());
        argv.push_back(".");
        RunOk(argv, Dir / (m.LongNames ? "src" : "src-short"));
        const fs::path ours = Dir / ("ours-" + m.Name);
        const ExtractResult r = ExtractAll(archive, ours);
        EXPECT_TRUE(r.AllPassed()) << m.Name << ": " << r.Describe();
        const auto mine = ReadTree(ours);
        EXPECT_EQ(CompareTrees(ToolTree("tar", archive), "GNU tar", mine, "Quillar"), "") << m.Name;
        EXPECT_EQ(CompareTrees(ToolTree("bsdtar", archive), "bsdtar", mine, "Quillar"), "") << m.Name;
    }
}

TEST_F(UnTarInterop, EveryCutExtractsOnlyWholeFiles) {
    MakeTree(Dir / "src", false);
    const fs::path full = Dir / "full.tar";
    RunOk({"tar", "--format=gnu", "-cf", full.string(), "."}, Dir / "src");
    const std::string whole = ReadFile(full);
    const auto original = ReadTree(Dir / "src");
    // The end-of-archive blocks: the first block of zeros (no file of the tree has one).
    std::size_t end = 0;
    while (end < whole.size() && whole.compare(end, 512, std::string(512, '\0')) != 0)
        end += 512;
    for (std::size_t cut = 100; cut < whole.size(); cut += 251) {
        const fs::path archive = Dir / "cut.tar";
        WriteFile(archive, whole.substr(0, cut));
        const fs::path out = Dir / ("cut-" + std::to_string(cut));
        const ExtractResult r = ExtractAll(archive, out);
        for (const auto& [name, content] : ReadTree(out)) {
            const auto it = original.find(name);
            ASSERT_TRUE(it != original.end()) << "cut at " << cut << ": stray " << name;
            EXPECT_EQ(content.size(), it->second.size()) << "cut at " << cut << ": short file " << name;
        }
        // Only a cut between two entries or inside the end-of-archive blocks looks whole.
        if (cut < end && cut % 512 != 0) {
            EXPECT_FALSE(r.AllPassed()) << "cut at " << cut << " passed";
        }
        fs::remove_all(out);
    }
}

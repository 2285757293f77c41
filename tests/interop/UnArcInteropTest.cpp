// The arc reader against Debian's arc and nomarch: archives that arc makes at test time
// (stored, packed, squeezed, crunched) and the corpus samples of the methods it does not
// write (squashed) are extracted by the tools and by the engine, byte for byte.
#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

using namespace testsupport;

namespace {

// Files only, names in lower case (nomarch lowers the names of DOS archives).
std::map<std::string, std::string> FoldedFiles(const fs::path& Root) {
    std::map<std::string, std::string> out;
    for (const auto& [name, data] : ReadTree(Root)) {
        if (name.back() == '/') continue;
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        out[lower] = data;
    }
    return out;
}

void ExpectSameAsTool(const fs::path& Archive, const std::vector<std::string>& Tool, const fs::path& Work) {
    const std::string what = Archive.filename().string() + " by " + Tool[0];
    const fs::path byTool = Work / (what + ".tool");
    fs::create_directories(byTool);
    std::vector<std::string> argv = Tool;
    argv.push_back(Archive.string());
    const ToolResult t = RunTool(argv, byTool);
    ASSERT_EQ(t.ExitCode, 0) << what << ": " << t.Out << t.Err;
    const auto result = ExtractAll(Archive, Work / (what + ".engine"));
    EXPECT_TRUE(result.AllPassed()) << what << ": " << result.Describe();
    const auto expected = FoldedFiles(byTool);
    EXPECT_FALSE(expected.empty()) << what;
    EXPECT_EQ(CompareTrees(expected, Tool[0], FoldedFiles(Work / (what + ".engine")), "the engine"), "")
        << what;
}

} // namespace

TEST(UnArcInterop, ArchivesOfArcAndCorpusSamplesMatchTheTools) {
    TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    WriteFile(src / "text.txt", TextBytes(200000, 3));                           // crunched
    WriteFile(src / "random.bin", RandomBytes(30000, 4));                        // stored
    WriteFile(src / "runs.bin", std::string(75, 'a') + "\x90\x90\x90" + "bbbb"); // packed
    std::string skewed;
    for (int i = 0; i < 40000; ++i)
        skewed += static_cast<char>("aaaaaaabbbcd\x90"[(i * 7919) % 13]);
    WriteFile(src / "skewed.bin", skewed);
    WriteFile(src / "empty.txt", "");
    const ToolResult made = RunTool({"arc", "a", (dir / "t.arc").string(), "text.txt", "random.bin",
                                     "runs.bin", "skewed.bin", "empty.txt"},
                                    src);
    ASSERT_EQ(made.ExitCode, 0) << made.Out << made.Err;
    ExpectSameAsTool(dir / "t.arc", {"arc", "x"}, dir.Path());
    ExpectSameAsTool(dir / "t.arc", {"nomarch"}, dir.Path());

    for (const char* sample :
         {"sharpcompress/arc/Arc.crunched.arc", "sharpcompress/arc/Arc.squashed.arc",
          "sharpcompress/arc/Arc.squeezed.arc", "sharpcompress/arc/Arc.uncompressed.arc", "patool/t.arc"})
        ExpectSameAsTool(CorpusDir() / sample, {"nomarch"}, dir.Path());
}

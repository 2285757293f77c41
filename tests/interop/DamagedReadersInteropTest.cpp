// Readers over damaged archives, against the tools that read the same formats: archives of
// the corpus and archives GNU tar makes here are cut short or get a byte changed. For each,
// krvprobe's test verdict and its extraction (the files really on disk) agree with each other;
// whether the archive is damaged agrees with the tool's own test; the entries the damage leaves
// readable come out (at least the given number); and every file that comes out is
// byte-identical to what the reference tool extracts from the whole archive.
#include "DamagedArchives.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

using namespace testsupport;

namespace {

int CountLines(const std::string& Text, const std::regex& Line) {
    return static_cast<int>(std::distance(std::sregex_iterator(Text.begin(), Text.end(), Line), {}));
}

class DamagedReaders : public ::testing::TestWithParam<TDamageCase> {};

} // namespace

TEST_P(DamagedReaders, VerdictsAgreeWithTheToolAndWhatComesOutIsWhole) {
    const TDamageCase& c = GetParam();
    TempDir dir;
    const auto [whole, damaged] = MakeDamaged(c, dir.Path());
    const bool changed = c.Changed();

    // What the reference tool extracts from the whole archive.
    const fs::path reference = dir / "reference";
    fs::create_directories(reference);
    const ToolResult ref = RunTool(Substitute(c.Reference, whole, reference), dir.Path());
    ASSERT_EQ(ref.ExitCode, 0) << ref.Out << ref.Err;
    const auto want = FilesOf(reference);

    // The tool's verdict on the damaged archive.
    const fs::path peerDir = dir / "peer";
    fs::create_directories(peerDir);
    const ToolResult peer = RunTool(Substitute(c.PeerTest, damaged, peerDir), peerDir);
    ASSERT_NE(peer.ExitCode, -1) << c.PeerTest[0] << " did not run";
    const bool peerDamaged = peer.ExitCode != 0;
    EXPECT_EQ(peerDamaged, changed && !c.Harmless) << c.PeerTest[0] << ": " << peer.Out << peer.Err;

    const ToolResult tested = RunProbe({"test", damaged.string()});
    const fs::path out = dir / "out";
    const ToolResult extracted = RunProbe({"extract", damaged.string(), out.string()});
    const std::string both = "test:\n" + tested.Out + "extract:\n" + extracted.Out;

    // The test and the extraction agree: the same verdict, and as many entries passed as files
    // are on disk.
    if (c.SkipsAnEntry) {
        EXPECT_NE(extracted.ExitCode, 0) << both;
        EXPECT_EQ(CountLines(extracted.Out, std::regex("\tERROR 26800 Skipped File[^\n]*\n")), 1) << both;
    } else {
        EXPECT_EQ(tested.ExitCode != 0, extracted.ExitCode != 0) << both;
    }
    const auto got = FilesOf(out);
    EXPECT_EQ(CountLines(tested.Out, std::regex("\tPASS\n")), std::ssize(got)) << both;
    EXPECT_EQ(CountLines(extracted.Out, std::regex("\tOK\n")), std::ssize(got)) << both;

    // Damaged or not as the tool says; a failure is named by an error line.
    EXPECT_EQ(tested.ExitCode != 0, peerDamaged) << both;
    if (tested.ExitCode != 0) {
        EXPECT_GE(CountLines(tested.Out, std::regex("\tFAIL [0-9]+ ")), 1) << both;
    }

    // What the damage leaves readable comes out, and whole.
    EXPECT_GE(std::ssize(got), c.MinOut) << both;
    for (const auto& [name, data] : got) {
        ASSERT_TRUE(want.contains(name)) << name << "\n" << both;
        EXPECT_TRUE(want.at(name) == data) << name << " differs from what " << c.Reference[0] << " extracts";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedReaders, ::testing::ValuesIn(DamagedReaderCases()),
                         [](const ::testing::TestParamInfo<TDamageCase>& Info) { return Info.param.Name; });

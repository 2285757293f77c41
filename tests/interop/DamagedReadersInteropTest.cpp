// Readers over damaged archives, against the tools that read the same formats: archives of
// the corpus and archives GNU tar makes here are cut short or get a byte changed. For each,
// krvprobe's test verdict and its extraction (the files really on disk) agree with each other;
// whether the archive is damaged agrees with the tool's own test; the entries the damage leaves
// readable come out (at least the given number); and every file that comes out is
// byte-identical to what the reference tool extracts from the whole archive.
#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

using namespace testsupport;

namespace {

using TArgv = std::vector<std::string>;

struct TDamageCase {
    const char* Name;
    // A corpus archive, or (empty) a tar.gz GNU tar makes of twelve text files.
    const char* Source;
    std::int64_t CutAt;  // the archive is cut to this many bytes (a tar.gz: per cent of its size)
    std::int64_t ByteAt; // the byte there is changed
    int Xor;             // by this mask
    // The tool's test of the damaged archive ({} stands for it), run in a folder of its own:
    // a failing exit status says it is damaged.
    TArgv PeerTest;
    // The tool that extracts the whole archive ({} the archive, {out} the folder).
    TArgv Reference;
    int MinOut; // files that must come out
    // The damage costs no entry: the tool finds nothing wrong.
    bool Harmless = false;
    // The archive is whole, but an entry of it (a link, which is never made) is reported
    // skipped by the extraction, which fails where the test and the tool pass.
    bool SkipsAnEntry = false;
};

TDamageCase Cut(const char* Name, const char* Source, std::int64_t At, TArgv Peer, TArgv Reference,
                int MinOut) {
    return {Name, Source, At, -1, 0, std::move(Peer), std::move(Reference), MinOut};
}

TDamageCase Change(const char* Name, const char* Source, std::int64_t At, int Xor, TArgv Peer,
                   TArgv Reference, int MinOut) {
    return {Name, Source, -1, At, Xor, std::move(Peer), std::move(Reference), MinOut};
}

void PrintTo(const TDamageCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

const TArgv Unar = {"unar", "-q", "-D", "-o", "{out}", "{}"};
const TArgv Sevenzip = {"7zz", "x", "-y", "-o{out}", "{}"};
const TArgv GnuTar = {"tar", "-xzf", "{}", "-C", "{out}"};
// unar 1.10 does not extract rar 5 solid archives.
const TArgv Bsdtar = {"bsdtar", "-xf", "{}", "-C", "{out}"};
const TArgv Lsar = {"lsar", "-t", "{}"};
const TArgv ArcTest = {"arc", "t", "{}"};
const TArgv GzipTest = {"gzip", "-t", "{}"};
const TArgv SevenzipTest = {"7zz", "t", "{}"};
const TArgv LhasaTest = {"lhasa", "t", "{}"};
const TArgv ArjTest = {"arj", "t", "{}"};

constexpr const char* Sfx = "lhasa/explzh_723/declha_sfx_ansi.exe";
constexpr const char* Rar5Files = "libarchive/rar/read_format_rar5_multiple_files.rar";

TDamageCase Harmless(TDamageCase Case) {
    Case.Harmless = true;
    return Case;
}

TDamageCase SkipsAnEntry(TDamageCase Case) {
    Case.SkipsAnEntry = true;
    return Case;
}

const TDamageCase Cases[] = {
    // The second directory entry lies past the end: the first entry is whole.
    Cut("ZooChainPastTheEnd", "patool/t.zoo", 150, Lsar, Unar, 1),
    // Only the name of the closing entry is cut off: nothing is lost.
    Harmless(Cut("ZooClosingEntryCut", "patool/t.zoo", 230, Lsar, Unar, 2)),
    // The first entry's packed size grown by 64 KiB: the next header lies past the end.
    Change("ArcPackedSizePastTheEnd", "sharpcompress/arc/Arc.crunched.arc", 17, 0x01, ArcTest, Unar, 1),
    Cut("ArcCutInTheSecondEntry", "patool/t.arc", 50, ArcTest, Unar, 1),
    // The second of four entries has damaged data (0xFC becomes 0x55); the archive is not solid.
    Change("Rar5DamagedEntryAmongWholeOnes", Rar5Files, 800, 0xA9, Lsar, Unar, 3),
    // The last entry's header fails its CRC: the three before it are all the listing has.
    Change("Rar5LastHeaderDamaged", Rar5Files, 1242, 0x21, Lsar, Unar, 3),
    Change("Rar5SolidDamaged", "libarchive/rar/read_format_rar5_solid.rar", 300, 0x55, Lsar, Bsdtar, 0),
    SkipsAnEntry(Cut("RarWithALink", "libarchive/rar/read_format_rar.rar", -1, Lsar, Unar, 2)),
    Cut("TarGzCutInTheMiddle", "", 60, GzipTest, GnuTar, 6),
    Cut("TarGzCutBeforeTheFirstHeader", "", 20, GzipTest, GnuTar, 0),
    // The archive behind the program stub, whose strings hold an lha method name too.
    Cut("LhaSelfExtractor", Sfx, -1, SevenzipTest, Sevenzip, 1),
    Cut("LhaSelfExtractorCut", Sfx, 40000, SevenzipTest, Sevenzip, 0),
    Cut("LhaCutInTheData", "lhasa/lha213/lh5.lzh", 3000, LhasaTest, Sevenzip, 0),
    Change("LhaByteChangedInTheData", "lhasa/lha213/lh5.lzh", 3000, 0xFF, LhasaTest, Sevenzip, 0),
    Cut("ArjCutInTheLastEntry", "sharpcompress/arj/Arj.method1.arj", 50000, ArjTest, Sevenzip, 1),
};

std::vector<std::string> Substitute(std::vector<std::string> Argv, const fs::path& Archive,
                                    const fs::path& Out) {
    for (std::string& a : Argv) {
        if (const std::size_t at = a.find("{out}"); at != std::string::npos) a.replace(at, 5, Out.string());
        if (a == "{}") a = Archive.string();
    }
    return Argv;
}

// Twelve text files, and GNU tar's tar.gz of them.
fs::path MakeTarGz(const fs::path& Dir) {
    const fs::path src = Dir / "src";
    fs::create_directories(src);
    for (int i = 1; i <= 12; ++i)
        WriteFile(src / ("f" + std::to_string(i) + ".txt"), TextBytes(20000 + 977 * i, i));
    const fs::path archive = Dir / "whole.tgz";
    const ToolResult t = RunTool({"tar", "-czf", archive.string(), "-C", src.string(), "."});
    EXPECT_EQ(t.ExitCode, 0) << t.Err;
    return archive;
}

int CountLines(const std::string& Text, const std::regex& Line) {
    return static_cast<int>(std::distance(std::sregex_iterator(Text.begin(), Text.end(), Line), {}));
}

// Files only: the names tar gives them ("./f1.txt") and ours agree without the "./".
std::map<std::string, std::string> FilesOf(const fs::path& Root) {
    std::map<std::string, std::string> out;
    for (const auto& [name, data] : ReadTree(Root))
        if (name.back() != '/') out[name.starts_with("./") ? name.substr(2) : name] = data;
    return out;
}

class DamagedReaders : public ::testing::TestWithParam<TDamageCase> {};

} // namespace

TEST_P(DamagedReaders, VerdictsAgreeWithTheToolAndWhatComesOutIsWhole) {
    const TDamageCase& c = GetParam();
    TempDir dir;
    const fs::path whole = *c.Source ? CorpusDir() / c.Source : MakeTarGz(dir.Path());
    std::string bytes = ReadFile(whole);
    if (c.CutAt >= 0) {
        // A tar.gz is cut at a share (per cent) of its size.
        const std::int64_t at = *c.Source ? c.CutAt : std::ssize(bytes) * c.CutAt / 100;
        ASSERT_LT(at, std::ssize(bytes));
        bytes.resize(static_cast<std::size_t>(at));
    }
    if (c.ByteAt >= 0) {
        ASSERT_LT(c.ByteAt, std::ssize(bytes));
        bytes[static_cast<std::size_t>(c.ByteAt)] ^= static_cast<char>(c.Xor);
    }
    const fs::path damaged = dir / ("damaged" + (*c.Source ? whole.extension().string() : ".tgz"));
    WriteFile(damaged, bytes);
    const bool changed = c.CutAt >= 0 || c.ByteAt >= 0;

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

INSTANTIATE_TEST_SUITE_P(Cases, DamagedReaders, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<TDamageCase>& Info) { return Info.param.Name; });

// The lha reader against lhasa and bsdtar: the lzh samples of the corpus (header levels 0 to
// 2, -lh0-, -lh1-, -lh4- to -lh7-, folders, a self-extractor, OS-9's short level-2 headers)
// are extracted by the tool and by the engine, and the trees must be equal byte for byte.
// Damaged and refused entries fail without touching what is already on disk.
#include "ExtractRun.h"
#include "TestSupport.h"

#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

using namespace testsupport;

namespace {

struct TLhaSample {
    const char* Archive;
    const char* Tool; // "lhasa" or "bsdtar"
    bool FoldCase;    // the tool lowers the upper-case names of DOS archives
};

const TLhaSample Samples[] = {
    {"lhasa/lha_unix114i/h0_lh0.lzh", "lhasa", false},
    {"lhasa/lha_unix114i/h0_lh5.lzh", "bsdtar", false},
    {"lhasa/lha_unix114i/h1_lh6.lzh", "lhasa", false},
    {"lhasa/lha_unix114i/h1_subdir.lzh", "lhasa", false},
    {"lhasa/lha_unix114i/h2_lh0.lzh", "bsdtar", false},
    {"lhasa/lha_unix114i/h2_lh7.lzh", "lhasa", false},
    {"lhasa/lha_unix114i/h2_subdir.lzh", "bsdtar", false},
    {"lhasa/lha_unix114i/lh6_long.lzh", "lhasa", false},
    {"lhasa/lha_unix114i/lh7_long.lzh", "bsdtar", false},
    {"lhasa/lha213/lh5.lzh", "lhasa", true},
    {"lhasa/lha213/subdir.lzh", "lhasa", true},
    {"lhasa/lha213/sfx.exe", "lhasa", true},
    {"lhasa/lharc113/lh1.lzh", "lhasa", true},
    {"lhasa/lengths/lh1-64k.lzh", "lhasa", true},
    {"lhasa/lha_osk_201/h2_lh5.lzh", "lhasa", false},
    {"lhasa/maclha_224/l2_subdir.lzh", "bsdtar", false},
    {"commons-compress/lha/test-amiga-l0-lh4.lha", "lhasa", false},
    {"commons-compress/lha/test-msdos-l2.lha", "bsdtar", false},
    {"commons-compress/lha/test-macos-l0-lh7.lha", "lhasa", false},
};

std::map<std::string, std::string> Folded(const std::map<std::string, std::string>& Tree) {
    std::map<std::string, std::string> out;
    for (const auto& [name, data] : Tree) {
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        out[lower] = data;
    }
    return out;
}

// The files of Tree without the folders (tools differ on creating empty ones).
std::map<std::string, std::string> FilesOf(const std::map<std::string, std::string>& Tree) {
    std::map<std::string, std::string> out;
    for (const auto& [name, data] : Tree)
        if (name.back() != '/') out[name] = data;
    return out;
}

} // namespace

TEST(UnLhaInterop, CorpusSamplesExtractAsTheToolsDo) {
    for (const auto& s : Samples) {
        TempDir dir;
        const fs::path archive = CorpusDir() / s.Archive;
        const fs::path byTool = dir / "tool";
        fs::create_directories(byTool);
        const std::vector<std::string> argv =
            std::string(s.Tool) == "lhasa" ? std::vector<std::string>{"lhasa", "xq", archive.string()}
                                           : std::vector<std::string>{"bsdtar", "-xf", archive.string()};
        const ToolResult t = RunTool(argv, byTool);
        ASSERT_EQ(t.ExitCode, 0) << s.Tool << " failed on " << s.Archive << ": " << t.Err;
        const auto result = ExtractAll(archive, dir / "engine");
        EXPECT_TRUE(result.AllPassed()) << s.Archive << ": " << result.Describe();
        auto expected = FilesOf(ReadTree(byTool));
        auto actual = FilesOf(ReadTree(dir / "engine"));
        if (s.FoldCase) {
            expected = Folded(expected);
            actual = Folded(actual);
        }
        EXPECT_FALSE(expected.empty()) << s.Archive;
        EXPECT_EQ(CompareTrees(expected, s.Tool, actual, "the engine"), "") << s.Archive;
    }
}

// Damaged data, refused methods, unsafe names and headers that cannot be read fail visibly,
// and a file already in place stays as it was.
TEST(UnLhaInterop, BadEntriesFailAndLeaveExistingFilesAlone) {
    struct TCase {
        const char* Archive;
        const char* Existing; // a file of that name is in place before (or "")
        int Code;             // the error that must be reported
    };
    const TCase cases[] = {
        {"lhasa/regression/truncated.lzh", "", ecUnexpectedEndOfFile},
        {"lhasa/lharc_atari_313a/lz5.lzh", "GPL2", ecUnsupportedCompressionMethod},
        {"lhasa/unlha32/lh2.lzh", "", ecUnsupportedCompressionMethod},
        {"lhasa/regression/dotdot.lzh", "", ecInvalidFileName},
        {"lhasa/lha_os2_208/h3_lh5.lzh", "", ecBadFileHeader},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const fs::path dest = dir / "out";
        fs::create_directories(dest);
        if (*c.Existing) WriteFile(dest / c.Existing, "keep me");
        const auto result = ExtractAll(CorpusDir() / c.Archive, dest);
        EXPECT_FALSE(result.AllPassed()) << c.Archive;
        EXPECT_TRUE(result.HasError(c.Code)) << c.Archive << ": " << result.Describe();
        if (*c.Existing) {
            EXPECT_EQ(ReadFile(dest / c.Existing), "keep me") << c.Archive;
        }
        // Nothing lands outside the destination.
        for (const auto& [name, data] : ReadTree(dir.Path()))
            EXPECT_TRUE(name.rfind("out/", 0) == 0 || name == "out/") << c.Archive << ": " << name;
    }

    // A flipped byte in -lh5- data: the CRC check fails and the old file stays.
    TempDir dir;
    const fs::path good = CorpusDir() / "lhasa/lha_unix114i/h0_lh5.lzh";
    const fs::path dest = dir / "out";
    ASSERT_TRUE(ExtractAll(good, dest).AllPassed());
    const auto files = FilesOf(ReadTree(dest));
    ASSERT_FALSE(files.empty());
    std::string lzh = ReadFile(good);
    lzh[lzh.size() / 2] ^= 0x10;
    WriteFile(dir / "damaged.lzh", lzh);
    for (const auto& [name, data] : files)
        WriteFile(dest / name, "keep me");
    const auto again = ExtractAll(dir / "damaged.lzh", dest);
    EXPECT_FALSE(again.AllPassed());
    for (const auto& [name, data] : files)
        EXPECT_EQ(ReadFile(dest / name), "keep me") << name << ": " << again.Describe();
}

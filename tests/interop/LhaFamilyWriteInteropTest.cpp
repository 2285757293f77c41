// What the lha and bh writers make, read back whole. A tree with long, non-ASCII and spaced
// names, empty folders, modes and odd-second times, added by krvprobe to an lzh archive, is
// listed and extracted entry for entry by lhasa, bsdtar, jlha and our own reader: the same
// names, bytes and empty folders, and (from lhasa, bsdtar and us) the same modes and times.
// A bh archive, which no other tool reads, comes back from ours under the same names.
#include "engine/formats/bh/krvBhRecords.h"
#include "engine/formats/lha/krvLhaRecords.h"

#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

using namespace testsupport;

namespace {

constexpr std::time_t OddTime = 1700000001;

struct TSourceFile {
    std::string Name;
    std::string Data;
    mode_t Mode;
};

// The contents of a tree without its names: what a tool that spells names its own way
// extracted must still hold every file.
std::multiset<std::string> Contents(const std::map<std::string, std::string>& Tree) {
    std::multiset<std::string> out;
    for (const auto& [name, data] : Tree)
        if (name.back() != '/') out.insert(data);
    return out;
}

class LhaFamilyWrite : public ::testing::Test {
protected:
    void SetUp() override {
        ::umask(022);
        const std::vector<TSourceFile> files = {
            {"plain.txt", TextBytes(20000, 1), 0644},
            {"run me.sh", "#!/bin/sh\necho hello\n", 0755},
            {"private key", RandomBytes(5000, 2), 0600},
            {"\xe8\xaa\x9e/caf\xc3\xa9 with space.txt", TextBytes(3000, 3), 0640},
            {"\xe8\xaa\x9e/\xe6\xb7\xb1/deep.bin", RandomBytes(70000, 4), 0644},
            {std::string(240, 'l') + ".txt", TextBytes(4000, 5), 0644},
        };
        for (const TSourceFile& f : files) {
            const fs::path path = Src / f.Name;
            fs::create_directories(path.parent_path());
            WriteFile(path, f.Data);
            ::chmod(path.c_str(), f.Mode);
            const utimbuf times{OddTime, OddTime};
            ::utime(path.c_str(), &times);
        }
        fs::create_directories(Src / "empty folder");
        fs::create_directories(Src / "\xe8\xaa\x9e" / "\xe7\xa9\xba \xe3\x81\xae");
    }

    TempDir Dir;
    fs::path Src = Dir / "src";
};

TEST_F(LhaFamilyWrite, LzhOfEveryKindOfNameComesBackWholeFromEveryReader) {
    const std::map<std::string, std::string> source = ReadTree(Src);
    const std::map<std::string, std::string> stamps = ReadStamps(Src);
    for (const char* method : {"lh5", "store"}) {
        SCOPED_TRACE(method);
        const fs::path lzh = Dir / (std::string(method) + ".lzh");
        const ToolResult add = RunProbe({"add", lzh.string(), "-m", method, "-r", "-d", Src.string()});
        ASSERT_EQ(add.ExitCode, 0) << add.Out << add.Err;

        // Every header carries its own CRC, the name in UTF-8 and the file's mode.
        const std::string bytes = ReadFile(lzh);
        const TReadAtFunc read = ReadAtOf(bytes);
        int headers = 0;
        TLhaHeader h;
        for (std::int64_t pos = 0; ReadLhaHeader(read, pos, std::ssize(bytes), h) == TLhaRead::Ok;
             pos = h.NextPos) {
            ++headers;
            EXPECT_EQ(h.Level, 2) << h.Name;
            EXPECT_FALSE(h.HeaderDamaged) << h.Name;
            EXPECT_NE(h.Mode, 0) << h.Name;
        }
        EXPECT_EQ(headers, 8); // the files and the empty folders

        const struct {
            const char* Tool;
            std::vector<std::string> List;
            std::vector<std::string> Extract;
            bool NamesAsStored; // the tool writes the stored UTF-8 names as they are
            bool KeepsModesAndTimes;
        } readers[] = {
            {"lhasa", {"lhasa", "l", lzh.string()}, {"lhasa", "xq", lzh.string()}, true, true},
            {"bsdtar", {"bsdtar", "-tf", lzh.string()}, {"bsdtar", "-xf", lzh.string()}, true, true},
            {"jlha", {"jlha", "l", lzh.string()}, {"jlha", "x", lzh.string()}, false, false},
        };
        for (const auto& r : readers) {
            SCOPED_TRACE(r.Tool);
            const ToolResult list = RunUtf8(r.List);
            EXPECT_EQ(list.ExitCode, 0) << list.Out << list.Err;
            // Every file is listed (by the end of its name, which every tool spells the same).
            for (const char* tail :
                 {"plain.txt", "run me.sh", "private key", "with space.txt", "deep.bin", "llll.txt"})
                EXPECT_NE(list.Out.find(tail), std::string::npos) << tail << "\n" << list.Out;
            TempDir out;
            const ToolResult x = RunUtf8(r.Extract, out.Path());
            EXPECT_EQ(x.ExitCode, 0) << x.Out << x.Err;
            const std::map<std::string, std::string> tree = ReadTree(out.Path());
            if (r.NamesAsStored)
                EXPECT_EQ(CompareTrees(source, "source", tree, r.Tool), "");
            else
                EXPECT_EQ(Contents(tree), Contents(source));
            if (r.KeepsModesAndTimes) {
                EXPECT_EQ(CompareTrees(stamps, "source", ReadStamps(out.Path()), r.Tool), "");
            }
        }

        TempDir ours;
        const ToolResult x = RunProbe({"extract", lzh.string(), ours.Str()});
        EXPECT_EQ(x.ExitCode, 0) << x.Out << x.Err;
        EXPECT_EQ(CompareTrees(source, "source", ReadTree(ours.Path()), "our reader"), "");
        EXPECT_EQ(CompareTrees(stamps, "source", ReadStamps(ours.Path()), "our reader"), "");
        const ToolResult t = RunProbe({"test", lzh.string()});
        EXPECT_EQ(t.ExitCode, 0) << t.Out << t.Err;
    }
}

// Names of the DOS code page are stored in it (other bh readers show them right); names it
// cannot hold, and those whose code-page bytes would read as UTF-8, are stored in UTF-8.
TEST_F(LhaFamilyWrite, BhNamesSurviveOurRoundTrip) {
    TempDir src;
    const struct {
        std::string Name;
        std::string Stored;
    } names[] = {
        {"plain name.txt", "plain name.txt"},
        {"caf\xc3\xa9.txt", "caf\x82.txt"},
        {"\xc3\x85ngstr\xc3\xb6m/\xc2\xbd.txt", "\x8fngstr\x94m/\xab.txt"},
        {"\xe8\xaa\x9e \xe6\x96\x87.txt", "\xe8\xaa\x9e \xe6\x96\x87.txt"},
        {"\xe2\x94\x9c\xe2\x8c\x90.txt", "\xe2\x94\x9c\xe2\x8c\x90.txt"}, // in CP437 "\xc3\xa9"
    };
    for (const auto& n : names)
        WriteFile(src / n.Name, n.Name + " data");
    const fs::path bh = Dir / "names.bh";
    const ToolResult add = RunProbe({"add", bh.string(), "-r", src.Str()});
    ASSERT_EQ(add.ExitCode, 0) << add.Out << add.Err;
    const std::string bytes = ReadFile(bh);
    for (const auto& n : names)
        EXPECT_NE(bytes.find(n.Stored), std::string::npos) << n.Name;

    const ToolResult list = RunProbe({"list", bh.string()});
    TempDir out;
    const ToolResult x = RunProbe({"extract", bh.string(), out.Str()});
    EXPECT_EQ(x.ExitCode, 0) << x.Out << x.Err;
    EXPECT_EQ(CompareTrees(ReadTree(src.Path()), "source", ReadTree(out.Path()), "our reader"), "");
    for (const auto& n : names)
        EXPECT_NE(list.Out.find(n.Name), std::string::npos) << n.Name << "\n" << list.Out;
}

} // namespace

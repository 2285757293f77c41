// What the peers write, read by us against the peer's own extraction: lha archives of header
// levels 0, 1 and 2 made by jlha (names with spaces, long paths, empty folders), arj archives
// made by arj (Unix modes, non-ASCII names) and arc archives made by arc. krvprobe extracts
// and tests each; the tree, and where the peer keeps them the modes and times, must be the
// peer's.
#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace testsupport;

namespace {

struct TPeer {
    const char* What;
    const char* Archive;
    fs::path From;                    // the source folder
    std::vector<std::string> Make;    // run in From
    std::vector<std::string> Extract; // run in the peer's output folder
    bool CompareStamps;               // the peer keeps modes and times
    bool CompareFolders;              // the peer stores and makes empty folders
};

TEST(LhaFamilyPeer, PeerArchivesExtractAsThePeerExtractsThem) {
    ::umask(022);
    TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src / "empty folder");
    fs::create_directories(src / "sub dir" / "deeper");
    WriteFile(src / "plain.txt", TextBytes(30000, 1));
    WriteFile(src / "with space.bin", RandomBytes(9000, 2));
    WriteFile(src / "sub dir" / "deeper" / (std::string(50, 'n') + ".txt"), TextBytes(5000, 3));
    WriteFile(src / "sub dir" / "run.sh", "#!/bin/sh\necho hi\n");
    ::chmod((src / "sub dir" / "run.sh").c_str(), 0755);
    ::chmod((src / "with space.bin").c_str(), 0600);
    // arj keeps UTF-8 names from Unix as they are.
    TempDir arjSrc;
    WriteFile(arjSrc / "caf\xc3\xa9.txt", TextBytes(2000, 4));
    WriteFile(arjSrc / "\xe8\xaa\x9e" / "exec", "#!/bin/sh\n");
    ::chmod((arjSrc / "\xe8\xaa\x9e" / "exec").c_str(), 0750);
    WriteFile(arjSrc / "secret", "mine\n");
    ::chmod((arjSrc / "secret").c_str(), 0600);
    // arc keeps DOS names and no folders.
    TempDir arcSrc;
    WriteFile(arcSrc / "README.TXT", TextBytes(40000, 5));
    WriteFile(arcSrc / "DATA.BIN", RandomBytes(3000, 6));
    WriteFile(arcSrc / "FIB.DAT", FibonacciBytes(14));

    const std::vector<std::string> tree = {"plain.txt", "with space.bin", "sub dir", "empty folder"};
    std::vector<TPeer> peers;
    for (const char* level : {"0", "1", "2"}) {
        std::vector<std::string> make = {"jlha", std::string("a") + level, (dir / "j.lzh").string()};
        make.insert(make.end(), tree.begin(), tree.end());
        peers.push_back({level, "j.lzh", src, make, {"jlha", "x", (dir / "j.lzh").string()}, false, true});
    }
    peers.push_back({"arj",
                     "a.arj",
                     arjSrc.Path(),
                     {"arj", "a", "-r", "-y", (dir / "a.arj").string(), "*"},
                     {"arj", "x", "-y", (dir / "a.arj").string()},
                     true,
                     false});
    peers.push_back({"arc",
                     "a.arc",
                     arcSrc.Path(),
                     {"arc", "a", (dir / "a.arc").string(), "README.TXT", "DATA.BIN", "FIB.DAT"},
                     {"arc", "x", (dir / "a.arc").string()},
                     false,
                     false});
    for (const TPeer& p : peers) {
        SCOPED_TRACE(p.What);
        fs::remove(dir / p.Archive);
        const ToolResult made = RunUtf8(p.Make, p.From);
        ASSERT_EQ(made.ExitCode, 0) << made.Out << made.Err;

        TempDir byPeer, ours;
        const ToolResult x = RunUtf8(p.Extract, byPeer.Path());
        ASSERT_EQ(x.ExitCode, 0) << x.Out << x.Err;
        const ToolResult mine = RunProbe({"extract", (dir / p.Archive).string(), ours.Str()});
        EXPECT_EQ(mine.ExitCode, 0) << mine.Out << mine.Err;
        const ToolResult test = RunProbe({"test", (dir / p.Archive).string()});
        EXPECT_EQ(test.ExitCode, 0) << test.Out << test.Err;

        std::map<std::string, std::string> expected = ReadTree(byPeer.Path());
        std::map<std::string, std::string> actual = ReadTree(ours.Path());
        if (!p.CompareFolders) {
            std::erase_if(expected, [](const auto& E) { return E.first.back() == '/'; });
            std::erase_if(actual, [](const auto& E) { return E.first.back() == '/'; });
        }
        EXPECT_GE(expected.size(), 3U);
        EXPECT_EQ(CompareTrees(expected, p.What, actual, "our reader"), "");
        if (p.CompareStamps) {
            EXPECT_EQ(CompareTrees(ReadStamps(byPeer.Path()), p.What, ReadStamps(ours.Path()), "our reader"),
                      "");
        }
    }
}

} // namespace

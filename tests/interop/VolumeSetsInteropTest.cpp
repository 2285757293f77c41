// Sets of volumes and deletes through the test driver: uu and xx sets that uuenview numbers
// (rand.001 ... rand.008) are followed by our reader to the last volume as uudeview decodes them;
// our uu, xx and Base64 sets of many volumes never give a name twice, our reader decodes the uu
// and xx sets and the volumes joined end to end decode with uudecode and coreutils' base64.
// krvprobe's delete runs the writer of the archive's own type: GNU tar sees the entry gone from
// a tar and a tar.gz (also one named .zip), and a cabinet, which takes no deletes, is left as
// cabextract read it.
#include "ExtractRun.h"
#include "TestSupport.h"

#include "engine/core/krvZipCommon.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(VolumeSetsInterop, SetsOfManyVolumesAreFollowedAndJoinedWhole) {
    const struct {
        std::vector<std::string> Make; // run in the folder; the input file's name follows
        std::string First;             // the set's first volume
        int MinVolumes;
        std::vector<std::string> Joined; // decodes the volumes joined end to end: none, ours only
        bool OurReader;                  // decodes the set from its first volume
    } cases[] = {
        {{"uuenview", "-u", "-300", "-o"}, "rand.001", 8, {}, true},
        {{"uuenview", "-x", "-300", "-o"}, "rand.001", 8, {}, true},
        {{ProbePath().string(), "add", "o.uue", "-v", "1"},
         "o.uue",
         12,
         {"uudecode", "-o", "/dev/stdout"},
         true},
        {{ProbePath().string(), "add", "o.xxe", "-v", "1"}, "o.xxe", 12, {}, true},
        {{ProbePath().string(), "add", "o.b64", "-v", "1"}, "o.b64", 6, {"base64", "-d"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Make[0] + " " + c.First);
        TempDir dir;
        const std::string data = RandomBytes(100000, 7);
        WriteFile(dir / "rand.bin", data);
        std::vector<std::string> make = c.Make;
        make.push_back("rand.bin");
        const ToolResult made = RunTool(make, dir.Path());
        ASSERT_EQ(made.ExitCode, 0) << made.Err;
        fs::rename(dir / "rand.bin", dir / "source.bin");
        // The volumes in the order the set's naming gives them; every file is one of them.
        std::vector<fs::path> volumes{dir / c.First};
        for (int n = 1; n <= 999; ++n) {
            std::string next;
            ASSERT_TRUE(GetVolumeFileName((dir / c.First).string(), n, 1, next, false));
            if (!fs::exists(next)) break;
            volumes.emplace_back(next);
        }
        EXPECT_GE(static_cast<int>(volumes.size()), c.MinVolumes);
        EXPECT_EQ(FolderNames(dir.Path()).size(), volumes.size() + 1);
        if (c.OurReader) {
            const ToolResult x = RunProbe({"extract", (dir / c.First).string(), (dir / "ours").string()});
            EXPECT_EQ(x.ExitCode, 0) << x.Out;
            EXPECT_EQ(ReadTree(dir / "ours"), (std::map<std::string, std::string>{{"rand.bin", data}}));
            fs::remove_all(dir / "ours");
        }
        if (c.Make[0] == "uuenview") {
            // uudeview takes the same set.
            std::vector<std::string> uudeview{"uudeview", "-i", "-q", "-p", (dir / "peer").string()};
            for (const fs::path& v : volumes)
                uudeview.push_back(v.string());
            fs::create_directories(dir / "peer");
            EXPECT_EQ(RunTool(uudeview).ExitCode, 0);
            EXPECT_EQ(ReadTree(dir / "peer"), (std::map<std::string, std::string>{{"rand.bin", data}}));
        }
        if (!c.Joined.empty()) {
            std::string joined;
            for (const fs::path& v : volumes)
                joined += ReadFile(v);
            if (c.Joined[0] == "base64") {
                // The MIME part's body: after the empty line that ends its headers.
                const std::size_t body = joined.find("\r\n\r\n", joined.find("Content-Disposition"));
                ASSERT_NE(body, std::string::npos);
                joined.erase(0, body + 4);
                // coreutils' base64 takes line feeds between the lines, not CR LF.
                std::erase(joined, '\r');
            }
            const ToolResult r = RunTool(c.Joined, dir.Path(), joined);
            EXPECT_EQ(r.ExitCode, 0) << r.Err;
            EXPECT_TRUE(r.Out == data) << r.Out.size() << " bytes decoded";
        }
    }
}

TEST(VolumeSetsInterop, DeleteTakesTheWriterOfTheArchivesOwnType) {
    TempDir dir;
    const std::map<std::string, std::string> both{{"a.txt", "first"}, {"b.txt", "second"}};
    const fs::path src = dir / "src";
    for (const auto& [name, data] : both)
        WriteFile(src / name, data);
    const struct {
        std::string Archive;
        std::vector<std::string> Make; // the archive and the names follow
        std::vector<std::string> Peer; // extracts the archive (appended) into the current folder
        bool Deletes;                  // else refused, the archive left as it was
    } cases[] = {
        {"gnu.tar", {"tar", "-cf"}, {"tar", "-xf"}, true},
        {"gnu.tar.gz", {"tar", "-czf"}, {"tar", "-xzf"}, true},
        {"gnu.tgz", {"tar", "-czf"}, {"tar", "-xzf"}, true},
        {"tar-named.zip", {"tar", "-cf"}, {"tar", "-xf"}, true},
        {"gcab.cab", {"gcab", "-c"}, {"cabextract", "-q"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Archive);
        const fs::path archive = dir / c.Archive;
        std::vector<std::string> make = c.Make;
        make.insert(make.end(), {archive.string(), "a.txt", "b.txt"});
        ASSERT_EQ(RunTool(make, src).ExitCode, 0);
        const std::string before = ReadFile(archive);
        const ToolResult d = RunProbe({"delete", archive.string(), "a.txt"});
        const fs::path peer = dir / ("peer-" + c.Archive);
        fs::create_directories(peer);
        std::vector<std::string> run = c.Peer;
        run.push_back(archive.string());
        EXPECT_EQ(RunTool(run, peer).ExitCode, 0);
        if (c.Deletes) {
            EXPECT_EQ(d.ExitCode, 0) << d.Err;
            EXPECT_EQ(ReadTree(peer), (std::map<std::string, std::string>{{"b.txt", "second"}}));
        } else {
            EXPECT_EQ(d.ExitCode, 1);
            EXPECT_NE(d.Err.find("error 25243"), std::string::npos) << d.Err;
            EXPECT_EQ(ReadFile(archive), before);
            EXPECT_EQ(ReadTree(peer),
                      (std::map<std::string, std::string>{{"a.txt", "first"}, {"b.txt", "second"}}));
        }
    }
}

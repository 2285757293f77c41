// A split zip set made by Info-ZIP's zip -s, tested and extracted from its .zip (or its first
// piece) by the program and by the test driver, with the pieces found by name: every run
// must give what unzip extracts from the set joined by zip -s 0, and ask for no disk. A set
// with a piece missing ends at once with exit 1 and a few lines, whatever answers the
// questions get.
#include "ExtractRun.h"
#include "ProcessRun.h"
#include "SplitZipSet.h"
#include "ToolChecks.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class SplitZipSetRun : public QuillarProcessTest {
protected:
    void SetUp() override {
        fs::create_directories(FSource / "sub folder");
        for (int i = 0; i < 3; ++i)
            WriteFile(FSource / ("random" + std::to_string(i) + ".bin"), RandomBytes(50000, 30 + i));
        WriteFile(FSource / "sub folder" / "text.txt", TextBytes(120000, 5));
        WriteFile(FSource / "small.txt", "small\n");
        fs::create_directories(FDir / "set");
        FSet = MakeSplitZipSet(FSource, FDir / "set" / "set.zip", "64k", FDir / "joined.zip");
        ASSERT_GE(FSet.Pieces.size(), 3U) << "the set should have pieces before its last";
        Must(RunTool({"unzip", "-qq", FSet.Joined.string(), "-d", (FDir / "unzip").string()}));
        FUnzipped = ReadTree(FDir / "unzip");
        ASSERT_FALSE(FUnzipped.empty());
    }

    // Copies the pieces of the set but those named in Without into the folder Name.
    fs::path CopySet(const std::string& Name, const std::vector<std::string>& Without) {
        const fs::path folder = FDir / Name;
        fs::create_directories(folder);
        for (const fs::path& piece : FSet.Pieces)
            if (std::find(Without.begin(), Without.end(), piece.filename().string()) == Without.end())
                fs::copy_file(piece, folder / piece.filename());
        return folder;
    }

    static ToolResult Probe(const std::vector<std::string>& Arguments) {
        std::vector<std::string> argv{ProbePath().string()};
        argv.insert(argv.end(), Arguments.begin(), Arguments.end());
        return RunTool(argv);
    }

    TempDir FDir;
    fs::path FSource = FDir / "source";
    TSplitZipSet FSet;
    std::map<std::string, std::string> FUnzipped;
};

TEST_F(SplitZipSetRun, TestedAndExtractedFromItsPiecesByNameAsUnzipExtractsTheJoinedSet) {
    const std::string last = FSet.Last().string();
    const std::string first = FSet.Pieces.front().string();
    struct TCase {
        const char* What;
        std::function<ToolResult(const fs::path& Out)> Run;
        bool Extracts;
    } const cases[] = {
        {"quillar -T NAME.zip",
         [&](const fs::path&) {
             return Quillar({"-T", last});
         },
         false},
        {"quillar -T NAME.z01",
         [&](const fs::path&) {
             return Quillar({"-T", first});
         },
         false},
        {"quillar -DDEH",
         [&](const fs::path& Out) {
             return Quillar({"-DDEH", Out.string(), last});
         },
         true},
        {"krvprobe test",
         [&](const fs::path&) {
             return Probe({"test", last});
         },
         false},
        {"krvprobe extract",
         [&](const fs::path& Out) {
             return Probe({"extract", last, Out.string()});
         },
         true},
    };
    int n = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const fs::path out = FDir / ("out" + std::to_string(++n));
        fs::create_directories(out);
        const ToolResult r = c.Run(out);
        EXPECT_EQ(r.ExitCode, 0) << r.Err << r.Out;
        EXPECT_EQ(r.Err.find("disk"), std::string::npos) << "a disk was asked for: " << r.Err;
        if (c.Extracts)
            EXPECT_EQ(CompareTrees(FUnzipped, "unzip of the joined set", ReadTree(out), c.What), "");
        else
            EXPECT_TRUE(fs::is_empty(out));
    }
}

TEST_F(SplitZipSetRun, AMissingPieceEndsTheRunAtOnceWithOneError) {
    const std::string second = FSet.Pieces[1].filename().string();
    const std::string lastName = FSet.Last().filename().string();
    const fs::path noSecond = CopySet("no-second", {second});
    const fs::path loneFirst = CopySet("lone-first", {});
    for (const fs::path& piece : FSet.Pieces)
        if (piece != FSet.Pieces.front()) fs::remove(loneFirst / piece.filename());
    const std::string first = (loneFirst / FSet.Pieces.front().filename()).string();

    struct TCase {
        const char* What;
        std::vector<std::string> Args;
        bool Program;
    } const cases[] = {
        {"quillar -T, the first piece alone", {"-T", first}, true},
        {"quillar -T, the second piece missing", {"-T", (noSecond / lastName).string()}, true},
        {"quillar -DDEH, the second piece missing",
         {"-DDEH", (FDir / "out").string(), (noSecond / lastName).string()},
         true},
        {"krvprobe test, the first piece alone", {"test", first}, false},
        {"krvprobe extract, the second piece missing",
         {"extract", (noSecond / lastName).string(), (FDir / "probe-out").string()},
         false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const ToolResult r = c.Program ? Quillar(c.Args) : Probe(c.Args);
        EXPECT_EQ(r.ExitCode, 1) << r.Err << r.Out;
        // A question asked over and over would fill standard error.
        EXPECT_LT(r.Err.size(), 2000U) << r.Err.substr(0, 2000);
        EXPECT_LT(r.Out.size(), 4000U) << r.Out.substr(0, 4000);
    }
    // The driver names the piece that is missing.
    const ToolResult lone = Probe({"test", first});
    EXPECT_NE((lone.Out + lone.Err).find(lastName), std::string::npos) << lone.Err << lone.Out;
}

} // namespace

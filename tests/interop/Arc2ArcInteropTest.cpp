// The converter: archives of other formats and tools become zip and jar archives that unzip
// and 7-Zip test clean and that hold exactly the input's files; hostile names touch nothing
// outside the private folder; a failure or a cancel in any phase leaves the input and an old
// output byte-identical and no temporary behind.
#include "ExtractRun.h"
#include "TestSupport.h"
#include "ZipBuilder.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/write/krvArc2Arc.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <functional>

using namespace testsupport;

namespace {

struct TInput {
    const char* Name;
    // Makes the input archive from the tree at Src; returns its path.
    std::function<fs::path(const fs::path& Src, const fs::path& Dir)> Make;
};

// Runs Tool (its arguments before the archive), then the archive and What, in Src.
fs::path MadeBy(std::vector<std::string> Tool, const std::string& What, const fs::path& Src,
                const fs::path& Archive) {
    Tool.insert(Tool.end(), {Archive.string(), What});
    const ToolResult r = RunTool(Tool, Src);
    EXPECT_EQ(r.ExitCode, 0) << Tool[0] << "\n" << r.Out << r.Err;
    return Archive;
}

const TInput Inputs[] = {
    {"InfoZip",
     [](auto& S, auto& D) {
         return MadeBy({"zip", "-qr"}, ".", S, D / "in.zip");
     }},
    {"Arj",
     [](auto& S, auto& D) {
         return MadeBy({"arj", "a", "-r", "-y"}, "*", S, D / "in.arj");
     }},
    {"LzhFromTheCorpus", [](auto&, auto&) { return CorpusDir() / "lhasa" / "lha_unix114i" / "h1_lh5.lzh"; }},
};

TEST(Arc2ArcRoundTrip, EveryInputBecomesZipAndJarTheToolsAccept) {
    for (const TInput& input : Inputs) {
        for (const std::string ext : {".zip", ".jar"}) {
            SCOPED_TRACE(std::string(input.Name) + " to " + ext);
            TempDir dir;
            const fs::path src = dir / "src";
            fs::create_directories(src / "sub");
            WriteFile(src / "text.txt", TextBytes(30000, 1));
            WriteFile(src / "sub" / "random.bin", RandomBytes(20000, 2));
            const fs::path in = input.Make(src, dir.Path());
            const std::string before = ReadFile(in);
            // What the input holds, as the engine reads it.
            ASSERT_TRUE(ExtractAll(in, dir / "expected").AllPassed());

            const fs::path out = dir / ("out" + ext);
            const ToolResult r = RunProbe({"convert", "-v", in.string(), out.string()});
            ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
            EXPECT_EQ(ReadFile(in), before);
            EXPECT_EQ(RunTool({"unzip", "-tqq", out.string()}).ExitCode, 0);
            EXPECT_EQ(RunTool({"7zz", "t", out.string()}).ExitCode, 0);
            fs::create_directories(dir / "unzipped");
            ASSERT_EQ(RunTool({"unzip", "-qq", out.string(), "-d", (dir / "unzipped").string()}).ExitCode, 0);
            EXPECT_EQ(CompareTrees(ReadTree(dir / "expected"), "the input", ReadTree(dir / "unzipped"),
                                   "unzip of the output"),
                      "");
        }
    }
}

class Arc2ArcSafety : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Temp);
        fs::create_directories(Src / "sub");
        WriteFile(Src / "a.txt", TextBytes(50000, 3));
        WriteFile(Src / "sub" / "b.txt", TextBytes(50000, 4));
        MadeBy({"zip", "-qr"}, ".", Src, Input);
        WriteFile(Output, "the old output");
        InputBytes = ReadFile(Input);
    }
    std::unique_ptr<TArc2Arc> Converter() {
        auto c = std::make_unique<TArc2Arc>();
        c->SetArchiveFile(Input.string());
        c->NewArchive = Output.string();
        c->OutArcType = tyZip;
        c->SetTempDir(Temp.string());
        c->OnFileExists = [](TZipCommon&, const std::string&, TOverwriteMode& Mode) { Mode = omOverwrite; };
        c->OnError = [this](TZipCommon&, const std::string&, const std::string&, const std::string&,
                            int Code) { Errors.push_back(Code); };
        return c;
    }
    // Input and old output as they were; no temporary left in the temporary folder or beside
    // the output.
    void ExpectNothingChanged() {
        EXPECT_EQ(ReadFile(Input), InputBytes);
        EXPECT_EQ(ReadFile(Output), "the old output");
        EXPECT_TRUE(fs::is_empty(Temp));
        for (const auto& e : fs::directory_iterator(Dir.Path()))
            EXPECT_TRUE(e.path().filename().string().rfind(".krv", 0) != 0) << e.path();
    }

    TempDir Dir;
    fs::path Src = Dir / "src", Temp = Dir / "temp", Input = Dir / "in.zip", Output = Dir / "out.zip";
    std::string InputBytes;
    std::vector<int> Errors;
};

TEST_F(Arc2ArcSafety, ACancelInEachPhaseLeavesEverythingAsItWas) {
    for (int phase = 0; phase < 3; ++phase) {
        SCOPED_TRACE(phase);
        auto c = Converter();
        const auto cancel = [](TZipCommon& S, const std::string&, int, bool&) { S.SetCancel(true); };
        if (phase == 0) c->OnExtractBegin = cancel;
        if (phase == 1) c->OnCompressBegin = cancel;
        c->OnIntegrityStatus = [&](TZipCommon& S, const std::string&, bool) {
            if (phase == 2) S.SetCancel(true);
        };
        EXPECT_FALSE(c->Activate());
        ExpectNothingChanged();
    }
    // Undisturbed, the same run replaces the old output; each extracted file is removed under the
    // name it came out as, the private folders last.
    auto c = Converter();
    c->OnIntegrityStatus = [](TZipCommon&, const std::string&, bool) {};
    std::vector<std::string> removed;
    c->OnRemoveTempfile = [&removed](TZipCommon&, const std::string& Name) { removed.push_back(Name); };
    EXPECT_TRUE(c->Activate());
    EXPECT_EQ(RunTool({"unzip", "-tqq", Output.string()}).ExitCode, 0);
    EXPECT_TRUE(fs::is_empty(Temp));
    ASSERT_GE(removed.size(), 3u);
    std::sort(removed.begin(), removed.begin() + 2);
    EXPECT_EQ(removed[0], "a.txt");
    EXPECT_EQ(removed[1], "sub/b.txt");
}

TEST_F(Arc2ArcSafety, FailuresLeaveEverythingAsItWas) {
    // A damaged input: its second entry's data are broken.
    std::string damaged = InputBytes;
    damaged[damaged.find("sub/b.txt") + 200] ^= 0x33;
    WriteFile(Input, damaged);
    InputBytes = damaged;
    EXPECT_FALSE(Converter()->Activate());
    EXPECT_FALSE(Errors.empty());
    ExpectNothingChanged();

    // The input as its own output.
    auto same = Converter();
    same->NewArchive = Input.string();
    EXPECT_FALSE(same->Activate());
    EXPECT_EQ(Errors.back(), ecSameInputAndOutputFileNames);
    ExpectNothingChanged();
}

TEST_F(Arc2ArcSafety, HostileNamesTouchNothingOutsideThePrivateFolder) {
    TZipSpec spec;
    spec.Add("../escaped.txt", "up").Add("/abs-escaped.txt", "absolute").Add("fine.txt", "fine");
    WriteFile(Input, MakeStoredZip(spec));
    InputBytes = ReadFile(Input);
    auto c = Converter();
    c->Activate();
    EXPECT_FALSE(fs::exists(Dir / "escaped.txt"));
    EXPECT_FALSE(fs::exists(Dir / "abs-escaped.txt"));
    EXPECT_FALSE(fs::exists("/abs-escaped.txt"));
    EXPECT_TRUE(fs::is_empty(Temp));
    EXPECT_EQ(ReadFile(Input), InputBytes);
}

} // namespace

// Cabinets the cabinet writer makes pass cabextract -t, list with gcab -l and extract with
// cabextract to the bytes of their sources, for every method, LZX window and some Quantum
// windows, also as a set spanning several cabinets; adding to a cabinet made by gcab keeps its
// entries; a failure of the cabinet library is reported and leaves the old cabinet as it was.
#include "engine/core/krvErrorCodes.h"
#include "engine/write/krvMakeCab.h"

#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class CabWriterInterop : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Src / "sub");
        WriteFile(Src / "empty", "");
        WriteFile(Src / "one", "1");
        WriteFile(Src / "random.bin", RandomBytes(300000, 1)); // does not compress
        WriteFile(Src / "text.txt", TextBytes(1 << 20, 2));
        WriteFile(Src / "sub/zeros", std::string(100000, '\0'));
        WriteFile(Src / "sub/caf\xC3\xA9.txt", "utf-8 name");
    }

    // cabextract tests Cab and extracts it to Src's tree.
    void ExpectExtractsToSource(const fs::path& Cab, const fs::path& Source) {
        const ToolResult t = RunUtf8({"cabextract", "-t", Cab.string()});
        EXPECT_EQ(t.ExitCode, 0) << t.Out << t.Err;
        TempDir out;
        const ToolResult x = RunUtf8({"cabextract", "-q", "-d", out.Str(), Cab.string()});
        ASSERT_EQ(x.ExitCode, 0) << x.Err;
        EXPECT_EQ(CompareTrees(ReadTree(Source), "source", ReadTree(out.Path()), "cabextract"), "");
    }

    TempDir Dir;
    fs::path Src = Dir / "src";
};

TEST_F(CabWriterInterop, EveryMethodIsAcceptedByCabextractAndGcab) {
    std::vector<std::vector<std::string>> methods = {{"store"}, {"mszip"}};
    for (int window = 15; window <= 21; ++window)
        methods.push_back({"lzx", "-l", std::to_string(window)});
    for (const int memory : {10, 15, 21})
        methods.push_back({"quantum", "-q", std::to_string(memory)});
    for (const auto& m : methods) {
        std::vector<std::string> args{"add", (Dir / "x.cab").string(), "-r", "-m"};
        args.insert(args.end(), m.begin(), m.end());
        args.push_back(Src.string());
        SCOPED_TRACE(args[4] + (m.size() > 2 ? " " + m[2] : ""));
        const ToolResult r = RunProbe(args);
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        ExpectExtractsToSource(Dir / "x.cab", Src);
        const ToolResult l = RunUtf8({"gcab", "-l", (Dir / "x.cab").string()});
        EXPECT_EQ(l.ExitCode, 0) << l.Err;
        for (const char* name :
             {"empty", "one", "random.bin", "text.txt", "sub\\zeros", "sub\\caf\xC3\xA9.txt"})
            EXPECT_NE(l.Out.find(name), std::string::npos) << name << "\n" << l.Out;
        // Our reader takes it too.
        TempDir out;
        const ExtractResult ours = ExtractAll(Dir / "x.cab", out.Path());
        EXPECT_TRUE(ours.AllPassed()) << ours.Describe();
        EXPECT_EQ(CompareTrees(ReadTree(Src), "source", ReadTree(out.Path()), "ours"), "");
        fs::remove(Dir / "x.cab");
    }
}

TEST_F(CabWriterInterop, ASetSpansSeveralCabinets) {
    for (int i = 0; i < 60; ++i)
        WriteFile(Src / ("f" + std::to_string(i)),
                  i % 2 ? RandomBytes(100 + 397 * i, i) : TextBytes(9000 * i, i));
    for (const std::string m : {"store", "mszip", "lzx", "quantum"}) {
        SCOPED_TRACE(m);
        TempDir sets;
        const ToolResult r =
            RunProbe({"add", (sets / "set.cab").string(), "-r", "-m", m, "-k", "150", Src.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        const auto names = FolderNames(sets.Path());
        EXPECT_GT(names.size(), 4u);
        for (const std::string& n : names)
            EXPECT_LE(fs::file_size(sets / n), 150u * 1024) << n;
        ExpectExtractsToSource(sets / "set.cab", Src);
    }
}

TEST_F(CabWriterInterop, LzxCabinetsAreSmallerThanMsZipOnes) {
    // Versions of one text: each repeats the last from further back than MSZIP's 32 KB reach.
    const std::string base = TextBytes(120000, 100);
    for (int i = 0; i < 20; ++i)
        WriteFile(Src / ("v" + std::to_string(i) + ".txt"), base + TextBytes(2000, 200 + i));
    for (const std::string m : {"mszip", "lzx"})
        ASSERT_EQ(RunProbe({"add", (Dir / (m + ".cab")).string(), "-r", "-m", m, Src.string()}).ExitCode, 0);
    EXPECT_LT(fs::file_size(Dir / "lzx.cab"), fs::file_size(Dir / "mszip.cab"));
}

TEST_F(CabWriterInterop, AddingToAGcabCabinetKeepsItsEntries) {
    const fs::path cab = Dir / "theirs.cab";
    ASSERT_EQ(RunTool({"gcab", "-cz", cab.string(), "one", "text.txt"}, Src).ExitCode, 0);
    const fs::path more = Dir / "more";
    fs::create_directories(more);
    WriteFile(more / "new.txt", "new");
    const ToolResult r = RunProbe({"add", cab.string(), more.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const fs::path expected = Dir / "expected";
    fs::create_directories(expected);
    fs::copy(Src / "one", expected / "one");
    fs::copy(Src / "text.txt", expected / "text.txt");
    fs::copy(more / "new.txt", expected / "new.txt");
    ExpectExtractsToSource(cab, expected);
}

TEST_F(CabWriterInterop, LibraryFailuresAreReportedAndLeaveTheOldCabinet) {
    const fs::path cab = Dir / "old.cab";
    ASSERT_EQ(RunTool({"gcab", "-c", cab.string(), "one"}, Src).ExitCode, 0);
    const std::string old = ReadFile(cab);
    struct Case {
        std::string Name;
        std::function<void(TMakeCab&)> Setup;
        int Code;
    };
    const std::vector<Case> cases = {
        // A set would be needed, and nobody names its next cabinet.
        {"no next cabinet", [](TMakeCab& C) { C.MaxCabinetSize = 50000; }, ecErrorWritingToFile},
        {"cancel",
         [](TMakeCab& C) {
             C.OnProgress = [](TZipCommon& S, std::uint8_t, std::uint8_t) { S.SetCancel(true); };
         },
         ecUserCanceled},
        {"delete", [](TMakeCab& C) { C.Switch = swDelete; }, ecInvalidArchiveType},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TMakeCab w;
        std::vector<int> errors;
        bool successAfterError = false;
        w.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int Code) {
            errors.push_back(Code);
        };
        w.OnEnd = [&](TZipCommon&, const std::string&, bool Ok) {
            successAfterError |= Ok && !errors.empty();
        };
        w.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime,
                             std::int64_t, std::int64_t, int, int, bool& R) { R = true; };
        w.SetArchiveFile(cab.string());
        w.FileSpec = {(Src / "*").string()};
        c.Setup(w);
        EXPECT_EQ(w.Compress(), 0);
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors.back(), c.Code);
        EXPECT_EQ(ReadFile(cab), old);
        EXPECT_EQ(FolderNames(Dir.Path()), (std::vector<std::string>{"old.cab", "src"}));
        EXPECT_FALSE(successAfterError);
    }
}

} // namespace

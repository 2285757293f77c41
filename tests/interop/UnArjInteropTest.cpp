// The arj reader against Debian's arj: archives that arj makes at test time with every method
// (-m0 to -m4), garbled (-g) and split over volumes (-v) are extracted by `arj x` and by the
// engine, and the trees must be equal byte for byte. A wrong password or a missing volume
// fails without touching what is already on disk.
#include "ExtractRun.h"
#include "ListerSupport.h"
#include "TestSupport.h"

#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

#include <deque>

using namespace testsupport;

namespace {

void MakeSourceTree(const fs::path& Root) {
    fs::create_directories(Root / "nested/deep");
    WriteFile(Root / "text.txt", TextBytes(300000, 3));
    WriteFile(Root / "random.bin", RandomBytes(140000, 4));
    WriteFile(Root / "empty.txt", "");
    WriteFile(Root / "nested/deep/code.c", TextBytes(4000, 5));
    WriteFile(Root / "h\xC3\xA9llo w\xC3\xB6rld.txt", "bonjour\n");
}

class UnArjInterop : public ::testing::Test {
protected:
    void SetUp() override { MakeSourceTree(Source); }

    void MakeArchive(const std::vector<std::string>& Options, const fs::path& Archive) {
        std::vector<std::string> argv{"arj", "a", "-r", "-y"};
        argv.insert(argv.end(), Options.begin(), Options.end());
        argv.insert(argv.end(), {Archive.string(), "*"});
        const ToolResult r = RunTool(argv, Source);
        ASSERT_EQ(r.ExitCode, 0) << "arj failed: " << r.Out << r.Err;
    }

    // arj's tree for Archive (files only: arj x makes no empty folders of its own).
    std::map<std::string, std::string>
    ArjTree(const fs::path& Archive, const std::vector<std::string>& Options, const std::string& What) {
        const fs::path out = Dir / (What + ".arj-x");
        fs::create_directories(out);
        std::vector<std::string> argv{"arj", "x", "-y"};
        argv.insert(argv.end(), Options.begin(), Options.end());
        argv.push_back(Archive.string());
        const ToolResult r = RunTool(argv, out);
        EXPECT_EQ(r.ExitCode, 0) << What << ": arj x failed: " << r.Out << r.Err;
        return Files(out);
    }

    static std::map<std::string, std::string> Files(const fs::path& Root) {
        std::map<std::string, std::string> out;
        for (const auto& [name, data] : ReadTree(Root))
            if (name.back() != '/') out[name] = data;
        return out;
    }

    // Answers the password questions from Answers, then refuses; accepts every next volume
    // that exists.
    static std::function<void(TUnBase&)> Answering(std::deque<std::string> Answers, int* Asked = nullptr) {
        return [Answers, Asked](TUnBase& Reader) mutable {
            Reader.OnGetPassword = [Answers, Asked](TZipCommon&, const std::string&, std::string& Password,
                                                    bool& TryAgain) mutable {
                if (Asked) ++*Asked;
                TryAgain = !Answers.empty();
                if (TryAgain) {
                    Password = Answers.front();
                    Answers.pop_front();
                }
            };
            Reader.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool Exists,
                                     bool& Cancel) { Cancel = !Exists; };
        };
    }

    TempDir Dir;
    fs::path Source = Dir / "src";
};

} // namespace

TEST_F(UnArjInterop, EveryMethodGarbledAndVolumesMatchArj) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Options;
        std::deque<std::string> Answers; // passwords the engine is given, in turn
        std::vector<std::string> XOptions;
    };
    const TCase cases[] = {
        {"m0", {"-m0"}, {}, {}},
        {"m1", {"-m1"}, {}, {}},
        {"m2", {"-m2"}, {}, {}},
        {"m3", {"-m3"}, {}, {}},
        {"m4", {"-m4"}, {}, {}},
        {"garbled-m1", {"-m1", "-gsecret"}, {"wrong", "secret"}, {"-gsecret"}},
        {"garbled-m0", {"-m0", "-gs3cr3t"}, {"s3cr3t"}, {"-gs3cr3t"}},
        {"garbled-m4", {"-m4", "-gpw"}, {"nope", "no", "pw"}, {"-gpw"}},
        {"volumes", {"-m1", "-v60k"}, {}, {"-v"}},
        {"volumes-m0", {"-m0", "-v50k"}, {}, {"-v"}},
    };
    for (const auto& c : cases) {
        const fs::path archive = Dir / (std::string(c.Name) + ".arj");
        MakeArchive(c.Options, archive);
        const auto expected = ArjTree(archive, c.XOptions, c.Name);
        const fs::path out = Dir / (std::string(c.Name) + ".engine");
        const auto result = ExtractAll(archive, out, Answering(c.Answers));
        const int wrong = static_cast<int>(c.Answers.size()) - (c.Answers.empty() ? 0 : 1);
        EXPECT_EQ(result.CountOf(ecInvalidPassword), wrong) << c.Name;
        EXPECT_EQ(result.FilesFailed, 0) << c.Name << ": " << result.Describe();
        EXPECT_EQ(CompareTrees(expected, "arj x", Files(out), "the engine"), "") << c.Name;
    }
    // The volume set spreads random.bin over three volumes.
    EXPECT_TRUE(fs::exists(Dir / "volumes-m0.a02"));
    // arj on Linux stores names as UTF-8 with the Unix host mark: the lister shows them so.
    const TListing listing = ListArchive((Dir / "m1.arj").string());
    EXPECT_NE(listing.Find("h\xC3\xA9llo w\xC3\xB6rld.txt"), nullptr) << listing.Describe();
}

TEST_F(UnArjInterop, RenamedVolumeSetsAreFollowedByTheirRealNames) {
    MakeArchive({"-m1", "-v60k"}, Dir / "set.arj");
    fs::create_directories(Dir / "renamed");
    for (const char* ext : {".arj", ".a01", ".a02", ".a03"})
        if (fs::exists(Dir / (std::string("set") + ext)))
            fs::rename(Dir / (std::string("set") + ext), Dir / "renamed" / (std::string("other") + ext));
    const auto expected = ArjTree(Dir / "renamed/other.arj", {"-v"}, "renamed");
    const auto result = ExtractAll(Dir / "renamed/other.arj", Dir / "out", Answering({}));
    EXPECT_TRUE(result.AllPassed()) << result.Describe();
    EXPECT_EQ(CompareTrees(expected, "arj x", Files(Dir / "out"), "the engine"), "");
}

TEST_F(UnArjInterop, WrongPasswordsAndMissingVolumesLeaveExistingFiles) {
    // Garbled: every answer wrong; the files in place stay as they were.
    MakeArchive({"-m2", "-gright"}, Dir / "g.arj");
    fs::create_directories(Dir / "out");
    WriteFile(Dir / "out/text.txt", "keep me");
    int asked = 0;
    auto result = ExtractAll(Dir / "g.arj", Dir / "out", [&](TUnBase& Reader) {
        Answering({"a", "b", "c", "d"}, &asked)(Reader);
        Reader.PasswordAttempts = 25; // at most 10
    });
    EXPECT_FALSE(result.AllPassed());
    EXPECT_EQ(ReadFile(Dir / "out/text.txt"), "keep me");
    EXPECT_FALSE(fs::exists(Dir / "out/random.bin"));
    EXPECT_LE(asked, 10 * 5);

    // A set whose third volume is missing: random.bin, spread over it, is not written.
    MakeArchive({"-m0", "-v50k"}, Dir / "v.arj");
    ASSERT_TRUE(fs::exists(Dir / "v.a02"));
    fs::remove(Dir / "v.a02");
    WriteFile(Dir / "vout/random.bin", "keep me");
    result = ExtractAll(Dir / "v.arj", Dir / "vout", Answering({}));
    EXPECT_FALSE(result.AllPassed());
    EXPECT_EQ(ReadFile(Dir / "vout/random.bin"), "keep me") << result.Describe();
}

// A file header whose CRC fails (its date changed), which `arj t` finds: that entry fails, once
// and under its name; the other entry comes out.
TEST_F(UnArjInterop, AnEntryWhoseHeaderFailsItsCrcFailsOnce) {
    std::string arj = ReadFile(CorpusDir() / "commons-compress/arj/bla.arj");
    arj[65] ^= 0x01;
    WriteFile(Dir / "bad.arj", arj);
    EXPECT_NE(RunTool({"arj", "t", (Dir / "bad.arj").string()}).ExitCode, 0);
    const ExtractResult r = ExtractAll(Dir / "bad.arj", Dir / "out");
    using TEnds = std::vector<std::pair<std::string, bool>>;
    EXPECT_EQ(r.Ends, (TEnds{{"test1.xml", false}, {"test2.xml", true}})) << r.Describe();
    EXPECT_EQ(r.Errors.size(), 1u) << r.Describe();
    EXPECT_TRUE(r.HasError(ecHeaderCRCError) && r.FilesFailed == 1) << r.Describe();
    EXPECT_EQ(Files(Dir / "out").size(), 1u);
}

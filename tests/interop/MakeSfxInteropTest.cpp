// Self-extractors made from zip and jar archives run here: Info-ZIP's unzip tests them without
// an "extra bytes" warning, the program itself tests and extracts its archive, and the engine
// reads it back; types without a stub and a missing stub folder are refused with nothing made.
#include "ExtractRun.h"
#include "TestSupport.h"
#include "ZipBuilder.h"

#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace testsupport;

namespace {

class MakeSfxTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Src / "sub");
        WriteFile(Src / "a.txt", "hello\n");
        WriteFile(Src / "sub" / "random.bin", RandomBytes(70000, 1));
        WriteFile(Src / "sub" / "text.txt", TextBytes(90000, 2));
    }
    // An archive of Src made by Info-ZIP with Options (and an archive comment).
    fs::path InfoZip(const std::string& Name, const std::string& Options = "") {
        const fs::path zip = Dir / Name;
        const ToolResult r = RunTool({"sh", "-c",
                                      "zip -qr " + Options + " '" + zip.string() +
                                          "' . && echo 'the comment' | zip -qz '" + zip.string() + "'"},
                                     Src);
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return zip;
    }
    // The made program tests clean with unzip and with itself, and extracts to Src.
    void ExpectRunsHere(const fs::path& Exe) {
        struct stat st {};
        ASSERT_EQ(::stat(Exe.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0755U);
        const ToolResult unzip = RunTool({"unzip", "-t", Exe.string()});
        EXPECT_EQ(unzip.ExitCode, 0) << unzip.Out << unzip.Err;
        EXPECT_EQ((unzip.Out + unzip.Err).find("extra bytes"), std::string::npos) << unzip.Out << unzip.Err;
        EXPECT_EQ(RunTool({Exe.string(), "-t"}).ExitCode, 0);
        const fs::path out = Dir / ("run-" + Exe.filename().string());
        fs::create_directories(out);
        EXPECT_EQ(RunTool({Exe.string(), "-q"}, out).ExitCode, 0);
        EXPECT_EQ(CompareTrees(ReadTree(Src), "the source", ReadTree(out), "the program's extraction"), "");
    }

    TempDir Dir;
    fs::path Src = Dir / "src";
};

TEST_F(MakeSfxTest, ZipAndJarArchivesBecomeProgramsThatRunHere) {
    for (const std::string name : {"plain.zip", "stored.zip", "deflated.jar"}) {
        const fs::path archive = InfoZip(name, name == "stored.zip" ? "-0" : "");
        const fs::path exe = Dir / (name + ".exe");
        const ToolResult r = RunProbe({"sfx", archive.string(), exe.string()});
        ASSERT_EQ(r.ExitCode, 0) << name << "\n" << r.Out << r.Err;
        ExpectRunsHere(exe);
        // The engine finds the archive behind the stub and reads it whole.
        const ExtractResult back = ExtractAll(exe, Dir / ("back-" + name));
        EXPECT_TRUE(back.AllPassed()) << name << "\n" << back.Describe();
        EXPECT_EQ(CompareTrees(ReadTree(Src), "the source", ReadTree(Dir / ("back-" + name)), "the engine"),
                  "");
    }
}

TEST_F(MakeSfxTest, EncipheredHeadersAreMovedAndReadBack) {
    TZipSpec spec;
    spec.Add("one.txt", "first").Add("two.txt", TextBytes(3000, 3));
    spec.EncryptHeaders = true;
    const fs::path zip = Dir / "pl.zip";
    WriteFile(zip, MakeStoredZip(spec));
    const fs::path exe = Dir / "pl.exe";
    ASSERT_EQ(RunProbe({"sfx", zip.string(), exe.string()}).ExitCode, 0);
    const ExtractResult back = ExtractAll(exe, Dir / "back");
    EXPECT_TRUE(back.AllPassed()) << back.Describe();
    EXPECT_EQ(ReadFile(Dir / "back" / "two.txt"), TextBytes(3000, 3));
}

TEST_F(MakeSfxTest, RefusalsLeaveNoTargetAndAnOldTargetAsItWas) {
    const fs::path zip = InfoZip("a.zip");
    const fs::path lzh = CorpusDir() / "lhasa" / "explzh_723" / "h0_lh5.lzh";
    const struct {
        std::string Name;
        std::vector<std::string> Args;
        int Code;
    } cases[] = {
        {"missing stub folder",
         {"sfx", zip.string(), (Dir / "made.exe").string(), (Dir / "no-such-folder").string()},
         ecFileNotFound},
        {"no stub for lzh here", {"sfx", lzh.string(), (Dir / "made.exe").string()}, ecFileNotFound},
        {"not an archive",
         {"sfx", (Src / "a.txt").string(), (Dir / "made.exe").string()},
         ecInvalidArchiveType},
        {"same file", {"sfx", zip.string(), zip.string()}, ecSameInputAndOutputFileNames},
    };
    for (const auto& c : cases) {
        const ToolResult r = RunProbe(c.Args);
        EXPECT_NE(r.ExitCode, 0) << c.Name;
        EXPECT_NE(r.Out.find("ERROR " + std::to_string(c.Code)), std::string::npos)
            << c.Name << ": " << r.Out;
        EXPECT_FALSE(fs::exists(Dir / "made.exe")) << c.Name;
    }
    // An old target survives a failure whole.
    WriteFile(Dir / "old.exe", "old program");
    EXPECT_NE(RunProbe({"sfx", zip.string(), (Dir / "old.exe").string(), (Dir / "no-such-folder").string()})
                  .ExitCode,
              0);
    EXPECT_EQ(ReadFile(Dir / "old.exe"), "old program");
    EXPECT_EQ(ReadFile(zip).substr(0, 2), "PK");
}

} // namespace

// Without a target the program is named after the archive with ".exe" in place of its
// extension, keeping the case of the name: Data.ZIP and data.zip in one folder give two programs,
// not one that the second overwrites.
TEST_F(MakeSfxTest, TheDefaultTargetKeepsTheArchivesName) {
    const fs::path upper = InfoZip("Data.ZIP");
    WriteFile(Src / "a.txt", "other\n");
    const fs::path lower = InfoZip("data.zip");
    for (const fs::path& zip : {upper, lower})
        ASSERT_EQ(RunProbe({"sfx", zip.string(), ""}).ExitCode, 0) << zip;
    EXPECT_EQ(RunTool({"unzip", "-p", (Dir / "Data.exe").string(), "a.txt"}).Out, "hello\n");
    EXPECT_EQ(RunTool({"unzip", "-p", (Dir / "data.exe").string(), "a.txt"}).Out, "other\n");
}

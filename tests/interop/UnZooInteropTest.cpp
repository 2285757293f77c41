// The zoo reader against the corpus and unar. The corpus has one zoo archive (stored
// entries); the other methods are in archives made here: zoo's LZW coded by the tests'
// encoder, and LZH with the -lh5- data of a corpus lzh archive (zoo's method 2 is that
// coding). unar extracts each archive as well, so the archives are known to be read as zoo
// reads them, and the engine must give the same bytes.
#include "CorpusManifest.h"
#include "ExtractRun.h"
#include "LzhSample.h"
#include "Sha256.h"
#include "TestSupport.h"
#include "ZooBuilder.h"

#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::map<std::string, std::string> FilesOf(const std::map<std::string, std::string>& Tree) {
    std::map<std::string, std::string> out;
    for (const auto& [name, data] : Tree)
        if (name.back() != '/') out[name] = data;
    return out;
}

// Extracts Archive with unar and with the engine; both trees must be equal and not empty.
void ExpectSameAsUnar(const fs::path& Archive, const fs::path& Work) {
    const std::string what = Archive.filename().string();
    const ToolResult t = RunTool({"unar", "-q", "-D", "-o", (Work / "unar").string(), Archive.string()});
    ASSERT_EQ(t.ExitCode, 0) << what << ": " << t.Out << t.Err;
    const auto result = ExtractAll(Archive, Work / "engine");
    EXPECT_TRUE(result.AllPassed()) << what << ": " << result.Describe();
    const auto expected = FilesOf(ReadTree(Work / "unar"));
    EXPECT_FALSE(expected.empty()) << what;
    EXPECT_EQ(CompareTrees(expected, "unar", FilesOf(ReadTree(Work / "engine")), "the engine"), "") << what;
}

} // namespace

TEST(UnZooInterop, CorpusSampleGivesTheManifestContentAndWhatUnarGives) {
    TempDir dir;
    const auto result = ExtractAll(CorpusDir() / "patool/t.zoo", dir / "engine");
    EXPECT_TRUE(result.AllPassed()) << result.Describe();
    int rows = 0;
    for (const ManifestRow& row : ReadManifest()) {
        if (row.Format != "zoo") continue;
        ++rows;
        const std::string data = ReadFile(dir / "engine" / row.Entry);
        EXPECT_EQ(std::to_string(data.size()), row.Size) << row.Archive << ": " << row.Entry;
        EXPECT_EQ(Sha256Hex(data), row.Sha256) << row.Archive << ": " << row.Entry;
    }
    EXPECT_GE(rows, 2);
    TempDir again;
    ExpectSameAsUnar(CorpusDir() / "patool/t.zoo", again.Path());
}

TEST(UnZooInterop, EveryMethodLongNamesAndFoldersMatchUnar) {
    TempDir dir;
    const LzhSample lh5 = FirstLzhEntry("lhasa/lha_unix114i/h0_lh5.lzh", dir.Path());
    ASSERT_EQ(lh5.Method, "-lh5-");
    ASSERT_FALSE(lh5.Plain.empty());
    // Long enough to fill the LZW table several times, so the data cross clear codes.
    const std::string text = TextBytes(200000, 5);
    const std::string random = RandomBytes(30000, 6);
    // unar 1.10 crashes on an LZW entry of random bytes that follows a long LZW text entry:
    // the random one comes first.
    const std::vector<ZooItem> items = {
        {"STORED.BIN", "", "", 0, random, random},
        {"RANDOM.BIN", "", "bin", 1, ZooLzwEncode(random), random},
        {"TEXT.TXT", "a long text name.txt", "docs/more", 1, ZooLzwEncode(text), text},
        {"TINY.TXT", "", "", 1, ZooLzwEncode("z"), "z"},
        {"EMPTY.TXT", "", "", 1, ZooLzwEncode(""), ""},
        {"LH5.TXT", "", "", 2, lh5.Packed, lh5.Plain},
    };
    WriteFile(dir / "made.zoo", MakeZooArchive(items));
    ExpectSameAsUnar(dir / "made.zoo", dir.Path());
    EXPECT_EQ(ReadFile(dir / "engine/docs/more/a long text name.txt"), text);
    EXPECT_EQ(ReadFile(dir / "engine/bin/RANDOM.BIN"), random);
    EXPECT_EQ(ReadFile(dir / "engine/LH5.TXT"), lh5.Plain);
}

// Deleted entries, chains that lead back, damaged data and unknown methods: what is live and
// sound is extracted, the rest fails visibly and leaves files already in place alone.
TEST(UnZooInterop, DeletedEntriesCyclicChainsAndDamage) {
    TempDir dir;
    // A deleted copy before and after the live one: neither may replace it.
    WriteFile(dir / "deleted.zoo", MakeZooArchive({{"SAME.TXT", "", "", 0, "old", "old", true},
                                                   {"SAME.TXT", "", "", 0, "live", "live"},
                                                   {"SAME.TXT", "", "", 0, "gone", "gone", true}}));
    auto result = ExtractAll(dir / "deleted.zoo", dir / "deleted");
    EXPECT_TRUE(result.AllPassed()) << result.Describe();
    EXPECT_EQ(result.Ends.size(), 1u) << result.Describe();
    EXPECT_EQ(ReadFile(dir / "deleted/SAME.TXT"), "live");

    // The second entry leads back to the first: the walk ends with an error, nothing hangs,
    // and the entries before the loop are extracted once.
    WriteFile(dir / "cyclic.zoo",
              MakeZooArchive({{"A.TXT", "", "", 0, "aaa", "aaa"}, {"B.TXT", "", "", 0, "bbb", "bbb"}}, 0));
    result = ExtractAll(dir / "cyclic.zoo", dir / "cyclic");
    EXPECT_TRUE(result.HasError(ecBadFileHeader)) << result.Describe();
    EXPECT_EQ(result.Ends.size(), 2u) << result.Describe();
    EXPECT_EQ(ReadFile(dir / "cyclic/B.TXT"), "bbb");

    const std::string text = TextBytes(50000, 8);
    std::string damaged = ZooLzwEncode(text);
    damaged[damaged.size() / 2] ^= 0x21;
    WriteFile(dir / "bad.zoo",
              MakeZooArchive({{"LZW.TXT", "", "", 1, damaged, text},
                              {"NEW.TXT", "", "", 7, "xxxx", "xxxx"},
                              {"OUT.TXT", "", "../..", 0, "escape", "escape"},
                              {"CUT.TXT", "", "", 1, ZooLzwEncode(text).substr(0, 500), text}}));
    fs::create_directories(dir / "bad");
    for (const char* name : {"LZW.TXT", "NEW.TXT", "CUT.TXT"})
        WriteFile(dir / "bad" / name, "keep me");
    result = ExtractAll(dir / "bad.zoo", dir / "bad");
    EXPECT_EQ(result.FilesFailed, 3) << result.Describe();
    EXPECT_TRUE(result.HasError(ecUnsupportedCompressionMethod)) << result.Describe();
    // A folder that leads out of the destination is refused.
    EXPECT_TRUE(result.HasError(ecInvalidFileName)) << result.Describe();
    EXPECT_FALSE(fs::exists(dir / "OUT.TXT"));
    EXPECT_FALSE(fs::exists(dir.Path().parent_path() / "OUT.TXT"));
    for (const char* name : {"LZW.TXT", "NEW.TXT", "CUT.TXT"})
        EXPECT_EQ(ReadFile(dir / "bad" / name), "keep me") << name;
}

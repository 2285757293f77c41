// The ace bridge driven through the ace library's test double: volumes, passwords, files in
// the way, test runs that hand the data on, the corpus's stored samples, and the error when
// there is no library.
#include "AceBuilder.h"
#include "CorpusManifest.h"
#include "ExtractRun.h"
#include "ListerSupport.h"
#include "TestSupport.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/formats/ace/krvUnAce.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class UnAceBridge : public ::testing::Test {
protected:
    void SetUp() override { TUnACE::LibraryName = QUILLAR_ACE_DOUBLE; }
    void TearDown() override { TUnACE::LibraryName = AceLibraryNameDefault; }
    static inline const std::string AceLibraryNameDefault = TUnACE::LibraryName;

    const std::vector<TAceEntry> Entries = {{"docs/", "", "", true},
                                            {"docs/readme.txt", TextBytes(3000, 1)},
                                            {"data.bin", RandomBytes(10000, 2)},
                                            {"docs/secret.txt", TextBytes(700, 3), "secret"}};

    static std::function<void(TUnBase&)> Answering(std::vector<std::string> Passwords, int* Asked = nullptr) {
        return [Passwords, Asked](TUnBase& Reader) {
            Reader.OnGetPassword = [Passwords, Asked, n = std::size_t{0}](TZipCommon&, const std::string&,
                                                                          std::string& Password,
                                                                          bool& TryAgain) mutable {
                if (Asked) ++*Asked;
                TryAgain = n < Passwords.size();
                Password = TryAgain ? Passwords[n++] : "";
            };
        };
    }
};

// Nothing but the expected files below Dest: no part of a failed entry, no file set aside.
void ExpectTree(const fs::path& Dest, const std::map<std::string, std::string>& Expected) {
    std::map<std::string, std::string> files;
    for (const auto& [name, data] : ReadTree(Dest))
        if (name.back() != '/') files[name] = data;
    EXPECT_EQ(CompareTrees(Expected, "expected", files, "extracted"), "");
}

} // namespace

TEST_F(UnAceBridge, ExtractsVolumesFoundAndSuppliedAndStopsWhenOneIsRefused) {
    for (const int mode : {0, 1, 2}) {
        SCOPED_TRACE(mode == 0   ? "volumes beside the first"
                     : mode == 1 ? "second volume supplied"
                                 : "refused");
        TempDir work, aside, dest;
        const auto files = WriteAceArchive(work / "set.ace", Entries, 4000);
        ASSERT_EQ(files.size(), 4u);
        if (mode > 0) fs::rename(files[1], aside / files[1].filename());
        std::vector<std::string> asked;
        const ExtractResult result = ExtractAll(files[0], dest.Path(), [&](TUnBase& Reader) {
            Answering({"secret"})(Reader);
            Reader.OnNextVolume = [&](TZipCommon&, std::string& Name, const std::string&, bool,
                                      bool& Cancel) {
                asked.push_back(fs::path(Name).filename().string());
                Cancel = mode == 2;
                if (mode == 1 && fs::path(Name).filename() == files[1].filename())
                    Name = (aside / files[1].filename()).string();
            };
        });
        // Volumes beside the one before are found by the library without a question; after
        // one supplied from elsewhere the next is offered from beside the first.
        const std::vector<std::string> expectedAsks = mode == 0 ? std::vector<std::string>{}
                                                      : mode == 1
                                                          ? std::vector<std::string>{"set.c00", "set.c01"}
                                                          : std::vector<std::string>{"set.c00"};
        EXPECT_EQ(asked, expectedAsks);
        if (mode < 2) {
            EXPECT_TRUE(result.AllPassed()) << result.Describe();
            ExpectTree(dest.Path(), {{"docs/readme.txt", Entries[1].Data},
                                     {"data.bin", Entries[2].Data},
                                     {"docs/secret.txt", Entries[3].Data}});
        } else {
            EXPECT_TRUE(result.HasError(ecUserCanceled)) << result.Describe();
            ExpectTree(dest.Path(), {{"docs/readme.txt", Entries[1].Data}});
        }
    }
}

TEST_F(UnAceBridge, PasswordsRightWrongRefusedAndEmpty) {
    struct TCase {
        const char* What;
        std::vector<std::string> Answers;
        int Code; // the error reported, 0 for none
        bool Extracted;
    };
    const std::vector<TCase> cases = {{"right", {"secret"}, 0, true},
                                      {"wrong: the CRC fails", {"guess"}, 0, false},
                                      {"refused", {}, ecInvalidPassword, false},
                                      {"empty three times", {"", "", ""}, ecPasswordFailed, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir work, dest;
        WriteAceArchive(work / "p.ace", {Entries[3]});
        fs::create_directories(dest / "docs");
        WriteFile(dest / "docs/secret.txt", "old");
        int asked = 0;
        const ExtractResult result = ExtractAll(work / "p.ace", dest.Path(), Answering(c.Answers, &asked));
        EXPECT_EQ(result.AllPassed(), c.Extracted) << result.Describe();
        if (c.Code) {
            EXPECT_TRUE(result.HasError(c.Code)) << result.Describe();
        }
        EXPECT_EQ(asked, c.Answers.empty() ? 1 : static_cast<int>(c.Answers.size()));
        ExpectTree(dest.Path(), {{"docs/secret.txt", c.Extracted ? Entries[3].Data : "old"}});
    }
}

TEST_F(UnAceBridge, FilesInTheWayAreKeptSkippedOrReplacedOnlyByAGoodEntry) {
    struct TCase {
        const char* What;
        TOverwriteMode Mode;
        bool BadCrc;
        bool Rename; // OnFileExists gives another name
    };
    const std::vector<TCase> cases = {{"skip", omSkip, false, false},
                                      {"overwrite", omOverwrite, false, false},
                                      {"overwrite with a damaged entry", omOverwrite, true, false},
                                      {"renamed by the host", omOverwrite, false, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir work, dest;
        TAceEntry entry{"a.txt", "new content"};
        entry.BadCrc = c.BadCrc;
        WriteAceArchive(work / "o.ace", {entry, {"b.txt", "fresh"}});
        WriteFile(dest / "a.txt", "old content");
        const ExtractResult result = ExtractAll(work / "o.ace", dest.Path(), [&](TUnBase& Reader) {
            Reader.OverwriteMode = c.Mode;
            Reader.ConfirmOverwrites = c.Rename;
            Reader.OnFileExists = [&](TZipCommon&, const std::string& Name, std::string& NewName,
                                      TOverwriteMode& Mode) {
                NewName = Name + ".2";
                Mode = omOverwrite;
            };
        });
        std::map<std::string, std::string> expected{{"b.txt", "fresh"}};
        expected["a.txt"] = c.Mode == omOverwrite && !c.BadCrc && !c.Rename ? "new content" : "old content";
        if (c.Rename) expected["a.txt.2"] = "new content";
        ExpectTree(dest.Path(), expected);
        EXPECT_EQ(result.AllPassed(), !c.BadCrc) << result.Describe();
    }
}

TEST_F(UnAceBridge, ATestRunHandsEveryEntrysDataOnAndJudgesIt) {
    TempDir work;
    std::vector<TAceEntry> entries = Entries;
    entries.push_back({"bad.bin", "damaged", "", false, true});
    WriteAceArchive(work / "t.ace", entries);
    TUnACE reader;
    reader.SetArchiveFile((work / "t.ace").string());
    reader.FileSpec = {"*"};
    Answering({"secret"})(reader);
    std::string seen;
    reader.WriteRoutine = [&](TStream32*, void* Buffer, std::int64_t Count, bool, int, bool) {
        seen.append(static_cast<const char*>(Buffer), static_cast<std::size_t>(Count));
        return Count;
    };
    std::vector<std::pair<std::string, bool>> ends;
    reader.OnEnd = [&](TZipCommon&, const std::string& Name, bool Passed) {
        ends.emplace_back(Name, Passed);
    };
    reader.ExtractNoOutput();
    EXPECT_EQ(seen, Entries[1].Data + Entries[2].Data + Entries[3].Data + "damaged");
    const std::vector<std::pair<std::string, bool>> expected = {
        {"docs/readme.txt", true}, {"data.bin", true}, {"docs/secret.txt", true}, {"bad.bin", false}};
    EXPECT_EQ(ends, expected);
}

TEST_F(UnAceBridge, WithoutStoredFoldersEveryFileLandsInTheDestination) {
    TempDir work, dest;
    WriteAceArchive(work / "f.ace", {Entries[0], Entries[1], {"deep/er/x.bin", "x"}});
    const ExtractResult result =
        ExtractAll(work / "f.ace", dest.Path(), [](TUnBase& Reader) { Reader.UseStoredDirs = false; });
    EXPECT_TRUE(result.AllPassed()) << result.Describe();
    ExpectTree(dest.Path(), {{"readme.txt", Entries[1].Data}, {"x.bin", "x"}});
}

TEST_F(UnAceBridge, StoredCorpusSamplesExtractAndOthersFailAsUnsupported) {
    int matched = 0;
    for (const auto& [archive, rows] : ManifestArchives("sharpcompress/ace/")) {
        TempDir dest;
        const ExtractResult result = ExtractAll(CorpusDir() / archive, dest.Path(),
                                                [](TUnBase& Reader) { Reader.UseStoredDirs = true; });
        const bool stored = archive.find("store") != std::string::npos;
        for (const ManifestRow& row : rows) {
            if (row.Entry.back() == '/') continue;
            if (stored) {
                EXPECT_EQ(ManifestMismatch(row, dest.Path()), "");
                ++matched;
            } else {
                EXPECT_FALSE(fs::exists(dest / row.Entry)) << archive << ": " << row.Entry;
            }
        }
        if (stored)
            EXPECT_TRUE(result.AllPassed()) << archive << result.Describe();
        else
            EXPECT_FALSE(result.Errors.empty()) << archive;
        // The lister lists every sample whatever the library can do.
        const TListing listing = ListArchive((CorpusDir() / archive).string());
        EXPECT_TRUE(listing.Result) << archive;
    }
    EXPECT_EQ(matched, 6);
}

TEST(UnAceLibrary, WithoutTheLibraryExtractionReportsItsError) {
    TempDir work, dest;
    WriteAceArchive(work / "n.ace", {{"a.txt", "text"}});
    const ExtractResult result = ExtractAll(work / "n.ace", dest.Path());
    ASSERT_TRUE(result.ReaderFound);
    EXPECT_EQ(result.CountOf(ecErrorLoadingUnacev2Dll), 1) << result.Describe();
    EXPECT_TRUE(fs::is_empty(dest.Path()));
}

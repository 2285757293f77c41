// The reader base: selection by masks, name helpers, and the per-entry protocol (overwrite
// questions, passwords, verdict, outputs put in place only after the verdict) driven by a
// reader whose entries come from a script instead of an archive.
#include "engine/core/krvUnBase.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvErrorCodes.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;

namespace {

struct TScriptEntry {
    std::string Name;
    std::string Data;
    bool Directory = false;
    bool Encrypted = false;
    bool ComplementCrc = false; // store the CRC's complement, which passes as well
    bool BadCrc = false;
};

// A reader whose entries come from a script. Its password fits when it is "right".
class TScriptedReader : public TUnBase {
public:
    std::vector<TScriptEntry> Entries;
    std::vector<std::pair<std::string, int>> Errors;
    std::vector<std::pair<std::string, bool>> Ends;
    int Asked = 0;

    explicit TScriptedReader(const fs::path& Archive) {
        SetArchiveFile(Archive.string());
        FileSpec = {"*"};
        OnError = [this](TZipCommon&, const std::string& F, const std::string&, const std::string&, int C) {
            Errors.emplace_back(F, C);
        };
        OnEnd = [this](TZipCommon&, const std::string& F, bool P) { Ends.emplace_back(F, P); };
    }
    int CountOf(int Code) const {
        int n = 0;
        for (const auto& e : Errors)
            n += e.second == Code;
        return n;
    }

protected:
    int DoExtract(std::unique_ptr<TFileStream32>& Archive) override {
        for (const TScriptEntry& e : Entries) {
            if (!MatchEntrySpec(e.Name)) continue;
            SetCurrentFileName(e.Name);
            if (!ConfirmExtractFile(e.Directory)) {
                SkipEntry(std::ssize(e.Data));
                continue;
            }
            std::uint32_t crc = 0xFFFFFFFF;
            UpdateCrc32Buf(e.Data.data(), std::ssize(e.Data), crc);
            crc = e.ComplementCrc ? crc : crc ^ 0xFFFFFFFF;
            if (e.BadCrc) crc ^= 1;
            if (e.Encrypted && !PasswordFailed) {
                Archive->Seek(0, soBeginning);
                if (!CheckPassword(*Archive)) PasswordFailed = true;
            }
            if (e.Directory) {
                RunningCrc32 = crc;
            } else if (!OpenOutputFile(e.Name, FileName, e.Encrypted)) {
                MarkEntryFailed();
            } else {
                RunningCrc32 = 0xFFFFFFFF;
                std::string data = e.Data;
                WriteRoutine(OutputStream(), data.data(), std::ssize(data), true, 32, false);
                RunningCrc32 ^= 0xFFFFFFFF;
                CloseOutputFile(0x20, 0);
            }
            CheckCrc(32, crc);
        }
        return 0;
    }
    bool CheckEncryptionHeader(std::span<std::uint8_t, 2 * CryptHeaderSize>) override {
        return Password == "right";
    }
};

class UnBaseTest : public ::testing::Test {
protected:
    void SetUp() override { WriteFile(Archive, RandomBytes(64)); }
    TempDir Dir;
    fs::path Archive = Dir / "archive.bin";
    fs::path Dest = Dir / "out";
};

} // namespace

TEST(UnBaseSelection, MasksSelectByTheFolderRule) {
    const std::vector<std::string> none;
    // "*.*" selects a name without a dot through the added dot.
    EXPECT_TRUE(TUnBase::MatchEntrySpec("README", {"*.*"}, none, true));
    EXPECT_TRUE(TUnBase::MatchEntrySpec("docs/README", {"*.*"}, none, true));
    // Without recursion the mask's folder must be the entry's own.
    EXPECT_TRUE(TUnBase::MatchEntrySpec("docs/a.txt", {"docs\\*.txt"}, none, false));
    EXPECT_FALSE(TUnBase::MatchEntrySpec("docs/sub/a.txt", {"docs\\*.txt"}, none, false));
    EXPECT_FALSE(TUnBase::MatchEntrySpec("docs/a.txt", {"*.txt"}, none, false));
    EXPECT_TRUE(TUnBase::MatchEntrySpec("a.txt", {"*.txt"}, none, false));
    // With recursion a mask without folder tests the file name, one with a folder the whole name.
    EXPECT_TRUE(TUnBase::MatchEntrySpec("docs/sub/a.TXT", {"*.txt"}, none, true));
    EXPECT_TRUE(TUnBase::MatchEntrySpec("docs/sub/a.txt", {"docs/*.txt"}, none, true));
    EXPECT_FALSE(TUnBase::MatchEntrySpec("other/a.txt", {"docs/*.txt"}, none, true));
    // Exclusion, except for a mask that names the entry exactly.
    EXPECT_FALSE(TUnBase::MatchEntrySpec("a.bak", {"*"}, {"*.bak"}, true));
    EXPECT_TRUE(TUnBase::MatchEntrySpec("a.bak", {"a.bak"}, {"*.bak"}, true));
    // Nothing is selected without a mask, and an empty name never.
    EXPECT_FALSE(TUnBase::MatchEntrySpec("a.txt", none, none, true));
    EXPECT_FALSE(TUnBase::MatchEntrySpec("", {"*"}, none, true));
}

TEST(UnBaseSelection, MatchingNeverChangesTheMasksSoOrderDoesNotMatter) {
    const std::vector<std::string> masks{"READ*", "*.", "x*.*"};
    const std::vector<std::string> copy = masks;
    const std::vector<std::string> names{"README", "xa", "README.md", "xb.txt", "y"};
    std::vector<bool> forward, backward(names.size());
    for (const auto& n : names)
        forward.push_back(TUnBase::MatchEntrySpec(n, masks, {}, true));
    for (std::size_t i = names.size(); i-- > 0;)
        backward[i] = TUnBase::MatchEntrySpec(names[i], masks, {}, true);
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(masks, copy);
    EXPECT_EQ(forward, (std::vector<bool>{true, true, true, true, true}));
}

TEST(UnBaseSelection, NameHelpers) {
    EXPECT_EQ(TUnBase::ExtractPathOf("a\\b\\c.txt"), "a\\b");
    EXPECT_EQ(TUnBase::ExtractPathOf("a/b/c.txt"), "a/b");
    EXPECT_EQ(TUnBase::ExtractPathOf("C:\\x.txt"), "C:\\");
    EXPECT_EQ(TUnBase::ExtractPathOf("C:\\"), "C:\\");
    EXPECT_EQ(TUnBase::ExtractPathOf("\\x.txt"), "\\");
    EXPECT_EQ(TUnBase::ExtractPathOf("x.txt"), "");
    EXPECT_EQ(TUnBase::ShiftChars(false, "ab", 1), "bc");
    EXPECT_EQ(TUnBase::ShiftChars(true, std::string(1, '\0'), 1), "\xFF");
    EXPECT_TRUE(TUnBase::MatchFileSpec("README", {"*.*"}, {}));
    EXPECT_FALSE(TUnBase::MatchFileSpec("a.bak", {"*.*"}, {"*.bak"}));
    EXPECT_FALSE(TUnBase::MatchFileSpec("a.txt", {"*.doc"}, {}));
}

TEST_F(UnBaseTest, ExistingFileIsReplacedOnlyByAPassedEntry) {
    fs::create_directories(Dest);
    WriteFile(Dest / "good.txt", "old good");
    WriteFile(Dest / "bad.txt", "old bad");
    TScriptedReader r(Archive);
    r.SetExtractDir(Dest.string());
    r.Entries = {
        {"good.txt", "new good"}, {"bad.txt", "new bad", false, false, false, true}, {"new.txt", "n"}};
    EXPECT_EQ(r.Extract(), 2);
    EXPECT_EQ(ReadFile(Dest / "good.txt"), "new good");
    EXPECT_EQ(ReadFile(Dest / "bad.txt"), "old bad");
    EXPECT_EQ(ReadFile(Dest / "new.txt"), "n");
    EXPECT_EQ(r.FilesFailed, 1);
    // No temporary file is left beside them.
    EXPECT_EQ(std::distance(fs::directory_iterator(Dest), fs::directory_iterator()), 3);
}

TEST_F(UnBaseTest, ComplementedCrcPassesAndAFailedNewFileLeavesNothing) {
    TScriptedReader r(Archive);
    r.SetExtractDir(Dest.string());
    r.Entries = {{"c.txt", "data", false, false, true}, {"f.txt", "data", false, false, false, true}};
    r.OnEnd = nullptr; // without OnEnd a failed verdict is reported as 25151
    r.Extract();
    EXPECT_EQ(ReadFile(Dest / "c.txt"), "data");
    EXPECT_FALSE(fs::exists(Dest / "f.txt"));
    EXPECT_EQ(r.CountOf(ecFileFailsCRCCheck), 1);
}

// "No to all" at the overwrite question leaves the reader unconfirmed in skip mode: the files
// that do not exist yet must still come out, or the run would end with them silently missing.
TEST_F(UnBaseTest, SkipModeSkipsExistingFilesOnly) {
    fs::create_directories(Dest);
    WriteFile(Dest / "old.txt", "keep");
    TScriptedReader r(Archive);
    r.SetExtractDir(Dest.string());
    r.OverwriteMode = omSkip;
    r.Entries = {{"old.txt", "replace"}, {"new.txt", "fresh"}};
    EXPECT_EQ(r.Extract(), 1);
    EXPECT_EQ(ReadFile(Dest / "old.txt"), "keep");
    EXPECT_EQ(ReadFile(Dest / "new.txt"), "fresh");
}

TEST_F(UnBaseTest, FileExistsQuestionCanRenameUntilTheNameIsFree) {
    fs::create_directories(Dest);
    WriteFile(Dest / "a.txt", "a");
    WriteFile(Dest / "b.txt", "b");
    TScriptedReader r(Archive);
    r.SetExtractDir(Dest.string());
    r.ConfirmOverwrites = true;
    std::vector<std::string> asked;
    r.OnFileExists = [&](TZipCommon&, const std::string& Name, std::string& NewName, TOverwriteMode& Mode) {
        asked.push_back(fs::path(Name).filename().string());
        NewName = (Dest / (asked.size() == 1 ? "b.txt" : "c.txt")).string();
        Mode = omOverwrite;
    };
    r.Entries = {{"a.txt", "new"}};
    EXPECT_EQ(r.Extract(), 1);
    EXPECT_EQ(asked, (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(ReadFile(Dest / "a.txt"), "a");
    EXPECT_EQ(ReadFile(Dest / "b.txt"), "b");
    EXPECT_EQ(ReadFile(Dest / "c.txt"), "new");
}

TEST_F(UnBaseTest, FileExistsQuestionIsRequiredWhenConfirming) {
    fs::create_directories(Dest);
    WriteFile(Dest / "a.txt", "a");
    TScriptedReader r(Archive);
    r.SetExtractDir(Dest.string());
    r.ConfirmOverwrites = true;
    r.Entries = {{"a.txt", "new"}};
    EXPECT_EQ(r.Extract(), 0);
    EXPECT_EQ(r.CountOf(ecRequiredEventNotAssigned), 1);
    EXPECT_EQ(ReadFile(Dest / "a.txt"), "a");
}

TEST_F(UnBaseTest, ReadOnlyTargetIsReplacedAndAReadOnlySystemFileRefused) {
    fs::create_directories(Dest);
    WriteFile(Dest / "ro.txt", "old");
    ASSERT_EQ(::chmod((Dest / "ro.txt").c_str(), 0444), 0);
    ASSERT_EQ(::mkfifo((Dest / "fifo").c_str(), 0444), 0);
    TScriptedReader r(Archive);
    r.SetExtractDir(Dest.string());
    r.Entries = {{"ro.txt", "new"}, {"fifo", "x"}};
    EXPECT_EQ(r.Extract(), 1);
    EXPECT_EQ(ReadFile(Dest / "ro.txt"), "new");
    EXPECT_EQ(r.CountOf(ecErrorWritingToFile), 1);
    EXPECT_TRUE(fs::is_fifo(Dest / "fifo"));
}

TEST_F(UnBaseTest, PasswordsAreTriedThenAskedForAndAFailureSkipsLaterEntries) {
    TScriptedReader r(Archive);
    r.SetExtractDir(Dest.string());
    r.Passwords = {"one", "right"};
    r.Entries = {{"a.txt", "a", false, true}};
    r.Extract();
    EXPECT_EQ(ReadFile(Dest / "a.txt"), "a");

    TScriptedReader asking(Archive);
    asking.SetExtractDir(Dest.string());
    asking.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& Password, bool& TryAgain) {
        ++asking.Asked;
        Password = "wrong";
        TryAgain = true;
    };
    asking.Entries = {{"b.txt", "b", false, true}, {"c.txt", "c", false, true}, {"d.txt", "d"}};
    EXPECT_EQ(asking.Extract(), 1);
    EXPECT_EQ(asking.Asked, 3);
    EXPECT_EQ(asking.CountOf(ecInvalidPassword), 3);
    EXPECT_FALSE(fs::exists(Dest / "b.txt"));
    EXPECT_FALSE(fs::exists(Dest / "c.txt"));
    EXPECT_EQ(ReadFile(Dest / "d.txt"), "d");

    TScriptedReader found(Archive);
    found.SetExtractDir(Dest.string());
    found.OnGetPassword = [&](TZipCommon&, const std::string&, std::string& Password, bool&) {
        Password = "right";
    };
    found.Entries = {{"e.txt", "e", false, true}};
    found.Extract();
    EXPECT_EQ(found.Passwords.front(), "right");
}

TEST_F(UnBaseTest, MissingArchiveIsReportedAndTheRunStillEnds) {
    TScriptedReader r(Archive);
    int deactivated = 0;
    r.OnDeactivate = [&](TZipCommon&) { ++deactivated; };
    r.SetArchiveFile("");
    EXPECT_EQ(r.Extract(), 0);
    EXPECT_EQ(r.CountOf(ecFileNotFound), 1);
    EXPECT_EQ(deactivated, 1);
}

namespace {

class TTrashHost : public EngineHost {
public:
    std::vector<std::string>* Moved = nullptr;

protected:
    bool DoMoveToTrash(const std::string& Path) override {
        Moved->push_back(Path);
        return true;
    }
};

} // namespace

TEST(UnBaseErase, ToTheTrashOrForGood) {
    TempDir dir;
    WriteFile(dir / "a", "a");
    std::vector<std::string> moved;
    auto host = std::make_unique<TTrashHost>();
    host->Moved = &moved;
    auto previous = EngineHost::Install(std::move(host));
    EXPECT_TRUE(TUnBase::EraseFile((dir / "a").string(), doAllowUndo));
    EXPECT_FALSE(TUnBase::EraseFile((dir / "missing").string(), doAllowUndo));
    EngineHost::Install(std::move(previous));
    EXPECT_EQ(moved, std::vector<std::string>{(dir / "a").string()});
    EXPECT_TRUE(TUnBase::EraseFile((dir / "a").string(), doFinal));
    EXPECT_FALSE(fs::exists(dir / "a"));
}

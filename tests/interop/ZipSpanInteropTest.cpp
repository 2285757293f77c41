// Spanning zip archives over removable disks, with folders standing in for the disks: the
// pieces joined by Info-ZIP's zip pass unzip's test and extract to their sources; every disk
// prompt can be cancelled; without a disk prompt nothing is written.
#include "engine/formats/zip/krvZip.h"
#include "engine/formats/zip/krvZipSpan.h"
#include "platform/Drives.h"

#include "DiskRequests.h"
#include "ExtractRun.h"
#include "FloppyDrive.h"
#include "TestSupport.h"
#include "ZipInspect.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <map>

using namespace testsupport;

namespace {

class ZipSpanTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Src);
        fs::create_directories(Pieces);
        fs::create_directories(Temp);
    }
    void TearDown() override { TDrives::Install(std::move(Previous)); }

    TFloppyDrive& InstallDrive(std::uint64_t Quota) {
        auto drive = std::make_unique<TFloppyDrive>(Mount, Quota);
        TFloppyDrive* d = drive.get();
        Previous = TDrives::Install(std::move(drive));
        return *d;
    }

    std::unique_ptr<TZip> Writer() {
        auto z = std::make_unique<TZip>();
        z->SetArchiveFile((Mount / "set.zip").string());
        z->SetTempDir(Temp.string());
        z->FileSpec = {(Src / "*").string()};
        z->OnError = [this](TZipCommon&, const std::string&, const std::string&, const std::string&,
                            int Code) { Errors.push_back(Code); };
        return z;
    }

    // Takes the disk out: its file becomes the next piece of the set (set.z01, set.z02 ...).
    void TakeOutDisk(TFloppyDrive& Drive) {
        if (fs::exists(Mount / "set.zip")) {
            char name[32];
            std::snprintf(name, sizeof name, "set.z%02d", ++PiecesTaken);
            fs::rename(Mount / "set.zip", Pieces / name);
        }
        ++Drive.Serial;
        Drive.Label.clear();
    }

    // Joins the pieces with Info-ZIP and checks the joined archive.
    void ExpectJoinedSetIsSound() {
        ASSERT_TRUE(fs::exists(Mount / "set.zip"));
        fs::rename(Mount / "set.zip", Pieces / "set.zip");
        const fs::path joined = Dir / "joined.zip";
        const ToolResult j =
            RunTool({"zip", "-q", "-s", "0", (Pieces / "set.zip").string(), "--out", joined.string()});
        ASSERT_EQ(j.ExitCode, 0) << j.Out << j.Err;
        const ToolResult t = RunTool({"unzip", "-t", joined.string()});
        EXPECT_EQ(t.ExitCode, 0) << t.Out << t.Err;
        TempDir out;
        ASSERT_EQ(RunTool({"unzip", "-q", joined.string(), "-d", out.Str()}).ExitCode, 0);
        std::map<std::string, std::string> got, want;
        for (const auto& f : fs::recursive_directory_iterator(out.Path()))
            if (f.is_regular_file()) got[fs::relative(f.path(), out.Path()).string()] = ReadFile(f.path());
        for (const auto& f : fs::recursive_directory_iterator(Src))
            if (f.is_regular_file()) want[fs::relative(f.path(), Src).string()] = ReadFile(f.path());
        EXPECT_EQ(got, want);
    }

    // The engine's reader takes the disks of Pieces back, the directory from the disk where
    // it starts, and extracts the source.
    void ExpectEngineReadsTheDisks(TFloppyDrive& Drive, std::size_t Entries) {
        const std::vector<fs::path> disks = SplitPieces(Pieces / "set.zip");
        auto insert = [&](int Number) {
            Drive.InsertDisk(disks.at(Number - 1), "set.zip", Number);
            return true;
        };
        insert(static_cast<int>(disks.size()));
        const ExtractResult back = ExtractAll(Mount / "set.zip", Dir / "back", [&](TUnBase& Reader) {
            AnswerDiskRequests(Reader, {static_cast<int>(disks.size()), insert});
        });
        EXPECT_TRUE(back.AllPassed()) << back.Describe();
        EXPECT_EQ(back.Ends.size(), Entries);
        EXPECT_EQ(
            CompareTrees(ReadTree(Src), "the source", ReadTree(Dir / "back"), "the engine from the disks"),
            "");
    }

    TempDir Dir;
    fs::path Src = Dir / "src";
    fs::path Mount = Dir / "floppy";
    fs::path Pieces = Dir / "pieces";
    fs::path Temp = Dir / "temp";
    int PiecesTaken = 0;
    std::vector<int> Errors;
    std::unique_ptr<TDrives> Previous;
};

TEST_F(ZipSpanTest, AnArchiveThatFitsTakesOneDiskWithoutAskingAndWithoutMarker) {
    TFloppyDrive& drive = InstallDrive(1457664);
    WriteFile(Src / "a.txt", TextBytes(20000, 1));
    auto z = Writer();
    int prompts = 0;
    z->OnInsertDisk = [&](TZipCommon&, const std::string&, bool&) { ++prompts; };
    EXPECT_EQ(z->Compress(), 1);
    EXPECT_EQ(prompts, 0);
    EXPECT_EQ(drive.Labels, std::vector<std::string>{"PKBACK# 001"});
    const std::string bytes = ReadFile(Mount / "set.zip");
    EXPECT_EQ(bytes.substr(0, 4), std::string("PK\x03\x04", 4));
    EXPECT_EQ(RunTool({"unzip", "-t", (Mount / "set.zip").string()}).ExitCode, 0);
    EXPECT_TRUE(fs::is_empty(Temp));
}

TEST_F(ZipSpanTest, ALargeArchiveSpansDisksThatJoinIntoASoundArchive) {
    TFloppyDrive& drive = InstallDrive(40000);
    WriteFile(Src / "random.bin", RandomBytes(90000, 2));
    WriteFile(Src / "text.txt", TextBytes(60000, 3));
    for (int i = 0; i < 120; ++i) // a directory that itself spans disks
        WriteFile(Src /
                      ("a-rather-long-file-name-to-grow-the-central-directory-" + std::to_string(i) + ".txt"),
                  std::to_string(i));
    auto z = Writer();
    std::vector<std::string> asked;
    z->OnInsertDisk = [&](TZipCommon&, const std::string& Volume, bool& Cancel) {
        asked.push_back(Volume);
        TakeOutDisk(drive);
        Cancel = false;
    };
    EXPECT_EQ(z->Compress(), 122);
    EXPECT_TRUE(Errors.empty());
    ASSERT_GE(asked.size(), 2U);
    EXPECT_EQ(asked.front(), "2");
    EXPECT_EQ(drive.Labels.back(), TDiskSpanObj::DiskLabel(static_cast<int>(asked.size()) + 1));
    EXPECT_EQ(ReadFile(Pieces / "set.z01").substr(0, 4), std::string("PK\x07\x08", 4));

    // The end record on the last disk.
    const std::string last = ReadFile(Mount / "set.zip");
    const TZipEndRecord end =
        TZipEndRecord::FromBytes(reinterpret_cast<const std::uint8_t*>(last.data()) + last.size() - 22);
    EXPECT_EQ(end.ThisDisk, asked.size());
    EXPECT_EQ(end.TotalEntries, 122);
    EXPECT_LT(end.CentralDisk, end.ThisDisk); // the directory begins on an earlier disk
    EXPECT_LT(end.EntriesOnDisk, end.TotalEntries);
    ExpectJoinedSetIsSound();
    EXPECT_TRUE(fs::is_empty(Temp));

    ASSERT_EQ(SplitPieces(Pieces / "set.zip").size(), end.ThisDisk + 1U);
    ExpectEngineReadsTheDisks(drive, 122);
}

TEST_F(ZipSpanTest, DisksThatTakeNoLabelAreWrittenUnlabelledAndSaidSo) {
    TFloppyDrive& drive = InstallDrive(40000);
    drive.TakesLabels = false;
    std::vector<std::string> warnings;
    {
        // An archive that fits is put in place whole: the label is a warning after it.
        WriteFile(Src / "a.txt", TextBytes(3000, 1));
        auto z = Writer();
        z->OnInsertDisk = [](TZipCommon&, const std::string&, bool&) { ADD_FAILURE() << "asked"; };
        z->OnWarning = [&](TZipCommon&, const std::string&, const std::string& Text) {
            warnings.push_back(Text);
        };
        EXPECT_EQ(z->Compress(), 1);
        EXPECT_EQ(Errors, std::vector<int>{});
        ASSERT_EQ(warnings.size(), 1U);
        EXPECT_NE(warnings[0].find(TDiskSpanObj::DiskLabel(1)), std::string::npos);
        EXPECT_EQ(RunTool({"unzip", "-t", (Mount / "set.zip").string()}).ExitCode, 0);
        fs::remove(Src / "a.txt");
        fs::remove(Mount / "set.zip");
        warnings.clear();
    }
    WriteFile(Src / "random.bin", RandomBytes(90000, 4));
    auto z = Writer();
    int disks = 1;
    z->OnInsertDisk = [&](TZipCommon&, const std::string&, bool& Cancel) {
        ++disks;
        TakeOutDisk(drive);
        Cancel = false;
    };
    z->OnWarning = [&](TZipCommon&, const std::string&, const std::string& Text) {
        warnings.push_back(Text);
    };
    EXPECT_EQ(z->Compress(), 1);
    EXPECT_TRUE(Errors.empty());
    ASSERT_GE(disks, 3);
    EXPECT_EQ(warnings.size(), static_cast<std::size_t>(disks));
    EXPECT_NE(warnings.back().find(TDiskSpanObj::DiskLabel(disks)), std::string::npos);
    EXPECT_TRUE(drive.Labels.empty());
    ExpectJoinedSetIsSound();
}

TEST_F(ZipSpanTest, EncipheredHeadersSpanDisksTheReaderTakesBack) {
    TFloppyDrive& drive = InstallDrive(30000);
    WriteFile(Src / "random.bin", RandomBytes(50000, 4));
    for (int i = 0; i < 40; ++i)
        WriteFile(Src / ("name-" + std::to_string(i) + ".txt"), TextBytes(300, i));
    auto z = Writer();
    z->EncryptHeaders = true;
    z->OnInsertDisk = [&](TZipCommon&, const std::string&, bool& Cancel) {
        TakeOutDisk(drive);
        Cancel = false;
    };
    EXPECT_EQ(z->Compress(), 41);
    EXPECT_TRUE(Errors.empty());
    ASSERT_TRUE(fs::exists(Pieces / "set.z01"));
    fs::rename(Mount / "set.zip", Pieces / "set.zip");
    ExpectEngineReadsTheDisks(drive, 41);
}

TEST_F(ZipSpanTest, TheSameDiskInsertedAgainIsAskedForAgain) {
    TFloppyDrive& drive = InstallDrive(30000);
    WriteFile(Src / "random.bin", RandomBytes(80000, 4));
    auto z = Writer();
    int prompts = 0;
    z->OnInsertDisk = [&](TZipCommon&, const std::string&, bool& Cancel) {
        if (++prompts % 2 == 0) TakeOutDisk(drive); // every other time the old disk stays in
        Cancel = false;
    };
    // The disk left in the drive holds its own piece: it is never offered for overwriting.
    z->OnDiskSpanFileExists = [](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& Mode) {
        ADD_FAILURE() << "asked to overwrite the disk just written";
        Mode = omSkip;
    };
    EXPECT_EQ(z->Compress(), 1);
    EXPECT_GE(prompts, 4);
    ExpectJoinedSetIsSound();
}

TEST_F(ZipSpanTest, TheArchiveIsBuiltInAFreshFileOfTheTemporaryFolderAndNoLinkThereIsFollowed) {
    TFloppyDrive& drive = InstallDrive(30000);
    WriteFile(Src / "random.bin", RandomBytes(80000, 6));
    const fs::path elsewhere = Dir / "elsewhere";
    fs::create_directories(elsewhere);
    WriteFile(elsewhere / "victim.zip", "keep");
    for (const char* planted : {"krvspan.zip", "krvspan.tmp", "krvspan"})
        fs::create_symlink(elsewhere / "victim.zip", Temp / planted);
    auto names = [](const fs::path& Folder) {
        std::vector<std::string> all;
        for (const auto& e : fs::directory_iterator(Folder))
            if (!e.is_symlink()) all.push_back(e.path().filename().string());
        return all;
    };
    auto z = Writer();
    std::vector<std::string> scratch;
    z->OnInsertDisk = [&](TZipCommon&, const std::string&, bool& Cancel) {
        scratch = names(Temp);
        EXPECT_EQ(names(elsewhere), std::vector<std::string>{"victim.zip"});
        TakeOutDisk(drive);
        Cancel = false;
    };
    EXPECT_EQ(z->Compress(), 1);
    ASSERT_EQ(scratch.size(), 1U) << "the archive is built in one new file of the temporary folder";
    EXPECT_EQ(scratch[0].rfind("krv", 0), 0U);
    EXPECT_EQ(ReadFile(elsewhere / "victim.zip"), "keep");
    EXPECT_TRUE(names(Temp).empty());
    EXPECT_TRUE(fs::is_symlink(Temp / "krvspan.zip"));
    ExpectJoinedSetIsSound();
}

TEST_F(ZipSpanTest, EveryPromptCancelsCleanly) {
    for (int cancelAt = 1; cancelAt <= 3; ++cancelAt) {
        SCOPED_TRACE(cancelAt);
        TFloppyDrive& drive = InstallDrive(30000);
        WriteFile(Src / "random.bin", RandomBytes(100000, 5));
        auto z = Writer();
        int prompts = 0;
        z->OnInsertDisk = [&](TZipCommon&, const std::string&, bool& Cancel) {
            if (++prompts == cancelAt) return; // Cancel stays set
            TakeOutDisk(drive);
            Cancel = false;
        };
        Errors.clear();
        EXPECT_EQ(z->Compress(), 0);
        EXPECT_EQ(prompts, cancelAt);
        EXPECT_NE(std::find(Errors.begin(), Errors.end(), ecUserCanceled), Errors.end());
        EXPECT_TRUE(fs::is_empty(Temp));
        EXPECT_TRUE(fs::exists(Src / "random.bin"));
        fs::remove_all(Mount);
        fs::remove_all(Pieces);
        fs::create_directories(Pieces);
        PiecesTaken = 0;
        TDrives::Install(std::move(Previous));
    }
}

TEST_F(ZipSpanTest, ClearingADiskAndAnExistingFileAreAskedAbout) {
    TFloppyDrive& drive = InstallDrive(30000);
    WriteFile(Src / "random.bin", RandomBytes(40000, 6));
    // The first disk holds another file; the second a file of the archive's name (a piece of
    // another set).
    WriteFile(Mount / "other.dat", std::string(25000, 'x'));
    auto z = Writer();
    z->DeleteOptions = doFinal;
    std::vector<std::string> events;
    z->OnInsertDisk = [&](TZipCommon&, const std::string& Volume, bool& Cancel) {
        events.push_back("insert " + Volume);
        if (Volume != "1") {
            TakeOutDisk(drive);
            WriteFile(Mount / "set.zip", "a piece of another set");
        }
        Cancel = false;
    };
    z->OnDiskSpanFileExists = [&](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& Mode) {
        events.push_back("exists");
        Mode = omOverwrite;
    };
    z->OnClearDisk = [&](TZipCommon&, const std::string&, std::int64_t Required, std::int64_t Free,
                         std::int64_t Total, bool& Cancel) {
        events.push_back("clear");
        EXPECT_LT(Free, Total);
        EXPECT_GE(Required, 10000);
        fs::remove(Mount / "other.dat");
        Cancel = false;
    };
    EXPECT_EQ(z->Compress(), 1);
    ASSERT_GE(events.size(), 4U);
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 4),
              (std::vector<std::string>{"insert 1", "clear", "insert 2", "exists"}));
    ExpectJoinedSetIsSound();
}

TEST_F(ZipSpanTest, WithoutADiskPromptNothingIsWritten) {
    InstallDrive(30000);
    WriteFile(Src / "a.txt", TextBytes(1000, 7));
    auto z = Writer();
    EXPECT_EQ(z->Compress(), 0);
    EXPECT_EQ(Errors, std::vector<int>{ecRequiredEventNotAssigned});
    EXPECT_TRUE(fs::is_empty(Mount));
    EXPECT_TRUE(fs::is_empty(Temp));
}

TEST_F(ZipSpanTest, WhatWouldNeedZip64IsRefusedBeforeAnyDiskIsAskedFor) {
    InstallDrive(1457664);
    // A file of 4 GiB (sparse), and more entries than a spanned set's end record counts.
    const fs::path big = Dir / "big" / "big.bin";
    fs::create_directories(big.parent_path());
    WriteFile(big, "");
    fs::resize_file(big, 0x100000000ULL);
    const TempDir memory{TempDir::InMemory{}};
    const fs::path many = memory / "many";
    fs::create_directories(many);
    for (int i = 0; i < 65536; ++i)
        WriteFile(many / std::to_string(i), "");
    for (const fs::path& spec : {big, many / "*"}) {
        SCOPED_TRACE(spec);
        Errors.clear();
        auto z = Writer();
        z->FileSpec = {spec.string()};
        int prompts = 0;
        z->OnInsertDisk = [&](TZipCommon&, const std::string&, bool&) { ++prompts; };
        EXPECT_EQ(z->Compress(), 0);
        EXPECT_EQ(Errors, std::vector<int>{ecMaxFileSizeExceeded});
        EXPECT_EQ(prompts, 0);
        EXPECT_TRUE(fs::is_empty(Mount));
        EXPECT_TRUE(fs::is_empty(Temp));
    }
}

} // namespace

// Updating an archive on a removable drive. When the new archive fits the medium it is put in
// place as on a fixed disk, without a question. When it does not, the disk holding the old
// archive is never written over: the set goes onto other disks, and the old archive stays
// byte-identical after a cancel at any question, and after answers that never change the disk.
TEST_F(ZipSpanTest, UpdatingAnArchiveOnTheDriveNeverErasesTheOldOneFirst) {
    struct TCase {
        const char* Name;
        std::uint64_t Quota;    // of the disks during the update
        int CancelAt;           // the insert question answered Cancel (0: none)
        bool SwapsDisks;        // the user puts other disks in when asked
        int Written;            // files the update reports
        std::vector<int> Codes; // errors reported
    } const cases[] = {
        {"fits the medium", 400000, 0, true, 1, {}},
        {"spans other disks", 30000, 0, true, 1, {}},
        {"cancel at disk 1", 30000, 1, true, 0, {ecUserCanceled}},
        {"cancel at disk 2", 30000, 2, true, 0, {ecUserCanceled}},
        {"cancel at disk 3", 30000, 3, true, 0, {ecUserCanceled}},
        {"the old disk stays in", 30000, 0, false, 0, {ecNotEnoughDiskSpace}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove_all(Src);
        fs::remove_all(Mount);
        fs::remove_all(Pieces);
        fs::create_directories(Pieces);
        fs::create_directories(Mount);
        PiecesTaken = 0;
        TFloppyDrive& drive = InstallDrive(400000);
        WriteFile(Src / "a.txt", TextBytes(3000, 1));
        {
            auto old = Writer();
            old->OnInsertDisk = [](TZipCommon&, const std::string&, bool&) { ADD_FAILURE() << "asked"; };
            ASSERT_EQ(old->Compress(), 1);
        }
        const std::string before = ReadFile(Mount / "set.zip");
        const fs::path oldDisk = Dir / "old-disk";
        fs::remove_all(oldDisk);
        WriteFile(Src / "random.bin", RandomBytes(70000, 9));
        drive.Quota = c.Quota;

        auto z = Writer();
        z->FileSpec = {(Src / "random.bin").string()};
        Errors.clear();
        int prompts = 0;
        z->OnInsertDisk = [&](TZipCommon&, const std::string& Volume, bool& Cancel) {
            if (++prompts == c.CancelAt) return;
            Cancel = false;
            if (!c.SwapsDisks) return;
            if (Volume == "1") { // the disk with the old archive goes out, a blank one comes in
                fs::create_directories(oldDisk);
                fs::rename(Mount / "set.zip", oldDisk / "set.zip");
                ++drive.Serial;
                return;
            }
            TakeOutDisk(drive);
        };
        z->OnDiskSpanFileExists = [&](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& Mode) {
            ADD_FAILURE() << "asked to overwrite a file of the archive's name";
            Mode = omSkip;
        };
        EXPECT_EQ(z->Compress(), c.Written);
        EXPECT_EQ(Errors, c.Codes);
        EXPECT_TRUE(fs::is_empty(Temp));
        const fs::path old = fs::exists(oldDisk / "set.zip") ? oldDisk / "set.zip" : Mount / "set.zip";
        if (c.Written == 0) {
            EXPECT_TRUE(ReadFile(old) == before) << "the old archive changed";
            EXPECT_LE(prompts, 3);
        } else if (c.Quota > 100000) {
            EXPECT_EQ(prompts, 0);
            EXPECT_EQ(FolderNames(Mount), std::vector<std::string>{"set.zip"});
            EXPECT_EQ(RunTool({"unzip", "-tq", (Mount / "set.zip").string()}).ExitCode, 0);
            EXPECT_EQ(RunTool({"unzip", "-Z1", (Mount / "set.zip").string()}).Out, "a.txt\nrandom.bin\n");
        } else {
            EXPECT_TRUE(ReadFile(oldDisk / "set.zip") == before) << "the old archive changed";
            ExpectJoinedSetIsSound();
        }
        TDrives::Install(std::move(Previous));
    }
}

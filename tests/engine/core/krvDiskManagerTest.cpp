#include "engine/core/krvDiskManager.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvZipCommon.h"

#include "TestSupport.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// A removable drive made of a folder: the drive holds a disk while the folder exists;
// inserting a disk moves a prepared folder into its place.
class TFakeMedia : public TDrives {
public:
    explicit TFakeMedia(fs::path Mount) : FMount(std::move(Mount)) {}

    std::string Label;
    bool Protected = false;
    int VolumeFailures = 0; // volume queries that fail before one succeeds
    std::vector<std::string> Asked;

    void Insert(const fs::path& Disk, const std::string& DiskLabel) {
        fs::remove_all(FMount);
        fs::rename(Disk, FMount);
        Label = DiskLabel;
    }
    void Eject() { fs::remove_all(FMount); }

    std::string RootOf(const std::string& Path) override {
        return OnMedia(Path) ? FMount.string() : TDrives::RootOf(Path);
    }
    bool GetDiskSpace(const std::string& Path, std::uint64_t& FreeBytes, std::uint64_t& TotalBytes) override {
        Asked.push_back(Path);
        if (!OnMedia(Path)) return TDrives::GetDiskSpace(Path, FreeBytes, TotalBytes);
        if (!fs::exists(FMount)) return false;
        FreeBytes = 1000;
        TotalBytes = 1457664;
        return true;
    }
    bool GetVolumeInfo(const std::string& Path, TVolumeInfo& Info) override {
        if (!OnMedia(Path)) return TDrives::GetVolumeInfo(Path, Info);
        if (VolumeFailures > 0) {
            --VolumeFailures;
            errno = EIO;
            return false;
        }
        if (!fs::exists(FMount)) return false;
        Info.Label = Label;
        Info.Serial = 0x1234ABCD;
        return true;
    }
    TDriveKind GetDriveKind(const std::string& Path) override {
        if (!OnMedia(Path)) return TDrives::GetDriveKind(Path);
        return fs::exists(FMount) ? dkRemovable : dkNoRootDir;
    }
    bool IsWriteProtected(const std::string& Path) override {
        return OnMedia(Path) ? Protected : TDrives::IsWriteProtected(Path);
    }

private:
    bool OnMedia(const std::string& Path) const { return Path.rfind(FMount.string(), 0) == 0; }
    fs::path FMount;
};

class TMediaTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto fake = std::make_unique<TFakeMedia>(Dir / "drive");
        Media = fake.get();
        Previous = TDrives::Install(std::move(fake));
        Owner.OnError = [this](TZipCommon&, const std::string&, const std::string& E, const std::string&,
                               int C) { Errors.emplace_back(C, E); };
    }
    void TearDown() override { TDrives::Install(std::move(Previous)); }

    // A prepared disk folder holding File with Content.
    fs::path Disk(const std::string& Name, const std::string& File, const std::string& Content) {
        const fs::path d = Dir / Name;
        fs::create_directories(d);
        WriteFile(d / File, Content);
        return d;
    }

    TempDir Dir;
    TFakeMedia* Media = nullptr;
    std::unique_ptr<TDrives> Previous;
    TZipCommon Owner;
    std::vector<std::pair<int, std::string>> Errors;
};

class TArchiveOwner : public TZipCommon {
public:
    void ForceArchiveFile(const std::string& Name) { FArchiveFile = Name; }
};

} // namespace

TEST(DiskLabels, DiskNumberOfLabel) {
    EXPECT_EQ(DiskNumberOfLabel("PKBACK# 003"), 3);
    EXPECT_EQ(DiskNumberOfLabel("PKBACK# 012"), 12);
    EXPECT_EQ(DiskNumberOfLabel("PKBACK# "), 0);
    EXPECT_EQ(DiskNumberOfLabel("BACKUP"), 0);
    EXPECT_EQ(DiskNumberOfLabel("X PKBACK# 7x"), 7);
}

TEST_F(TMediaTest, NotReadyWithoutHandler) {
    TDiskManager m;
    EXPECT_FALSE(m.CheckDrive(Owner, (Dir / "drive" / "a.zip").string(), false));
    EXPECT_EQ(Errors, (std::vector<std::pair<int, std::string>>{{ecIsNotAccessible, ""}}));
}

TEST_F(TMediaTest, InsertDiskWhenAsked) {
    const fs::path disk = Disk("disk3", "a.zip", "x");
    int asked = 0;
    Owner.OnDiskInDrvErr = [&](TZipCommon&, bool& Abort) {
        ++asked;
        EXPECT_TRUE(Abort) << "Abort enters as True";
        Media->Insert(disk, "PKBACK# 003");
        Abort = false;
    };
    TDiskManager m;
    ASSERT_TRUE(m.CheckDrive(Owner, (Dir / "drive" / "a.zip").string(), false));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(Errors.empty());
    EXPECT_EQ(m.VolumeLabel, "PKBACK# 003");
    EXPECT_EQ(m.DiskNumber, 3);
    EXPECT_EQ(m.SerialNumber, 0x1234ABCDU);
    EXPECT_EQ(m.DriveType, dkRemovable);
    EXPECT_TRUE(m.IsRemovable());
    EXPECT_EQ(m.FreeSpace, 1000U);
    EXPECT_EQ(m.TotalSpace, 1457664U);
    EXPECT_EQ(m.MediaKind, 0);
    EXPECT_EQ(m.Root, (Dir / "drive").string());
}

TEST_F(TMediaTest, AbortWhileWaitingForADisk) {
    Owner.OnDiskInDrvErr = [](TZipCommon&, bool&) {};
    TDiskManager m;
    EXPECT_FALSE(m.CheckDrive(Owner, (Dir / "drive" / "a.zip").string(), false));
    EXPECT_EQ(Errors, (std::vector<std::pair<int, std::string>>{{ecUserCanceled, ""}}));
}

TEST_F(TMediaTest, WriteProtectionMattersOnlyForWriting) {
    Media->Insert(Disk("d", "a.zip", "x"), "");
    Media->Protected = true;
    TDiskManager m;
    const std::string archive = (Dir / "drive" / "a.zip").string();
    EXPECT_TRUE(m.CheckDrive(Owner, archive, false)) << "reading from read-only media";
    EXPECT_FALSE(m.CheckDrive(Owner, archive, true));
    EXPECT_EQ(Errors.back().first, ecDiskIsWriteProtected);

    int asked = 0;
    Owner.OnDiskWriteProtectErr = [&](TZipCommon&, bool& Abort) {
        ++asked;
        Media->Protected = false;
        Abort = false;
    };
    EXPECT_TRUE(m.CheckDrive(Owner, archive, true));
    EXPECT_EQ(asked, 1);
    Media->Protected = true;
    Owner.OnDiskWriteProtectErr = [](TZipCommon&, bool&) {};
    EXPECT_FALSE(m.CheckDrive(Owner, archive, true));
    EXPECT_EQ(Errors.back().first, ecUserCanceled);
}

TEST_F(TMediaTest, VolumeQuestionRetryAndCancel) {
    ScriptedHostGuard host;
    Media->Insert(Disk("d", "a.zip", "x"), "LABEL");
    Media->VolumeFailures = 1;
    host.Host().Answers = {mrRetry};
    TDiskManager m;
    EXPECT_TRUE(m.CheckDrive(Owner, (Dir / "drive" / "a.zip").string(), false));
    ASSERT_EQ(host.Host().Questions.size(), 1U);
    EXPECT_NE(host.Host().Questions[0].find("is not accessible\r\n\r\n"), std::string::npos);

    Media->VolumeFailures = 1;
    host.Host().Answers = {mrCancel};
    EXPECT_FALSE(m.CheckDrive(Owner, (Dir / "drive" / "a.zip").string(), false));
    EXPECT_EQ(Errors.back().first, ecIsNotAccessible);
}

TEST_F(TMediaTest, PathWithoutFolderChecksTheCurrentFolder) {
    TDiskManager m;
    EXPECT_TRUE(m.CheckDrive(Owner, "archive.zip", true));
    ASSERT_FALSE(Media->Asked.empty());
    EXPECT_EQ(Media->Asked.front(), ".");
    EXPECT_NE(m.DriveType, dkNoRootDir);
    EXPECT_GT(m.TotalSpace, 0U);
}

TEST_F(TMediaTest, OpenDiskNeedsItsEvent) {
    TDiskSpannObj span;
    span.Init(Owner);
    std::unique_ptr<TFileStream32> stream;
    EXPECT_FALSE(span.OpenDisk(stream));
    EXPECT_EQ(Errors.back(), std::make_pair(ecRequiredEventNotAssigned, std::string("OnGetZipLastDisk")));
    span.Request = drFirstDisk;
    EXPECT_FALSE(span.OpenDisk(stream));
    EXPECT_EQ(Errors.back().second, "OnGetZipFirstDisk");
    span.Request = drNextDisk;
    EXPECT_FALSE(span.OpenDisk(stream));
    EXPECT_EQ(Errors.back().second, "OnGetZipNextDisk");
    EXPECT_FALSE(Owner.Cancel());
}

TEST_F(TMediaTest, OpenDiskSequence) {
    // Disk 1 begins with the spanning marker; the last disk holds a whole zip's directory.
    const std::string first = std::string("PK\x07\x08PK\x03\x04", 8) + std::string(100, 'd');
    const fs::path staging = Dir / "staging";
    fs::create_directories(staging);
    WriteFile(staging / "member.txt", "spanned member");
    ASSERT_EQ(RunTool({"zip", "-q", "-X", (staging / "last.zip").string(), "member.txt"}, staging).ExitCode,
              0);
    const std::string last = ReadFile(staging / "last.zip");

    Media->Insert(Disk("disk1", "set.zip", first), "PKBACK# 001");
    TArchiveOwner owner;
    std::vector<int> codes;
    owner.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int C) {
        codes.push_back(C);
    };
    owner.ForceArchiveFile((Dir / "drive" / "set.zip").string());
    std::vector<std::string> requests;
    owner.OnGetZipLastDisk = [&](TZipCommon&, bool& Cancel) {
        requests.push_back("last");
        EXPECT_TRUE(Cancel);
        Media->Insert(Disk("disk3", "set.zip", last), "PKBACK# 003");
        Cancel = false;
    };
    owner.OnGetZipFirstDisk = [&](TZipCommon&, bool& Cancel) {
        requests.push_back("first");
        Media->Insert(Disk("disk1b", "set.zip", first), "PKBACK# 001");
        Cancel = false;
    };
    owner.OnGetZipNextDisk = [&](TZipCommon&, const std::string& Volume, bool& Cancel) {
        requests.push_back("next " + Volume);
        Media->Insert(Disk("disk2", "set.zip", "PK\x03\x04 second disk"), "PKBACK# 002");
        Cancel = false;
    };

    TDiskSpannObj span;
    span.Init(owner);
    std::unique_ptr<TFileStream32> stream;
    // The last disk is asked for, since disk 1 holds no end record.
    ASSERT_TRUE(span.OpenDisk(stream));
    ASSERT_TRUE(stream);
    EXPECT_EQ(owner.ArchiveSize, static_cast<std::int64_t>(last.size()));

    // The first disk, then the next one.
    span.Request = drFirstDisk;
    span.WantedDisk = 0;
    ASSERT_TRUE(span.OpenDisk(stream));
    EXPECT_EQ(span.Request, drNextDisk);
    EXPECT_EQ(owner.ArchiveSize, static_cast<std::int64_t>(first.size()));
    span.WantedDisk = 1;
    ASSERT_TRUE(span.OpenDisk(stream));
    EXPECT_EQ(span.DiskCounter, 1);
    EXPECT_EQ(span.DiskNumber, 2);
    EXPECT_EQ(requests, (std::vector<std::string>{"last", "first", "next 2"}));
    EXPECT_TRUE(codes.empty());

    // The disk in the drive is already the wanted one: nothing is asked.
    ASSERT_TRUE(span.OpenDisk(stream)) << "disk 2 is still in the drive";
    EXPECT_EQ(requests.size(), 3U);
}

TEST_F(TMediaTest, OpenDiskCancelled) {
    Media->Insert(Disk("wrong", "set.zip", "not a zip disk"), "PKBACK# 005");
    TArchiveOwner owner;
    std::vector<int> codes;
    owner.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int C) {
        codes.push_back(C);
    };
    owner.ForceArchiveFile((Dir / "drive" / "set.zip").string());
    int asked = 0;
    owner.OnGetZipNextDisk = [&](TZipCommon&, const std::string&, bool&) { ++asked; };
    TDiskSpannObj span;
    span.Init(owner);
    span.Request = drNextDisk;
    span.WantedDisk = 2;
    std::unique_ptr<TFileStream32> stream;
    EXPECT_FALSE(span.OpenDisk(stream));
    EXPECT_FALSE(stream);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(owner.Cancel()) << "giving up on the disk cancels the job";
    EXPECT_EQ(codes, std::vector<int>{ecUserCanceled});
}

// Questions answered "try again" while nothing changes end with one error instead of being asked
// for ever; a folder that does not exist is named with the system's reason, never taken for a
// drive without its disk.
TEST_F(TMediaTest, AnswersThatChangeNothingEndTheCheck) {
    Media->Insert(Disk("d", "a.zip", "x"), "");
    Media->Protected = true;
    const std::string archive = (Dir / "drive" / "a.zip").string();
    int asked = 0;
    Owner.OnDiskWriteProtectErr = [&](TZipCommon&, bool& Abort) {
        ++asked;
        Abort = false;
    };
    TDiskManager m;
    EXPECT_FALSE(m.CheckDrive(Owner, archive, true));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Errors, (std::vector<std::pair<int, std::string>>{{ecDiskIsWriteProtected, ""}}));

    // A disk swapped for another (still protected) is asked about again.
    Errors.clear();
    asked = 0;
    Owner.OnDiskWriteProtectErr = [&](TZipCommon&, bool& Abort) {
        if (++asked == 1) Media->Label = "OTHER";
        Abort = false;
    };
    EXPECT_FALSE(m.CheckDrive(Owner, archive, true));
    EXPECT_EQ(asked, 2);

    Media->Eject();
    Errors.clear();
    asked = 0;
    Owner.OnDiskInDrvErr = [&](TZipCommon&, bool& Abort) {
        ++asked;
        Abort = false;
    };
    EXPECT_FALSE(m.CheckDrive(Owner, archive, false));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Errors, (std::vector<std::pair<int, std::string>>{{ecIsNotAccessible, ""}}));

    Errors.clear();
    asked = 0;
    const std::string missing = (Dir / "no" / "such" / "a.zip").string();
    EXPECT_FALSE(m.CheckDrive(Owner, missing, true));
    EXPECT_EQ(asked, 0);
    ASSERT_EQ(Errors.size(), 1U);
    EXPECT_EQ(Errors[0].first, ecErrorOpeningFile);
    EXPECT_NE(Errors[0].second.find("No such file or directory"), std::string::npos) << Errors[0].second;
}

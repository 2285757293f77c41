// A directory spread over three unlabelled disks, read as one stream: the disks are asked
// for in turn, nothing past the directory's size is read, a disk left is out of reach, and
// giving up on a disk or a disk without the directory's first record ends the reading.
#include "engine/formats/zip/krvSpannedDir.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvZipCommon.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class TDiskOwner : public TZipCommon {
public:
    void ForceArchiveFile(const std::string& Name) { FArchiveFile = Name; }
};

class SpannedDir : public ::testing::Test {
protected:
    void SetUp() override {
        // The directory: a central signature, then bytes that tell their place.
        Directory = std::string("PK\x01\x02", 4);
        for (int i = 0; Directory.size() < 700; ++i)
            Directory += static_cast<char>('a' + i % 26);
        const std::string front(100, 'x'); // the last entry's data on disk 1
        Disks = {front + Directory.substr(0, 250), Directory.substr(250, 300),
                 Directory.substr(550) + std::string("PK\x05\x06", 4) + std::string(18, '\0')};
        for (std::size_t i = 0; i < Disks.size(); ++i)
            WriteFile(Dir / ("disk" + std::to_string(i + 1)), Disks[i]);
        fs::create_directories(Dir / "drive");
        End.ThisDisk = 2;
        End.CentralDisk = 0;
        End.CentralOffset = 100;
        End.CentralSize = static_cast<std::uint32_t>(Directory.size());
        End.TotalEntries = 5;

        Owner.ForceArchiveFile((Dir / "drive" / "set.zip").string());
        Owner.OnError = [this](TZipCommon&, const std::string&, const std::string&, const std::string&,
                               int Code) { Errors.push_back(Code); };
        Owner.OnGetZipFirstDisk = [this](TZipCommon&, bool& Cancel) {
            Asked.push_back("first");
            Insert(FirstDisk);
            Cancel = false;
        };
        Owner.OnGetZipNextDisk = [this](TZipCommon&, const std::string& Volume, bool& Cancel) {
            Asked.push_back("next " + Volume);
            if (Volume == CancelAt) return;
            Insert(Dir / ("disk" + Volume));
            Cancel = false;
        };
        Spann.Init(Owner);
        Insert(Dir / "disk3"); // the last disk, where the end record was read
    }

    // Puts a disk in the drive: the archive's name links to it.
    void Insert(const fs::path& Disk) {
        fs::remove(Dir / "drive" / "set.zip");
        fs::create_symlink(Disk, Dir / "drive" / "set.zip");
    }

    TempDir Dir;
    std::string Directory;
    std::vector<std::string> Disks;
    TZipEndRecord End;
    TDiskOwner Owner;
    TDiskSpannObj Spann;
    std::unique_ptr<TFileStream32> Disk;
    fs::path FirstDisk = Dir / "disk1";
    std::string CancelAt;
    std::vector<std::string> Asked;
    std::vector<int> Errors;
};

} // namespace

TEST(SpannedDirStart, OnlyADirectoryBeforeTheEndRecordsDiskIsSpread) {
    TZipEndRecord end;
    EXPECT_FALSE(ZipDirectoryStartsEarlier(end));
    end.ThisDisk = 3;
    end.CentralDisk = 3;
    EXPECT_FALSE(ZipDirectoryStartsEarlier(end));
    end.CentralDisk = 1;
    EXPECT_TRUE(ZipDirectoryStartsEarlier(end));
}

TEST_F(SpannedDir, TheDisksAreReadInTurnUpToTheDirectorysSize) {
    TSpannedDirStream stream(Spann, Disk, End);
    EXPECT_EQ(stream.CurrentDisk(), -1);
    ASSERT_TRUE(stream.Open());
    EXPECT_EQ(stream.CurrentDisk(), 0);
    EXPECT_EQ(stream.Size(), std::ssize(Directory));
    std::string read(Directory.size() + 100, '\0');
    // One read crosses both disk ends and stops at the directory's end, before the end record.
    EXPECT_EQ(stream.Read(read.data(), std::ssize(read)), std::ssize(Directory));
    read.resize(Directory.size());
    EXPECT_EQ(read, Directory);
    EXPECT_EQ(stream.CurrentDisk(), 2);
    EXPECT_EQ(Asked, (std::vector<std::string>{"first", "next 2", "next 3"}));
    EXPECT_TRUE(Errors.empty());
    EXPECT_FALSE(Owner.Cancel());

    // Bytes of the disks left are out of reach; those of the disk in hand are not.
    char c = 0;
    EXPECT_EQ(stream.Seek(10, soBeginning), -1);
    EXPECT_EQ(stream.Seek(600, soBeginning), 600);
    EXPECT_EQ(stream.Read(&c, 1), 1);
    EXPECT_EQ(c, Directory[600]);
    EXPECT_EQ(Asked.size(), 3U);
}

TEST_F(SpannedDir, ASeekForwardSkipsToTheDiskThatHoldsThePlace) {
    TSpannedDirStream stream(Spann, Disk, End);
    ASSERT_TRUE(stream.Open());
    char c = 0;
    ASSERT_EQ(stream.Seek(560, soBeginning), 560);
    EXPECT_EQ(stream.Read(&c, 1), 1);
    EXPECT_EQ(c, Directory[560]);
    EXPECT_EQ(stream.CurrentDisk(), 2);
}

TEST_F(SpannedDir, GivingUpOnADiskEndsTheDirectoryThere) {
    CancelAt = "3";
    TSpannedDirStream stream(Spann, Disk, End);
    ASSERT_TRUE(stream.Open());
    std::string read(Directory.size(), '\0');
    EXPECT_EQ(stream.Read(read.data(), std::ssize(read)), 550);
    EXPECT_EQ(read.substr(0, 550), Directory.substr(0, 550));
    EXPECT_TRUE(Owner.Cancel());
    EXPECT_EQ(Errors, std::vector<int>{ecUserCanceled});
    EXPECT_EQ(stream.Read(read.data(), 10), 0);
    EXPECT_EQ(Asked.back(), "next 3");
}

TEST_F(SpannedDir, ADiskWithoutTheFirstRecordOfferedAgainEndsTheRequest) {
    // The first disk holds something else where the end record puts the directory, and the
    // same disk is offered at every question.
    WriteFile(Dir / "other1", std::string(400, 'y'));
    FirstDisk = Dir / "other1";
    TSpannedDirStream stream(Spann, Disk, End);
    EXPECT_FALSE(stream.Open());
    EXPECT_EQ(Asked, (std::vector<std::string>{"first", "first"}));
    EXPECT_EQ(Errors, std::vector<int>{ecBadFileHeader});
    EXPECT_FALSE(Owner.Cancel());
    EXPECT_FALSE(Disk);
}

TEST_F(SpannedDir, TheDirectorysFirstDiskAfterTheFirstIsANextDisk) {
    // The directory starts on disk 2.
    Disks = {std::string(300, 'd'), std::string(50, 'e') + Directory.substr(0, 500),
             Directory.substr(500) + std::string("PK\x05\x06", 4) + std::string(18, '\0')};
    for (std::size_t i = 0; i < Disks.size(); ++i)
        WriteFile(Dir / ("disk" + std::to_string(i + 1)), Disks[i]);
    End.CentralDisk = 1;
    End.CentralOffset = 50;
    TSpannedDirStream stream(Spann, Disk, End);
    ASSERT_TRUE(stream.Open());
    std::string read(Directory.size(), '\0');
    EXPECT_EQ(stream.Read(read.data(), std::ssize(read)), std::ssize(Directory));
    EXPECT_EQ(read, Directory);
    EXPECT_EQ(Asked, (std::vector<std::string>{"next 2", "next 3"}));
}

#include "platform/Drives.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(Drives, ParseMountInfo) {
    TMountEntry e;
    ASSERT_TRUE(ParseMountInfoLine(
        "36 35 98:0 /mnt1 /mnt/My\\040Disk rw,noatime master:1 - ext3 /dev/sdb1 rw,errors=continue", e));
    EXPECT_EQ(e.MountPoint, "/mnt/My Disk");
    EXPECT_EQ(e.FsType, "ext3");
    EXPECT_EQ(e.Source, "/dev/sdb1");
    EXPECT_FALSE(e.ReadOnly);
    ASSERT_TRUE(ParseMountInfoLine("40 1 8:17 / /media/usb ro,nosuid - vfat /dev/sdc1 ro", e));
    EXPECT_TRUE(e.ReadOnly);
    EXPECT_FALSE(ParseMountInfoLine("garbage", e));
    EXPECT_FALSE(ParseMountInfoLine("1 2 3 4 5 6 -", e));

    const std::string table = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                              "2 1 0:5 / /media rw - tmpfs tmpfs rw\n"
                              "3 2 8:17 / /media/usb rw - vfat /dev/sdb1 rw\n";
    ASSERT_TRUE(FindMountFor(table, "/media/usb/a/b.zip", e));
    EXPECT_EQ(e.MountPoint, "/media/usb");
    ASSERT_TRUE(FindMountFor(table, "/media/usbstick", e));
    EXPECT_EQ(e.MountPoint, "/media");
    ASSERT_TRUE(FindMountFor(table, "/home/u", e));
    EXPECT_EQ(e.FsType, "ext4");
}

TEST(Drives, UdevLabels) {
    EXPECT_EQ(DecodeUdevName("PKBACK\\x23\\x20003"), "PKBACK# 003");
    EXPECT_EQ(DecodeUdevName("PLAIN"), "PLAIN");
    EXPECT_EQ(DecodeUdevName("bad\\xZZ"), "bad\\xZZ");
}

TEST(Drives, DefaultImplementationOnATemporaryFolder) {
    TempDir dir;
    TDrives& d = TDrives::Current();
    std::uint64_t freeBytes = 0, totalBytes = 0;
    EXPECT_TRUE(d.GetDiskSpace(dir.Str(), freeBytes, totalBytes));
    EXPECT_GT(totalBytes, 0U);
    EXPECT_FALSE(d.GetDiskSpace((dir / "missing").string(), freeBytes, totalBytes));
    EXPECT_FALSE(d.IsWriteProtected(dir.Str()));
    EXPECT_EQ(d.GetDriveKind((dir / "missing").string()), dkNoRootDir);
    const TDriveKind kind = d.GetDriveKind(dir.Str());
    EXPECT_NE(kind, dkNoRootDir);
    EXPECT_FALSE(d.RootOf(dir.Str()).empty());
    TVolumeInfo info;
    EXPECT_TRUE(d.GetVolumeInfo(dir.Str(), info));
    // A label goes only on a FAT medium: a folder of any other file system, or none, refuses it.
    EXPECT_FALSE(d.SetVolumeLabel(dir.Str(), "PKBACK# 001"));
    EXPECT_FALSE(d.SetVolumeLabel((dir / "missing").string(), "PKBACK# 001"));
}

TEST(Drives, InstallAndRestore) {
    class TOther : public TDrives {};
    auto previous = TDrives::Install(std::make_unique<TOther>());
    EXPECT_NE(dynamic_cast<TOther*>(&TDrives::Current()), nullptr);
    TDrives::Install(std::move(previous));
    EXPECT_EQ(dynamic_cast<TOther*>(&TDrives::Current()), nullptr);
}

#include "engine/formats/zip/krvZipRecords.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

// The record images must match what Info-ZIP writes, field for field.
TEST(ZipRecords, ParseWhatInfoZipWritesAndWriteItBackUnchanged) {
    TempDir dir;
    WriteFile(dir / "hello.txt", "hello, hello, hello, hello\n");
    ASSERT_EQ(RunTool({"zip", "-q", "-X", "-z", "a.zip", "hello.txt"}, dir.Path(), "archive note\n").ExitCode,
              0);
    const std::string zip = ReadFile(dir / "a.zip");
    const auto* p = reinterpret_cast<const std::uint8_t*>(zip.data());

    const auto local = TZipLocalHeader::FromBytes(p);
    EXPECT_EQ(local.Signature, ZipLocalSig);
    EXPECT_EQ(local.Method, zmDeflated);
    EXPECT_EQ(local.UncompressedSize, 27u);
    EXPECT_EQ(local.NameLength, 9u);
    EXPECT_EQ(zip.substr(30, 9), "hello.txt");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(local.Image().data()), 30), zip.substr(0, 30));

    const std::size_t endPos = zip.rfind("PK\x05\x06");
    ASSERT_NE(endPos, std::string::npos);
    const auto end = TZipEndRecord::FromBytes(p + endPos);
    EXPECT_EQ(end.TotalEntries, 1u);
    EXPECT_EQ(end.CommentLength, 12u);
    EXPECT_EQ(zip.substr(endPos + 22), "archive note");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(end.Image().data()), 22), zip.substr(endPos, 22));

    const auto central = TZipCentralHeader::FromBytes(p + end.CentralOffset);
    EXPECT_EQ(central.Signature, ZipCentralSig);
    EXPECT_EQ(central.Crc, local.Crc);
    EXPECT_EQ(central.CompressedSize, local.CompressedSize);
    EXPECT_EQ(central.LocalHeaderOffset, 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(central.Image().data()), 46),
              zip.substr(end.CentralOffset, 46));
}

TEST(ZipRecords, DataDescriptorRoundTrip) {
    TZipDataDescriptor d;
    d.Crc = 0xCBF43926;
    d.CompressedSize = 0x01020304;
    d.UncompressedSize = 0xFFFFFFFF;
    std::uint8_t image[TZipDataDescriptor::Size];
    d.ToBytes(image);
    EXPECT_EQ(image[0], 'P');
    EXPECT_EQ(image[3], 8);
    const auto back = TZipDataDescriptor::FromBytes(image);
    EXPECT_EQ(back.Crc, d.Crc);
    EXPECT_EQ(back.CompressedSize, d.CompressedSize);
    EXPECT_EQ(back.UncompressedSize, d.UncompressedSize);
}

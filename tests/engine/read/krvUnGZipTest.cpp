// The gzip reader's output names, and a tar inside a gzip file in a run without output: the
// temporary tar is tested and removed.
#include "engine/read/krvUnGZip.h"

#include "ExtractRun.h"
#include "KorvaBuilders.h"
#include "TestSupport.h"

#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvCrc.h"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(UnGZip, OutputNames) {
    const struct {
        std::uint16_t Magic;
        std::uint8_t Flags;
        const char* Stored; // the stored name ("" for none)
        const char* Archive;
        const char* Expected;
    } cases[] = {
        {GzipMagic, GzFlagName, "backup.tgz", "x.gz", "backup.tar"},
        {GzipMagic, GzFlagName, "BACKUP.TGZ", "x.gz", "BACKUP.tar"},
        {GzipMagic, GzFlagName, "data.tar", "x.gz", "data.tar"},
        {GzipMagic, 0, "", "/in/data.tgz", "data"},
        {GzipMagic, 0, "", "/in/t.tar.gz", "t.tar"},
        {GzipMagic, GzFlagName, "notes.GZ", "notes.gz", "notes"},
        {GzipMagic, GzFlagName | GzFlagText, "readme", "r.gz", "readme.txt"},
        {CompressMagic, 0, "", "/in/report.doc.Z", "report.doc"},
        {CompressMagic, 0, "", "/in/plain", "plain"},
    };
    for (const auto& c : cases) {
        TGzipMember member;
        member.Magic = c.Magic;
        member.Flags = c.Flags;
        member.Name = c.Stored;
        EXPECT_EQ(TUnGZip::OutputName(member, c.Archive), c.Expected) << c.Stored << " in " << c.Archive;
    }
}

TEST(UnGZip, NestedTarIsTestedThroughATemporaryTarThatIsRemoved) {
    TempDir dir;
    const std::string tar = korvatest::MakeTar({{"a/f.txt", "one"}, {"b/f.txt", "two"}, {"c/", "", '5'}});
    // A gzip member around the tar, deflated by the codec streams.
    TMemoryStream32 packed;
    {
        TCompressStream deflater(packed, {}, nullptr, {}, dtDeflateN);
        deflater.Write(tar.data(), std::ssize(tar));
        ASSERT_EQ(deflater.Finish(), Z_OK);
    }
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(tar.data(), std::ssize(tar), crc);
    std::string gz("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    gz += StreamBytes(packed);
    for (std::uint32_t v : {crc ^ 0xFFFFFFFF, static_cast<std::uint32_t>(tar.size())})
        for (int i = 0; i < 4; ++i)
            gz += static_cast<char>((v >> (8 * i)) & 0xFF);
    WriteFile(dir / "t.tgz", gz);
    fs::create_directories(dir / "temp");

    TUnGZip reader;
    reader.SetArchiveFile((dir / "t.tgz").string());
    reader.SetTempDir((dir / "temp").string());
    reader.FileSpec = {"*"};
    std::vector<std::pair<std::string, bool>> ends;
    int asked = 0;
    reader.OnNestedTarFile = [&](TZipCommon&, const std::string& Name, bool& doUnTar) {
        ++asked;
        EXPECT_EQ(Name, "t"); // no stored name: the archive's name less its extension
        doUnTar = true;
    };
    reader.OnEnd = [&](TZipCommon&, const std::string& Name, bool Passed) {
        ends.emplace_back(Name, Passed);
    };
    EXPECT_EQ(reader.ExtractNoOutput(), 2);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ends, (std::vector<std::pair<std::string, bool>>{{"a/f.txt", true}, {"b/f.txt", true}}));
    EXPECT_TRUE(fs::is_empty(dir / "temp"));
    EXPECT_EQ(ReadTree(dir.Path()).size(), 2U); // t.tgz and the empty temp folder
}

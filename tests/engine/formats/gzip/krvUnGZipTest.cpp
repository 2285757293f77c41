// The gzip reader's output names; a tar inside a gzip file in a run without output, tested
// through a temporary tar that is removed; cancel and a full disk, which leave what was there.
#include "engine/formats/gzip/krvUnGZip.h"

#include "ExtractRun.h"
#include "tests/engine/read/KorvaBuilders.h"
#include "TestSupport.h"

#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvErrorCodes.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

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
        // Stored names that are no file names give the archive's.
        {GzipMagic, GzFlagName, ".", "/in/dot.txt.gz", "dot.txt"},
        {GzipMagic, GzFlagName, "..", "/in/up.gz", "up"},
        {GzipMagic, GzFlagName, "../etc/passwd", "/in/path.gz", "path"},
        {GzipMagic, GzFlagName, "a\\b.txt", "/in/back.gz", "back"},
    };
    for (const auto& c : cases) {
        TGzipMember member;
        member.Magic = c.Magic;
        member.Flags = c.Flags;
        member.Name = c.Stored;
        EXPECT_EQ(TUnGZip::OutputName(member, c.Archive), c.Expected) << c.Stored << " in " << c.Archive;
    }
}

namespace {

// A one-member gzip file of Data, deflated by the codec streams, without a stored name.
std::string GzipOf(const std::string& Data) {
    TMemoryStream32 packed;
    {
        TCompressStream deflater(packed, {}, nullptr, {}, dtDeflateN);
        deflater.Write(Data.data(), std::ssize(Data));
        EXPECT_EQ(deflater.Finish(), Z_OK);
    }
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(Data.data(), std::ssize(Data), crc);
    std::string gz("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    gz += StreamBytes(packed);
    for (std::uint32_t v : {crc ^ 0xFFFFFFFF, static_cast<std::uint32_t>(Data.size())})
        for (int i = 0; i < 4; ++i)
            gz += static_cast<char>((v >> (8 * i)) & 0xFF);
    return gz;
}

} // namespace

TEST(UnGZip, NestedTarIsTestedThroughATemporaryTarThatIsRemoved) {
    TempDir dir;
    const std::string tar = korvatest::MakeTar({{"a/f.txt", "one"}, {"b/f.txt", "two"}, {"c/", "", '5'}});
    WriteFile(dir / "t.tgz", GzipOf(tar));
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

TEST(UnGZip, CancelAndFullDiskKeepTheOldFileAndLeaveNothingBehind) {
    const std::string big = RandomBytes(1 << 20) + TextBytes(4 << 20);
    const std::string tar = korvatest::MakeTar({{"inner/big.bin", big}});
    for (const bool cancel : {true, false}) {
        for (const bool nested : {false, true}) {
            const std::string what =
                std::string(cancel ? "cancel" : "full disk") + (nested ? ", nested tar" : "");
            TempDir dir;
            WriteFile(dir / "big.bin.gz", GzipOf(nested ? tar : big));
            fs::create_directories(dir / "dest" / "inner");
            fs::create_directories(dir / "temp");
            WriteFile(dir / "dest" / "big.bin", "keep");
            WriteFile(dir / "dest" / "inner" / "big.bin", "keep");
            struct rlimit old {};
            ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
            const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            if (!cancel) {
                struct rlimit small = old;
                small.rlim_cur = 100000;
                ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
            }
            int progress = 0;
            const ExtractResult r = ExtractAll(dir / "big.bin.gz", dir / "dest", [&](TUnBase& Reader) {
                Reader.SetTempDir((dir / "temp").string());
                Reader.OnNestedTarFile = [](TZipCommon&, const std::string&, bool& doUnTar) {
                    doUnTar = true;
                };
                if (cancel) {
                    Reader.OnProgress = [&](TZipCommon& Sender, std::uint8_t, std::uint8_t) {
                        if (++progress == 3) Sender.SetCancel(true);
                    };
                }
            });
            ::setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
            EXPECT_EQ(r.Returned, 0) << what;
            EXPECT_TRUE(cancel ? r.HasError(ecUserCanceled)
                               : r.HasError(ecErrorWritingToFile) || r.HasError(ecDiskFull))
                << what << ": " << r.Describe();
            EXPECT_EQ(ReadTree(dir / "dest"),
                      (std::map<std::string, std::string>{
                          {"big.bin", "keep"}, {"inner/", ""}, {"inner/big.bin", "keep"}}))
                << what;
            EXPECT_TRUE(fs::is_empty(dir / "temp")) << what;
        }
    }
}

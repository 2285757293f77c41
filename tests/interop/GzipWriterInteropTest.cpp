// Gzip files the gzip writer makes pass gzip -t, list under their stored names with gzip -lvN
// and unpack to the bytes of their sources; a large file is one member whose bytes do not depend
// on the thread count; a cancel or a full disk leaves no gzip file and every source in place.
#include "engine/formats/gzip/krvGZip.h"

#include "ExtractRun.h"
#include "FullDiskWriter.h"
#include "TestSupport.h"
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvGbls.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/time.h>

using namespace testsupport;

namespace {

using TFullDiskGZip = TFullDisk<TGZip>;

class GzipWriterInterop : public ::testing::Test {
protected:
    // A writer for the files of Masks with its output folder Out.
    void Setup(TGZip& Gz, const fs::path& Out, const std::vector<std::string>& Masks) {
        Gz.SetArchiveFile((Out / "x.gz").string());
        Gz.FileSpec = Masks;
        Gz.DeleteOptions = doFinal;
        Gz.OnError = [this](TZipCommon&, const std::string&, const std::string&, const std::string&,
                            int Code) { Errors.push_back(Code); };
        Gz.OnFileExists = [](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& M) {
            M = omOverwrite;
        };
    }
    TempDir Dir;
    std::vector<int> Errors;
};

TEST_F(GzipWriterInterop, GzipTestsListsAndUnpacksEverySize) {
    struct Case {
        std::string Name;
        std::string Data;
        std::string Level;
    };
    const std::vector<Case> cases = {
        {"empty.txt", "", "normal"},
        {"tiny.txt", "a", "normal"},
        {"random.bin", RandomBytes(100000, 3), "max"},
        {"text10m.txt", TextBytes(10 << 20, 4), "normal"},
        {"random20m.bin", RandomBytes(20 << 20, 5), "fast"}, // beyond the whole-buffer bound
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path src = Dir / c.Name;
        WriteFile(src, c.Data);
        const ToolResult add = RunProbe({"add", (Dir / "x.gz").string(), "-m", c.Level, src.string()});
        ASSERT_EQ(add.ExitCode, 0) << add.Out << add.Err;
        const fs::path gz = fs::path(ReplaceFileExt(src.string(), ".gz"));
        const ToolResult t = RunTool({"gzip", "-t", gz.string()});
        EXPECT_EQ(t.ExitCode, 0) << t.Err;
        const ToolResult l = RunTool({"gzip", "-lvN", gz.string()});
        EXPECT_EQ(l.ExitCode, 0) << l.Err;
        EXPECT_NE(l.Out.find(" " + std::to_string(c.Data.size()) + " "), std::string::npos) << l.Out;
        EXPECT_NE(l.Out.find(c.Name), std::string::npos) << l.Out;
        const ToolResult z = RunTool({"zcat", gz.string()});
        EXPECT_EQ(z.ExitCode, 0);
        EXPECT_TRUE(z.Out == c.Data) << "zcat gives " << z.Out.size() << " bytes";
        fs::remove(src);
        fs::remove(gz);
    }
}

TEST_F(GzipWriterInterop, GzipRestoresTheStoredNameAndTimeToTheSecond) {
    for (const std::string name : {"plain.txt", "caf\xC3\xA9 note.txt"}) {
        SCOPED_TRACE(name);
        const fs::path src = Dir / name;
        WriteFile(src, TextBytes(5000, 6));
        const timeval odd[2] = {{1700000001, 0}, {1700000001, 0}};
        ::utimes(src.c_str(), odd);
        ASSERT_EQ(RunProbe({"add", (Dir / "x.gz").string(), src.string()}).ExitCode, 0);
        // Under another name, gzip -N restores the stored one and its time.
        const fs::path other = Dir / "other";
        fs::create_directories(other);
        fs::rename(fs::path(ReplaceFileExt(src.string(), ".gz")), other / "renamed.gz");
        ASSERT_EQ(RunUtf8({"gzip", "-dN", "renamed.gz"}, other).ExitCode, 0);
        EXPECT_EQ(ReadTree(other), (std::map<std::string, std::string>{{name, TextBytes(5000, 6)}}));
        EXPECT_TRUE(ReadStamps(other)[name].ends_with(" 1700000001")) << ReadStamps(other)[name];
        fs::remove_all(other);
        fs::remove(src);
    }
}

TEST_F(GzipWriterInterop, NamingModesAndMove) {
    struct Case {
        TGZipExt Mode;
        bool OtherFolder;
        std::string Expected;
    };
    const std::vector<Case> cases = {
        {exAppendGZ, true, "out/notes.gz"},
        {exUnderScore, true, "out/notes.tx_"},
        {exNone, true, "out/notes.txt"},
        {exNone, false, "notes.gz"}, // never the source itself
    };
    fs::create_directories(Dir / "out");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Expected);
        WriteFile(Dir / "notes.txt", "some notes\n");
        TGZip gz;
        Setup(gz, c.OtherFolder ? Dir / "out" : Dir.Path(), {(Dir / "notes.txt").string()});
        gz.Extension = c.Mode;
        gz.Switch = swMove;
        EXPECT_EQ(gz.Compress(), 1);
        EXPECT_TRUE(Errors.empty());
        EXPECT_FALSE(fs::exists(Dir / "notes.txt")) << "a moved source is deleted";
        const ToolResult z = RunTool({"zcat", (Dir / c.Expected).string()});
        EXPECT_EQ(z.Out, "some notes\n");
        fs::remove(Dir / c.Expected);
    }
}

TEST_F(GzipWriterInterop, ALargeFileIsOneMemberAlikeOnOneAndFourThreads) {
    struct Case {
        std::string Name;
        std::string Data;
        TDeflateType Level;
        double MostPacked = 1.0; // the largest share of the plain size the gzip file may take
    };
    // Beyond the whole-buffer size: noise whose bytes are spread evenly but repeat within
    // deflate's window, and noise of uneven bytes: both compress, and must not be stored as noise
    // is.
    std::string repeated;
    const std::string unit = RandomBytes(20000, 17);
    while (repeated.size() < (17 << 20))
        repeated += unit;
    std::string uneven = RandomBytes((17 << 20) + 99, 18);
    for (char& c : uneven)
        c = static_cast<char>(static_cast<unsigned char>(c) % 200);
    // Text and noise in one file (compressed and stored blocks); noise to the end (a stored final
    // block); a size of whole blocks, whose stream ends with an empty final block; the fast and
    // the best levels.
    const std::vector<Case> cases = {
        {"mixed.bin", TextBytes(9 << 20, 11) + RandomBytes((8 << 20) + 4321, 12) + TextBytes(3 << 20, 13),
         dtDeflateN},
        {"noise.bin", RandomBytes((17 << 20) + 777, 19), dtDeflateN, 1.001},
        {"repeated.bin", repeated, dtDeflateN, 0.05},
        {"uneven.bin", uneven, dtDeflateN, 0.98},
        {"blocks.txt", TextBytes(17 << 20, 14), dtDeflateN},
        {"fast.txt", TextBytes((17 << 20) + 1, 15), dtDeflateF},
        {"best.txt", TextBytes((17 << 20) + 3, 16), dtDeflateX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteFile(Dir / c.Name, c.Data);
        std::string made[2];
        for (const unsigned threads : {1U, 4U}) {
            const fs::path out = Dir / ("t" + std::to_string(threads));
            fs::create_directories(out);
            TGZip gz;
            Setup(gz, out, {(Dir / c.Name).string()});
            gz.DeflateType = c.Level;
            gz.Threads = threads;
            ASSERT_EQ(gz.Compress(), 1);
            EXPECT_TRUE(Errors.empty());
            made[threads == 4] = ReadFile(out / (fs::path(c.Name).stem().string() + ".gz"));
        }
        EXPECT_TRUE(made[0] == made[1]) << "one and four threads differ";
        EXPECT_LE(static_cast<double>(made[1].size()), c.MostPacked * static_cast<double>(c.Data.size()));
        const fs::path gz = Dir / "t4" / (fs::path(c.Name).stem().string() + ".gz");
        EXPECT_EQ(RunTool({"gzip", "-t", gz.string()}).ExitCode, 0);
        // One member: the last trailer holds the size of the whole file.
        const auto* end = reinterpret_cast<const std::uint8_t*>(made[1].data() + made[1].size());
        EXPECT_EQ(GetU32LE(end - 4), static_cast<std::uint32_t>(c.Data.size()));
        EXPECT_TRUE(RunTool({"zcat", gz.string()}).Out == c.Data);
    }
    // Cancelled after its first block on four threads: no output.
    TGZip gz;
    Setup(gz, Dir / "t1", {(Dir / "blocks.txt").string()});
    gz.Threads = 4;
    fs::remove(Dir / "t1" / "blocks.gz");
    gz.OnProgress = [](TZipCommon& S, std::uint8_t, std::uint8_t) { S.SetCancel(true); };
    EXPECT_EQ(gz.Compress(), 0);
    EXPECT_EQ(FolderNames(Dir / "t1"), (std::vector<std::string>{"best.gz", "fast.gz", "mixed.gz", "noise.gz",
                                                                 "repeated.gz", "uneven.gz"}));
}

TEST_F(GzipWriterInterop, CancelOrFullDiskLeaveNoPartialFileAndTheSourceInPlace) {
    const std::string data = RandomBytes(3 << 20, 7);
    fs::create_directories(Dir / "out");
    WriteFile(Dir / "big.bin", data);
    WriteFile(Dir / "out/big.gz", "old output");
    for (const std::int64_t limit :
         {std::int64_t{-1}, std::int64_t{0}, std::int64_t{5}, std::int64_t{100000}}) {
        SCOPED_TRACE(limit);
        TFullDiskGZip gz;
        Setup(gz, Dir / "out", {(Dir / "big.bin").string()});
        gz.Switch = swMove;
        gz.Limit = limit;
        // Without a full disk, the job is cancelled while it runs.
        if (limit < 0) gz.OnProgress = [](TZipCommon& S, std::uint8_t, std::uint8_t) { S.SetCancel(true); };
        EXPECT_EQ(gz.Compress(), 0);
        EXPECT_FALSE(Errors.empty());
        Errors.clear();
        EXPECT_EQ(ReadFile(Dir / "big.bin"), data);
        EXPECT_EQ(ReadFile(Dir / "out/big.gz"), "old output");
        EXPECT_EQ(FolderNames(Dir / "out"), std::vector<std::string>{"big.gz"});
    }
}

} // namespace

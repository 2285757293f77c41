// Tar archives the tar writer makes are listed by GNU tar without a word on standard error
// and extract with GNU tar and bsdtar to the very files, folders and modes of their sources;
// updating keeps the entries of archives made by those tools byte for byte; tar.gz archives
// are whole gzip files and their updates touch nothing but the archive itself.
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/tar/krvTar.h"
#include "engine/write/krvArc2Arc.h"

#include "ExtractRun.h"
#include "FullDiskWriter.h"
#include "SmallDisk.h"
#include "TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

using namespace testsupport;

namespace {

std::uint32_t ModeOf(const fs::path& P) {
    struct stat st {};
    ::lstat(P.c_str(), &st);
    return st.st_mode & 07777;
}

// The archive's bytes without its end-of-archive zero blocks.
std::string Entries(const std::string& Tar) {
    std::size_t end = Tar.size() / 512 * 512;
    while (end >= 512 && Tar.find_first_not_of('\0', end - 512) >= end)
        end -= 512;
    return Tar.substr(0, end);
}

class TarWriterInterop : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Src);
        WriteFile(Src / "f511", RandomBytes(511, 1));
        WriteFile(Src / "f512", RandomBytes(512, 2));
        WriteFile(Src / "f513", RandomBytes(513, 3));
        WriteFile(Src / "empty", "");
        WriteFile(Src / "one", "1");
        // Either side of the size up to which a file is written with its header in one go.
        WriteFile(Src / "f64k", RandomBytes(64 << 10, 7));
        WriteFile(Src / "f64k1", RandomBytes((64 << 10) + 1, 8));
        const std::string deep =
            "a-folder-name-that-is-rather-long/and-another-one-below-it-that-is-long-too/";
        fs::create_directories(Src / deep);
        WriteFile(Src / (deep + std::string(120, 'n') + ".txt"),
                  TextBytes(3000, 4)); // over 100 and 255 bytes
        WriteFile(Src / "caf\xC3\xA9 \xE2\x82\xAC.txt", "utf-8 name");
        fs::create_directories(Src / "emptydir");
        ::chmod((Src / "f511").c_str(), 0751);
        ::chmod((Src / "f512").c_str(), 0444);
        ::chmod((Src / "f513").c_str(), 0600);
        const timeval odd[2] = {{1700000001, 0}, {1700000001, 0}};
        ::utimes((Src / "f511").c_str(), odd);
    }

    int Add(const fs::path& Archive, const std::vector<std::string>& Extra = {}) {
        std::vector<std::string> args{"add", Archive.string(), "-r", "-d"};
        args.insert(args.end(), Extra.begin(), Extra.end());
        args.push_back(Src.string());
        const ToolResult r = RunProbe(args);
        EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        return r.ExitCode;
    }

    // GNU tar lists Tar silently; GNU tar and bsdtar extract it to Src's tree and modes.
    void ExpectExtractsToSource(const fs::path& Tar, const std::string& Flag) {
        const ToolResult list = RunUtf8({"tar", "t" + Flag + "vf", Tar.string()});
        EXPECT_EQ(list.ExitCode, 0);
        EXPECT_EQ(list.Err, "") << list.Out;
        for (const std::string tool : {"tar", "bsdtar"}) {
            SCOPED_TRACE(tool);
            TempDir out;
            const ToolResult x = RunUtf8({tool, "-x" + Flag + "pf", Tar.string(), "-C", out.Str()});
            ASSERT_EQ(x.ExitCode, 0) << x.Err;
            EXPECT_EQ(x.Err, "");
            EXPECT_EQ(CompareTrees(ReadTree(Src), "source", ReadTree(out.Path()), tool), "");
            for (const char* f : {"f511", "f512", "f513", "one"})
                EXPECT_EQ(ModeOf(out / f), ModeOf(Src / f)) << f;
            // Times to the second, odd ones too.
            EXPECT_EQ(ReadStamps(out.Path())["f511"], ReadStamps(Src)["f511"]);
        }
    }

    TempDir Dir;
    fs::path Src = Dir / "src";
};

TEST_F(TarWriterInterop, GnuTarAndBsdtarExtractWhatWeWrite) {
    const fs::path tar = Dir / "x.tar";
    ASSERT_EQ(Add(tar), 0);
    EXPECT_EQ(fs::file_size(tar) % 10240, 0u);
    ExpectExtractsToSource(tar, "");
    // Our own reader takes it too.
    TempDir out;
    const ExtractResult r = ExtractAll(tar, out.Path());
    EXPECT_TRUE(r.AllPassed()) << r.Describe();
    EXPECT_EQ(CompareTrees(ReadTree(Src), "source", ReadTree(out.Path()), "ours"), "");
}

TEST_F(TarWriterInterop, DataEndingOnARecordStillGetTheEndBlocks) {
    fs::remove_all(Src);
    fs::create_directories(Src);
    WriteFile(Src / "fill", RandomBytes(10240 - 512, 6)); // header and data: exactly 10240 bytes
    const fs::path tar = Dir / "exact.tar";
    ASSERT_EQ(Add(tar), 0);
    const std::string bytes = ReadFile(tar);
    EXPECT_EQ(bytes.size(), 20480u);
    EXPECT_EQ(bytes.find_first_not_of('\0', 10240), std::string::npos);
    ExpectExtractsToSource(tar, "");
}

TEST_F(TarWriterInterop, UpdateKeepsGnuAndPaxEntriesByteForByte) {
    for (const std::string format : {"gnu", "pax"}) {
        SCOPED_TRACE(format);
        const fs::path tar = Dir / (format + ".tar");
        const ToolResult made =
            RunUtf8({"tar", "--format=" + format, "-cf", tar.string(), "-C", Src.string(), "."});
        ASSERT_EQ(made.ExitCode, 0) << made.Err;
        const std::string old = Entries(ReadFile(tar));
        fs::path added = Dir / "added";
        fs::create_directories(added);
        WriteFile(added / "new.txt", TextBytes(7000, 9));
        const ToolResult r = RunProbe({"add", tar.string(), added.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        const std::string now = ReadFile(tar);
        EXPECT_EQ(now.substr(0, old.size()), old);
        const ToolResult list = RunUtf8({"tar", "tf", tar.string()});
        EXPECT_EQ(list.Err, "");
        EXPECT_NE(list.Out.find("new.txt"), std::string::npos);
        EXPECT_NE(list.Out.find(std::string(120, 'n')), std::string::npos);
        fs::remove_all(added);
    }
    // Our own tar, updated: each kept header is the one written before, its checksum in the
    // form GNU tar writes (six digits, NUL, blank) where a new header has seven and a NUL.
    const fs::path ours = Dir / "ours.tar";
    ASSERT_EQ(Add(ours), 0);
    const std::string before = Entries(ReadFile(ours));
    const std::string gnu = ReadFile(Dir / "gnu.tar");
    const auto form = [](const std::string& Header) {
        std::string shape = Header.substr(148, 8);
        for (char& c : shape)
            if (c >= '0' && c <= '7') c = 'd';
        return shape;
    };
    ASSERT_EQ(form(gnu.substr(0, 512)), std::string("dddddd\0 ", 8));
    ASSERT_EQ(form(before.substr(0, 512)), std::string("ddddddd\0", 8));
    WriteFile(Dir / "added/new.txt", "new");
    ASSERT_EQ(RunProbe({"add", ours.string(), (Dir / "added").string()}).ExitCode, 0);
    const std::string after = ReadFile(ours);
    int kept = 0;
    for (std::size_t at = 0; at + 512 <= before.size(); at += 512) {
        const std::string was = before.substr(at, 512), now = after.substr(at, 512);
        if (was.substr(257, 5) != "ustar") continue; // data
        ++kept;
        EXPECT_EQ(form(now), form(gnu.substr(0, 512))) << at;
        EXPECT_EQ(now.substr(0, 148) + now.substr(156), was.substr(0, 148) + was.substr(156)) << at;
    }
    EXPECT_GT(kept, 10);
    // GNU tar reads the sums back.
    const ToolResult listed = RunUtf8({"tar", "-tvf", ours.string()});
    EXPECT_TRUE(listed.ExitCode == 0 && listed.Err.empty()) << listed.Err;
}

TEST_F(TarWriterInterop, TarGzRoundTripAndUpdateTouchNothingElse) {
    const fs::path tgz = Dir / "x.tar.gz";
    ASSERT_EQ(Add(tgz), 0);
    EXPECT_EQ(RunTool({"gzip", "-t", tgz.string()}).ExitCode, 0);
    ExpectExtractsToSource(tgz, "z");
    EXPECT_FALSE(fs::exists(Dir / "x.tar")) << "no tar is left beside the tar.gz";
    // Made again from the folder it lies in, it does not take itself in.
    const ToolResult again = RunProbe({"add", tgz.string(), "-r", Dir.Str()});
    ASSERT_EQ(again.ExitCode, 0) << again.Err;
    const ToolResult list = RunUtf8({"tar", "tzf", tgz.string()});
    EXPECT_EQ(list.Out.find("x.tar.gz"), std::string::npos) << list.Out;

    // An archive made by GNU tar, with unrelated files named like its tar beside it.
    const fs::path theirs = Dir / "y.tar.gz";
    ASSERT_EQ(RunUtf8({"tar", "-czf", theirs.string(), "-C", Src.string(), "."}).ExitCode, 0);
    WriteFile(Dir / "y.tar", "unrelated tar");
    WriteFile(Dir / "y", "unrelated");
    const std::string before = RunUtf8({"tar", "tzf", theirs.string()}).Out;
    fs::path added = Dir / "added";
    fs::create_directories(added);
    WriteFile(added / "new.txt", "new");
    const ToolResult r = RunProbe({"add", theirs.string(), added.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(ReadFile(Dir / "y.tar"), "unrelated tar");
    EXPECT_EQ(ReadFile(Dir / "y"), "unrelated");
    const ToolResult after = RunUtf8({"tar", "tzf", theirs.string()});
    EXPECT_EQ(after.Err, "");
    EXPECT_EQ(after.Out, before + "new.txt\n");
}

TEST_F(TarWriterInterop, TheConverterWritesTarTarGzAndCabinets) {
    const fs::path zip = Dir / "in.zip";
    ASSERT_EQ(RunTool({"zip", "-qr", zip.string(), "."}, Src).ExitCode, 0);
    struct Case {
        std::string Output;
        std::vector<std::string> Extract; // the tool that unpacks it into the folder that follows
    };
    const std::vector<Case> cases = {
        {"out.tar", {"tar", "-xf"}},
        {"out.tar.gz", {"tar", "-xzf"}},
        {"out.cab", {"cabextract", "-q", "-d"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Output);
        const ToolResult r = RunProbe({"convert", zip.string(), (Dir / c.Output).string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        TempDir out;
        std::vector<std::string> argv = c.Extract;
        if (c.Output == "out.cab") {
            argv.insert(argv.end(), {out.Str(), (Dir / c.Output).string()});
        } else {
            argv.push_back((Dir / c.Output).string());
            argv.insert(argv.end(), {"-C", out.Str()});
        }
        ASSERT_EQ(RunUtf8(argv).ExitCode, 0);
        EXPECT_EQ(ReadFile(out / "f513"), ReadFile(Src / "f513"));
        EXPECT_EQ(ReadFile(out / "caf\xC3\xA9 \xE2\x82\xAC.txt"), "utf-8 name");
    }
}

// A tar.gz is written as the tar is made: its gzip -dc is the very tar the writer makes of the
// same files; tar and tar.gz are the same bytes on one thread and on four (but the time in the
// gzip header), whether the tar.gz is deflated whole (small) or in blocks (beyond 16 MiB), large
// files are copied by one thread or several, and when a file that shrinks while it is read is
// cut off again after blocks of it went out. gzip, pigz and bsdtar read the tar.gz.
TEST_F(TarWriterInterop, TarAndTarGzAreAlikeOnOneAndFourThreads) {
    WriteFile(Src / "a-mixed.bin", TextBytes(9 << 20, 21) + RandomBytes((8 << 20) + 123, 22));
    WriteFile(Src / "b-shrinks.txt", TextBytes(24 << 20, 23));
    WriteFile(Src / "c-after.txt", TextBytes(5000, 24));
    struct Case {
        std::string Name;
        std::vector<std::string> Files; // of Src, in this order
        TDeflateType Level;
        bool Shrink; // b-shrinks.txt loses its end after 10 MiB of it went into the archive
    };
    const std::vector<Case> cases = {
        {"small", {"f511", "f64k1", "one", "empty"}, dtDeflateN, false},
        {"large", {"a-mixed.bin", "f513", "b-shrinks.txt", "c-after.txt"}, dtDeflateN, false},
        {"best", {"f511", "a-mixed.bin", "c-after.txt"}, dtDeflateX, false},
        {"cut", {"a-mixed.bin", "b-shrinks.txt", "c-after.txt"}, dtDeflateN, true},
        {"cut-early", {"f511", "b-shrinks.txt", "c-after.txt"}, dtDeflateN, true}, // in memory yet
    };
    const std::string shrinking = ReadFile(Src / "b-shrinks.txt");
    const timeval odd[2] = {{1700000003, 0}, {1700000003, 0}};
    ::utimes((Src / "b-shrinks.txt").c_str(), odd);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string made[4]; // the tar and the tar.gz, each on one thread and on four
        for (int run = 0; run < 4; ++run) {
            // Large files are copied ahead on four threads: a file that shrinks meanwhile may be
            // whole in the tar by then.
            if (c.Shrink && run == 1) continue;
            const bool gzip = run >= 2;
            fs::create_directories(Dir / std::to_string(run));
            const fs::path out = Dir / std::to_string(run) / (c.Name + (gzip ? ".tar.gz" : ".tar"));
            TTar tar;
            tar.SetCompressMethod(gzip ? cmTarGzip : cmTarred);
            tar.SetArchiveFile(out.string());
            tar.Threads = run % 2 == 1 ? 4 : 1;
            tar.DeflateType = c.Level;
            tar.StoreEmptySubDirs = true;
            tar.StoredDirNames = sdRelative;
            for (const std::string& f : c.Files)
                tar.FileSpec.push_back((Src / f).string());
            std::vector<int> errors;
            tar.OnError = [&errors](TZipCommon&, const std::string&, const std::string&, const std::string&,
                                    int Code) { errors.push_back(Code); };
            int steps = 0;
            tar.OnProgress = [&](TZipCommon& S, std::uint8_t, std::uint8_t) {
                if (c.Shrink && S.FileName.ends_with("b-shrinks.txt") && ++steps == 10)
                    fs::resize_file(Src / "b-shrinks.txt", 0);
            };
            EXPECT_EQ(tar.Compress(), static_cast<int>(c.Files.size()) - (c.Shrink ? 1 : 0));
            EXPECT_EQ(errors, c.Shrink ? std::vector<int>{ecErrorReadingFile} : std::vector<int>{});
            if (c.Shrink) WriteFile(Src / "b-shrinks.txt", shrinking);
            ::utimes((Src / "b-shrinks.txt").c_str(), odd);
            made[run] = ReadFile(out);
            if (!gzip) continue;
            for (const std::vector<std::string>& check :
                 {std::vector<std::string>{"gzip", "-t"}, {"pigz", "-t"}, {"bsdtar", "-tzf"}}) {
                std::vector<std::string> argv = check;
                argv.push_back(out.string());
                const ToolResult r = RunTool(argv);
                EXPECT_EQ(r.ExitCode, 0) << check[0] << ": " << r.Err;
            }
            EXPECT_TRUE(RunTool({"gzip", "-dc", out.string()}).Out == made[0]) << "not the tar, run " << run;
        }
        EXPECT_TRUE(c.Shrink || made[0] == made[1]) << "the tars on one and four threads differ";
        ASSERT_EQ(made[2].size(), made[3].size());
        EXPECT_TRUE(made[2].substr(0, 4) == made[3].substr(0, 4) && made[2].substr(8) == made[3].substr(8))
            << "the tar.gz on one and four threads differ";
        const ToolResult list = RunTool({"tar", "-tf", (Dir / "0" / (c.Name + ".tar")).string()});
        EXPECT_EQ(list.Out.find("b-shrinks.txt") != std::string::npos,
                  !c.Shrink && std::find(c.Files.begin(), c.Files.end(), "b-shrinks.txt") != c.Files.end());
    }
}

// A tar.gz written as the tar is made still replaces the old one only when whole: a cancel or a
// full disk at any point, on one thread or four, leaves the old archive byte for byte and nothing
// beside it.
TEST_F(TarWriterInterop, ACancelledOrFullTarGzLeavesTheOldOneAsItWas) {
    WriteFile(Src / "big.bin", TextBytes(12 << 20, 31) + RandomBytes(16 << 20, 32));
    const fs::path out = Dir / "out";
    fs::create_directories(out);
    const fs::path tgz = out / "x.tar.gz";
    ASSERT_EQ(RunUtf8({"tar", "-czf", tgz.string(), "-C", Src.string(), "one"}).ExitCode, 0);
    const std::string old = ReadFile(tgz);
    for (const unsigned threads : {1U, 4U}) {
        // The disk fills in the header, in the first blocks, near the end; or the job is cancelled
        // at the fifth and at the thirtieth step.
        for (const std::int64_t limit : {std::int64_t{5}, std::int64_t{1} << 20, std::int64_t{12} << 20,
                                         std::int64_t{-5}, std::int64_t{-30}}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(limit));
            TFullDisk<TTar> tar;
            tar.SetCompressMethod(cmTarGzip);
            tar.SetArchiveFile(tgz.string());
            tar.Threads = threads;
            tar.RecurseDirs = true;
            tar.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime,
                                   std::int64_t, std::int64_t, int, int, bool& Replace) { Replace = true; };
            tar.OnRenameDupeFile = [](TZipCommon&, const std::string&, std::string&, bool& Rename) {
                Rename = false;
            };
            tar.OnNonWriteableArchive = [](TZipCommon&, const std::string&, bool& Write) { Write = true; };
            tar.FileSpec = {(Src / "*").string()};
            std::vector<int> errors;
            tar.OnError = [&errors](TZipCommon&, const std::string&, const std::string&, const std::string&,
                                    int Code) { errors.push_back(Code); };
            int steps = 0;
            if (limit >= 0)
                tar.Limit = limit;
            else
                tar.OnProgress = [&](TZipCommon& S, std::uint8_t, std::uint8_t) {
                    if (++steps == -limit) S.SetCancel(true);
                };
            EXPECT_EQ(tar.Compress(), 0);
            if (limit >= 0) {
                EXPECT_EQ(errors, std::vector<int>{ecDiskFull});
            }
            EXPECT_TRUE(ReadFile(tgz) == old);
            EXPECT_EQ(FolderNames(out), std::vector<std::string>{"x.tar.gz"});
        }
    }
}

} // namespace

// File to file on one file system the data go through the kernel: a disk that fills up still
// ends the job with a full-disk error, the archive that was there stays byte for byte, and
// nothing half-written is left, whether the tar is written or extracted.
TEST_F(TarWriterInterop, AFullDiskEndsCreateAndExtractionCleanly) {
    WriteFile(Src / "big.bin", RandomBytes(1 << 20, 9));
    const fs::path disk = Dir / "disk";
    SmallDisk small(disk, "1600k"); // the sources and half of them again
    ASSERT_TRUE(small.Mounted);
    const fs::path src = disk / "src";
    fs::copy(Src, src, fs::copy_options::recursive);
    ASSERT_EQ(RunUtf8({"tar", "cf", (disk / "old.tar").string(), "-C", Src.string(), "one"}).ExitCode, 0);
    const auto before = ReadTree(disk);
    for (const std::string name : {"new.tar", "old.tar"}) {
        SCOPED_TRACE(name);
        const ToolResult r = RunProbe({"add", (disk / name).string(), "-r", "-d", src.string()});
        EXPECT_NE(r.ExitCode, 0);
        EXPECT_NE((r.Out + r.Err).find(ErrorText(ecDiskFull)), std::string::npos) << r.Out << r.Err;
        EXPECT_EQ(ReadTree(disk), before);
    }
    fs::remove_all(src);
    fs::remove(disk / "old.tar");

    // A large file is copied by the kernel on several threads: the disk fills during those copies.
    {
        const fs::path disk2 = Dir / "disk2";
        SmallDisk larger(disk2, "12m");
        ASSERT_TRUE(larger.Mounted);
        fs::create_directories(disk2 / "src");
        WriteFile(disk2 / "src" / "huge.bin", RandomBytes(7 << 20, 10));
        ASSERT_EQ(RunUtf8({"tar", "cf", (disk2 / "old.tar").string(), "-C", Src.string(), "one"}).ExitCode,
                  0);
        const auto unchanged = ReadTree(disk2);
        for (const std::string name : {"new.tar", "old.tar"}) {
            SCOPED_TRACE(name);
            const ToolResult r = RunProbe({"add", (disk2 / name).string(), "-r", (disk2 / "src").string()});
            EXPECT_NE(r.ExitCode, 0);
            EXPECT_NE((r.Out + r.Err).find(ErrorText(ecDiskFull)), std::string::npos) << r.Out << r.Err;
            EXPECT_TRUE(ReadTree(disk2) == unchanged);
        }
    }

    // GNU tar's archive, the big file last: the files before it come out whole, it does not.
    const fs::path tar = disk / "gnu.tar";
    ASSERT_EQ(RunUtf8({"tar", "cf", tar.string(), "-C", Src.string(), "f511", "f512", "big.bin"}).ExitCode,
              0);
    const ExtractResult x = ExtractAll(tar, disk / "out");
    EXPECT_TRUE(x.HasError(ecDiskFull)) << x.Describe();
    EXPECT_EQ(ReadTree(disk / "out"), (std::map<std::string, std::string>{{"f511", ReadFile(Src / "f511")},
                                                                          {"f512", ReadFile(Src / "f512")}}));
}

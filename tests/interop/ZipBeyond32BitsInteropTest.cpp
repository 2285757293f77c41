// Zip archives beyond the 32-bit fields: more than 65,535 entries, an entry of more than
// 4 GiB and an entry whose local header lies beyond 4 GiB are written with Zip64 records that
// Info-ZIP's unzip and zipinfo, 7-Zip and bsdtar accept, and updating such an archive (ours
// or one of Info-ZIP's `zip -fz`) keeps the records it still needs.
//
// The large archives come from a sparse source of holes and a few blocks of data. The writer
// runs in this process with a temporary archive that leaves holes where whole blocks of
// zeros are written (the bytes read back are the same), so no case writes more than a few
// MB of real data.
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zip/krvZip.h"
#include "engine/formats/zip/krvZipExtra.h"

#include "ExtractRun.h"
#include "TestSupport.h"
#include "ThreadsFromEnvironment.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// unzip -t, 7zz t and bsdtar -tf accept Zip; bsdtar's listing, one name a line.
std::string ExpectToolsPass(const fs::path& Zip) {
    for (const std::vector<std::string>& argv :
         {std::vector<std::string>{"unzip", "-tq", Zip.string()}, {"7zz", "t", "-bd", Zip.string()}}) {
        const ToolResult r = RunUtf8(argv);
        EXPECT_EQ(r.ExitCode, 0) << argv[0] << " on " << Zip << "\n" << r.Out.substr(0, 4000) << r.Err;
    }
    const ToolResult list = RunUtf8({"bsdtar", "-tf", Zip.string()});
    EXPECT_EQ(list.ExitCode, 0) << "bsdtar -tf " << Zip << "\n" << list.Err;
    return list.Out;
}

std::size_t Lines(const std::string& Text) {
    return static_cast<std::size_t>(std::count(Text.begin(), Text.end(), '\n'));
}

std::string ReadAtPos(const fs::path& File, std::int64_t Pos, std::size_t Count) {
    std::string bytes(Count, '\0');
    const int fd = ::open(File.c_str(), O_RDONLY);
    const ssize_t n = fd < 0 ? -1 : ::pread(fd, bytes.data(), Count, Pos);
    if (fd >= 0) ::close(fd);
    bytes.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return bytes;
}

// The end records of a zip without archive comment.
struct TEnds {
    TZipEndRecord End;
    bool HasZip64 = false; // a locator in front of the end record, pointing at a Zip64 end record
    TZip64EndRecord Zip64;
};

TEnds ReadEnds(const fs::path& Zip) {
    TEnds ends;
    const auto size = static_cast<std::int64_t>(fs::file_size(Zip));
    const std::string tail = ReadAtPos(Zip, size - 42, 42);
    if (tail.size() != 42) {
        ADD_FAILURE() << Zip << " is too short";
        return ends;
    }
    const auto* p = reinterpret_cast<const std::uint8_t*>(tail.data());
    ends.End = TZipEndRecord::FromBytes(p + 20);
    EXPECT_EQ(ends.End.Signature, ZipEndSig) << Zip;
    const TZip64Locator locator = TZip64Locator::FromBytes(p);
    if (locator.Signature != Zip64LocatorSig) return ends;
    ends.HasZip64 = true;
    const std::string record =
        ReadAtPos(Zip, static_cast<std::int64_t>(locator.EndRecordOffset), TZip64EndRecord::Size);
    EXPECT_EQ(record.size(), TZip64EndRecord::Size);
    if (record.size() == TZip64EndRecord::Size)
        ends.Zip64 = TZip64EndRecord::FromBytes(reinterpret_cast<const std::uint8_t*>(record.data()));
    EXPECT_EQ(ends.Zip64.Signature, Zip64EndSig) << Zip;
    return ends;
}

// A temporary archive that leaves a hole where a whole buffer of zeros is written at its end.
class TSparseTempStream : public TTempFileStream {
public:
    using TTempFileStream::TTempFileStream;
    std::int64_t Write(const void* Buffer, std::int64_t Count) override {
        const auto* p = static_cast<const char*>(Buffer);
        const std::int64_t at = Position();
        if (Count < 4096 || at != Size() || std::any_of(p, p + Count, [](char c) { return c != 0; }))
            return TTempFileStream::Write(Buffer, Count);
        SetSize(at + Count);
        return Seek(at + Count, soBeginning) == at + Count ? Count : 0;
    }
};

class TSparseZip : public TZip {
protected:
    std::unique_ptr<TTempFileStream> CreateTempStream(const std::string& FinalName) override {
        return std::make_unique<TSparseTempStream>(this, fmCreate, FinalName);
    }
};

// Blocks of data in the sparse source: its start, its middle and its end.
constexpr std::int64_t BigSize = 0x100000000LL + 0x30000; // 4 GiB + 192 KiB
constexpr std::int64_t DataBlock = 0x10000;
const std::int64_t DataAt[] = {0, 0x80000000LL, BigSize - DataBlock};

class ZipBeyond32Bits : public ::testing::Test {
protected:
    TempDir Dir{TempDir::InMemory{}};
};

TEST_F(ZipBeyond32Bits, MoreThan65535EntriesByUsAndByInfoZipAreWrittenAndUpdated) {
    // 70,000 files in 70 folders, each holding its own name.
    const fs::path src = Dir / "src";
    for (int d = 0; d < 70; ++d) {
        const fs::path folder = src / ("d" + std::to_string(d));
        fs::create_directories(folder);
        for (int f = 0; f < 1000; ++f) {
            const std::string name = "f" + std::to_string(f) + ".txt";
            WriteFile(folder / name, name + " in d" + std::to_string(d) + "\n");
        }
    }
    WriteFile(Dir / "extra" / "added.txt", "added after the fact\n");
    struct TCase {
        const char* Name;
        std::vector<std::string> Make; // "OUT" is the archive
        fs::path Cwd;
        std::uint64_t Entries; // Info-ZIP's zip adds the 70 folders as entries of their own
    };
    const TCase cases[] = {
        {"ours", {ProbePath().string(), "add", "OUT", "-r", src.string()}, {}, 70000},
        {"infozip", {"zip", "-q", "-r", "-fz", "OUT", "."}, src, 70070},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path zip = Dir / (std::string(c.Name) + ".zip");
        std::vector<std::string> argv = c.Make;
        std::replace(argv.begin(), argv.end(), std::string("OUT"), zip.string());
        const ToolResult made = RunTool(argv, c.Cwd);
        ASSERT_EQ(made.ExitCode, 0) << made.Out << made.Err;
        EXPECT_EQ(Lines(ExpectToolsPass(zip)), c.Entries);
        TEnds ends = ReadEnds(zip);
        ASSERT_TRUE(ends.HasZip64);
        EXPECT_EQ(ends.Zip64.TotalEntries, c.Entries);

        // Add one file, delete one: the count stays beyond the end record's.
        ASSERT_EQ(RunProbe({"add", zip.string(), (Dir / "extra" / "added.txt").string()}).ExitCode, 0);
        ASSERT_EQ(RunProbe({"delete", zip.string(), "d7/f700.txt"}).ExitCode, 0);
        const std::string listed = ExpectToolsPass(zip);
        EXPECT_EQ(Lines(listed), c.Entries);
        EXPECT_EQ(listed.find("d7/f700.txt\n"), std::string::npos);
        ends = ReadEnds(zip);
        ASSERT_TRUE(ends.HasZip64);
        EXPECT_EQ(ends.Zip64.TotalEntries, c.Entries);
        EXPECT_EQ(ends.Zip64.EntriesOnDisk, c.Entries);
        EXPECT_EQ(ends.Zip64.VersionNeeded, 45);
        EXPECT_EQ(ends.End.TotalEntries, 0xFFFF);
        EXPECT_EQ(ends.End.EntriesOnDisk, 0xFFFF);
        // Offset and size fit: the end record holds them as they are.
        EXPECT_EQ(ends.End.CentralOffset, ends.Zip64.CentralOffset);
        EXPECT_EQ(ends.End.CentralSize, ends.Zip64.CentralSize);

        // unzip extracts the added file and the last folder's files as they were, those past
        // the 65,535th entry included.
        std::map<std::string, std::string> expected;
        for (int f = 0; f < 1000; ++f) {
            const std::string name = "d69/f" + std::to_string(f) + ".txt";
            expected[name] = ReadFile(src / name);
        }
        expected["added.txt"] = "added after the fact\n";
        expected["d69/"] = "";
        const fs::path out = Dir / ("out-" + std::string(c.Name));
        const ToolResult x = RunTool({"unzip", "-q", zip.string(), "d69/*", "added.txt", "-d", out.string()});
        ASSERT_EQ(x.ExitCode, 0) << x.Err;
        EXPECT_TRUE(ReadTree(out) == expected);
    }
}

// The archive of the large cases, made in this process.
class ZipBeyondFourGiB : public ::testing::Test {
protected:
    void SetUp() override {
        struct statvfs fsInfo {};
        ASSERT_EQ(::statvfs(Dir.Str().c_str(), &fsInfo), 0);
        const auto freeBytes = static_cast<std::uint64_t>(fsInfo.f_bavail) * fsInfo.f_frsize;
        ASSERT_GE(freeBytes, 1ULL << 30) << "the large zip cases need 1 GiB free in " << Dir.Str();
        fs::create_directories(Src);
        const int fd = ::open(Big().c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, BigSize), 0);
        for (std::size_t i = 0; i < std::size(DataAt); ++i) {
            const std::string block = RandomBytes(DataBlock, static_cast<std::uint32_t>(40 + i));
            ASSERT_EQ(::pwrite(fd, block.data(), block.size(), DataAt[i]), DataBlock);
        }
        ::close(fd);
        struct stat st {};
        ASSERT_EQ(::stat(Big().c_str(), &st), 0);
        ASSERT_LT(st.st_blocks * 512, 64 << 20) << Dir.Str() << " keeps no holes in files";
    }

    fs::path Big() const { return Src / "big.bin"; }

    // Runs a writer job on the archive; Setup chooses what it does. The job must succeed.
    void Run(const std::function<void(TZip&)>& Setup) {
        TSparseZip z;
        z.Threads = ThreadsFromEnvironment();
        std::vector<int> errors;
        z.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int Code) {
            errors.push_back(Code);
        };
        z.SetArchiveFile(Zip.string());
        Setup(z);
        EXPECT_GT(z.Compress(), 0);
        EXPECT_TRUE(errors.empty()) << errors.front();
    }

    // zipinfo -v of the archive.
    std::string ZipInfo() const {
        const ToolResult r = RunTool({"zipinfo", "-v", Zip.string()});
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return r.Out;
    }

    // The entry's data through unzip and through 7zz are File's bytes.
    void ExpectExtracted(const std::string& Name, const fs::path& File) const {
        const ToolResult u = RunTool({"unzip", "-p", Zip.string(), Name});
        EXPECT_EQ(u.ExitCode, 0);
        EXPECT_TRUE(u.Out == ReadFile(File)) << "unzip -p " << Name;
        const ToolResult s = RunTool({"7zz", "e", "-so", "-bd", Zip.string(), Name});
        EXPECT_EQ(s.ExitCode, 0);
        EXPECT_TRUE(s.Out == ReadFile(File)) << "7zz e -so " << Name;
    }

    // The local header of the big entry (the first): version 4.5, both sizes in its Zip64 field.
    void ExpectBigLocalHeader(std::int64_t Compressed) const {
        const std::string bytes = ReadAtPos(Zip, 0, TZipLocalHeader::Size + 7 + 20);
        ASSERT_EQ(bytes.size(), TZipLocalHeader::Size + 7 + 20);
        const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
        const TZipLocalHeader l = TZipLocalHeader::FromBytes(p);
        EXPECT_EQ(l.VersionNeeded, 45);
        EXPECT_EQ(l.UncompressedSize, Zip64Marker32);
        EXPECT_EQ(l.CompressedSize, Zip64Marker32);
        ASSERT_EQ(l.NameLength, 7);
        ASSERT_EQ(l.ExtraLength, 20);
        TZip64Values values{Zip64Marker32, Zip64Marker32, 0, 0};
        EXPECT_TRUE(ApplyZip64Extra({p + TZipLocalHeader::Size + 7, 20}, values));
        EXPECT_EQ(values.UncompressedSize, static_cast<std::uint64_t>(BigSize));
        if (Compressed >= 0) {
            EXPECT_EQ(values.CompressedSize, static_cast<std::uint64_t>(Compressed));
        }
    }

    TempDir Dir;
    fs::path Src = Dir / "src";
    fs::path Zip = Dir / "big.zip";
};

TEST_F(ZipBeyondFourGiB, EntriesBeyondFourGiBAndAfterItAreWrittenAndUpdated) {
    WriteFile(Src / "after.txt", TextBytes(3000, 5));
    WriteFile(Src / "later.txt", TextBytes(5000, 6));
    const std::string bigSize = std::to_string(BigSize);
    struct TCase {
        const char* Name;
        bool Stored;
    };
    for (const TCase c : {TCase{"deflated", false}, TCase{"stored", true}}) {
        SCOPED_TRACE(c.Name);
        fs::remove(Zip);
        // The big entry first, then one more entry behind it.
        Run([&](TZip& Z) {
            Z.FileSpec = {Big().string()};
            if (c.Stored)
                Z.SetCompressMethod(cmStore);
            else
                Z.DeflateType = dtDeflateF;
        });
        Run([&](TZip& Z) { Z.FileSpec = {(Src / "after.txt").string()}; });
        const std::string listed = ExpectToolsPass(Zip);
        EXPECT_EQ(listed, "big.bin\nafter.txt\n");
        std::string info = ZipInfo();
        EXPECT_NE(info.find("uncompressed size:                              " + bigSize + " bytes"),
                  std::string::npos)
            << info;
        EXPECT_NE(info.find("minimum software version required to extract:   4.5"), std::string::npos);
        EXPECT_NE(info.find("A subfield with ID 0x0001 (PKWARE 64-bit sizes)"), std::string::npos);
        ExpectBigLocalHeader(c.Stored ? BigSize : -1);
        const TEnds ends = ReadEnds(Zip);
        if (c.Stored) {
            // after.txt lies beyond 4 GiB, and so does the directory.
            const auto size = static_cast<std::int64_t>(fs::file_size(Zip));
            EXPECT_GT(size, BigSize);
            ASSERT_TRUE(ends.HasZip64);
            EXPECT_EQ(ends.End.CentralOffset, Zip64Marker32);
            EXPECT_EQ(ends.End.TotalEntries, 2);
            EXPECT_GT(ends.Zip64.CentralOffset, 0x100000000ULL);
            EXPECT_EQ(ends.Zip64.TotalEntries, 2U);
            EXPECT_NE(info.find("offset of local header from start of archive:   " +
                                std::to_string(BigSize + 30 + 7 + 20)),
                      std::string::npos)
                << info;
        } else {
            // Nothing beyond 4 GiB: no Zip64 end record.
            EXPECT_FALSE(ends.HasZip64);
            EXPECT_LT(fs::file_size(Zip), 64U << 20);
        }
        ExpectExtracted("after.txt", Src / "after.txt");

        // Add one, delete one: the big entry and the Zip64 records it needs stay.
        Run([&](TZip& Z) { Z.FileSpec = {(Src / "later.txt").string()}; });
        Run([&](TZip& Z) {
            Z.Switch = swDelete;
            Z.FileSpec = {"after.txt"};
        });
        EXPECT_EQ(ExpectToolsPass(Zip), "big.bin\nlater.txt\n");
        ExpectBigLocalHeader(c.Stored ? BigSize : -1);
        EXPECT_EQ(ReadEnds(Zip).HasZip64, c.Stored);
        ExpectExtracted("later.txt", Src / "later.txt");
        info = ZipInfo();
        EXPECT_NE(info.find("uncompressed size:                              " + bigSize + " bytes"),
                  std::string::npos);
        // Our own reader takes the archive too.
        const ToolResult t = RunProbe({"test", Zip.string()});
        EXPECT_EQ(t.ExitCode, 0) << t.Out << t.Err;
    }
}

} // namespace

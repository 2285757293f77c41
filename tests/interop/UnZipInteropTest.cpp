// The zip reader against Info-ZIP: archives that zip makes at test time in every form the
// reader meets (levels, passwords, streamed output with data descriptors, stdin input,
// self-extractors, comments, split sets) are extracted by unzip and by the engine, and the two
// trees must be equal byte for byte. The legacy-method samples of the corpus must give the
// manifest's size, CRC-32 and SHA-256.
#include "CorpusManifest.h"
#include "DiskRequests.h"
#include "ExtractRun.h"
#include "FloppyDrive.h"
#include "Sha256.h"
#include "SplitZipSet.h"
#include "TestSupport.h"
#include "ZipBuilder.h"
#include "ZipInspect.h"

#include "engine/core/krvErrorCodes.h"
#include "platform/Drives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

using namespace testsupport;

namespace {

// The files every archive is made of: text, binary, empty file, empty folder, nested folders
// and names beyond ASCII.
void MakeSourceTree(const fs::path& Root) {
    fs::create_directories(Root / "nested/deep");
    fs::create_directories(Root / "empty dir");
    fs::create_directories(Root / "d\xC3\xAFr");
    WriteFile(Root / "text.txt", TextBytes(300000, 3));
    WriteFile(Root / "random.bin", RandomBytes(120000, 4));
    WriteFile(Root / "empty.txt", "");
    WriteFile(Root / "nested/deep/code.c", TextBytes(4000, 5));
    WriteFile(Root / "h\xC3\xA9llo w\xC3\xB6rld.txt", "bonjour\n");
    WriteFile(Root / "d\xC3\xAFr/\xC3\xB1.txt", "eñe\n");
}

struct ZipCase {
    const char* Name;
    std::vector<std::string> Args; // zip's options; "ARCHIVE" stands for the archive's path
    std::string Password;
    bool ToStdout = false; // the archive is what zip writes to a pipe
    std::string Stdin;     // fed to zip
};

class UnZipInterop : public ::testing::Test {
protected:
    void SetUp() override { MakeSourceTree(Source); }

    // Makes the archive of a case in the source folder; false (with a failure) when zip failed.
    bool MakeArchive(const ZipCase& Case, const fs::path& Archive) {
        std::vector<std::string> argv{"zip"};
        for (const std::string& a : Case.Args)
            argv.push_back(a == "ARCHIVE" ? Archive.string() : a);
        const ToolResult r = RunTool(argv, Source, Case.Stdin);
        if (r.ExitCode != 0) {
            ADD_FAILURE() << Case.Name << ": zip failed: " << r.Err;
            return false;
        }
        if (Case.ToStdout) WriteFile(Archive, r.Out);
        return true;
    }

    // unzip's tree and ours for Archive; both must agree and ours must pass every entry.
    void ExpectSameAsUnzip(const fs::path& Archive, const std::string& Password, const std::string& What) {
        const fs::path byUnzip = Dir / (What + ".unzip");
        const fs::path byEngine = Dir / (What + ".engine");
        std::vector<std::string> argv{"unzip", "-o", "-qq"};
        if (!Password.empty()) argv.insert(argv.end(), {"-P", Password});
        argv.insert(argv.end(), {Archive.string(), "-d", byUnzip.string()});
        const ToolResult u = RunTool(argv);
        // 1: warnings only (such as the bytes of a stub in front of the archive).
        ASSERT_LE(u.ExitCode, 1) << What << ": unzip failed on " << Archive << ": " << u.Err;
        const auto result =
            ExtractAll(Archive, byEngine, [&](TUnBase& Reader) { Reader.Password = Password; });
        EXPECT_TRUE(result.AllPassed()) << What << " (" << Archive.filename() << "):\n" << result.Describe();
        const std::string diff = CompareTrees(ReadTree(byUnzip), "unzip", ReadTree(byEngine), "the engine");
        EXPECT_EQ(diff, "") << What << " (" << Archive.filename() << ", made by Info-ZIP zip)";
    }

    TempDir Dir;
    fs::path Source = Dir / "source";
};

} // namespace

TEST_F(UnZipInterop, EveryFormInfoZipWritesExtractsLikeUnzip) {
    std::vector<ZipCase> cases;
    for (int level = 0; level <= 9; ++level)
        cases.push_back({"level", {"-q", "-r", "-" + std::to_string(level), "ARCHIVE", "."}});
    cases.push_back({"password", {"-q", "-r", "-P", "s3cret", "ARCHIVE", "."}, "s3cret"});
    cases.push_back({"stored password", {"-q", "-r", "-0", "-P", "pw", "ARCHIVE", "."}, "pw"});
    cases.push_back({"streamed", {"-q", "-r", "-", "."}, "", true});
    cases.push_back({"streamed password", {"-q", "-r", "-P", "pw", "-", "."}, "pw", true});
    cases.push_back({"forced descriptors", {"-q", "-r", "-fd", "ARCHIVE", "."}});
    cases.push_back({"comments", {"-q", "-r", "-z", "ARCHIVE", "."}, "", false, "An archive comment\n.\n"});
    cases.push_back({"stdin input", {"-q", "ARCHIVE", "-"}, "", false, TextBytes(70000, 9)});
    cases.push_back({"stdin streamed", {"-q", "-", "-"}, "", true, TextBytes(70000, 9)});
    int n = 0;
    for (const ZipCase& c : cases) {
        const std::string what = std::string(c.Name) + " " + std::to_string(++n);
        const fs::path archive = Dir / ("case" + std::to_string(n) + ".zip");
        if (!MakeArchive(c, archive)) continue;
        ExpectSameAsUnzip(archive, c.Password, what);
    }
}

TEST_F(UnZipInterop, SelfExtractorsWithAndWithoutAdjustedOffsets) {
    const fs::path plain = Dir / "plain.zip";
    ASSERT_TRUE(MakeArchive({"sfx", {"-q", "-r", "ARCHIVE", "."}}, plain));
    const std::string stub = ReadFile("/usr/bin/unzipsfx");
    ASSERT_FALSE(stub.empty());
    WriteFile(Dir / "raw.exe", stub + ReadFile(plain));
    WriteFile(Dir / "adjusted.exe", stub + ReadFile(plain));
    const ToolResult a = RunTool({"zip", "-q", "-A", (Dir / "adjusted.exe").string()});
    ASSERT_EQ(a.ExitCode, 0) << a.Err;
    ExpectSameAsUnzip(Dir / "raw.exe", "", "stub in front");
    ExpectSameAsUnzip(Dir / "adjusted.exe", "", "zip -A");
}

TEST_F(UnZipInterop, SplitSetReadDiskByDiskAndJoined) {
    // Three pieces of 64 KiB, with entries crossing from one piece to the next (zip's own
    // joining mishandles an entry that spans three pieces, so none does).
    fs::remove(Source / "random.bin");
    for (int i = 0; i < 3; ++i)
        WriteFile(Source / ("random" + std::to_string(i) + ".bin"), RandomBytes(40000, 8 + i));
    const fs::path pieces = Dir / "pieces";
    fs::create_directories(pieces);
    const fs::path split = pieces / "set.zip";
    ASSERT_TRUE(MakeArchive({"split", {"-q", "-r", "-s", "64k", "ARCHIVE", "."}}, split));
    ASSERT_TRUE(fs::exists(pieces / "set.z01") && fs::exists(pieces / "set.z02"));
    ASSERT_FALSE(fs::exists(pieces / "set.z03")) << "the set has more than three pieces";
    const fs::path joined = Dir / "joined.zip";
    const ToolResult j = RunTool({"zip", "-q", "-s", "0", split.string(), "--out", joined.string()});
    ASSERT_EQ(j.ExitCode, 0) << j.Err;
    ExpectSameAsUnzip(joined, "", "joined with zip -s 0");

    // The drive: a folder whose one file is whichever piece is "inserted".
    const fs::path drive = Dir / "drive";
    fs::create_directories(drive);
    const std::vector<fs::path> disks{pieces / "set.z01", pieces / "set.z02", split};
    auto insert = [&](int Number) {
        fs::remove(drive / "set.zip");
        fs::copy_file(disks.at(Number - 1), drive / "set.zip");
        return true;
    };
    insert(3);
    std::vector<std::string> asked;
    const auto result = ExtractAll(drive / "set.zip", Dir / "split.engine", [&](TUnBase& Reader) {
        AnswerDiskRequests(Reader, {3, insert, &asked});
    });
    EXPECT_TRUE(result.AllPassed()) << result.Describe();
    EXPECT_EQ(asked, (std::vector<std::string>{"first", "next 2", "next 3"}));
    EXPECT_EQ(CompareTrees(ReadTree(Dir / "joined with zip -s 0.unzip"), "unzip of the joined set",
                           ReadTree(Dir / "split.engine"), "the engine from the disks"),
              "");
    EXPECT_EQ(CompareTrees(ReadTree(Source), "the source", ReadTree(Dir / "split.engine"), "the engine"), "");

    // Giving up when the second disk is asked for cancels the job; nothing half-made stays.
    insert(3);
    const auto cancelled = ExtractAll(drive / "set.zip", Dir / "given-up", [&](TUnBase& Reader) {
        Reader.OnGetZipLastDisk = [&](TZipCommon&, bool& Cancel) { Cancel = false; };
        Reader.OnGetZipFirstDisk = [&](TZipCommon&, bool& Cancel) {
            insert(1);
            Cancel = false;
        };
        Reader.OnGetZipNextDisk = [&](TZipCommon&, const std::string&, bool& Cancel) { Cancel = true; };
    });
    EXPECT_TRUE(cancelled.HasError(ecUserCanceled)) << cancelled.Describe();
    EXPECT_FALSE(cancelled.AllPassed());
    for (const auto& [name, data] : ReadTree(Dir / "given-up")) {
        if (name.back() == '/') continue;
        EXPECT_EQ(data, ReadFile(Source / name)) << name << " is left half-made";
    }
}

TEST_F(UnZipInterop, DamagedArchivesMadeByZip) {
    const fs::path archive = Dir / "d.zip";
    ASSERT_TRUE(MakeArchive({"damaged", {"-q", "-r", "-fd", "ARCHIVE", "."}}, archive));
    const std::string bytes = ReadFile(archive);
    // Without its directory the local walk steps over data descriptors.
    WriteFile(Dir / "nodir.zip", bytes.substr(0, bytes.find("PK\x01\x02")));
    const auto walked = ExtractAll(Dir / "nodir.zip", Dir / "walked");
    EXPECT_TRUE(walked.EntriesPassedWithoutDirectory()) << walked.Describe();
    EXPECT_EQ(CompareTrees(ReadTree(Source), "the source", ReadTree(Dir / "walked"), "the local walk"), "");
}

TEST_F(UnZipInterop, StreamedArchivesWithDescriptorsWithoutSignatureAndNoDirectory) {
    // zip's streamed archives with the descriptors' signatures taken out (the format allows
    // descriptors without one) and the directory cut off: only the local headers are left.
    const std::vector<ZipCase> cases = {
        {"deflated", {"-q", "-r", "-", "."}, "", true},
        {"stored", {"-q", "-r", "-0", "-", "."}, "", true},
        {"deflated password", {"-q", "-r", "-P", "pw", "-", "."}, "pw", true},
        {"stored password", {"-q", "-r", "-0", "-P", "pw", "-", "."}, "pw", true},
    };
    for (const ZipCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path streamed = Dir / (std::string(c.Name) + ".zip");
        if (!MakeArchive(c, streamed)) continue;
        ZipContents zip = InspectZip(streamed);
        std::sort(zip.Entries.begin(), zip.Entries.end(), [](const ZipEntryBytes& A, const ZipEntryBytes& B) {
            return A.Central.LocalHeaderOffset < B.Central.LocalHeaderOffset;
        });
        std::string bare;
        int stripped = 0, files = 0;
        for (const ZipEntryBytes& e : zip.Entries) {
            std::string span = e.Span;
            const std::size_t descriptor = span.size() - TZipDataDescriptor::Size;
            files += e.Name.back() != '/';
            if ((e.Central.Flags & zfDescriptor) && span.compare(descriptor, 4, "PK\x07\x08") == 0) {
                span.erase(descriptor, 4);
                ++stripped;
            }
            bare += span;
        }
        // Every file's descriptor (folders have none).
        ASSERT_EQ(stripped, files);
        const fs::path archive = Dir / (std::string(c.Name) + " bare.zip");
        WriteFile(archive, bare);
        const fs::path out = Dir / (std::string(c.Name) + ".engine");
        const auto result = ExtractAll(archive, out, [&](TUnBase& Reader) { Reader.Password = c.Password; });
        EXPECT_TRUE(result.EntriesPassedWithoutDirectory()) << result.Describe();
        EXPECT_EQ(CompareTrees(ReadTree(Source), "the source", ReadTree(out), "the local walk"), "");
    }
}

TEST_F(UnZipInterop, SevenZipAesAndBzip2EntriesAreUnsupportedMethodsNotWrongPasswords) {
    // Two AES entries and a bzip2 entry made by 7-Zip beside a plain one; the right password
    // is given. The AES entries (method 99) and the bzip2 entry give 25326 and write nothing;
    // the plain entry extracts.
    const fs::path archive = Dir / "aes.zip";
    const std::string text = TextBytes(20000, 8);
    WriteFile(Dir / "plain.txt", text);
    for (const auto& step :
         std::vector<std::vector<std::string>>{{"-mem=AES256", "-pPASS", "text.txt", "random.bin"},
                                               {"-mm=BZip2", "nested"},
                                               {"../plain.txt"}}) {
        std::vector<std::string> argv{"7zz", "a", "-tzip", "-bd", archive.string()};
        argv.insert(argv.end(), step.begin(), step.end());
        const ToolResult r = RunTool(argv, Source);
        ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    }
    const fs::path out = Dir / "aes.engine";
    const auto result = ExtractAll(archive, out, [](TUnBase& Reader) { Reader.Password = "PASS"; });
    EXPECT_EQ(result.CountOf(ecUnsupportedCompressionMethod), 3) << result.Describe();
    EXPECT_EQ(result.CountOf(ecInvalidPassword) + result.CountOf(ecPasswordFailed), 0) << result.Describe();
    EXPECT_EQ(result.Errors.size(), 3U) << result.Describe();
    EXPECT_FALSE(fs::exists(out / "text.txt"));
    EXPECT_FALSE(fs::exists(out / "random.bin"));
    EXPECT_FALSE(fs::exists(out / "nested/deep/code.c"));
    EXPECT_EQ(ReadFile(out / "plain.txt"), text);
}

TEST(UnZipCorpus, LegacyMethodSamplesGiveTheManifestContent) {
    std::map<std::string, std::vector<ManifestRow>> archives;
    for (const ManifestRow& row : ReadManifest()) {
        if (row.Format != "zip") continue;
        const bool legacy = row.Notes.find("Shrink") != std::string::npos ||
                            row.Notes.find("Reduce") != std::string::npos ||
                            row.Notes.find("Implode") != std::string::npos;
        if (legacy) archives[row.Archive].push_back(row);
    }
    ASSERT_GE(archives.size(), 8u);
    for (const auto& [archive, rows] : archives) {
        TempDir dest;
        const auto result = ExtractAll(CorpusDir() / archive, dest.Path());
        EXPECT_TRUE(result.AllPassed()) << archive << ":\n" << result.Describe();
        for (const ManifestRow& row : rows) {
            const std::string where = archive + ": " + row.Entry + " (manifest from " + row.Tool + ")";
            const fs::path file = dest.Path() / row.Entry;
            if (!fs::exists(file)) {
                ADD_FAILURE() << where << ": not extracted";
                continue;
            }
            const std::string data = ReadFile(file);
            EXPECT_EQ(std::to_string(data.size()), row.Size) << where;
            char crc[9];
            std::snprintf(crc, sizeof crc, "%08x", Crc32Of(data));
            EXPECT_EQ(crc, row.Crc) << where;
            if (row.Sha256 != "-") {
                EXPECT_EQ(Sha256Hex(data), row.Sha256) << where;
            }
        }
    }
}

TEST_F(UnZipInterop, ProbeExtractReportsEachEntryAndFailsOnAnyError) {
    const fs::path archive = Dir / "p.zip";
    // Made until unzip, too, finds "nope" wrong by the check byte of both enciphered files.
    for (int attempt = 0; attempt < 20; ++attempt) {
        fs::remove(archive);
        ASSERT_TRUE(
            MakeArchive({"probe", {"-q", "-r", "-P", "pw", "ARCHIVE", "text.txt", "nested"}}, archive));
        if (PasswordRefusals(archive, "nope") == 2) break;
    }
    ToolResult r = RunTool({ProbePath().string(), "extract", archive.string(), (Dir / "ok").string(), "pw"});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_EQ(r.Out, "text.txt\tOK\nnested/\tOK\nnested/deep/\tOK\nnested/deep/code.c\tOK\n");
    EXPECT_EQ(ReadFile(Dir / "ok/text.txt"), ReadFile(Source / "text.txt"));

    r = RunTool({ProbePath().string(), "extract", archive.string(), (Dir / "bad").string(), "nope"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Out, "text.txt\tERROR 26517 Invalid password\nnested/\tOK\nnested/deep/\tOK\n"
                     "nested/deep/code.c\tERROR 26522 Password failed\n");

    // A split set given as its pieces is read disk by disk.
    WriteFile(Source / "more.bin", RandomBytes(90000, 12));
    const fs::path split = Dir / "pieces" / "s.zip";
    fs::create_directories(split.parent_path());
    ASSERT_TRUE(MakeArchive({"probe split", {"-q", "-s", "64k", "ARCHIVE", "more.bin", "text.txt"}}, split));
    r = RunTool({ProbePath().string(), "extract", split.string(), (Dir / "split").string()});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_EQ(ReadFile(Dir / "split/more.bin"), ReadFile(Source / "more.bin"));

    WriteFile(Dir / "not.zip", "plain text, no archive");
    r = RunTool({ProbePath().string(), "extract", (Dir / "not.zip").string(), (Dir / "none").string()});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Out.find("ERROR 25243"), std::string::npos) << r.Out;
}

namespace {

// A set split by Info-ZIP into pieces of 64 KiB whose directory of some 3000 records starts
// several pieces before the last one, and what unzip extracts from the same set joined.
class SpannedDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        WriteManySmallFiles(Source, 3000);
        fs::create_directories(Source / "sub folder");
        WriteFile(Source / "sub folder" / "crossing.bin", RandomBytes(70000, 21)); // spans pieces
        fs::create_directories(Dir / "pieces");
        Set = MakeSplitZipSet(Source, Dir / "pieces" / "big.zip", "64k", Dir / "joined.zip");
        ASSERT_FALSE(Set.Pieces.empty());
        ASSERT_EQ(Set.Pieces.size(), Set.End.ThisDisk + 1U);
        ASSERT_LT(Set.End.CentralDisk + 2, Set.End.ThisDisk) << "the directory should span pieces";
        ASSERT_LT(Set.End.EntriesOnDisk, Set.End.TotalEntries);
        const ToolResult u = RunTool({"unzip", "-qq", Set.Joined.string(), "-d", Unzipped.string()});
        ASSERT_EQ(u.ExitCode, 0) << u.Err;
    }

    // Extracts the set from the folder-backed removable drive (installed by the caller),
    // inserting the disks asked for, except that NextDisk may cancel (true: leave Cancel set).
    // The archive is opened from the disk First (0: the last).
    ExtractResult ExtractFromDisks(TFloppyDrive& Drive, const fs::path& Dest,
                                   const std::function<bool(const std::string&)>& CancelAt = {},
                                   int First = 0) {
        const int disks = static_cast<int>(Set.Pieces.size());
        auto insert = [&](int Number) {
            Drive.InsertDisk(Set.Pieces.at(Number - 1), "big.zip", Number);
            return true;
        };
        insert(First ? First : disks);
        Asked.clear();
        return ExtractAll(Dir / "floppy" / "big.zip", Dest, [&](TUnBase& Reader) {
            AnswerDiskRequests(Reader, {disks, insert, &Asked, CancelAt});
        });
    }

    TempDir Dir;
    fs::path Source = Dir / "many";
    fs::path Unzipped = Dir / "unzip";
    TSplitZipSet Set;
    std::vector<std::string> Asked;
};

std::vector<std::string> OutputLines(const std::string& Out) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < Out.size()) {
        const std::size_t end = Out.find('\n', at);
        lines.push_back(Out.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return lines;
}

} // namespace

TEST_F(SpannedDirectory, PiecesAreExtractedLikeTheJoinedSet) {
    const ToolResult r =
        RunTool({ProbePath().string(), "extract", Set.Last().string(), (Dir / "probe").string()});
    EXPECT_EQ(r.ExitCode, 0) << r.Err << r.Out.substr(0, 2000);
    const std::vector<std::string> lines = OutputLines(r.Out);
    EXPECT_EQ(lines.size(), Set.End.TotalEntries);
    for (const std::string& line : lines)
        ASSERT_EQ(line.substr(line.size() - 3), "\tOK") << line;
    EXPECT_EQ(CompareTrees(ReadTree(Unzipped), "unzip of the joined set", ReadTree(Dir / "probe"),
                           "krvprobe extract of the pieces"),
              "");
}

TEST_F(SpannedDirectory, RemovableDisksAreAskedForFromTheDirectorysFirst) {
    auto owned = std::make_unique<TFloppyDrive>(Dir / "floppy", 1457664);
    TFloppyDrive& drive = *owned;
    DrivesGuard guard(std::move(owned));
    const ExtractResult result = ExtractFromDisks(drive, Dir / "disks");
    EXPECT_TRUE(result.AllPassed()) << result.Describe().substr(0, 2000);
    EXPECT_EQ(result.Ends.size(), Set.End.TotalEntries);
    EXPECT_EQ(CompareTrees(ReadTree(Unzipped), "unzip of the joined set", ReadTree(Dir / "disks"),
                           "the engine from the disks"),
              "");
    // The directory's disks in turn, then the entries' from the first on.
    std::vector<std::string> expected;
    for (int disk = Set.End.CentralDisk + 1; disk <= Set.End.ThisDisk + 1; ++disk)
        expected.push_back("next " + std::to_string(disk));
    expected.push_back("first");
    ASSERT_GT(Asked.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(Asked.begin(), Asked.begin() + std::ssize(expected)), expected);

    // Opened from the first disk, the set asks for its last disk before anything else.
    const ExtractResult fromFirst = ExtractFromDisks(drive, Dir / "from-first", {}, 1);
    EXPECT_TRUE(fromFirst.AllPassed()) << fromFirst.Describe().substr(0, 2000);
    EXPECT_EQ(CompareTrees(ReadTree(Unzipped), "unzip of the joined set", ReadTree(Dir / "from-first"),
                           "the engine from the disks, opened on the first"),
              "");
    expected.insert(expected.begin(), "last");
    ASSERT_GT(Asked.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(Asked.begin(), Asked.begin() + std::ssize(expected)), expected);
}

TEST_F(SpannedDirectory, CancelAtADirectoryDiskExtractsNothing) {
    const std::string firstOfDirectory = std::to_string(Set.End.CentralDisk + 1);
    const std::string laterOfDirectory = std::to_string(Set.End.CentralDisk + 3);
    for (const std::string& cancelAt : {firstOfDirectory, laterOfDirectory}) {
        SCOPED_TRACE("cancelled at disk " + cancelAt);
        auto owned = std::make_unique<TFloppyDrive>(Dir / "floppy", 1457664);
        TFloppyDrive& drive = *owned;
        DrivesGuard guard(std::move(owned));
        const fs::path dest = Dir / ("cancelled-" + cancelAt);
        const ExtractResult result =
            ExtractFromDisks(drive, dest, [&](const std::string& Volume) { return Volume == cancelAt; });
        EXPECT_TRUE(result.HasError(ecUserCanceled)) << result.Describe();
        EXPECT_FALSE(result.HasError(ecHeaderNotFound)) << result.Describe();
        EXPECT_TRUE(result.Ends.empty()) << result.Describe();
        EXPECT_EQ(result.Returned, 0);
        EXPECT_TRUE(ReadTree(dest).empty());
        EXPECT_EQ(Asked.back(), "next " + cancelAt);
    }
}

TEST_F(SpannedDirectory, DamagedDirectoryPiecesEndWithAnErrorNeverAHang) {
    const fs::path damaged = Dir / "damaged";
    fs::create_directories(damaged);
    for (const fs::path& piece : Set.Pieces)
        fs::copy_file(piece, damaged / piece.filename());
    const fs::path last = damaged / Set.Last().filename();

    // A piece of the directory that does not begin with a record: the records before it are
    // extracted, and the directory is reported short of what the end record counts.
    const fs::path middle = damaged / Set.Pieces.at(Set.End.CentralDisk + 1U).filename();
    std::string bytes = ReadFile(middle);
    ASSERT_EQ(bytes.substr(0, 4), std::string("PK\x01\x02", 4));
    bytes[2] = 'X';
    WriteFile(middle, bytes);
    ToolResult r = RunTool({ProbePath().string(), "extract", last.string(), (Dir / "short").string()});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Out.find("ERROR 25259"), std::string::npos) << r.Out.substr(0, 2000);
    int passed = 0;
    for (const std::string& line : OutputLines(r.Out)) {
        if (line.size() < 3 || line.substr(line.size() - 3) != "\tOK") continue;
        const std::string name = line.substr(0, line.size() - 3);
        if (name.back() != '/') {
            EXPECT_EQ(ReadFile(Dir / "short" / name), ReadFile(Unzipped / name)) << name;
        }
        ++passed;
    }
    EXPECT_GT(passed, 0);
    EXPECT_LT(passed, Set.End.TotalEntries);

    // An end record whose directory offset points at no record: the disk it names is given
    // again and again, and the run ends with an error instead of asking for ever.
    WriteFile(middle, ReadFile(Set.Pieces.at(Set.End.CentralDisk + 1U)));
    bytes = ReadFile(last);
    TZipEndRecord end = Set.End;
    ++end.CentralOffset;
    end.ToBytes(reinterpret_cast<std::uint8_t*>(bytes.data()) + bytes.size() - TZipEndRecord::Size);
    WriteFile(last, bytes);
    r = RunTool({ProbePath().string(), "extract", last.string(), (Dir / "nowhere").string()});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Out.find("ERROR 25110"), std::string::npos) << r.Out;
    EXPECT_TRUE(ReadTree(Dir / "nowhere").empty());
}

TEST_F(SpannedDirectory, ALastDiskThatHoldsTheEndRecordAloneIsTheSetsLast) {
    // The end record moves onto a disk of its own after the last piece.
    const fs::path moved = Dir / "moved";
    fs::create_directories(moved);
    for (const fs::path& piece : Set.Pieces)
        fs::copy_file(piece, moved / piece.filename());
    const std::string last = ReadFile(Set.Last());
    char name[16];
    std::snprintf(name, sizeof name, "big.z%02d", Set.End.ThisDisk + 1);
    WriteFile(moved / name, last.substr(0, last.size() - TZipEndRecord::Size));
    TZipEndRecord end = Set.End;
    ++end.ThisDisk;
    end.EntriesOnDisk = 0;
    const auto image = end.Image();
    WriteFile(moved / "big.zip", std::string(image.begin(), image.end()));

    ToolResult r = RunTool({ProbePath().string(), "detect", (moved / "big.zip").string()});
    EXPECT_EQ(r.Out.substr(0, r.Out.find('\t')), "atZipMV") << r.Out;
    r = RunTool(
        {ProbePath().string(), "extract", (moved / "big.zip").string(), (Dir / "moved.out").string()});
    EXPECT_EQ(r.ExitCode, 0) << r.Err << r.Out.substr(0, 2000);
    EXPECT_EQ(CompareTrees(ReadTree(Unzipped), "unzip of the joined set", ReadTree(Dir / "moved.out"),
                           "krvprobe extract of the pieces"),
              "");
}

// The zip reader against Info-ZIP: archives that zip makes at test time in every form the
// reader meets (levels, passwords, streamed output with data descriptors, stdin input,
// self-extractors, comments, split sets) are extracted by unzip and by the engine, and the two
// trees must be equal byte for byte. The legacy-method samples of the corpus must give the
// manifest's size, CRC-32 and SHA-256.
#include "CorpusManifest.h"
#include "ExtractRun.h"
#include "Sha256.h"
#include "TestSupport.h"
#include "ZipBuilder.h"

#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

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
    auto insert = [&](std::size_t Number) {
        fs::remove(drive / "set.zip");
        fs::copy_file(disks.at(Number - 1), drive / "set.zip");
    };
    insert(3);
    std::vector<std::string> asked;
    const auto result = ExtractAll(drive / "set.zip", Dir / "split.engine", [&](TUnBase& Reader) {
        Reader.OnGetZipLastDisk = [&](TZipCommon&, bool& Cancel) {
            asked.push_back("last");
            insert(3);
            Cancel = false;
        };
        Reader.OnGetZipFirstDisk = [&](TZipCommon&, bool& Cancel) {
            asked.push_back("first");
            insert(1);
            Cancel = false;
        };
        Reader.OnGetZipNextDisk = [&](TZipCommon&, const std::string& Volume, bool& Cancel) {
            asked.push_back("next " + Volume);
            insert(static_cast<std::size_t>(std::stoi(Volume)));
            Cancel = false;
        };
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
    EXPECT_TRUE(walked.AllPassed()) << walked.Describe();
    EXPECT_EQ(CompareTrees(ReadTree(Source), "the source", ReadTree(Dir / "walked"), "the local walk"), "");
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
    ASSERT_TRUE(MakeArchive({"probe", {"-q", "-r", "-P", "pw", "ARCHIVE", "text.txt", "nested"}}, archive));
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

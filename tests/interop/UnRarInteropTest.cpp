// The rar reader through the rar library: the corpus's rar 1.5 to 5 samples against their
// manifest, volumes supplied and cancelled, damaged data, and a missing library.
#include "CorpusManifest.h"
#include "ExtractRun.h"
#include "TestSupport.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/read/krvReaders.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

fs::path SharpRar(const std::string& Name) {
    return CorpusDir() / "sharpcompress/rar" / Name;
}

const std::vector<ManifestRow>& RowsOf(const std::string& Archive) {
    static const auto archives = ManifestArchives("");
    return archives.at(Archive);
}

} // namespace

// Every entry either has the content the manifest gives, or was reported failed and left no
// file: libarchive decodes no rar 1.5/2.0 compression, no solid rar 4 and no enciphered data,
// and those entries must fail, never pass with other bytes.
TEST(UnRarCorpus, EveryEntryIsTheManifestContentOrAReportedFailure) {
    int matched = 0;
    int archivesRead = 0;
    for (const auto& [archive, rows] : ManifestArchives("")) {
        if (rows.front().Format != "rar" || rows.front().Entry == "-") continue;
        TempDir dest;
        const ExtractResult result = ExtractAll(CorpusDir() / archive, dest.Path());
        ASSERT_TRUE(result.ReaderFound) << archive;
        ++archivesRead;
        for (const ManifestRow& row : rows) {
            if (row.Entry.back() == '/' || row.Sha256 == "-") continue;
            const std::string mismatch = ManifestMismatch(row, dest.Path());
            if (mismatch.empty()) {
                ++matched;
                continue;
            }
            EXPECT_FALSE(fs::exists(dest.Path() / row.Entry)) << mismatch;
            EXPECT_FALSE(result.AllPassed()) << mismatch << "\n" << result.Describe();
        }
    }
    EXPECT_GE(archivesRead, 25);
    EXPECT_GE(matched, 60);
}

TEST(UnRarInterop, VolumesSuppliedByTheHostAndCancelled) {
    const std::vector<ManifestRow>& rows = RowsOf("sharpcompress/rar/Rar5.multi.part01.rar");
    for (const bool supply : {true, false}) {
        SCOPED_TRACE(supply ? "the third volume supplied from elsewhere" : "the third volume refused");
        TempDir set, aside, dest;
        for (int i = 1; i <= 6; ++i) {
            const std::string name = "Rar5.multi.part0" + std::to_string(i) + ".rar";
            fs::copy_file(SharpRar(name), (i == 3 ? aside.Path() : set.Path()) / name);
        }
        std::vector<std::string> asked;
        const ExtractResult result =
            ExtractAll(set / "Rar5.multi.part01.rar", dest.Path(), [&](TUnBase& Reader) {
                Reader.OnNextVolume = [&](TZipCommon&, std::string& Volume, const std::string&, bool,
                                          bool& Cancel) {
                    asked.push_back(fs::path(Volume).filename().string());
                    Cancel = !supply;
                    if (supply) Volume = (aside / "Rar5.multi.part03.rar").string();
                };
            });
        EXPECT_EQ(asked, std::vector<std::string>{"Rar5.multi.part03.rar"});
        int present = 0;
        for (const ManifestRow& row : rows) {
            if (row.Entry.back() == '/') continue;
            if (supply || fs::exists(dest / row.Entry)) {
                EXPECT_EQ(ManifestMismatch(row, dest.Path()), "");
                ++present;
            }
        }
        if (supply) {
            EXPECT_TRUE(result.AllPassed()) << result.Describe();
        } else {
            EXPECT_TRUE(result.HasError(ecUserCanceled)) << result.Describe();
            EXPECT_LT(present, 3);
        }
    }
}

TEST(UnRarInterop, AFlippedByteFailsAndTheExistingFileSurvives) {
    for (const std::string name : {"Rar4.rar", "Rar5.rar", "Rar5.none.rar"}) {
        SCOPED_TRACE(name);
        TempDir work, dest;
        std::string data = ReadFile(SharpRar(name));
        // Inside the first entry's data (exe/test.exe, 45056 bytes unpacked).
        data[data.size() / 5] = static_cast<char>(data[data.size() / 5] ^ 0x20);
        WriteFile(work / name, data);
        fs::create_directories(dest / "exe");
        WriteFile(dest / "exe/test.exe", "the old file");
        const ExtractResult result = ExtractAll(work / name, dest.Path());
        EXPECT_FALSE(result.AllPassed()) << result.Describe();
        EXPECT_GE(result.FilesFailed, 1) << result.Describe();
        EXPECT_EQ(ReadFile(dest / "exe/test.exe"), "the old file");
    }
}

// rar 5 always ends with an end block (lsar passes an archive without it): its entries pass,
// and the archive fails, saying where it ends.
TEST(UnRarInterop, ARar5ArchiveWithoutItsEndBlockFails) {
    const std::string whole = ReadFile(CorpusDir() / "libarchive/rar/read_format_rar5_multiple_files.rar");
    for (const std::size_t at : {whole.size() - 8, whole.size() - 4}) {
        TempDir work;
        WriteFile(work / "cut.rar", whole.substr(0, at));
        const ToolResult run = RunProbe({"test", (work / "cut.rar").string()});
        EXPECT_EQ(run.ExitCode, 1) << run.Out;
        for (const char* name : {"test1.bin", "test2.bin", "test3.bin", "test4.bin"})
            EXPECT_NE(run.Out.find(std::string(name) + "\tPASS\n"), std::string::npos) << run.Out;
        EXPECT_NE(run.Out.find("cut.rar\tFAIL 25110 Bad file header: block at offset "), std::string::npos)
            << run.Out;
    }
}

// The last volume of a set cut short: the file in it fails, the damage is named with its
// volume, and no next volume is asked for.
TEST(UnRarInterop, ACutLastVolumeFailsWithoutAskingForAnother) {
    TempDir set;
    const std::string last = "Rar5.multi.part06.rar";
    for (int i = 1; i <= 6; ++i) {
        const std::string name = "Rar5.multi.part0" + std::to_string(i) + ".rar";
        fs::copy_file(SharpRar(name), set / name);
    }
    const std::string bytes = ReadFile(set / last);
    WriteFile(set / last, bytes.substr(0, bytes.size() / 2));
    // krvprobe refuses every volume it is asked for: a question would cancel the run.
    const ToolResult run = RunProbe({"test", (set / "Rar5.multi.part01.rar").string()});
    EXPECT_EQ(run.ExitCode, 1) << run.Out;
    EXPECT_EQ(run.Out.find("25443"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find(last + ": block at offset"), std::string::npos) << run.Out;
}

TEST(UnRarInterop, ATestRunHandsEveryFilesDataToTheWriteRoutine) {
    std::unique_ptr<TUnBase> reader = CreateReader(atRar);
    ASSERT_TRUE(reader);
    reader->SetArchiveFile(SharpRar("Rar5.solid.rar").string());
    reader->FileSpec = {"*"};
    std::int64_t seen = 0;
    reader->WriteRoutine = [&](TStream32*, void*, std::int64_t Count, bool, int, bool) {
        seen += Count;
        return Count;
    };
    std::vector<std::string> passed;
    reader->OnEnd = [&](TZipCommon&, const std::string& Name, bool Passed) {
        if (Passed) passed.push_back(Name);
    };
    reader->ExtractNoOutput();
    EXPECT_EQ(seen, 45056 + 40372 + 15498);
    EXPECT_EQ(passed.size(), 3u);
}

TEST(UnRarInterop, WithoutTheLibraryExtractionReportsItsError) {
    // A copy of the test driver with no library beside it or above it.
    TempDir outer;
    const fs::path folder = outer / "bin";
    fs::create_directories(folder);
    const fs::path probe = folder / "krvprobe";
    fs::copy_file(ProbePath(), probe);
    TempDir dest;
    const ToolResult run = RunTool({probe.string(), "extract", SharpRar("Rar4.rar").string(), dest.Str()});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Out.find("ERROR 25260 Unrar?.dll not found"), std::string::npos) << run.Out << run.Err;
    EXPECT_TRUE(fs::is_empty(dest.Path()));
    // The driver beside the library reads the archive.
    const ToolResult withLibrary =
        RunTool({ProbePath().string(), "extract", SharpRar("Rar4.rar").string(), dest.Str()});
    EXPECT_EQ(withLibrary.ExitCode, 0) << withLibrary.Out;
}

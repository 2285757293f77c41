// The cabinet reader against cabinets made by gcab and extracted by cabextract, the LZX and
// Quantum samples of the corpus, cabinet sets (whole, missing a cabinet, entered in the
// middle) and damaged cabinets.
#include "CorpusManifest.h"
#include "ExtractRun.h"
#include "TestSupport.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/formats/cab/krvUnCab.h"

#include <gtest/gtest.h>
#include <set>

using namespace testsupport;

namespace {

// Files of several kinds, some in folders, as gcab is given them.
std::vector<std::string> WriteSources(const fs::path& Root) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"plain.txt", TextBytes(70000, 1)},
        {"random.bin", RandomBytes(100000, 2)},
        {"empty", ""},
        {"nested/deep/code.c", TextBytes(5000, 3)},
        {"nested/run.bin", TextBytes(200000, 4)}};
    std::vector<std::string> names;
    for (const auto& [name, data] : files) {
        fs::create_directories((Root / name).parent_path());
        WriteFile(Root / name, data);
        names.push_back(name);
    }
    return names;
}

fs::path MakeGcabCabinet(const fs::path& Sources, const fs::path& Cabinet, bool Mszip) {
    std::vector<std::string> argv = {"gcab", "-c"};
    if (Mszip) argv.push_back("-z");
    argv.push_back(Cabinet.string());
    for (const std::string& name : WriteSources(Sources))
        argv.push_back(name);
    const ToolResult made = RunTool(argv, Sources);
    EXPECT_EQ(made.ExitCode, 0) << made.Err;
    return Cabinet;
}

std::string FlipByteAt(const fs::path& File, std::size_t At) {
    std::string data = ReadFile(File);
    data[At] = static_cast<char>(data[At] ^ 0x5A);
    WriteFile(File, data);
    return data;
}

// The split sample set of five cabinets, copied into Dir except the cabinets Leave.
void CopySplitSet(const fs::path& Dir, const std::vector<int>& Leave = {}) {
    for (int i = 1; i <= 5; ++i) {
        if (std::find(Leave.begin(), Leave.end(), i) != Leave.end()) continue;
        const std::string name = "split-" + std::to_string(i) + ".cab";
        fs::copy_file(CorpusDir() / "libmspack/cabextract" / name, Dir / name);
    }
}

// Exactly these names below Root.
void ExpectOnly(const fs::path& Root, const std::set<std::string>& Names) {
    std::set<std::string> found;
    for (const auto& [name, data] : ReadTree(Root))
        found.insert(name);
    EXPECT_EQ(found, Names);
}

} // namespace

TEST(UnCabInterop, GcabCabinetsExtractLikeCabextract) {
    for (const bool mszip : {false, true}) {
        SCOPED_TRACE(mszip ? "gcab -z (MSZIP)" : "gcab (stored)");
        TempDir sources, work, ours, theirs;
        const fs::path cab = MakeGcabCabinet(sources.Path(), work / "made.cab", mszip);
        const ExtractResult result = ExtractAll(cab, ours.Path());
        EXPECT_TRUE(result.AllPassed()) << result.Describe();
        EXPECT_EQ(result.Ends.size(), 5u);
        const ToolResult oracle = RunTool({"cabextract", "-q", "-d", theirs.Str(), cab.string()});
        ASSERT_EQ(oracle.ExitCode, 0) << oracle.Err;
        EXPECT_EQ(CompareTrees(ReadTree(theirs.Path()), "cabextract", ReadTree(ours.Path()), "Quillar"), "");
    }
}

TEST(UnCabInterop, ACabinetOfManyFilesByGcabComesOutWhole) {
    // Thousands of small and empty files in many folders: every one comes out, each once.
    TempDir dir;
    const fs::path src = dir / "src";
    std::vector<std::string> argv = {"gcab", "-cz", (dir / "many.cab").string()};
    for (int i = 0; i < 4000; ++i) {
        const std::string name = "d" + std::to_string(i % 40) + "/f" + std::to_string(i);
        fs::create_directories((src / name).parent_path());
        WriteFile(src / name, i % 3 == 0 ? std::string() : TextBytes(static_cast<std::size_t>(i % 900), i));
        argv.push_back(name);
    }
    ASSERT_EQ(RunTool(argv, src).ExitCode, 0);
    TempDir out;
    const ExtractResult ours = ExtractAll(dir / "many.cab", out.Path());
    EXPECT_TRUE(ours.AllPassed()) << ours.Describe();
    EXPECT_EQ(ours.Ends.size(), 4000u);
    EXPECT_EQ(CompareTrees(ReadTree(src), "source", ReadTree(out.Path()), "ours"), "");
}

TEST(UnCabInterop, LzxAndQuantumSamplesGiveTheManifestContent) {
    int checked = 0;
    for (const auto& [archive, rows] : ManifestArchives("lib")) {
        if (rows.front().Format != "cab") continue;
        bool wanted = false;
        for (const ManifestRow& row : rows)
            wanted |= (row.Notes.find("LZX") != std::string::npos ||
                       row.Notes.find("Quantum") != std::string::npos) &&
                      row.Notes.find("disagree") == std::string::npos && row.Sha256 != "-";
        if (!wanted) continue;
        TempDir dest;
        const ExtractResult result = ExtractAll(CorpusDir() / archive, dest.Path());
        EXPECT_TRUE(result.AllPassed()) << archive << ":\n" << result.Describe();
        for (const ManifestRow& row : rows)
            EXPECT_EQ(ManifestMismatch(row, dest.Path()), "");
        ++checked;
    }
    EXPECT_GE(checked, 4);
}

TEST(UnCabInterop, SetsWholeMissingACabinetAndEnteredInTheMiddle) {
    const auto manifest = ManifestArchives("libmspack/cabextract/split-1.cab");
    ASSERT_EQ(manifest.size(), 1u);
    const std::vector<ManifestRow>& rows = manifest.begin()->second;
    {
        SCOPED_TRACE("the whole set, later cabinets beside the first");
        TempDir set, dest;
        CopySplitSet(set.Path());
        const ExtractResult result = ExtractAll(set / "split-1.cab", dest.Path());
        EXPECT_TRUE(result.AllPassed()) << result.Describe();
        for (const ManifestRow& row : rows)
            EXPECT_EQ(ManifestMismatch(row, dest.Path()), "");
    }
    {
        SCOPED_TRACE("the second cabinet supplied from another folder");
        TempDir set, aside, dest;
        CopySplitSet(set.Path(), {2});
        fs::copy_file(CorpusDir() / "libmspack/cabextract/split-2.cab", aside / "split-2.cab");
        std::vector<std::string> asked;
        const ExtractResult result = ExtractAll(set / "split-1.cab", dest.Path(), [&](TUnBase& Reader) {
            Reader.OnNextVolume = [&](TZipCommon&, std::string& Name, const std::string&, bool,
                                      bool& Cancel) {
                asked.push_back(fs::path(Name).filename().string());
                Name = (aside / "split-2.cab").string();
                Cancel = false;
            };
        });
        EXPECT_EQ(asked, std::vector<std::string>{"Split-2.CAB"});
        EXPECT_TRUE(result.AllPassed()) << result.Describe();
        for (const ManifestRow& row : rows)
            EXPECT_EQ(ManifestMismatch(row, dest.Path()), "");
    }
    {
        SCOPED_TRACE("the second cabinet missing, the next-volume question cancelled");
        TempDir set, dest;
        CopySplitSet(set.Path(), {2});
        // A file of that name exists: the failed entry must not touch it.
        WriteFile(dest / "medium1.bin", "keep me");
        int asked = 0;
        const ExtractResult result = ExtractAll(set / "split-1.cab", dest.Path(), [&](TUnBase& Reader) {
            Reader.OnNextVolume = [&](TZipCommon&, std::string&, const std::string&, bool, bool& Cancel) {
                ++asked;
                Cancel = true;
            };
        });
        EXPECT_EQ(asked, 1);
        EXPECT_FALSE(result.Errors.empty()) << result.Describe();
        EXPECT_GE(result.FilesFailed, 1);
        for (const ManifestRow& row : rows) {
            if (row.Entry == "small1.bin") {
                EXPECT_EQ(ManifestMismatch(row, dest.Path()), "");
            }
        }
        EXPECT_EQ(ReadFile(dest / "medium1.bin"), "keep me");
        EXPECT_EQ(ReadTree(dest.Path()).size(), 2u) << "only small1.bin and the old medium1.bin";
    }
    {
        SCOPED_TRACE("a set entered at its third cabinet");
        TempDir set, dest;
        CopySplitSet(set.Path());
        const ExtractResult result = ExtractAll(set / "split-3.cab", dest.Path());
        EXPECT_TRUE(result.AllPassed()) << result.Describe();
        // medium2.bin began in the second cabinet: it is not extracted from the third alone.
        EXPECT_FALSE(fs::exists(dest / "medium2.bin"));
        for (const ManifestRow& row : rows)
            if (row.Entry == "small3.bin" || row.Entry == "medium3.bin") {
                EXPECT_EQ(ManifestMismatch(row, dest.Path()), "");
            }
    }
}

TEST(UnCabInterop, DamagedAndMissingCabinetsAreErrors) {
    {
        SCOPED_TRACE("a flipped byte in MSZIP data");
        TempDir sources, work, dest;
        const fs::path cab = MakeGcabCabinet(sources.Path(), work / "made.cab", true);
        FlipByteAt(cab, static_cast<std::size_t>(fs::file_size(cab) / 2));
        const ExtractResult result = ExtractAll(cab, dest.Path());
        EXPECT_EQ(result.CountOf(ecCorruptInput), 1) << result.Describe();
        EXPECT_EQ(result.Errors.size(), 1u) << result.Describe();
        // What was written of the damaged file is gone.
        for (const auto& [name, data] : ReadTree(dest.Path()))
            if (name.back() != '/') {
                EXPECT_EQ(data, ReadFile(sources / name)) << name;
            }
    }
    {
        SCOPED_TRACE("stored names that leave the destination");
        TempDir sources, work, outer;
        WriteFile(sources / "xxxup.txt", "up");
        WriteFile(sources / "yyyback.txt", "back");
        WriteFile(sources / "fine.txt", "fine");
        const fs::path cab = work / "names.cab";
        ASSERT_EQ(
            RunTool({"gcab", "-c", cab.string(), "xxxup.txt", "yyyback.txt", "fine.txt"}, sources.Path())
                .ExitCode,
            0);
        std::string data = ReadFile(cab);
        data.replace(data.find("xxx"), 3, "../");
        data.replace(data.find("yyy"), 3, "..\\");
        WriteFile(cab, data);
        const fs::path dest = outer / "dest";
        fs::create_directories(dest);
        const ExtractResult result = ExtractAll(cab, dest);
        EXPECT_EQ(result.CountOf(ecInvalidFileName), 2) << result.Describe();
        ExpectOnly(outer.Path(), {"dest/", "dest/fine.txt"});
    }
    {
        SCOPED_TRACE("the cabinet is gone when the extraction starts");
        TempDir sources, work, dest;
        const fs::path cab = MakeGcabCabinet(sources.Path(), work / "made.cab", false);
        TUnCab reader;
        reader.SetArchiveFile(cab.string());
        reader.SetExtractDir(dest.Str());
        reader.FileSpec = {"*"};
        std::vector<int> codes;
        reader.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&,
                             int Code) { codes.push_back(Code); };
        fs::remove(cab);
        EXPECT_EQ(reader.Extract(), 0);
        EXPECT_EQ(codes, std::vector<int>{ecFileNotFound});
    }
}

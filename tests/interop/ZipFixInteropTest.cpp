// Zip salvage over sample archives of other tools, damaged four ways (directory cut off,
// directory signature broken, archive cut inside its last entry or its last name): every intact
// entry comes back byte for byte as the manifest records it, Info-ZIP tests the rebuilt archive
// clean, the damaged entry is reported as dropped under what is left of its name, and the input
// is never written.
#include "CorpusManifest.h"
#include "ExtractRun.h"
#include "Sha256.h"
#include "TestSupport.h"

#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <sstream>

using namespace testsupport;

namespace {

struct TDamage {
    const char* Name;
    // Damages Bytes; returns the stored name of the entry it destroys (empty: none).
    std::function<std::string(std::string& Bytes)> Apply;
};

std::size_t FirstCentral(const std::string& Bytes) {
    return Bytes.find(std::string("PK\x01\x02", 4));
}

const std::vector<TDamage> Damages{
    {"DirectoryCutOff",
     [](std::string& B) {
         B.resize(FirstCentral(B));
         return std::string();
     }},
    {"DirectorySignatureBroken",
     [](std::string& B) {
         B[FirstCentral(B)] = 'X';
         return std::string();
     }},
    {"CutInsideTheLastEntry",
     [](std::string& B) {
         const std::size_t dir = FirstCentral(B);
         const std::size_t last = B.rfind(std::string("PK\x03\x04", 4), dir);
         const auto nameLength = static_cast<std::size_t>(static_cast<unsigned char>(B[last + 26]) |
                                                          static_cast<unsigned char>(B[last + 27]) << 8);
         const std::string name = B.substr(last + 30, nameLength);
         B.resize(last + (dir - last) / 2);
         return name;
     }},
    {"CutInsideTheLastName",
     [](std::string& B) {
         const std::size_t last = B.rfind(std::string("PK\x03\x04", 4), FirstCentral(B));
         const std::string name = B.substr(last + 30, static_cast<unsigned char>(B[last + 26]));
         B.resize(last + 32);
         return name;
     }},
};

const char* const Samples[] = {
    "commons-compress/zip/SunOS.zip",
    "sharpcompress/zip/Zip.none.datadescriptors.zip",
    "sharpcompress/zip/Zip.shrink.zip",
    "sharpcompress/zip/Zip.UnicodePathExtra.zip",
    "commons-compress/zip/utf8-winzip-test.zip",
    "libarchive/zip/compat_zip_1.zip",
};

TEST(ZipFixCorpus, IntactEntriesComeBackByteForByte) {
    const std::vector<ManifestRow> manifest = ReadManifest();
    for (const char* sample : Samples) {
        for (const TDamage& damage : Damages) {
            SCOPED_TRACE(std::string(sample) + ", " + damage.Name);
            TempDir dir;
            std::string bytes = ReadFile(CorpusDir() / sample);
            const std::string destroyed = damage.Apply(bytes);
            const fs::path broken = dir / "broken.zip", fixed = dir / "fixed.zip";
            WriteFile(broken, bytes);

            const ToolResult r = RunProbe({"repair", broken.string(), fixed.string()});
            EXPECT_EQ(ReadFile(broken), bytes);
            if (!destroyed.empty() && r.Out.find("\tKEPT") == std::string::npos) {
                // The archive's only entry was destroyed: nothing to rebuild, and that is a failure.
                EXPECT_NE(r.ExitCode, 0) << r.Out;
                continue;
            }
            // A destroyed entry is lost: the repair does not pass.
            EXPECT_EQ(r.ExitCode, destroyed.empty() ? 0 : 1) << r.Out << r.Err;
            std::set<std::string> kept, dropped;
            std::istringstream lines(r.Out);
            for (std::string line; std::getline(lines, line);) {
                const std::size_t tab = line.rfind('\t');
                (line.substr(tab + 1) == "KEPT" ? kept : dropped).insert(line.substr(0, tab));
            }
            if (!destroyed.empty()) {
                EXPECT_EQ(kept.count(destroyed), 0U) << destroyed;
                // Named by what is left of its name, where its header is whole.
                const std::size_t last = bytes.rfind(std::string("PK\x03\x04", 4));
                EXPECT_TRUE(
                    bytes.size() <= last + 30 ||
                    std::any_of(dropped.begin(), dropped.end(),
                                [&](const std::string& D) { return !D.empty() && destroyed.starts_with(D); }))
                    << r.Out;
            }
            const ToolResult test = RunTool({"unzip", "-tqq", fixed.string()});
            EXPECT_EQ(test.ExitCode, 0) << test.Out << test.Err;

            // Every entry but the destroyed one, as the manifest records it.
            ExtractAll(fixed, dir / "out");
            const auto tree = ReadTree(dir / "out");
            for (const ManifestRow& row : manifest) {
                if (row.Archive != sample || row.Sha256 == "-" || row.Entry == destroyed) continue;
                const auto file = tree.find(row.Entry);
                if (file == tree.end()) {
                    ADD_FAILURE() << row.Entry << " is missing";
                    continue;
                }
                EXPECT_EQ(Sha256Hex(file->second), row.Sha256) << row.Entry;
            }
        }
    }
}

// Entries that are not what they claim are dropped and reported, and the repair fails; the output
// is never the input.
TEST(ZipFixHostile, ImplausibleEntriesAreDroppedAndTheInputIsNeverWritten) {
    TempDir dir;
    fs::create_directories(dir / "src");
    WriteFile(dir / "src" / "good.txt", TextBytes(5000, 1));
    WriteFile(dir / "src" / "also-good.bin", RandomBytes(3000, 2));
    ASSERT_EQ(
        RunTool({"zip", "-qX", (dir / "a.zip").string(), "good.txt", "also-good.bin"}, dir / "src").ExitCode,
        0);
    std::string bytes = ReadFile(dir / "a.zip");
    // Garbage with a stray signature in front, a header whose name holds control bytes, and
    // the directory gone.
    std::string garbage = std::string("junk PK\x03\x04 more junk", 21);
    std::string bad = bytes.substr(0, 30) + std::string("\x01\x02", 2) + bytes.substr(32, 50);
    bytes = garbage + bad + bytes.substr(0, FirstCentral(bytes));
    const fs::path broken = dir / "broken.zip";
    WriteFile(broken, bytes);
    const ToolResult r = RunProbe({"repair", broken.string(), (dir / "fixed.zip").string()});
    EXPECT_EQ(r.ExitCode, 1) << r.Err;
    EXPECT_NE(r.Out.find("good.txt\tKEPT"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("also-good.bin\tKEPT"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("DROPPED"), std::string::npos) << r.Out;
    EXPECT_EQ(RunTool({"unzip", "-tqq", (dir / "fixed.zip").string()}).ExitCode, 0);

    const ToolResult same = RunProbe({"repair", broken.string(), broken.string()});
    EXPECT_NE(same.ExitCode, 0);
    EXPECT_NE(same.Err.find(std::to_string(ecSameInputAndOutputFileNames)), std::string::npos) << same.Err;
    EXPECT_EQ(ReadFile(broken), bytes);
}

// Where the directory survives, the repair is counted against it: each entry it lists has one
// line, the one whose local header is gone (zip -FF: "no local entry") or whose data fail their
// CRC (unzip -t: "bad CRC") is named and not recovered, and the repair fails. Nothing is lost:
// the entry with bad data stays in the rebuilt archive as it was.
TEST(ZipFixDirectory, EveryListedEntryIsCountedAndTheLostOnesNamed) {
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 1; i <= 11; ++i) {
        names.push_back(i == 6 ? "text.txt" : "f" + std::to_string(i) + ".txt");
        WriteFile(dir / "src" / names.back(), TextBytes(500 * i, i));
    }
    std::vector<std::string> zip{"zip", "-qX", (dir / "a.zip").string()};
    zip.insert(zip.end(), names.begin(), names.end());
    ASSERT_EQ(RunTool(zip, dir / "src").ExitCode, 0);
    const std::string whole = ReadFile(dir / "a.zip");
    const std::size_t local = whole.rfind(std::string("PK\x03\x04", 4), whole.find("text.txt"));
    struct TCase {
        std::size_t At; // the byte damaged
        std::vector<std::string> Oracle;
        std::string Says;
        int FixedTest; // unzip -t's exit status on the rebuilt archive
    } const cases[] = {
        {local, {"zip", "-FF", "broken.zip", "--out", "ff.zip"}, "no local entry: text.txt", 0},
        {local + 30 + 8 + 100, {"unzip", "-t", "broken.zip"}, "testing: text.txt                 bad CRC", 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Says);
        std::string bytes = whole;
        bytes[c.At] ^= 0x55;
        WriteFile(dir / "broken.zip", bytes);
        fs::remove(dir / "ff.zip");
        fs::remove(dir / "fixed.zip");
        const ToolResult oracle = RunTool(c.Oracle, dir.Path());
        EXPECT_NE((oracle.Out + oracle.Err).find(c.Says), std::string::npos) << oracle.Out << oracle.Err;
        const ToolResult r = RunProbe({"repair", "broken.zip", "fixed.zip"}, dir.Path());
        EXPECT_EQ(r.ExitCode, 1) << r.Out << r.Err;
        std::map<std::string, std::string> lines, expected;
        std::istringstream out(r.Out);
        for (std::string line; std::getline(out, line);)
            lines[line.substr(0, line.find('\t'))] = line.substr(line.find('\t') + 1);
        for (const std::string& name : names)
            expected[name] = name == "text.txt" ? "DROPPED" : "KEPT";
        EXPECT_EQ(lines, expected) << r.Out;
        EXPECT_EQ(RunTool({"unzip", "-tqq", "fixed.zip"}, dir.Path()).ExitCode, c.FixedTest);
    }
}

} // namespace

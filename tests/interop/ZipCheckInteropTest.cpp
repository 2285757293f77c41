// The integrity tester: every sample zip of the corpus that Info-ZIP tests clean (and whose
// methods the engine decodes) passes; one flipped byte in a member fails exactly that member;
// a wrong password fails without touching anything; types the tester does not take are
// refused with 25243.
#include "TestSupport.h"
#include "ZipInspect.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/read/krvZipCheck.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace testsupport;

namespace {

// krvprobe test's verdicts in entry order: "PASS" or "FAIL <code> <text>".
std::vector<std::string> Verdicts(const std::string& Out) {
    std::vector<std::string> verdicts;
    std::istringstream lines(Out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos) verdicts.push_back(line.substr(tab + 1));
    }
    return verdicts;
}

TEST(ZipCheckCorpus, EverySoundSampleZipPasses) {
    int tested = 0;
    for (const auto& entry : fs::recursive_directory_iterator(CorpusDir())) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".zip" && ext != ".jar")) continue;
        const fs::path zip = entry.path();
        const ToolResult unzip = RunTool({"unzip", "-tqq", "-P", "", zip.string()});
        if (unzip.ExitCode != 0) continue; // damaged, encrypted or a piece of a set
        // Entries of the methods the engine decodes (as the lister names them).
        bool decodable = true;
        std::istringstream listing(RunProbe({"list", zip.string()}).Out);
        for (std::string line; std::getline(listing, line);) {
            std::istringstream fields(line);
            std::string field;
            for (int i = 0; i < 5 && std::getline(fields, field, '\t'); ++i) {
                if (i == 4 && (field == "Unsupported" || field.rfind("Def-64", 0) == 0)) decodable = false;
            }
        }
        if (!decodable) continue;
        ++tested;
        const ToolResult r = RunProbe({"test", zip.string()});
        EXPECT_EQ(r.ExitCode, 0) << zip << "\n" << r.Out << r.Err;
    }
    EXPECT_GE(tested, 15);
}

TEST(ZipCheckDamage, AFlippedByteFailsExactlyItsMember) {
    TempDir dir;
    fs::create_directories(dir / "src");
    WriteFile(dir / "src" / "text.txt", TextBytes(40000, 1));
    WriteFile(dir / "src" / "random.bin", RandomBytes(20000, 2));
    WriteFile(dir / "src" / "small.txt", "a small file\n");
    const fs::path made = dir / "made.zip";
    ASSERT_EQ(
        RunTool({"zip", "-qX", made.string(), "text.txt", "random.bin", "small.txt"}, dir / "src").ExitCode,
        0);
    // An archive of today's Info-ZIP and one of the legacy methods.
    for (const fs::path& sample : {made, CorpusDir() / "sharpcompress" / "zip" / "Zip.shrink.zip",
                                   CorpusDir() / "sharpcompress" / "zip" / "Zip.implode.zip"}) {
        const std::string bytes = ReadFile(sample);
        const ZipContents zip = InspectZip(sample);
        std::size_t at = static_cast<std::size_t>(zip.FirstEntry);
        for (const ZipEntryBytes& e : zip.Entries) {
            const std::size_t start = at;
            at += e.Span.size();
            if (e.Central.CompressedSize == 0) continue;
            SCOPED_TRACE(sample.filename().string() + ": " + e.Name);
            std::string damaged = bytes;
            const std::size_t data = start + TZipLocalHeader::Size + e.Local.NameLength + e.Local.ExtraLength;
            damaged[data + e.Central.CompressedSize / 2] ^= 0x5A;
            const fs::path zipFile = dir / "damaged.zip";
            WriteFile(zipFile, damaged);
            const std::string out = RunProbe({"test", zipFile.string()}).Out;
            const auto verdicts = Verdicts(out);
            ASSERT_EQ(verdicts.size(), zip.Entries.size()) << out;
            for (std::size_t i = 0; i < verdicts.size(); ++i) {
                if (zip.Entries[i].Name == e.Name)
                    EXPECT_EQ(verdicts[i].substr(0, 4), "FAIL") << out;
                else
                    EXPECT_EQ(verdicts[i], "PASS") << out;
            }
        }
    }
}

TEST(ZipCheckRefusals, WrongPasswordsAndOtherTypesTouchNothing) {
    TempDir dir;
    fs::create_directories(dir / "src");
    WriteFile(dir / "src" / "secret.txt", TextBytes(3000, 3));
    const fs::path zip = dir / "secret.zip";
    ASSERT_EQ(RunTool({"zip", "-qX", "-P", "right", zip.string(), "secret.txt"}, dir / "src").ExitCode, 0);
    const std::string before = ReadFile(zip);

    const ToolResult right = RunProbe({"test", zip.string(), "right"});
    EXPECT_EQ(right.ExitCode, 0) << right.Out;
    const ToolResult wrong = RunProbe({"test", zip.string(), "wrong-password-1"});
    EXPECT_NE(wrong.ExitCode, 0);
    EXPECT_EQ(wrong.Out.substr(0, 16), "secret.txt\tFAIL ") << wrong.Out;
    EXPECT_EQ(ReadFile(zip), before);
    EXPECT_EQ(fs::directory_iterator(dir / "src")->path().filename(), "secret.txt");

    // A cabinet, and a file that is no archive, are not testable.
    WriteFile(dir / "src" / "plain.txt", "no archive\n");
    ASSERT_EQ(RunTool({"gcab", "-c", (dir / "a.cab").string(), "plain.txt"}, dir / "src").ExitCode, 0);
    for (const fs::path& untestable : {dir / "a.cab", dir / "src" / "plain.txt"}) {
        const ToolResult r = RunProbe({"test", untestable.string()});
        EXPECT_NE(r.ExitCode, 0) << untestable;
        EXPECT_NE(r.Out.find("FAIL " + std::to_string(ecInvalidArchiveType)), std::string::npos) << r.Out;
    }
}

} // namespace

// A test that goes on into the tar inside a gzip file (made by GNU tar and gzip) tells the
// host the tar's name and type once, after the tar's entries, and the tester then names that
// tar; a gzip file of no tar, or a tar the host declines, tells nothing.
TEST(ZipCheckNestedTar, ATestThatGoesOnIntoTheTarOfAGzipFileNamesIt) {
    TempDir dir;
    const fs::path src = dir / "src";
    WriteFile(src / "a.txt", TextBytes(3000));
    WriteFile(src / "sub" / "b.bin", RandomBytes(70000, 4));
    ASSERT_EQ(RunTool({"tar", "-czf", (dir / "plain.tgz").string(), "-C", src.string(), "a.txt", "sub/b.bin"}).ExitCode, 0);
    ASSERT_EQ(RunTool({"tar", "-czf", (dir / "piped.tar.gz").string(), "-C", src.string(), "a.txt", "sub/b.bin"}).ExitCode, 0);
    ASSERT_EQ(RunTool({"tar", "-cf", (dir / "named.tar").string(), "-C", src.string(), "a.txt", "sub/b.bin"}).ExitCode, 0);
    ASSERT_EQ(RunTool({"gzip", "-k", "-S", ".gzip", (dir / "named.tar").string()}).ExitCode, 0);
    ASSERT_EQ(RunTool({"gzip", "-k", (src / "a.txt").string()}).ExitCode, 0);

    struct TCase {
        fs::path Archive;
        bool UnTar;        // the host's answer to the nested-tar question
        const char* Named; // the tar the host learns of; nullptr: none
        int Statuses;      // the verdicts reported
    } const cases[] = {
        {dir / "plain.tgz", true, "plain", 2},          // no stored name: the archive's less its extension
        {dir / "piped.tar.gz", true, "piped.tar", 2},   // likewise
        {dir / "named.tar.gzip", true, "named.tar", 2}, // the name gzip stored
        {dir / "named.tar.gzip", false, nullptr, 1},    // the tar itself is the one entry
        {src / "a.txt.gz", true, nullptr, 1},           // no tar inside
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Archive.filename().string() + (c.UnTar ? " untarred" : " kept whole"));
        TZipCheck tester;
        tester.SetArchiveFile(c.Archive.string());
        ASSERT_EQ(tester.ArcType(), atGZip);
        tester.FileSpec = {"*.*"};
        tester.RecurseDirs = true;
        int statuses = 0;
        std::vector<std::string> events;
        tester.OnStatus = [&](TZipCommon&, const std::string&, bool Pass) {
            EXPECT_TRUE(Pass);
            ++statuses;
        };
        tester.OnNestedTarFile = [&](TZipCommon&, const std::string&, bool& DoUnTar) { DoUnTar = c.UnTar; };
        tester.OnChangeArchive = [&](TZipCommon&, const std::string& Name, TArcType Type) {
            events.push_back(Name + " " + std::to_string(Type) + " after " + std::to_string(statuses));
        };
        tester.Activate();
        EXPECT_EQ(tester.Failed, 0);
        EXPECT_EQ(statuses, c.Statuses);
        if (c.Named) {
            EXPECT_EQ(events, std::vector<std::string>{std::string(c.Named) + " " + std::to_string(atTar) +
                                                       " after " + std::to_string(c.Statuses)});
            EXPECT_EQ(tester.ArchiveFile(), c.Named);
            EXPECT_EQ(tester.ArcType(), atTar);
        } else {
            EXPECT_EQ(events, std::vector<std::string>{});
            EXPECT_EQ(tester.ArchiveFile(), c.Archive.string());
            EXPECT_EQ(tester.ArcType(), atGZip);
        }
    }
}

// Archives the zip writer makes are accepted by Info-ZIP's unzip and zipinfo and by 7-Zip,
// and extract to the very bytes of their sources; archives made by Info-ZIP keep every entry
// the writer does not touch byte for byte.
#include "engine/formats/zip/krvZip.h"

#include "ExtractRun.h"
#include "TestSupport.h"
#include "ZipInspect.h"

#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>

using namespace testsupport;

namespace {

std::map<std::string, std::string> Tree(const fs::path& Root) {
    std::map<std::string, std::string> m;
    for (const auto& f : fs::recursive_directory_iterator(Root))
        if (f.is_regular_file()) m[fs::relative(f.path(), Root).string()] = ReadFile(f.path());
    return m;
}

// unzip -t, zipinfo -v and 7zz t all accept Zip.
void ExpectAccepted(const fs::path& Zip, const std::string& Password = {}) {
    std::vector<std::string> unzip{"unzip", "-t"};
    if (!Password.empty()) unzip.insert(unzip.end(), {"-P", Password});
    unzip.push_back(Zip.string());
    const ToolResult t = RunUtf8(unzip);
    EXPECT_EQ(t.ExitCode, 0) << "unzip -t " << Zip << "\n" << t.Out << t.Err;
    const ToolResult z = RunUtf8({"zipinfo", "-v", Zip.string()});
    EXPECT_EQ(z.ExitCode, 0) << "zipinfo " << Zip << "\n" << z.Out << z.Err;
    std::vector<std::string> sz{"7zz", "t", "-bd"};
    sz.push_back("-p" + Password);
    sz.push_back(Zip.string());
    const ToolResult s = RunUtf8(sz);
    EXPECT_EQ(s.ExitCode, 0) << "7zz t " << Zip << "\n" << s.Out << s.Err;
}

// unzip extracts Zip to exactly the files of Source.
void ExpectUnzipsTo(const fs::path& Zip, const fs::path& Source, const std::string& Password = {}) {
    TempDir out;
    std::vector<std::string> argv{"unzip", "-q", "-o"};
    if (!Password.empty()) argv.insert(argv.end(), {"-P", Password});
    argv.insert(argv.end(), {Zip.string(), "-d", out.Str()});
    const ToolResult r = RunUtf8(argv);
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_EQ(Tree(out.Path()), Tree(Source)) << "unzip of " << Zip;
}

class ZipWriterInterop : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Src / "sub" / "deeper");
        WriteFile(Src / "empty", "");
        WriteFile(Src / "one", "1");
        WriteFile(Src / "small256.txt", TextBytes(256, 1));
        WriteFile(Src / "small257.txt", TextBytes(257, 2));
        WriteFile(Src / "tiny-random.bin", RandomBytes(100, 3));
        WriteFile(Src / "sub" / "random.bin", RandomBytes(300000, 4));
        WriteFile(Src / "sub" / "deeper" / "text.txt", TextBytes(1 << 20, 5));
        WriteFile(Src / "sub" / "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt", TextBytes(5000, 6));
    }
    TempDir Dir;
    fs::path Src = Dir / "src";
};

TEST_F(ZipWriterInterop, EveryMethodPassesTheToolsAndExtractsByteForByte) {
    for (const char* method : {"store", "fast", "normal", "max"}) {
        SCOPED_TRACE(method);
        const fs::path zip = Dir / (std::string(method) + ".zip");
        const ToolResult r = RunProbe({"add", zip.string(), "-m", method, "-r", Src.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        ExpectAccepted(zip);
        ExpectUnzipsTo(zip, Src);
    }
}

TEST_F(ZipWriterInterop, EncryptedEntriesPassTheToolsWithTheirPassword) {
    for (const char* method : {"store", "fast", "max"}) {
        SCOPED_TRACE(method);
        const fs::path zip = Dir / (std::string("pw-") + method + ".zip");
        const ToolResult r =
            RunProbe({"add", zip.string(), "-m", method, "-p", "s3cret pass", "-r", Src.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        ExpectAccepted(zip, "s3cret pass");
        ExpectUnzipsTo(zip, Src, "s3cret pass");
        const ToolResult wrong = RunUtf8({"unzip", "-t", "-P", "wrong", zip.string()});
        EXPECT_NE(wrong.ExitCode, 0);
    }
}

// Extracts Zip into Out with one of the extractors of the names tests.
ToolResult ExtractWith(const std::string& Tool, const fs::path& Zip, const fs::path& Out) {
    fs::create_directories(Out);
    if (Tool == "unzip") return RunUtf8({"unzip", "-q", Zip.string(), "-d", Out.string()});
    if (Tool == "7zz") return RunUtf8({"7zz", "x", "-bd", "-y", "-o" + Out.string(), Zip.string()});
    if (Tool == "bsdtar") return RunUtf8({"bsdtar", "-x", "-f", Zip.string()}, Out);
    return RunProbe({"extract", Zip.string(), Out.string()});
}

// The file names krvprobe list reports for Zip (folders left out).
std::set<std::string> ListedFiles(const fs::path& Zip) {
    std::set<std::string> names;
    std::istringstream lines(RunProbe({"list", Zip.string()}).Out);
    for (std::string line; std::getline(lines, line);) {
        const std::string name = line.substr(0, line.find('\t'));
        if (name != "TOTAL" && !name.empty() && name.back() != '/') names.insert(name);
    }
    return names;
}

std::set<std::string> FileNames(const std::map<std::string, std::string>& Tree) {
    std::set<std::string> names;
    for (const auto& entry : Tree)
        names.insert(entry.first);
    return names;
}

TEST_F(ZipWriterInterop, NamesBeyondAsciiComeOutTheSameThroughEveryTool) {
    // UTF-8 names go through every extractor; local names that are not UTF-8 (raw bytes) are
    // stored as those bytes and come out the same too, never mixed up with a UTF-8 name that
    // reads the same in code page 437 (0x82 is e-acute there). No 0xFF: unzip drops that byte
    // from any name.
    struct TCase {
        const char* What;
        std::vector<std::string> Names;
    };
    const TCase cases[] = {
        {"latin", {"caf\xc3\xa9.txt", "\xc3\xbc\xc3\x9f\xc3\xb1.txt"}},
        {"greek", {"\xce\x95\xce\xbb\xce\xbb\xce\xac\xce\xb4\xce\xb1.txt"}},
        {"cjk", {"\xe4\xb8\xad\xe6\x96\x87/\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt"}},
        {"emoji", {"\xf0\x9f\x98\x80.txt", "plain.txt"}},
        {"raw bytes", {"\x82x.txt", "\xc3\xa9x.txt", "\xe9t\xe9.txt"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir src;
        for (const std::string& name : c.Names) {
            fs::create_directories((src / name).parent_path());
            WriteFile(src / name, "content of " + name);
        }
        const fs::path zip = Dir / (std::string(c.What) + ".zip");
        const ToolResult add = RunProbe({"add", zip.string(), "-r", src.Str()});
        ASSERT_EQ(add.ExitCode, 0) << add.Err;
        ExpectAccepted(zip);
        const auto expected = Tree(src.Path());
        std::set<std::string> zipinfo;
        std::istringstream lines(RunUtf8({"unzip", "-Z1", zip.string()}).Out);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty() && line.back() != '/') zipinfo.insert(line);
        EXPECT_EQ(zipinfo, FileNames(expected)) << "zipinfo -1";
        EXPECT_EQ(ListedFiles(zip), FileNames(expected)) << "krvprobe list";
        for (const std::string tool : {"unzip", "7zz", "bsdtar", "krvprobe"}) {
            SCOPED_TRACE(tool);
            TempDir out;
            const ToolResult x = ExtractWith(tool, zip, out.Path());
            EXPECT_EQ(x.ExitCode, 0) << x.Out << x.Err;
            EXPECT_EQ(Tree(out.Path()), expected);
        }
    }
}

TEST_F(ZipWriterInterop, AFolderGivenAsTheArchiveIsAnErrorAndStaysAsItWas) {
    TempDir box;
    const fs::path folder = box / "target.zip";
    fs::create_directories(folder);
    WriteFile(folder / "inside.txt", "kept");
    const auto before = Tree(box.Path());
    const std::vector<std::vector<std::string>> runs = {
        {"add", folder.string(), (Src / "one").string()},
        {"add", folder.string() + "/", (Src / "one").string()},
        {"delete", folder.string(), "inside.txt"},
    };
    for (const auto& args : runs) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        const ToolResult r = RunProbe(args);
        EXPECT_NE(r.ExitCode, 0) << r.Out;
        EXPECT_NE(r.Err.find("error 25107 File is a directory"), std::string::npos) << r.Err;
        EXPECT_EQ(Tree(box.Path()), before);
    }
}

TEST_F(ZipWriterInterop, DeletingAPlainNameTakesThatNameOnlyAsZipDoes) {
    // Names that differ only in case; a mask without wildcards deletes its own name (zip -d
    // is the oracle), one with wildcards every case.
    TempDir src;
    const std::vector<std::string> names = {"readme.txt", "README.TXT", "ReadMe.txt", "notes.txt"};
    for (const std::string& n : names)
        WriteFile(src / n, n);
    const fs::path original = Dir / "case.zip";
    std::vector<std::string> zipArgs{"zip", "-q", original.string()};
    zipArgs.insert(zipArgs.end(), names.begin(), names.end());
    ASSERT_EQ(RunTool(zipArgs, src.Path()).ExitCode, 0);
    const auto listing = [](const fs::path& Zip) { return RunUtf8({"unzip", "-Z1", Zip.string()}).Out; };
    struct TCase {
        std::string Mask;
        std::string Left; // unzip -Z1 afterwards
        bool ZipAgrees;
    };
    const TCase cases[] = {
        {"readme.txt", "README.TXT\nReadMe.txt\nnotes.txt\n", true},
        {"README.TXT", "readme.txt\nReadMe.txt\nnotes.txt\n", true},
        {"readme.*", "notes.txt\n", false},
        {"*ME.TXT", "notes.txt\n", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Mask);
        const fs::path ours = Dir / "ours.zip";
        fs::copy_file(original, ours, fs::copy_options::overwrite_existing);
        const ToolResult r = RunProbe({"delete", ours.string(), c.Mask});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        EXPECT_EQ(listing(ours), c.Left);
        if (!c.ZipAgrees) continue;
        const fs::path theirs = Dir / "theirs.zip";
        fs::copy_file(original, theirs, fs::copy_options::overwrite_existing);
        ASSERT_EQ(RunTool({"zip", "-q", "-d", theirs.string(), c.Mask}).ExitCode, 0);
        EXPECT_EQ(listing(ours), listing(theirs));
    }
    // The reader selects by the same rule.
    TempDir out;
    const auto result =
        ExtractAll(original, out.Path(), [](TUnBase& Reader) { Reader.FileSpec = {"ReadMe.txt"}; });
    EXPECT_TRUE(result.AllPassed()) << result.Describe();
    EXPECT_EQ(Tree(out.Path()), (std::map<std::string, std::string>{{"ReadMe.txt", "ReadMe.txt"}}));
}

TEST_F(ZipWriterInterop, JarArchivesPassTheTools) {
    const fs::path jar = Dir / "lib.jar";
    ASSERT_EQ(RunProbe({"add", jar.string(), "-r", Src.string()}).ExitCode, 0);
    ExpectAccepted(jar);
    ExpectUnzipsTo(jar, Src);
}

TEST_F(ZipWriterInterop, CommentsAreSeenByTheTools) {
    const fs::path zip = Dir / "c.zip";
    ASSERT_EQ(RunProbe({"add", zip.string(), (Src / "one").string()}).ExitCode, 0);
    TZip z;
    z.SetArchiveFile(zip.string());
    ASSERT_EQ(z.OpenComments(), 1);
    z.SetArchiveComment("the archive comment", 19);
    z.SetFileComment(0, "a file comment", 14);
    ASSERT_TRUE(z.SaveComments());
    ExpectAccepted(zip);
    EXPECT_EQ(RunUtf8({"unzip", "-z", zip.string()}).Out.find("the archive comment") != std::string::npos,
              true);
    EXPECT_NE(RunUtf8({"zipinfo", "-v", zip.string()}).Out.find("a file comment"), std::string::npos);
}

TEST_F(ZipWriterInterop, DeletingAndMovingLeaveArchivesTheToolsAccept) {
    const fs::path zip = Dir / "d.zip";
    ASSERT_EQ(RunProbe({"add", zip.string(), "-r", Src.string()}).ExitCode, 0);
    ASSERT_EQ(RunProbe({"delete", zip.string(), "sub/*"}).ExitCode, 0);
    ExpectAccepted(zip);
    const ToolResult list = RunUtf8({"unzip", "-Z1", zip.string()});
    EXPECT_EQ(list.Out.find("sub/"), std::string::npos) << list.Out;
    const ToolResult none = RunProbe({"delete", zip.string(), "nothing-matches"});
    EXPECT_EQ(none.ExitCode, 0);
    EXPECT_EQ(none.Out, "0\n");

    TempDir moved;
    WriteFile(moved / "m.txt", "moved");
    ASSERT_EQ(RunProbe({"add", zip.string(), "-s", "move", (moved / "m.txt").string()}).ExitCode, 0);
    EXPECT_FALSE(fs::exists(moved / "m.txt"));
    ExpectAccepted(zip);
    EXPECT_EQ(RunUtf8({"unzip", "-p", zip.string(), "m.txt"}).Out, "moved");
}

// ---- archives made by Info-ZIP ---------------------------------------------------------------

class InfoZipUpdate : public ZipWriterInterop {
protected:
    // Info-ZIP's archive of the source folder in the variants that matter for an update.
    fs::path Make(const std::string& Variant) {
        const fs::path zip = Dir / (Variant + ".zip");
        if (Variant == "descriptors") {
            // Written to a pipe, zip puts sizes and CRCs in data descriptors.
            const ToolResult r = RunTool({"zip", "-q", "-r", "-", "."}, Src);
            EXPECT_EQ(r.ExitCode, 0) << r.Err;
            WriteFile(zip, r.Out);
        } else {
            const ToolResult r = RunTool({"zip", "-q", "-r", zip.string(), "."}, Src);
            EXPECT_EQ(r.ExitCode, 0) << r.Err;
        }
        if (Variant == "comments") {
            EXPECT_EQ(RunTool({"zip", "-q", "-z", zip.string()}, {}, "archive comment line\n").ExitCode, 0);
            EXPECT_EQ(
                RunTool({"zip", "-q", "-c", zip.string(), "one", "empty"}, {}, "first\nsecond\n").ExitCode,
                0);
        }
        if (Variant == "sfx") {
            const fs::path sfx = Dir / "sfx.zip";
            WriteFile(sfx, ReadFile("/usr/bin/unzipsfx") + ReadFile(zip));
            EXPECT_EQ(RunTool({"zip", "-q", "-A", sfx.string()}).ExitCode, 0);
            return sfx;
        }
        return zip;
    }

    // Every entry of Before other than Changed is in After with the same bytes.
    static void ExpectKept(const ZipContents& Before, const ZipContents& After,
                           const std::vector<std::string>& Changed) {
        for (const ZipEntryBytes& e : Before.Entries) {
            if (std::find(Changed.begin(), Changed.end(), e.Name) != Changed.end()) continue;
            const ZipEntryBytes* a = FindEntry(After, e.Name);
            ASSERT_NE(a, nullptr) << e.Name;
            EXPECT_EQ(a->Span, e.Span) << e.Name;
            EXPECT_EQ(a->CentralRecord, e.CentralRecord) << e.Name;
        }
        EXPECT_EQ(After.Comment, Before.Comment);
    }
};

TEST_F(InfoZipUpdate, AddingReplacingRefreshingAndDeletingKeepUntouchedEntries) {
    for (const std::string variant : {"plain", "comments", "descriptors", "sfx"}) {
        SCOPED_TRACE(variant);
        const fs::path zip = Make(variant);
        const std::string original = ReadFile(zip);
        const ZipContents before = InspectZip(zip);
        ASSERT_GE(before.Entries.size(), 8U);
        if (variant == "descriptors") {
            ASSERT_TRUE(before.Entries[1].Central.Flags & zfDescriptor);
        }
        if (variant == "comments") {
            ASSERT_FALSE(before.Comment.empty());
        }

        // A new file, and a changed file replacing its entry.
        TempDir extra;
        WriteFile(extra / "added.txt", "added");
        WriteFile(extra / "one", "changed one");
        ASSERT_EQ(RunProbe({"add", zip.string(), (extra / "added.txt").string(), (extra / "one").string()})
                      .ExitCode,
                  0);
        ExpectAccepted(zip);
        ZipContents after = InspectZip(zip);
        ExpectKept(before, after, {"one"});
        EXPECT_EQ(RunUtf8({"unzip", "-p", zip.string(), "one"}).Out, "changed one");
        EXPECT_EQ(RunUtf8({"unzip", "-p", zip.string(), "added.txt"}).Out, "added");
        if (variant == "sfx") {
            EXPECT_EQ(ReadFile(zip).substr(0, static_cast<std::size_t>(before.FirstEntry)),
                      original.substr(0, static_cast<std::size_t>(before.FirstEntry)));
        }

        // Refresh with a changed file; a file that is not in the archive is not added.
        WriteFile(extra / "empty", "no longer empty");
        WriteFile(extra / "not-in-archive", "not added");
        const ZipContents beforeRefresh = InspectZip(zip);
        ASSERT_EQ(RunProbe({"add", zip.string(), "-s", "refresh", (extra / "empty").string(),
                            (extra / "not-in-archive").string()})
                      .ExitCode,
                  0);
        ExpectKept(beforeRefresh, InspectZip(zip), {"empty"});
        EXPECT_EQ(RunUtf8({"unzip", "-p", zip.string(), "empty"}).Out, "no longer empty");

        // Delete.
        const ZipContents beforeDelete = InspectZip(zip);
        ASSERT_EQ(RunProbe({"delete", zip.string(), "small*"}).ExitCode, 0);
        after = InspectZip(zip);
        ExpectKept(beforeDelete, after, {"small256.txt", "small257.txt"});
        EXPECT_EQ(FindEntry(after, "small256.txt"), nullptr);
        ExpectAccepted(zip);
    }
}

} // namespace

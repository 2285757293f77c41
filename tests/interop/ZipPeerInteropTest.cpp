// Zip archives made by other tools (Info-ZIP's zip with and without Zip64, 7-Zip, a WinZip
// sample with unicode path fields, a jar of Unix entries) extract to what the tools extract,
// permission bits included; damaged directories and odd names get the verdict unzip and 7-Zip
// give them, while every entry that verifies is still extracted.
#include "ExtractRun.h"
#include "TestSupport.h"
#include "ZipBuilder.h"

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace testsupport;

namespace {

// Files below Root with their permission bits: name -> "mode content" (folders left out:
// the tools make them with modes of their own).
std::map<std::string, std::string> FilesWithModes(const fs::path& Root) {
    std::map<std::string, std::string> files;
    for (const auto& [name, content] : ReadTree(Root)) {
        if (name.back() == '/') continue;
        struct stat st {};
        EXPECT_EQ(::lstat((Root / name).c_str(), &st), 0) << name;
        files[name] = std::to_string(st.st_mode & 07777) + " " + content;
    }
    return files;
}

class ZipPeerInterop : public ::testing::Test {
protected:
    void SetUp() override {
        FOldMask = ::umask(022);
        WriteFile(Src / "run.sh", "#!/bin/sh\necho run\n");
        fs::permissions(Src / "run.sh", fs::perms(0755));
        WriteFile(Src / "text.txt", TextBytes(150000, 3));
        WriteFile(Src / "sub" / "mine.bin", RandomBytes(5000, 4));
        fs::permissions(Src / "sub" / "mine.bin", fs::perms(0600));
    }
    void TearDown() override { ::umask(FOldMask); }
    mode_t FOldMask = 0;
    TempDir Dir;
    fs::path Src = Dir / "src";
};

TEST_F(ZipPeerInterop, PeerArchivesExtractAsThePeerExtractsThem) {
    // A jar of Unix entries, as a build tool on Unix writes them.
    TZipSpec jar;
    jar.Add(UnixItem("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\n", 0100644));
    jar.Add(UnixItem("bin/launch", "#!/bin/sh\n", 0100755));
    jar.Add(UnixItem("lib/private.dat", "secret", 0104700)); // set-user bit never applied
    WriteFile(Dir / "unix.jar", MakeStoredZip(jar));

    struct TCase {
        const char* Name;
        std::vector<std::string> Make; // run in the source folder; "OUT" is the archive
        std::vector<std::string> Peer; // the peer's extraction; the destination is appended
    };
    const TCase cases[] = {
        {"infozip.zip", {"zip", "-q", "-r", "OUT", "."}, {"unzip", "-q", "OUT", "-d"}},
        {"infozip-zip64.zip", {"zip", "-q", "-r", "-fz", "OUT", "."}, {"unzip", "-q", "OUT", "-d"}},
        {"7zz.zip", {"7zz", "a", "-bd", "-tzip", "OUT", "."}, {"7zz", "x", "-bd", "OUT", "-o"}},
        {"7zz-stored.zip", {"7zz", "a", "-bd", "-tzip", "-mx0", "OUT", "."}, {"bsdtar", "-xf", "OUT", "-C"}},
        {"unix.jar", {}, {"unzip", "-q", "OUT", "-d"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path archive = Dir / c.Name;
        const auto withArchive = [&archive](std::vector<std::string> Argv) {
            for (std::string& arg : Argv)
                if (arg == "OUT") arg = archive.string();
            return Argv;
        };
        if (!c.Make.empty()) {
            const ToolResult made = RunTool(withArchive(c.Make), Src);
            ASSERT_EQ(made.ExitCode, 0) << made.Out << made.Err;
        }
        const fs::path theirs = Dir / "theirs" / c.Name;
        const fs::path ours = Dir / "ours" / c.Name;
        fs::create_directories(theirs);
        fs::create_directories(ours);
        std::vector<std::string> peer = withArchive(c.Peer);
        if (peer.back() == "-o")
            peer.back() += theirs.string();
        else
            peer.push_back(theirs.string());
        const ToolResult extracted = RunTool(peer);
        ASSERT_EQ(extracted.ExitCode, 0) << extracted.Out << extracted.Err;
        const ToolResult r = RunProbe({"extract", archive.string(), ours.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        std::map<std::string, std::string> want = FilesWithModes(theirs);
        // unzip keeps the set-user bit of an entry; we never give it.
        for (auto& [name, content] : want)
            if (content.rfind("2496 ", 0) == 0) content.replace(0, 4, "448");
        EXPECT_EQ(FilesWithModes(ours), want);
        EXPECT_EQ(RunProbe({"test", archive.string()}).ExitCode, 0);
    }
}

TEST_F(ZipPeerInterop, UnicodePathFieldsNameTheEntriesAsTheirRecordsAgree) {
    // WinZip's local headers hold a placeholder name and the unicode path field; the
    // directory holds the code-page name with the same field.
    const fs::path sample = CorpusDir() / "libarchive/zip/read_format_zip_7075_utf8_paths.zip";
    const ToolResult test = RunProbe({"test", sample.string()});
    EXPECT_EQ(test.ExitCode, 0) << test.Out << test.Err;
    const fs::path ours = Dir / "ours";
    fs::create_directories(ours);
    const ToolResult r = RunProbe({"extract", sample.string(), ours.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    const fs::path theirs = Dir / "theirs";
    fs::create_directories(theirs);
    ASSERT_EQ(RunUtf8({"bsdtar", "-xf", sample.string(), "-C", theirs.string()}).ExitCode, 0);
    const std::map<std::string, std::string> got = ReadTree(ours);
    const std::string content = ReadFile(theirs / "File 1.txt");
    const std::map<std::string, std::string> want = {
        {"File 1.txt", content},
        {"File 2 - \xc3\xb6.txt", content},
        {"File 3 - \xc3\xa4.txt", content},
        {"File 4 - \xc3\xa5.txt", content},
    };
    EXPECT_EQ(got, want);
}

TEST_F(ZipPeerInterop, DamagedDirectoriesAndOddNamesGetThePeersVerdicts) {
    TZipSpec spec;
    spec.Add("f1.txt", "first\n").Add("f2.txt", "second\n").Add("f3.txt", "third\n");
    TZipLayout layout;
    const std::string good = MakeStoredZip(spec, &layout);
    const std::size_t second = good.find("PK\x01\x02", layout.Directory + 4);
    ASSERT_NE(second, std::string::npos);
    const auto damaged = [&good](std::size_t At) {
        std::string bytes = good;
        bytes[At] = 'X';
        return bytes;
    };
    TZipSpec dotSpec;
    dotSpec.Add("a.txt", "a\n").Add(".", "no name\n").Add("b.txt", "b\n");

    struct TCase {
        const char* Name;
        std::string Bytes;
        bool PeersPass;                     // unzip -t and 7zz t pass it
        std::vector<std::string> Extracted; // what our extraction writes
        const char* Refused;                // the entry our extraction reports by name, if any
    };
    const TCase cases[] = {
        {"intact", good, true, {"f1.txt", "f2.txt", "f3.txt"}, nullptr},
        {"first record's signature",
         damaged(layout.Directory),
         false,
         {"f1.txt", "f2.txt", "f3.txt"},
         nullptr},
        {"second record's signature", damaged(second), false, {"f1.txt"}, nullptr},
        {"directory cut out",
         good.substr(0, layout.Directory) + good.substr(layout.EndRecord),
         false,
         {"f1.txt", "f2.txt", "f3.txt"},
         nullptr},
        {"end record's signature", damaged(layout.EndRecord), false, {"f1.txt", "f2.txt", "f3.txt"}, nullptr},
        {"no directory, no end record",
         good.substr(0, layout.Directory),
         false,
         {"f1.txt", "f2.txt", "f3.txt"},
         nullptr},
        {"entry named '.'", MakeStoredZip(dotSpec), true, {"a.txt", "b.txt"}, "."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path zip = Dir / "case.zip";
        WriteFile(zip, c.Bytes);
        EXPECT_EQ(RunTool({"unzip", "-tq", zip.string()}).ExitCode == 0, c.PeersPass);
        EXPECT_EQ(RunTool({"7zz", "t", "-bd", zip.string()}).ExitCode == 0, c.PeersPass);
        // Our test passes exactly what both peers pass, and checks every entry's data.
        const ToolResult test = RunProbe({"test", zip.string()});
        EXPECT_EQ(test.ExitCode == 0, c.PeersPass) << test.Out;
        if (!c.PeersPass) {
            EXPECT_NE(test.Out.find("case.zip\tFAIL 25259"), std::string::npos) << test.Out;
        }
        if (c.Refused) {
            EXPECT_NE(test.Out.find(std::string(c.Refused) + "\tPASS"), std::string::npos) << test.Out;
        }

        const fs::path out = Dir / "out";
        fs::remove_all(out);
        fs::create_directories(out);
        const ToolResult r = RunProbe({"extract", zip.string(), out.string()});
        EXPECT_EQ(r.ExitCode == 0, c.PeersPass && !c.Refused) << r.Out;
        if (c.Refused) {
            EXPECT_NE(r.Out.find(std::string(c.Refused) + "\tERROR 26800"), std::string::npos) << r.Out;
        }
        std::vector<std::string> written;
        for (const auto& [name, content] : ReadTree(out))
            written.push_back(name);
        EXPECT_EQ(written, c.Extracted);
    }
}

} // namespace

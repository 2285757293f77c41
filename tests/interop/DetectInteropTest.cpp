// Format detection of archives made by real tools at test time and of the sample corpus,
// through the test driver: `krvprobe detect FILE` prints the type and the archive offset.
#include "TestSupport.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>

using namespace testsupport;

namespace {

struct TProbe {
    std::string Type;
    std::int64_t Offset = -1;
    bool operator==(const TProbe&) const = default;
};

std::ostream& operator<<(std::ostream& Out, const TProbe& P) {
    return Out << P.Type << "\t" << P.Offset;
}

TProbe Detect(const fs::path& File) {
    const ToolResult r = RunTool({ProbePath().string(), "detect", File.string()});
    EXPECT_EQ(r.ExitCode, 0) << File << ": " << r.Err;
    TProbe p;
    std::istringstream in(r.Out);
    std::getline(in, p.Type, '\t');
    in >> p.Offset;
    return p;
}

// Runs a tool that must succeed.
void Make(const std::vector<std::string>& Argv, const fs::path& Cwd, const std::string& Input = {}) {
    const ToolResult r = RunTool(Argv, Cwd, Input);
    ASSERT_EQ(r.ExitCode, 0) << Argv[0] << " failed: " << r.Err << r.Out;
}

// Where Info-ZIP's zipinfo finds the central directory: the end record's actual position
// less the directory's length.
std::int64_t ZipinfoDirectoryOffset(const fs::path& Zip) {
    const ToolResult r = RunTool({"zipinfo", "-v", Zip.string()});
    std::smatch end;
    std::smatch size;
    const std::regex endRe(R"(Actual end-cent-dir record offset:\s+(\d+))");
    const std::regex sizeRe(R"(central directory is (\d+) )");
    if (!std::regex_search(r.Out, end, endRe) || !std::regex_search(r.Out, size, sizeRe)) {
        ADD_FAILURE() << "zipinfo gave no directory for " << Zip << ": " << r.Out << r.Err;
        return -1;
    }
    return std::stoll(end[1]) - std::stoll(size[1]);
}

// uuencode writes the encoded text to its standard output.
void Uuencode(const fs::path& Cwd, const std::string& File, const std::string& Out) {
    const ToolResult r = RunTool({"uuencode", File, File}, Cwd);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    WriteFile(Cwd / Out, r.Out);
}

class DetectInterop : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(Dir / "text.txt", TextBytes(20000, 3));
        WriteFile(Dir / "random.bin", RandomBytes(5000, 4));
        WriteFile(Dir / "runs.txt", std::string(300, 'a') + std::string(300, 'b'));
        std::string numbers;
        for (int i = 0; i < 3000; ++i)
            numbers += std::to_string(i) + "\n";
        WriteFile(Dir / "numbers.txt", numbers);
    }
    fs::path P(const std::string& Name) const { return Dir / Name; }
    TempDir Dir;
};

TEST_F(DetectInterop, InfoZipArchives) {
    Make({"zip", "-q", "a.zip", "text.txt", "random.bin"}, Dir.Path());
    EXPECT_EQ(Detect(P("a.zip")), (TProbe{"atZip", ZipinfoDirectoryOffset(P("a.zip"))}));

    // jar: by extension only when the content is a zip
    fs::copy_file(P("a.zip"), P("a.jar"));
    EXPECT_EQ(Detect(P("a.jar")), (TProbe{"atJar", ZipinfoDirectoryOffset(P("a.zip"))}));
    fs::copy_file(P("a.zip"), P("A.JAR"));
    EXPECT_EQ(Detect(P("A.JAR")).Type, "atJar");

    // an archive comment of the largest size: zip writes the archive, the comment is set in its
    // end record, and unzip must read the result as sound before it is detected
    std::string zip = ReadFile(P("a.zip"));
    const std::string comment = TextBytes(65535, 8);
    zip[zip.size() - 2] = static_cast<char>(0xFF);
    zip[zip.size() - 1] = static_cast<char>(0xFF);
    WriteFile(P("comment.zip"), zip + comment);
    const ToolResult z = RunTool({"unzip", "-z", P("comment.zip").string()});
    ASSERT_EQ(z.ExitCode, 0) << z.Err;
    ASSERT_NE(z.Out.find(comment.substr(65000)), std::string::npos);
    EXPECT_EQ(Detect(P("comment.zip")), (TProbe{"atZip", ZipinfoDirectoryOffset(P("a.zip"))}));

    // zip -0 (stored), an empty folder entry, many entries
    Make({"zip", "-q", "-0", "-r", "stored.zip", "."}, Dir.Path());
    EXPECT_EQ(Detect(P("stored.zip")), (TProbe{"atZip", ZipinfoDirectoryOffset(P("stored.zip"))}));
}

TEST_F(DetectInterop, JarTool) {
    Make({"jar", "cf", "t.jar", "text.txt"}, Dir.Path());
    EXPECT_EQ(Detect(P("t.jar")), (TProbe{"atJar", ZipinfoDirectoryOffset(P("t.jar"))}));
}

TEST_F(DetectInterop, SelfExtractorMadeWithUnzipsfx) {
    Make({"zip", "-q", "a.zip", "text.txt", "numbers.txt"}, Dir.Path());
    const std::string stub = ReadFile("/usr/bin/unzipsfx");
    WriteFile(P("sfx"), stub + ReadFile(P("a.zip")));
    // offsets still count from the archive's own start
    const std::int64_t unadjusted = ZipinfoDirectoryOffset(P("sfx"));
    EXPECT_EQ(unadjusted, static_cast<std::int64_t>(stub.size()) + ZipinfoDirectoryOffset(P("a.zip")));
    EXPECT_EQ(Detect(P("sfx")), (TProbe{"atZip", unadjusted}));
    // zip -A makes the offsets count from the start of the file
    Make({"zip", "-q", "-A", "sfx"}, Dir.Path());
    EXPECT_EQ(Detect(P("sfx")), (TProbe{"atZip", ZipinfoDirectoryOffset(P("sfx"))}));
    const ToolResult t = RunTool({"unzip", "-tq", P("sfx").string()});
    EXPECT_EQ(t.ExitCode, 0) << t.Out << t.Err;

    // the same behind a DOS executable header: a zip inside an executable
    std::string mz = "MZ" + std::string(20000, '\0');
    mz[4] = 1; // one page: the DOS image ends at 512
    WriteFile(P("sfx.exe"), mz + ReadFile(P("a.zip")));
    Make({"zip", "-q", "-A", "sfx.exe"}, Dir.Path());
    EXPECT_EQ(Detect(P("sfx.exe")), (TProbe{"atZipExe", ZipinfoDirectoryOffset(P("sfx.exe"))}));
}

TEST_F(DetectInterop, ArjArchives) {
    Make({"arj", "a", "-y", "t.arj", "text.txt", "random.bin"}, Dir.Path());
    EXPECT_EQ(Detect(P("t.arj")), (TProbe{"atArj", 0}));
    Make({"arj", "a", "-y", "-m0", "s.arj", "text.txt"}, Dir.Path());
    EXPECT_EQ(Detect(P("s.arj")), (TProbe{"atArj", 0}));
}

TEST_F(DetectInterop, ArcArchivesOfEveryMethodArcChooses) {
    // random data is stored, runs are packed, numbers squeezed, text crunched
    for (const char* file : {"random.bin", "runs.txt", "numbers.txt", "text.txt"}) {
        const std::string name = std::string(file).substr(0, std::string(file).find('.')) + ".arc";
        Make({"arc", "a", name, file}, Dir.Path());
        EXPECT_EQ(Detect(P(name)), (TProbe{"atArc", 0})) << file;
    }
}

TEST_F(DetectInterop, GzipAndCompress) {
    Make({"gzip", "-k", "text.txt"}, Dir.Path());
    EXPECT_EQ(Detect(P("text.txt.gz")), (TProbe{"atGZip", 0}));
    const ToolResult c = RunTool({"compress", "-c", P("text.txt").string()});
    ASSERT_EQ(c.ExitCode, 0) << c.Err;
    WriteFile(P("text.txt.Z"), c.Out);
    EXPECT_EQ(Detect(P("text.txt.Z")), (TProbe{"atGZip", 0}));
}

TEST_F(DetectInterop, TarInEveryFormat) {
    for (const char* format : {"v7", "oldgnu", "gnu", "ustar", "pax", "posix"}) {
        const std::string name = std::string(format) + ".tar";
        Make({"tar", "--format=" + std::string(format), "-cf", name, "text.txt", "random.bin"}, Dir.Path());
        EXPECT_EQ(Detect(P(name)), (TProbe{"atTar", 0})) << format;
    }
    Make({"tar", "--format=gnu", "-V", "volume label", "-cf", "label.tar", "text.txt"}, Dir.Path());
    EXPECT_EQ(Detect(P("label.tar")), (TProbe{"atTar", 512}));
    Make({"tar", "-czf", "t.tgz", "text.txt"}, Dir.Path());
    EXPECT_EQ(Detect(P("t.tgz")), (TProbe{"atGZip", 0}));
}

TEST_F(DetectInterop, TarWhoseFirstNameLooksLikeAnotherSignature) {
    Uuencode(Dir.Path(), "text.txt", "uu.txt");
    WriteFile(P("%!PS.ps"), "%!PS-Adobe-3.0\n" + TextBytes(100));
    for (const char* first : {"PLAIN.txt", "HAppy.txt", "ZOO 2.10 Archive", "ZOrro.txt", "ab-lh5-.txt",
                              "%!PS.ps", "PKG5.txt", "Rar!.txt", "MSCF.txt"}) {
        if (!fs::exists(P(first))) WriteFile(P(first), TextBytes(100, 5));
        for (const char* format : {"v7", "gnu", "pax"}) {
            const std::string name = std::string(format) + "-named.tar";
            Make({"tar", "--format=" + std::string(format), "-cf", name, first, "uu.txt"}, Dir.Path());
            EXPECT_EQ(Detect(P(name)), (TProbe{"atTar", 0})) << first << " " << format;
        }
    }
    // a uuencoded file inside a tar is still a tar
    Make({"tar", "--format=ustar", "-cf", "uu.tar", "uu.txt"}, Dir.Path());
    EXPECT_EQ(Detect(P("uu.tar")), (TProbe{"atTar", 0}));
}

TEST_F(DetectInterop, CabinetMadeByGcab) {
    Make({"gcab", "-c", "t.cab", "text.txt", "random.bin"}, Dir.Path());
    EXPECT_EQ(Detect(P("t.cab")), (TProbe{"atCab", 0}));
    Make({"gcab", "-c", "-z", "z.cab", "text.txt"}, Dir.Path());
    EXPECT_EQ(Detect(P("z.cab")), (TProbe{"atCab", 0}));
}

TEST_F(DetectInterop, Uuencode) {
    Uuencode(Dir.Path(), "random.bin", "t.uue");
    EXPECT_EQ(Detect(P("t.uue")), (TProbe{"atUUE", 1}));
    // behind a mail-like preamble
    WriteFile(P("mail.txt"), "Subject: files\n\nHere it is:\n" + ReadFile(P("t.uue")));
    EXPECT_EQ(Detect(P("mail.txt")), (TProbe{"atUUE", 1}));
}

TEST_F(DetectInterop, NotArchives) {
    Make({"gzip", "-k", "text.txt"}, Dir.Path());
    Make({"tar", "-cf", "t.tar", "text.txt"}, Dir.Path());
    Make({"zip", "-q", "t.zip", "text.txt"}, Dir.Path());
    Make({"arj", "a", "-y", "t.arj", "text.txt"}, Dir.Path());
    const std::pair<const char*, std::string> files[] = {
        {"plain.txt", ReadFile(P("text.txt"))},
        {"pl.txt", "PLEASE read this first.\n" + TextBytes(2000)},
        {"ha.txt", "HAving said that, here is plain text.\n" + TextBytes(2000)},
        {"zo.txt", "ZOnes and areas of a map, in text.\n" + TextBytes(2000)},
        // Text whose bytes 2 to 6 read as an lha method id.
        {"garden.txt", "re-lay-out of the garden, notes for spring\n" + TextBytes(2000)},
        {"notes.lzh", "ab-lib-notes: what each library holds\n" + TextBytes(2000)},
        // A .COM program that names lha methods but carries no archive.
        {"prog.com", "\xEB\x3C-lh0- -lh1- -lh5- decoder\r\n$" + TextBytes(2000)},
        {"ps.ps", "%!PS-Adobe-3.0\n%%BoundingBox: 0 0 612 792\nshowpage\n" + TextBytes(2000)},
        {"zeros.bin", std::string(100000, '\0')},
        {"empty.bin", ""},
        {"cut.gz", ReadFile(P("text.txt.gz")).substr(0, 10)},
        {"cut.tar", ReadFile(P("t.tar")).substr(0, 500)},
        {"cut.zip", ReadFile(P("t.zip")).substr(0, 19)},
        {"cut.arj", ReadFile(P("t.arj")).substr(0, 19)},
    };
    for (const auto& [name, data] : files) {
        WriteFile(P(name), data);
        EXPECT_EQ(Detect(P(name)), (TProbe{"atNA", 0})) << name;
    }
}

TEST_F(DetectInterop, TruncatedZipIsWalkedByItsLocalHeaders) {
    Make({"zip", "-q", "t.zip", "text.txt", "random.bin"}, Dir.Path());
    const std::string zip = ReadFile(P("t.zip"));
    WriteFile(P("half.zip"), zip.substr(0, zip.size() / 2));
    EXPECT_EQ(Detect(P("half.zip")), (TProbe{"atZip", 0}));
}

TEST_F(DetectInterop, UnreadableFileIsAnError) {
    ASSERT_EQ(::mkfifo(P("pipe").c_str(), 0600), 0);
    for (const fs::path& f : {P("missing.zip"), Dir.Path(), P("pipe")}) {
        const ToolResult r = RunTool({ProbePath().string(), "detect", f.string()});
        EXPECT_EQ(r.ExitCode, 1) << f;
        EXPECT_TRUE(r.Out.empty()) << f;
        EXPECT_NE(r.Err.find(f.string()), std::string::npos) << r.Err;
    }
    const ToolResult u = RunTool({ProbePath().string(), "nosuchcommand"});
    EXPECT_NE(u.ExitCode, 0);
}

TEST(DetectCorpus, EverySampleAsListed) {
    const fs::path golden =
        fs::path(QUILLAR_CORPUS_DIR).parent_path() / "interop" / "data" / "detect_corpus.tsv";
    std::ifstream in(golden);
    ASSERT_TRUE(in) << golden;
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string path;
        TProbe want;
        std::getline(fields, path, '\t');
        std::getline(fields, want.Type, '\t');
        fields >> want.Offset;
        EXPECT_EQ(Detect(CorpusDir() / path), want) << path;
        ++checked;
    }
    EXPECT_GT(checked, 300);
}

} // namespace

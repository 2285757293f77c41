// Names, dates and links that other tools agree on: a file whose name holds '|' (lha, ours and
// jlha's) is extracted as lhasa, bsdtar and 7-Zip extract it; times before 1970 (GNU tar, pax)
// and after 2038 (Info-ZIP's extended timestamp) come back as bsdtar and unzip restore them, and
// a time before 1970 is written into our tar as GNU tar writes it; every skipped symbolic link
// is reported once, under its own name and with its target.
#include "ExtractRun.h"
#include "TestSupport.h"

#include "engine/core/krvCrc.h"
#include "engine/formats/lha/krvLhaRecords.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

using namespace testsupport;

namespace {

void SetTime(const fs::path& File, std::time_t Seconds) {
    const timeval times[2] = {{Seconds, 0}, {Seconds, 0}};
    ASSERT_EQ(::lutimes(File.c_str(), times), 0) << File;
}

// The modification times of the files below Root (their modes left out: peers differ there).
std::map<std::string, std::string> Times(const fs::path& Root) {
    std::map<std::string, std::string> times = ReadStamps(Root);
    for (auto& [name, stamp] : times)
        stamp = stamp.substr(stamp.find(' ') + 1);
    return times;
}

// The output lines of krvprobe that report an error.
std::vector<std::string> ErrorLines(const std::string& Out) {
    std::vector<std::string> lines;
    for (std::size_t p = 0; p < Out.size();) {
        const std::size_t end = std::min(Out.find('\n', p), Out.size());
        const std::string line = Out.substr(p, end - p);
        if (line.find("\tERROR ") != std::string::npos) lines.push_back(line);
        p = end + 1;
    }
    return lines;
}

// An lha archive as Unix lha stores a symbolic link: a folder entry "name|target" whose Unix
// mode is a link's, after a stored file.
std::string LhaWithLink(const std::string& File, const std::string& Data, const std::string& Link) {
    TLhaHeader file;
    file.Level = 2;
    file.Method = "-lh0-";
    file.Name = File;
    file.PackedSize = file.UnpackedSize = static_cast<std::int64_t>(Data.size());
    file.Time = 1700000000;
    file.Mode = S_IFREG | 0644;
    std::uint16_t crc = 0;
    UpdateCrc16Buf(reinterpret_cast<const std::uint8_t*>(Data.data()), std::ssize(Data), crc);
    file.Crc = crc;
    TLhaHeader link = file;
    link.Method = "-lhd-";
    link.Name = Link;
    link.PackedSize = link.UnpackedSize = 0;
    link.Crc = 0;
    link.Mode = S_IFLNK | 0777;
    const auto bytes = [](const TLhaHeader& H) {
        const std::vector<std::uint8_t> b = LhaHeaderBytes(H);
        return std::string(b.begin(), b.end());
    };
    return bytes(file) + Data + bytes(link) + std::string(1, '\0');
}

} // namespace

TEST(NamesDatesInterop, NamesAndDatesComeOutAsThePeersExtractThem) {
    // Each archive is made by a real tool from src and extracted by ours and by the peer; both
    // give the same files with the same times, which are those of the files it was made from.
    TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    const std::pair<const char*, std::time_t> files[] = {{"pipe|.txt", 1600000002},
                                                         {"1960.txt", -302443200},
                                                         {"2040.txt", 2208988803},
                                                         {"2001.txt", 999999999}};
    for (const auto& [name, seconds] : files) {
        WriteFile(src / name, std::string(name) + " data");
        SetTime(src / name, seconds);
    }
    const struct {
        std::string Archive;
        std::vector<std::string> Make;  // the archive and the names follow
        std::vector<std::string> Names; // of files
        std::vector<std::string> Peer;  // extracts the archive (appended) into the current folder
    } cases[] = {
        {"jlha.lzh", {"jlha", "a2q"}, {"pipe|.txt"}, {"lhasa", "xq"}},
        {"ours.lzh", {ProbePath().string(), "add"}, {"pipe|.txt"}, {"bsdtar", "-xf"}},
        {"ours7.lzh", {ProbePath().string(), "add"}, {"pipe|.txt"}, {"7zz", "x", "-bd", "-y"}},
        {"gnu.tar", {"tar", "--format=gnu", "-cf"}, {"1960.txt", "2001.txt"}, {"bsdtar", "-xf"}},
        {"pax.tar", {"tar", "--format=pax", "-cf"}, {"1960.txt", "2040.txt"}, {"bsdtar", "-xf"}},
        {"info.zip", {"zip", "-q"}, {"2040.txt", "2001.txt"}, {"unzip", "-q"}},
        {"info7.zip", {"zip", "-q"}, {"2040.txt", "2001.txt"}, {"7zz", "x", "-bd", "-y"}},
        // unzip restores the 1980 DOS date of a file before 1970, bsdtar and 7-Zip a date after
        // 2038; ours the time that the extended timestamp holds.
        {"old.zip", {"zip", "-q"}, {"1960.txt", "2001.txt"}, {}},
        // Our tar of those times, extracted by GNU tar.
        {"ours.tar", {ProbePath().string(), "add"}, {"1960.txt", "2040.txt"}, {"tar", "-xf"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Archive);
        const fs::path archive = dir / c.Archive;
        std::vector<std::string> make = c.Make;
        make.push_back(archive.string());
        make.insert(make.end(), c.Names.begin(), c.Names.end());
        ASSERT_EQ(RunTool(make, src).ExitCode, 0);
        std::map<std::string, std::string> expected;
        std::map<std::string, std::string> expectedStamps;
        const auto stamps = Times(src);
        for (const std::string& n : c.Names) {
            expected[n] = ReadFile(src / n);
            expectedStamps[n] = stamps.at(n);
        }
        const fs::path ours = dir / ("ours-" + c.Archive);
        const ToolResult x = RunProbe({"extract", archive.string(), ours.string()});
        EXPECT_EQ(x.ExitCode, 0) << x.Out << x.Err;
        EXPECT_EQ(ReadTree(ours), expected);
        EXPECT_EQ(Times(ours), expectedStamps);
        if (c.Peer.empty()) continue;
        const fs::path peer = dir / ("peer-" + c.Archive);
        fs::create_directories(peer);
        std::vector<std::string> run = c.Peer;
        run.push_back(archive.string());
        ASSERT_EQ(RunTool(run, peer).ExitCode, 0) << c.Peer[0];
        EXPECT_EQ(ReadTree(peer), expected) << c.Peer[0];
        EXPECT_EQ(Times(peer), expectedStamps) << c.Peer[0];
    }
    // The time field of our tar header is GNU tar's, byte for byte (base-256 before 1970).
    ASSERT_EQ(
        RunTool({"tar", "--format=gnu", "-cf", (dir / "gnu1960.tar").string(), "1960.txt"}, src).ExitCode, 0);
    ASSERT_EQ(RunProbe({"add", (dir / "ours1960.tar").string(), (src / "1960.txt").string()}).ExitCode, 0);
    EXPECT_EQ(ReadFile(dir / "ours1960.tar").substr(136, 12), ReadFile(dir / "gnu1960.tar").substr(136, 12));
}

TEST(NamesDatesInterop, EachSkippedLinkIsReportedOnceWithItsTarget) {
    TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    WriteFile(src / "a.txt", "first");
    fs::create_symlink("../a.txt", src / "link to a");
    const struct {
        std::string Archive;
        std::vector<std::string> Make; // the archive and the names follow; none: made here
    } makers[] = {
        {"gnu.tar", {"tar", "-cf"}},
        {"bsd.zip", {"bsdtar", "--format=zip", "-cf"}},
        {"info.zip", {"zip", "-q", "-y"}},
        {"unix.lzh", {}},
    };
    for (const auto& m : makers) {
        SCOPED_TRACE(m.Archive);
        const fs::path archive = dir / m.Archive;
        if (m.Make.empty()) {
            WriteFile(archive, LhaWithLink("a.txt", "first", "link to a|../a.txt"));
            // lhasa takes it for the link it is.
            const ToolResult l = RunTool({"lhasa", "l", archive.string()});
            ASSERT_NE(l.Out.find("link to a -> ../a.txt"), std::string::npos) << l.Out;
        } else {
            std::vector<std::string> argv = m.Make;
            argv.insert(argv.end(), {archive.string(), "a.txt", "link to a"});
            ASSERT_EQ(RunTool(argv, src).ExitCode, 0);
        }
        const fs::path out = dir / ("out-" + m.Archive);
        const ToolResult x = RunProbe({"extract", archive.string(), out.string()});
        EXPECT_EQ(x.ExitCode, 1);
        EXPECT_EQ(ErrorLines(x.Out),
                  std::vector<std::string>{
                      "link to a\tERROR 26800 Skipped File: symbolic link to ../a.txt not created"})
            << x.Out;
        EXPECT_EQ(ReadTree(out), (std::map<std::string, std::string>{{"a.txt", "first"}}));
    }
}

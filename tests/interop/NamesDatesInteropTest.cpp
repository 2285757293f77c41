// Names, dates and links that other tools agree on: a file whose name holds '|' (lha, ours and
// jlha's) is extracted as lhasa, bsdtar and 7-Zip extract it; times before 1970 (GNU tar, pax)
// and after 2038 (Info-ZIP's extended timestamp) come back as bsdtar, unzip and 7-Zip restore
// them, and a time before 1970 is written into our tar as GNU tar writes it; a symbolic link of
// GNU tar, bsdtar, Info-ZIP's zip or Unix lha is skipped and reported once, with its target.
#include "ExtractRun.h"
#include "TestSupport.h"

#include "engine/core/krvCrc.h"
#include "engine/formats/lha/krvLhaRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
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
std::string LhaWithLink(const std::string& File, const std::string& Data, std::uint32_t Time,
                        const std::string& Link) {
    TLhaHeader file;
    file.Level = 2;
    file.Method = "-lh0-";
    file.Name = File;
    file.PackedSize = file.UnpackedSize = static_cast<std::int64_t>(Data.size());
    file.Time = Time;
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

TEST(NamesDatesInterop, NamesDatesAndLinksComeOutAsThePeersTakeThem) {
    // Each archive is made from src and extracted by ours and by the peer; both give the same
    // files with the same times, which are those of the files it was made from. A symbolic link
    // is not made: it is reported once, under its own name and with its target.
    TempDir dir;
    const fs::path src = dir / "src";
    const std::pair<const char*, std::time_t> files[] = {
        {"pipe|.txt", 1600000002}, {"1960.txt", -302443200}, {"2040.txt", 2208988803}, {"a.txt", 999999999}};
    for (const auto& [name, seconds] : files) {
        WriteFile(src / name, std::string(name) + " data");
        SetTime(src / name, seconds);
    }
    fs::create_symlink("../a.txt", src / "link to a");
    const std::string linkSkipped =
        "link to a\tERROR 26800 Skipped File: symbolic link to ../a.txt not created";
    const std::string probe = ProbePath().string();
    const struct {
        std::string Archive;
        std::vector<std::string> Make;  // the archive and the names follow; none: made here
        std::vector<std::string> Names; // "link to a" the link, the others files
        std::vector<std::string> Peer;  // extracts the archive (appended) into the current folder
    } cases[] = {
        {"jlha.lzh", {"jlha", "a2q"}, {"pipe|.txt"}, {"lhasa", "xq"}},
        {"ours.lzh", {probe, "add"}, {"pipe|.txt"}, {"bsdtar", "-xf"}},
        {"ours7.lzh", {probe, "add"}, {"pipe|.txt"}, {"7zz", "x", "-bd", "-y"}},
        {"gnu.tar", {"tar", "--format=gnu", "-cf"}, {"1960.txt", "a.txt"}, {"bsdtar", "-xf"}},
        {"pax.tar", {"tar", "--format=pax", "-cf"}, {"1960.txt", "2040.txt"}, {"bsdtar", "-xf"}},
        {"info.zip", {"zip", "-q"}, {"2040.txt", "a.txt"}, {"unzip", "-q"}},
        {"info7.zip", {"zip", "-q"}, {"2040.txt", "a.txt"}, {"7zz", "x", "-bd", "-y"}},
        // unzip restores the 1980 DOS date of a file before 1970, bsdtar and 7-Zip a date after
        // 2038; ours the time that the extended timestamp holds.
        {"old.zip", {"zip", "-q"}, {"1960.txt", "a.txt"}, {}},
        // Our tar of those times, extracted by GNU tar.
        {"ours.tar", {probe, "add"}, {"1960.txt", "2040.txt"}, {"tar", "-xf"}},
        {"link.tar", {"tar", "-cf"}, {"a.txt", "link to a"}, {}},
        {"bsdlink.zip", {"bsdtar", "--format=zip", "-cf"}, {"a.txt", "link to a"}, {}},
        {"link.zip", {"zip", "-q", "-y"}, {"a.txt", "link to a"}, {}},
        {"unixlink.lzh", {}, {"a.txt", "link to a"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Archive);
        const fs::path archive = dir / c.Archive;
        const bool link = std::ranges::count(c.Names, "link to a") != 0;
        if (c.Make.empty()) {
            WriteFile(archive,
                      LhaWithLink("a.txt", ReadFile(src / "a.txt"), 999999999, "link to a|../a.txt"));
            // lhasa takes it for the link it is.
            ASSERT_NE(RunTool({"lhasa", "l", archive.string()}).Out.find("link to a -> ../a.txt"),
                      std::string::npos);
        } else {
            std::vector<std::string> make = c.Make;
            make.push_back(archive.string());
            make.insert(make.end(), c.Names.begin(), c.Names.end());
            ASSERT_EQ(RunTool(make, src).ExitCode, 0);
        }
        std::map<std::string, std::string> expected;
        std::map<std::string, std::string> expectedTimes;
        const auto times = Times(src);
        for (const std::string& n : c.Names) {
            if (n == "link to a") continue;
            expected[n] = ReadFile(src / n);
            expectedTimes[n] = times.at(n);
        }
        const fs::path ours = dir / ("ours-" + c.Archive);
        const ToolResult x = RunProbe({"extract", archive.string(), ours.string()});
        EXPECT_EQ(x.ExitCode, link ? 1 : 0) << x.Out << x.Err;
        EXPECT_EQ(ErrorLines(x.Out),
                  link ? std::vector<std::string>{linkSkipped} : std::vector<std::string>{});
        EXPECT_EQ(ReadTree(ours), expected);
        EXPECT_EQ(Times(ours), expectedTimes);
        if (c.Peer.empty()) continue;
        const fs::path peer = dir / ("peer-" + c.Archive);
        fs::create_directories(peer);
        std::vector<std::string> run = c.Peer;
        run.push_back(archive.string());
        ASSERT_EQ(RunTool(run, peer).ExitCode, 0) << c.Peer[0];
        EXPECT_EQ(ReadTree(peer), expected) << c.Peer[0];
        EXPECT_EQ(Times(peer), expectedTimes) << c.Peer[0];
    }
    // The time field of our tar header is GNU tar's, byte for byte (base-256 before 1970).
    ASSERT_EQ(
        RunTool({"tar", "--format=gnu", "-cf", (dir / "gnu1960.tar").string(), "1960.txt"}, src).ExitCode, 0);
    const std::string ours = ReadFile(dir / "ours.tar");
    std::size_t header = 0;
    while (header < ours.size() && ours.compare(header, 9, std::string("1960.txt", 9)) != 0)
        header += 512;
    ASSERT_LT(header, ours.size());
    EXPECT_EQ(ours.substr(header + 136, 12), ReadFile(dir / "gnu1960.tar").substr(136, 12));
}

// Every reader whose format keeps whole seconds gives its outputs the very time the archive
// holds, odd seconds included: archives made by GNU tar, bsdtar, gzip, Info-ZIP's zip (its
// extended timestamp), arj on Unix and jlha (level-2 headers) extract with the times of the
// files they were made from.
#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/time.h>

using namespace testsupport;

TEST(ExtractTimesInterop, OddSecondsComeBackExactly) {
    TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    const std::pair<const char*, std::time_t> files[] = {
        {"odd.txt", 1700000001}, {"even.txt", 1600000002}, {"old.txt", 946684799}};
    for (const auto& [name, seconds] : files) {
        WriteFile(src / name, std::string(name) + " data");
        const timeval times[2] = {{seconds, 0}, {seconds, 0}};
        ::utimes((src / name).c_str(), times);
    }
    const struct {
        std::string Archive;
        std::vector<std::string> Argv; // the archive and the names follow
    } makers[] = {
        {"gnu.tar", {"tar", "--format=gnu", "-cf"}},
        {"pax.tar", {"tar", "--format=pax", "-cf"}},
        {"bsd.tar", {"bsdtar", "-cf"}},
        {"info.zip", {"zip", "-q"}},
        {"unix.arj", {"arj", "a", "-i"}},
        {"level2.lzh", {"jlha", "a2q"}},
    };
    for (const auto& m : makers) {
        SCOPED_TRACE(m.Archive);
        std::vector<std::string> argv = m.Argv;
        argv.push_back((dir / m.Archive).string());
        for (const auto& [name, seconds] : files)
            argv.emplace_back(name);
        ASSERT_EQ(RunTool(argv, src).ExitCode, 0);
        const fs::path out = dir / ("out-" + m.Archive);
        const ExtractResult r = ExtractAll(dir / m.Archive, out);
        EXPECT_TRUE(r.AllPassed()) << r.Describe();
        const auto stamps = ReadStamps(out);
        for (const auto& [name, seconds] : files) {
            const auto it = stamps.find(name);
            ASSERT_NE(it, stamps.end()) << name;
            EXPECT_TRUE(it->second.ends_with(" " + std::to_string(seconds))) << name << ": " << it->second;
        }
    }
    // gzip keeps the time of its one file.
    ASSERT_EQ(RunTool({"gzip", "-k", "odd.txt"}, src).ExitCode, 0);
    const ExtractResult r = ExtractAll(src / "odd.txt.gz", dir / "out-gz");
    EXPECT_TRUE(r.AllPassed()) << r.Describe();
    EXPECT_TRUE(ReadStamps(dir / "out-gz")["odd.txt"].ends_with(" 1700000001"));
}

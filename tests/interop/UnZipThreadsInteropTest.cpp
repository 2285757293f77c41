// The zip reader on several threads: archives made by Info-ZIP and 7-Zip come out byte for byte
// as unzip extracts them, with the events of a one-thread run in the same order.
#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace testsupport;

namespace {

struct TMaker {
    const char* Name;
    std::vector<std::string> Command; // the archive and "." follow
};

const TMaker Makers[] = {
    {"InfoZip", {"zip", "-qr"}},
    {"SevenZip", {"7zz", "a", "-tzip", "-bd", "-bso0"}},
};

TEST(UnZipThreads, FourThreadsExtractWhatUnzipDoesWithTheEventsOfOne) {
    for (const TMaker& maker : Makers) {
        SCOPED_TRACE(maker.Name);
        TempDir dir;
        const fs::path src = dir / "src";
        for (int i = 0; i < 30; ++i)
            WriteFile(src / ("f" + std::to_string(i % 3)) / ("file" + std::to_string(i) + ".txt"),
                      TextBytes(200 + i * 9000, i));
        WriteFile(src / "random.bin", RandomBytes(600000, 1));
        WriteFile(src / "large.txt", TextBytes(9 << 20, 2)); // beyond what workers take
        const fs::path zip = dir / "t.zip";
        std::vector<std::string> argv = maker.Command;
        argv.insert(argv.end(), {zip.string(), "."});
        ASSERT_EQ(RunTool(argv, src).ExitCode, 0);
        fs::create_directories(dir / "unzip");
        ASSERT_EQ(RunTool({"unzip", "-qq", zip.string(), "-d", (dir / "unzip").string()}).ExitCode, 0);

        std::string events[2];
        for (const unsigned threads : {1U, 4U}) {
            const fs::path out = dir / ("out" + std::to_string(threads));
            std::ostringstream log;
            const ExtractResult r = ExtractAll(zip, out, [&](TUnBase& Reader) {
                Reader.Threads = threads;
                Reader.OnProgress = [&](TZipCommon&, std::uint8_t File, std::uint8_t Archive) {
                    log << int(File) << "/" << int(Archive) << " ";
                };
            });
            EXPECT_TRUE(r.AllPassed()) << r.Describe();
            for (const auto& [name, pass] : r.Ends)
                log << name << " " << pass << "\n";
            events[threads == 1 ? 0 : 1] = log.str();
            EXPECT_EQ(CompareTrees(ReadTree(dir / "unzip"), "unzip", ReadTree(out), "the engine"), "")
                << threads;
        }
        EXPECT_EQ(events[1], events[0]);
    }
}

} // namespace

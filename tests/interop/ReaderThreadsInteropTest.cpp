// Readers on several threads: zip archives made by Info-ZIP, 7-Zip and bsdtar come out byte for
// byte as unzip extracts them (also an entry too large to be inflated whole, which is inflated on
// a thread of its own), damaged and cancelled as on one thread; every lzh sample of the corpus
// (and damaged copies) as on one thread, with the events of a one-thread run in the same order.
#include "ExtractRun.h"
#include "TestSupport.h"
#include "engine/core/krvErrorCodes.h"

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

TEST(ReaderThreads, ZipOnFourThreadsExtractWhatUnzipDoesWithTheEventsOfOne) {
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

// Extracts Archive into Out with Threads; the events as text.
std::string Events(const fs::path& Archive, const fs::path& Out, unsigned Threads);

TEST(ReaderThreads, ZipEntryBeyondTheWholeBufferComesOutAsOnOneThreadWholeDamagedOrCancelled) {
    const TMaker makers[] = {
        Makers[0],
        Makers[1],
        {"bsdtar", {"bsdtar", "--format", "zip", "-cf"}},
    };
    for (const TMaker& maker : makers) {
        SCOPED_TRACE(maker.Name);
        TempDir dir;
        const fs::path src = dir / "src";
        WriteFile(src / "a.txt", TextBytes(5000, 1));
        WriteFile(src / "huge.txt", TextBytes(24 << 20, 3)); // beyond what is inflated whole
        WriteFile(src / "z.txt", TextBytes(7000, 4));
        const fs::path zip = dir / "t.zip";
        std::vector<std::string> argv = maker.Command;
        argv.insert(argv.end(), {zip.string(), "a.txt", "huge.txt", "z.txt"});
        ASSERT_EQ(RunTool(argv, src).ExitCode, 0);
        fs::create_directories(dir / "unzip");
        ASSERT_EQ(RunTool({"unzip", "-qq", zip.string(), "-d", (dir / "unzip").string()}).ExitCode, 0);

        // Whole, then with one byte changed in the middle of the large entry's data: the same
        // output and events on four threads as on one.
        std::string bytes = ReadFile(zip);
        bytes[bytes.size() / 2] ^= 0x5A;
        WriteFile(dir / "damaged.zip", bytes);
        for (const fs::path& archive : {zip, dir / "damaged.zip"}) {
            SCOPED_TRACE(archive.filename().string());
            const std::string one = Events(archive, dir / "out", 1);
            const auto oneTree = ReadTree(dir / "out");
            fs::remove_all(dir / "out");
            EXPECT_EQ(Events(archive, dir / "out", 4), one);
            EXPECT_EQ(CompareTrees(oneTree, "one thread", ReadTree(dir / "out"), "four threads"), "");
            fs::remove_all(dir / "out");
            if (archive == zip)
                EXPECT_EQ(CompareTrees(ReadTree(dir / "unzip"), "unzip", oneTree, "the engine"), "");
            else
                EXPECT_EQ(oneTree.count("huge.txt"), 0U) << one.substr(0, 2000);
        }

        // Cancelled inside the large entry: the file it would replace stays as it was.
        WriteFile(dir / "out" / "huge.txt", "original");
        const ExtractResult r = ExtractAll(zip, dir / "out", [](TUnBase& Reader) {
            Reader.Threads = 4;
            Reader.OnProgress = [](TZipCommon& S, std::uint8_t File, std::uint8_t) {
                if (S.FileName.find("huge") != std::string::npos && File >= 40) S.SetCancel(true);
            };
        });
        EXPECT_TRUE(r.HasError(ecUserCanceled)) << r.Describe();
        EXPECT_EQ(ReadFile(dir / "out" / "huge.txt"), "original");
        EXPECT_EQ(ReadTree(dir / "out").size(), 2U) << r.Describe(); // a.txt and huge.txt
        fs::remove_all(dir / "out");
    }
}

// Extracts Archive into Out with Threads; the events as text.
std::string Events(const fs::path& Archive, const fs::path& Out, unsigned Threads) {
    std::ostringstream log;
    const ExtractResult r = ExtractAll(Archive, Out, [&](TUnBase& Reader) {
        Reader.Threads = Threads;
        Reader.OnProgress = [&](TZipCommon&, std::uint8_t File, std::uint8_t All) {
            log << int(File) << "/" << int(All) << " ";
        };
    });
    log << "\n" << r.Describe();
    return log.str();
}

TEST(ReaderThreads, LzhSamplesAndDamagedCopiesGiveTheOutputAndEventsOfOneThread) {
    // The corpus samples are small; an archive of large entries is decoded ahead on the workers.
    TempDir made;
    for (int i = 0; i < 4; ++i)
        WriteFile(made / "src" / ("big" + std::to_string(i) + ".txt"), TextBytes(700000 + i * 1000, i));
    ASSERT_EQ(
        RunProbe({"add", (made / "big.lzh").string(), "-m", "lh5", "-r", (made / "src").string()}).ExitCode,
        0);
    std::vector<fs::path> archives{made / "big.lzh"};
    for (const auto& entry : fs::recursive_directory_iterator(CorpusDir() / "lhasa"))
        if (entry.is_regular_file() && entry.path().extension() == ".lzh") archives.push_back(entry.path());
    int samples = 0;
    for (const fs::path& sample : archives) {
        ++samples;
        TempDir dir;
        std::string bytes = ReadFile(sample);
        // A damaged copy: one byte flipped in the middle of the data.
        bytes[bytes.size() / 2] ^= 0x5A;
        WriteFile(dir / "damaged.lzh", bytes);
        for (const fs::path& archive : {sample, dir / "damaged.lzh"}) {
            SCOPED_TRACE(archive.string());
            // The same destination for both runs, so that the events name the same files.
            const std::string one = Events(archive, dir / "out", 1);
            const auto oneTree = ReadTree(dir / "out");
            fs::remove_all(dir / "out");
            const std::string four = Events(archive, dir / "out", 4);
            EXPECT_EQ(four, one);
            EXPECT_EQ(CompareTrees(oneTree, "one thread", ReadTree(dir / "out"), "four threads"), "");
            fs::remove_all(dir / "out");
        }
    }
    EXPECT_GE(samples, 20);
}

} // namespace

// Readers on several threads: zip archives made by Info-ZIP, 7-Zip and bsdtar come out byte for
// byte as unzip extracts them (also an entry too large to be inflated whole, which is inflated on
// a thread of its own), damaged and cancelled as on one thread; gzip and tar.gz files of gzip,
// GNU tar and bsdtar, tar archives of GNU tar and bsdtar (whole, cut, cancelled, over existing
// files), arj archives of arj, every lzh sample of the corpus (and damaged or cut
// copies of them all) as on one thread, with the events of a one-thread run in the same order.
#include "ExtractRun.h"
#include "TestSupport.h"
#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
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

// Extracts Archive into Out with Threads (a nested tar unpacked); the events as text.
std::string Events(const fs::path& Archive, const fs::path& Out, unsigned Threads);

// What one thread made of Archive: its events and the tree it wrote into Out (removed again).
struct TOneRun {
    std::string Events;
    std::map<std::string, std::string> Tree;
};
// Extracts Archive into Out on one thread and on four (into the same folder, so that the
// events name the same files) and expects the same events and output.
TOneRun ExpectFourThreadsAsOne(const fs::path& Archive, const fs::path& Out) {
    TOneRun one{Events(Archive, Out, 1), ReadTree(Out)};
    fs::remove_all(Out);
    EXPECT_EQ(Events(Archive, Out, 4), one.Events);
    EXPECT_EQ(CompareTrees(one.Tree, "one thread", ReadTree(Out), "four threads"), "");
    fs::remove_all(Out);
    return one;
}

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
            const TOneRun one = ExpectFourThreadsAsOne(archive, dir / "out");
            if (archive == zip)
                EXPECT_EQ(CompareTrees(ReadTree(dir / "unzip"), "unzip", one.Tree, "the engine"), "");
            else
                EXPECT_EQ(one.Tree.count("huge.txt"), 0U) << one.Events.substr(0, 2000);
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

std::string Events(const fs::path& Archive, const fs::path& Out, unsigned Threads) {
    std::ostringstream log;
    const ExtractResult r = ExtractAll(Archive, Out, [&](TUnBase& Reader) {
        Reader.Threads = Threads;
        Reader.OnNestedTarFile = [](TZipCommon&, const std::string&, bool& UnTar) { UnTar = true; };
        Reader.OnProgress = [&](TZipCommon&, std::uint8_t File, std::uint8_t All) {
            log << int(File) << "/" << int(All) << " ";
        };
    });
    log << "\n" << r.Describe();
    return log.str();
}

TEST(ReaderThreads, GzipAndTarGzByRealToolsWholeDamagedOrCutGiveTheOutputAndEventsOfOneThread) {
    TempDir dir;
    const fs::path src = dir / "src";
    WriteFile(src / "big.txt", TextBytes(6 << 20, 5));
    WriteFile(src / "d" / "small.bin", RandomBytes(300000, 6));
    WriteFile(src / "d" / "tiny.txt", "tiny\n");
    struct TCase {
        const char* Name;
        std::vector<std::string> Command; // run in the source folder
        std::vector<std::string> Expect;  // writes what the engine should, into "expect"
    };
    const fs::path expect = dir / "expect";
    const std::string first = (dir / "one.gz").string(), second = (dir / "two.gz").string();
    const TCase cases[] = {
        {"tar.gz by GNU tar",
         {"tar", "-czf", (dir / "gnu.tar.gz").string(), "big.txt", "d"},
         {"tar", "-xf", (dir / "gnu.tar.gz").string(), "-C", expect.string()}},
        {"tar.gz by bsdtar",
         {"bsdtar", "-czf", (dir / "bsd.tar.gz").string(), "big.txt", "d"},
         {"tar", "-xf", (dir / "bsd.tar.gz").string(), "-C", expect.string()}},
        // Two members, each checked against its own trailer, into one file.
        {"two members by gzip",
         {"sh", "-c",
          "gzip -nc big.txt > '" + first + "' && gzip -nc d/small.bin > '" + second + "' && cat '" + first +
              "' '" + second + "' > '" + (dir / "both.gz").string() + "'"},
         {"sh", "-c",
          "gzip -dc '" + (dir / "both.gz").string() + "' > '" + (expect / "both").string() + "'"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove_all(expect);
        fs::create_directories(expect);
        ASSERT_EQ(RunTool(c.Command, src).ExitCode, 0);
        ASSERT_EQ(RunTool(c.Expect).ExitCode, 0);
        const fs::path archive = dir / c.Command[2].substr(c.Command[2].rfind('/') + 1);
        const fs::path gz = c.Command[0] == "sh" ? dir / "both.gz" : archive;
        const std::string bytes = ReadFile(gz);
        std::string damaged = bytes;
        damaged[damaged.size() / 2] ^= 0x5A;
        WriteFile(dir / "damaged" / gz.filename(), damaged);
        WriteFile(dir / "cut" / gz.filename(), bytes.substr(0, bytes.size() * 3 / 5));
        for (const fs::path& input : {gz, dir / "damaged" / gz.filename(), dir / "cut" / gz.filename()}) {
            SCOPED_TRACE(input.string());
            const TOneRun one = ExpectFourThreadsAsOne(input, dir / "out");
            if (input == gz) {
                EXPECT_EQ(CompareTrees(ReadTree(expect), c.Expect[0], one.Tree, "the engine"), "")
                    << one.Events;
            } else {
                // What a damaged tar.gz gives is the part of the tar before the damage: files of
                // the tree, and whole where the data were cut (a change that still inflates is
                // found by the trailer only after the tar's files were written, as GNU tar
                // writes them too).
                const std::map<std::string, std::string> want = ReadTree(expect);
                for (const auto& [name, content] : one.Tree) {
                    ASSERT_TRUE(want.contains(name)) << name << "\n" << one.Events;
                    if (input.parent_path().filename() == "cut") {
                        EXPECT_EQ(content, want.at(name)) << name;
                    }
                }
            }
        }
    }
}

TEST(ReaderThreads, TarOfGnuTarAndBsdtarWholeCutCancelledOrOverFilesGiveTheOutputAndEventsOfOneThread) {
    // File data are copied ahead on the workers into unnamed files that get their names where
    // one thread would have created them: the same files, dates, modes, events and questions.
    TempDir dir;
    const fs::path src = dir / "src";
    for (int i = 0; i < 60; ++i)
        WriteFile(src / ("d" + std::to_string(i % 5)) / ("f" + std::to_string(i)),
                  i % 7 == 0 ? std::string()
                             : TextBytes(static_cast<std::size_t>(i * 37001 % 700000 + i), i));
    WriteFile(src / "random.bin", RandomBytes(3 << 20, 1));
    WriteFile(src / "big.txt", TextBytes(9 << 20, 2));
    fs::create_hard_link(src / "random.bin", src / "link.bin");
    {
        std::ofstream sparse(src / "sparse.bin", std::ios::binary);
        sparse.seekp(1 << 20);
        sparse << "data in a hole";
        sparse.seekp((4 << 20) - 1);
        sparse << 'x';
    }
    struct TCase {
        const char* Name;
        std::vector<std::string> Command; // run in the source folder, the archive third
    };
    const TCase cases[] = {
        {"GNU tar", {"tar", "-cf", (dir / "gnu.tar").string(), "."}},
        {"GNU tar, sparse", {"tar", "-cSf", (dir / "sparse.tar").string(), "."}},
        {"bsdtar", {"bsdtar", "-cf", (dir / "bsd.tar").string(), "."}},
    };
    // Extracts Archive into Out (holding Existing first) on Threads, cancelled at the CancelAt-th
    // progress event when not 0: the events, stamps and tree as text.
    const auto run = [&](const fs::path& Archive, unsigned Threads, int CancelAt,
                         const std::map<std::string, std::string>& Existing) {
        const fs::path out = dir / "out";
        fs::remove_all(out);
        for (const auto& [name, data] : Existing)
            WriteFile(out / name, data);
        std::ostringstream log;
        int events = 0;
        const ExtractResult r = ExtractAll(Archive, out, [&](TUnBase& Reader) {
            Reader.Threads = Threads;
            Reader.OnProgress = [&](TZipCommon& Sender, std::uint8_t File, std::uint8_t All) {
                log << int(File) << "/" << int(All) << " ";
                if (++events == CancelAt) Sender.SetCancel(true);
            };
        });
        log << "\n" << r.Describe();
        std::ostringstream tree;
        for (const auto& [name, stamp] : ReadStamps(out))
            tree << name << " " << stamp << "\n";
        for (const auto& [name, data] : ReadTree(out))
            tree << name << " " << data.size() << " " << std::hash<std::string>{}(data) << "\n";
        return std::pair{log.str(), tree.str()};
    };
    const std::map<std::string, std::string> existing = {{"d1/f1", "old"}, {"big.txt", "old"}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_EQ(RunTool(c.Command, src).ExitCode, 0);
        const fs::path archive = c.Command[2];
        const fs::path expect = dir / "expect";
        fs::remove_all(expect);
        fs::create_directories(expect);
        ASSERT_EQ(RunTool({"tar", "-xf", archive.string(), "-C", expect.string()}).ExitCode, 0);
        const std::string bytes = ReadFile(archive);
        WriteFile(dir / "cut.tar", bytes.substr(0, bytes.size() * 3 / 5));
        struct TRun {
            const char* What;
            fs::path Archive;
            int CancelAt;
            std::map<std::string, std::string> Existing;
        };
        const TRun runs[] = {
            {"whole", archive, 0, {}},
            {"cut", dir / "cut.tar", 0, {}},
            {"cancelled", archive, 150, {}},
            {"over existing files", archive, 0, existing},
        };
        for (const TRun& r : runs) {
            SCOPED_TRACE(r.What);
            const auto one = run(r.Archive, 1, r.CancelAt, r.Existing);
            if (r.What == std::string("whole")) {
                EXPECT_EQ(CompareTrees(ReadTree(expect), "GNU tar", ReadTree(dir / "out"), "the engine"), "")
                    << one.first.substr(0, 3000);
            }
            const auto four = run(r.Archive, 4, r.CancelAt, r.Existing);
            EXPECT_EQ(four.first, one.first);
            EXPECT_EQ(four.second, one.second);
        }
    }
}

TEST(ReaderThreads, ArjByArjOfEachMethodWholeOrDamagedGiveTheOutputAndEventsOfOneThread) {
    // Small entries are decoded ahead whole by the workers, the large one on a thread of its own.
    TempDir dir;
    const fs::path src = dir / "src";
    for (int i = 0; i < 40; ++i)
        WriteFile(src / ("d" + std::to_string(i % 4)) / ("f" + std::to_string(i) + ".txt"),
                  TextBytes(100 + i * 5000, i));
    WriteFile(src / "random.bin", RandomBytes(400000, 7));
    WriteFile(src / "empty.txt", "");
    WriteFile(src / "large.txt", TextBytes(10 << 20, 9)); // decoded on a thread of its own
    for (const char* method : {"-m1", "-m4", "-m0"}) {
        SCOPED_TRACE(method);
        const fs::path arj = dir / (std::string("t") + method + ".arj");
        ASSERT_EQ(RunTool({"arj", "a", "-r", "-y", method, arj.string()}, src).ExitCode, 0);
        const fs::path expect = dir / (std::string("x") + method);
        fs::create_directories(expect);
        ASSERT_EQ(RunTool({"arj", "x", "-y", arj.string()}, expect).ExitCode, 0);
        std::string bytes = ReadFile(arj);
        bytes[bytes.size() / 2] ^= 0x5A;
        WriteFile(dir / "damaged.arj", bytes);
        for (const fs::path& archive : {arj, dir / "damaged.arj"}) {
            SCOPED_TRACE(archive.filename().string());
            const TOneRun one = ExpectFourThreadsAsOne(archive, dir / "out");
            if (archive == arj)
                EXPECT_EQ(CompareTrees(ReadTree(expect), "arj", one.Tree, "the engine"), "") << one.Events;
            else
                EXPECT_NE(one.Events.find("FAILED"), std::string::npos) << one.Events;
        }
    }
}

TEST(ReaderThreads, LzhSamplesAndDamagedCopiesGiveTheOutputAndEventsOfOneThread) {
    // The corpus samples are small; an archive of large entries is decoded ahead on the workers.
    TempDir made;
    for (int i = 0; i < 4; ++i)
        WriteFile(made / "src" / ("big" + std::to_string(i) + ".txt"), TextBytes(700000 + i * 1000, i));
    WriteFile(made / "src" / "large.txt", TextBytes(10 << 20, 4)); // decoded on a thread of its own
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
            ExpectFourThreadsAsOne(archive, dir / "out");
        }
    }
    EXPECT_GE(samples, 20);
}

} // namespace

// Cabinets the cabinet writer makes pass cabextract -t, list with gcab -l and extract with
// cabextract, 7zz and unar to the bytes of their sources, for every method, LZX window and
// Quantum levels and windows, also as a set spanning several cabinets, and come out the same
// for any count of threads; LZX cabinets of data of every kind and of sizes about the frames
// extract with gcab, cabextract, 7zz and bsdtar too; adding to a cabinet made by gcab keeps
// its entries; a name no cabinet can hold, a failure of the cabinet library and a full disk
// are reported and leave the old cabinet as it was; a source that cannot be read is left out
// and the rest written. Machine code (a program of this system, and call instructions whose
// offsets reach the edges of what LZX translates) comes back whole through the E8 translation.
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/cab/krvMakeCab.h"

#include "ExtractRun.h"
#include "FullDiskWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <map>

using namespace testsupport;

namespace {

// Call instructions (0xE8 and a 32-bit offset) among random bytes, runs of 0xE8, offsets
// near 0, near +-2^30 and at the ends of the 32-bit range, and calls in the last bytes of
// frames; over several 32 KiB frames.
std::string CallBytes() {
    std::string out = RandomBytes(100000, 9);
    const std::int64_t edges[] = {
        0, 1, -1, (1 << 30) - 1, 1 << 30, -(1 << 30), 0x7FFFFFFF, -0x7FFFFFFF - 1, 12345, -54321};
    std::size_t k = 0;
    for (std::size_t at = 0; at + 5 <= out.size(); at += 7 + (at % 13)) {
        const auto v =
            static_cast<std::uint32_t>(edges[k++ % std::size(edges)] - static_cast<std::int64_t>(at % 4096));
        out[at] = '\xE8';
        for (int i = 0; i < 4; ++i)
            out[at + 1 + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    }
    for (const std::size_t frameEnd : {32768U, 65536U, 98304U})
        for (std::size_t at = frameEnd - 14; at < frameEnd + 2; ++at)
            out[at] = '\xE8';
    return out;
}

class CabWriterInterop : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Src / "sub");
        WriteFile(Src / "empty", "");
        WriteFile(Src / "one", "1");
        WriteFile(Src / "random.bin", RandomBytes(300000, 1)); // does not compress
        WriteFile(Src / "text.txt", TextBytes(1 << 20, 2));
        WriteFile(Src / "sub/zeros", std::string(100000, '\0'));
        WriteFile(Src / "sub/caf\xC3\xA9.txt", "utf-8 name");
        WriteFile(Src / "tiny", "fourteen bytes");
        // Long runs of one byte between texts: matches at the first repeated offset over
        // many frames.
        WriteFile(Src / "runs.txt", TextBytes(5000, 3) + std::string(300000, '\0') + TextBytes(5000, 4));
    }

    // What 7zz and unar (unless WithUnar is false) extract from Cab is Source's tree.
    void ExpectPeersExtractToSource(const fs::path& Cab, const fs::path& Source, bool WithUnar = true) {
        TempDir bySeven;
        const ToolResult s = RunUtf8({"7zz", "x", "-y", "-o" + bySeven.Str(), Cab.string()});
        EXPECT_EQ(s.ExitCode, 0) << s.Out << s.Err;
        EXPECT_EQ(CompareTrees(ReadTree(Source), "source", ReadTree(bySeven.Path()), "7zz"), "");
        if (!WithUnar) return;
        TempDir byUnar;
        const ToolResult u = RunUtf8({"unar", "-q", "-D", "-o", byUnar.Str(), Cab.string()});
        EXPECT_EQ(u.ExitCode, 0) << u.Out << u.Err;
        EXPECT_EQ(CompareTrees(ReadTree(Source), "source", ReadTree(byUnar.Path()), "unar"), "");
    }

    // cabextract tests Cab and extracts it to Src's tree.
    void ExpectExtractsToSource(const fs::path& Cab, const fs::path& Source) {
        const ToolResult t = RunUtf8({"cabextract", "-t", Cab.string()});
        EXPECT_EQ(t.ExitCode, 0) << t.Out << t.Err;
        TempDir out;
        const ToolResult x = RunUtf8({"cabextract", "-q", "-d", out.Str(), Cab.string()});
        ASSERT_EQ(x.ExitCode, 0) << x.Err;
        EXPECT_EQ(CompareTrees(ReadTree(Source), "source", ReadTree(out.Path()), "cabextract"), "");
    }

    TempDir Dir;
    fs::path Src = Dir / "src";
};

TEST_F(CabWriterInterop, EveryMethodIsReadByCabextract7zzUnarAndGcab) {
    std::vector<std::vector<std::string>> methods = {{"store"}, {"mszip"}};
    for (int window = 15; window <= 21; ++window)
        methods.push_back({"lzx", "-l", std::to_string(window)});
    for (const auto& [level, memory] : std::vector<std::pair<int, int>>{
             {1, 10}, {4, 10}, {7, 10}, {1, 15}, {4, 16}, {7, 15}, {1, 21}, {4, 21}, {7, 21}})
        methods.push_back({"quantum", "-l", std::to_string(level), "-q", std::to_string(memory), "-i"});
    std::map<std::string, std::uintmax_t> quantumSizes;
    for (const auto& m : methods) {
        std::vector<std::string> args{"add", (Dir / "x.cab").string(), "-r", "-m"};
        args.insert(args.end(), m.begin(), m.end());
        args.push_back(Src.string());
        std::string label;
        for (const std::string& a : m)
            label += a + " ";
        SCOPED_TRACE(label);
        const ToolResult r = RunProbe(args);
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        ExpectExtractsToSource(Dir / "x.cab", Src);
        // unar keeps only a Quantum window's bytes and hands out each 32 KiB frame from it: below
        // 2^15 a frame's first bytes come out overwritten by its last ones and the rest from
        // memory it never wrote, with exit 0 (even a folder of literals alone). A Quantum frame is
        // always 32 KiB, so no stream of such a window avoids it.
        const bool unarReads = m[0] != "quantum" || std::stoi(m[4]) >= 15;
        ExpectPeersExtractToSource(Dir / "x.cab", Src, unarReads);
        const ToolResult l = RunUtf8({"gcab", "-l", (Dir / "x.cab").string()});
        EXPECT_EQ(l.ExitCode, 0) << l.Err;
        for (const char* name :
             {"empty", "one", "random.bin", "text.txt", "sub\\zeros", "sub\\caf\xC3\xA9.txt"})
            EXPECT_NE(l.Out.find(name), std::string::npos) << name << "\n" << l.Out;
        // Our reader takes it too.
        TempDir out;
        const ExtractResult ours = ExtractAll(Dir / "x.cab", out.Path());
        EXPECT_TRUE(ours.AllPassed()) << ours.Describe();
        EXPECT_EQ(CompareTrees(ReadTree(Src), "source", ReadTree(out.Path()), "ours"), "");
        if (m[0] == "quantum") quantumSizes[m[2] + "/" + m[4]] = fs::file_size(Dir / "x.cab");
        fs::remove(Dir / "x.cab");
    }
    // A higher Quantum level searches harder: smaller cabinets for the same window.
    for (const std::string memory : {"10", "15", "21"}) {
        const auto low = quantumSizes.find("1/" + memory), high = quantumSizes.find("7/" + memory);
        if (low != quantumSizes.end() && high != quantumSizes.end()) {
            EXPECT_LT(high->second, low->second) << memory;
        }
    }
    EXPECT_LT(quantumSizes["4/21"], quantumSizes["1/21"]);
    EXPECT_LT(quantumSizes["7/21"], quantumSizes["4/21"]);
}

TEST_F(CabWriterInterop, FoldersAreTheSameForAnyCountOfThreads) {
    // Several stretches of frames and batches of blocks: text that refers far back, random
    // data and runs.
    std::string big;
    for (int i = 0; i < 6; ++i)
        big += TextBytes(700000, 40 + i % 3) + RandomBytes(200000, 50 + i) + std::string(100000, 'a');
    WriteFile(Src / "big.bin", big);
    for (const std::string method : {"lzx", "mszip"}) {
        std::vector<std::string> cabinets;
        for (const char* threads : {"1", "4"}) {
            SCOPED_TRACE(method + " on " + threads + " threads");
            const fs::path cab = Dir / (method + threads + ".cab");
            ::setenv("QUILLAR_THREADS", threads, 1);
            const ToolResult r =
                RunProbe({"add", cab.string(), "-r", "-m", method, "-l", "17", Src.string()});
            ::unsetenv("QUILLAR_THREADS");
            ASSERT_EQ(r.ExitCode, 0) << r.Err;
            cabinets.push_back(ReadFile(cab));
        }
        EXPECT_TRUE(cabinets[0] == cabinets[1]) << method;
        ExpectExtractsToSource(Dir / (method + "4.cab"), Src);
        if (method == "lzx") ExpectPeersExtractToSource(Dir / (method + "4.cab"), Src);
    }
}

TEST_F(CabWriterInterop, MachineCodeComesBackThroughTheE8Translation) {
    WriteFile(Src / "calls.bin", CallBytes());
    fs::copy_file("/bin/ls", Src / "ls");
    fs::copy_file("/bin/bash", Src / "bash");
    for (const char* window : {"15", "17", "21"}) {
        std::vector<std::string> cabinets;
        for (const char* threads : {"1", "4"}) {
            SCOPED_TRACE(std::string("window ") + window + " on " + threads + " threads");
            const fs::path cab = Dir / (std::string(window) + "-" + threads + ".cab");
            ::setenv("QUILLAR_THREADS", threads, 1);
            const ToolResult r =
                RunProbe({"add", cab.string(), "-r", "-m", "lzx", "-l", window, Src.string()});
            ::unsetenv("QUILLAR_THREADS");
            ASSERT_EQ(r.ExitCode, 0) << r.Err;
            cabinets.push_back(ReadFile(cab));
            ExpectExtractsToSource(cab, Src);
            ExpectPeersExtractToSource(cab, Src);
            TempDir out;
            const ExtractResult ours = ExtractAll(cab, out.Path());
            EXPECT_TRUE(ours.AllPassed()) << ours.Describe();
            EXPECT_EQ(CompareTrees(ReadTree(Src), "source", ReadTree(out.Path()), "ours"), "");
        }
        EXPECT_TRUE(cabinets[0] == cabinets[1]) << window;
    }
}

TEST_F(CabWriterInterop, TheLastFrameOfAFolderIsFoundAfterBlocksOfEveryLength) {
    // cabextract learns the length of a folder's last frame only once it has read into the
    // last block: 256 frames that do not compress (32,784 bytes each, 2,049 chunks of 4 KiB
    // together) and one byte more, and a frame of a real sample whose packed form ends on 4 KiB.
    fs::remove_all(Src);
    fs::create_directories(Src);
    WriteFile(Src / "random.bin", RandomBytes(256 * 32768 + 1, 77));
    const std::string sample = ReadFile(CorpusDir() / "sharpcompress/zip/Zip.deflate64.zip");
    WriteFile(Src / "sample.bin", sample.substr(1, 32769));
    for (const char* name : {"random.bin", "sample.bin"}) {
        SCOPED_TRACE(name);
        const fs::path cab = Dir / (std::string(name) + ".cab");
        const ToolResult r = RunProbe({"add", cab.string(), "-m", "lzx", "-l", "19", (Src / name).string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        const ToolResult t = RunUtf8({"cabextract", "-t", cab.string()});
        EXPECT_EQ(t.ExitCode, 0) << t.Out << t.Err;
        TempDir out;
        ASSERT_EQ(RunUtf8({"cabextract", "-q", "-d", out.Str(), cab.string()}).ExitCode, 0);
        EXPECT_TRUE(ReadFile(out.Path() / name) == ReadFile(Src / name));
    }
}

TEST_F(CabWriterInterop, LzxCabinetsOfEverySizeAndKindAreReadByGcabCabextract7zzAndBsdtar) {
    // gcab decodes each data block on its own: frames that end on a block of odd length, or
    // matches and blocks that run from one frame into the next, fail there. One file per
    // cabinet, of sizes about the 32 KiB frames, and the mixed tree.
    fs::remove_all(Src);
    fs::create_directories(Src);
    const auto sized = [](std::string Data, std::size_t Size) {
        while (Data.size() < Size)
            Data += Data;
        return Data.substr(0, Size);
    };
    const std::string ls = ReadFile("/bin/ls");
    struct TCase {
        std::string Name;
        std::string Data;
    };
    const std::vector<TCase> cases = {
        {"one byte", "x"},
        {"text of one frame", TextBytes(32768, 1)},
        {"text of one frame and a byte", TextBytes(32769, 2)},
        {"text of many frames", TextBytes(700001, 3)},
        {"random frames", RandomBytes(3 * 32768, 4)},
        {"random, odd size", RandomBytes(100001, 5)},
        {"zeros", std::string(1000000, '\0')},
        {"text, runs and random", TextBytes(5000, 6) + std::string(300000, 'a') + RandomBytes(70000, 7)},
        {"call instructions", CallBytes()},
        {"a program", sized(ls, 3 * ls.size() + 7)},
    };
    for (const char* window : {"15", "21"}) {
        for (const TCase& c : cases) {
            SCOPED_TRACE(c.Name + ", window " + window);
            TempDir source, work;
            WriteFile(source / "data.bin", c.Data);
            const fs::path cab = work / "x.cab";
            const ToolResult r = RunProbe(
                {"add", cab.string(), "-m", "lzx", "-l", window, "-i", (source / "data.bin").string()});
            ASSERT_EQ(r.ExitCode, 0) << r.Err;
            ExpectExtractsToSource(cab, source.Path());
            ExpectPeersExtractToSource(cab, source.Path(), false);
            TempDir byGcab, byBsdtar;
            const ToolResult g = RunUtf8({"gcab", "-x", "-C", byGcab.Str(), cab.string()});
            EXPECT_EQ(g.ExitCode, 0) << g.Out << g.Err;
            EXPECT_EQ(CompareTrees(ReadTree(source.Path()), "source", ReadTree(byGcab.Path()), "gcab"), "");
            const ToolResult b = RunUtf8({"bsdtar", "-xf", cab.string(), "-C", byBsdtar.Str()});
            EXPECT_EQ(b.ExitCode, 0) << b.Out << b.Err;
            EXPECT_EQ(CompareTrees(ReadTree(source.Path()), "source", ReadTree(byBsdtar.Path()), "bsdtar"),
                      "");
        }
    }
    // The mixed tree of SetUp, in one folder.
    SetUp();
    ASSERT_EQ(RunProbe({"add", (Dir / "tree.cab").string(), "-r", "-m", "lzx", "-i", Src.string()}).ExitCode,
              0);
    TempDir byGcab;
    const ToolResult g = RunUtf8({"gcab", "-x", "-C", byGcab.Str(), (Dir / "tree.cab").string()});
    EXPECT_EQ(g.ExitCode, 0) << g.Out << g.Err;
    EXPECT_EQ(CompareTrees(ReadTree(Src), "source", ReadTree(byGcab.Path()), "gcab"), "");
}

TEST_F(CabWriterInterop, ASetSpansSeveralCabinets) {
    for (int i = 0; i < 60; ++i)
        WriteFile(Src / ("f" + std::to_string(i)),
                  i % 2 ? RandomBytes(100 + 397 * i, i) : TextBytes(9000 * i, i));
    for (const std::string m : {"store", "mszip", "lzx", "quantum"}) {
        SCOPED_TRACE(m);
        TempDir sets;
        const ToolResult r =
            RunProbe({"add", (sets / "set.cab").string(), "-r", "-m", m, "-i", "-k", "150", Src.string()});
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        const auto names = FolderNames(sets.Path());
        EXPECT_GT(names.size(), 4u);
        for (const std::string& n : names)
            EXPECT_LE(fs::file_size(sets / n), 150u * 1024) << n;
        ExpectExtractsToSource(sets / "set.cab", Src);
    }
}

TEST_F(CabWriterInterop, LzxCabinetsAreSmallerThanMsZipOnes) {
    // Versions of one text: each repeats the last from further back than MSZIP's 32 KB reach.
    const std::string base = TextBytes(120000, 100);
    for (int i = 0; i < 20; ++i)
        WriteFile(Src / ("v" + std::to_string(i) + ".txt"), base + TextBytes(2000, 200 + i));
    for (const std::string m : {"mszip", "lzx"})
        ASSERT_EQ(RunProbe({"add", (Dir / (m + ".cab")).string(), "-r", "-m", m, Src.string()}).ExitCode, 0);
    EXPECT_LT(fs::file_size(Dir / "lzx.cab"), fs::file_size(Dir / "mszip.cab"));
}

TEST_F(CabWriterInterop, AddingToAGcabCabinetKeepsItsEntries) {
    const fs::path cab = Dir / "theirs.cab";
    ASSERT_EQ(RunTool({"gcab", "-cz", cab.string(), "one", "text.txt"}, Src).ExitCode, 0);
    const fs::path more = Dir / "more";
    fs::create_directories(more);
    WriteFile(more / "new.txt", "new");
    const ToolResult r = RunProbe({"add", cab.string(), more.string()});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const fs::path expected = Dir / "expected";
    fs::create_directories(expected);
    fs::copy(Src / "one", expected / "one");
    fs::copy(Src / "text.txt", expected / "text.txt");
    fs::copy(more / "new.txt", expected / "new.txt");
    ExpectExtractsToSource(cab, expected);
}

// The cabinets and the spool fill the disk after Limit bytes each.
using TFullDiskCab = TFullDisk<TMakeCab>;

TEST_F(CabWriterInterop, FailuresAreReportedAndLeaveTheOldCabinet) {
    const fs::path cab = Dir / "old.cab";
    WriteFile(Dir / "kept.txt", "kept");
    ASSERT_EQ(RunTool({"gcab", "-c", cab.string(), "kept.txt"}, Dir.Path()).ExitCode, 0);
    fs::remove(Dir / "kept.txt");
    const std::string old = ReadFile(cab);
    {
        // The same update on a disk with room.
        fs::copy_file(cab, Dir / "whole.cab");
        TMakeCab w;
        w.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime,
                             std::int64_t, std::int64_t, int, int, bool& R) { R = true; };
        w.SetArchiveFile((Dir / "whole.cab").string());
        w.FileSpec = {(Src / "*").string()};
        w.SetCompressMethod(cmLzx);
        ASSERT_GT(w.Compress(), 0);
    }
    const auto whole = static_cast<std::int64_t>(fs::file_size(Dir / "whole.cab"));
    fs::remove(Dir / "whole.cab");
    struct Case {
        std::string Name;
        std::function<void(TFullDiskCab&)> Setup;
        int Code;
    };
    const std::vector<Case> cases = {
        // A set would be needed, and nobody names its next cabinet.
        {"no next cabinet", [](TMakeCab& C) { C.MaxCabinetSize = 50000; }, ecErrorWritingToFile},
        {"cancel",
         [](TMakeCab& C) {
             C.OnProgress = [](TZipCommon& S, std::uint8_t, std::uint8_t) { S.SetCancel(true); };
         },
         ecUserCanceled},
        {"delete", [](TMakeCab& C) { C.Switch = swDelete; }, ecInvalidArchiveType},
        // Random data grow under Quantum, which has no stored form of a block.
        {"Quantum on data that do not compress", [](TMakeCab& C) { C.SetCompressMethod(cmQuantum); },
         ecErrorWritingToFile},
        // The folder data fill the disk before any cabinet is written; then the cabinet does.
        {"full disk under the folder data", [](TFullDiskCab& C) { C.Limit = 1000; }, ecDiskFull},
        {"full disk under the cabinet", [&](TFullDiskCab& C) { C.Limit = whole - 100; }, ecDiskFull},
        // A cabinet holds names of up to 255 bytes: nothing is written for a longer one.
        {"name of 256 bytes",
         [&](TMakeCab& C) {
             C.RecurseDirs = true;
             fs::create_directories(Src / std::string(200, 'd'));
             WriteFile(Src / std::string(200, 'd') / std::string(55, 'n'), "long");
         },
         ecInvalidFileName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TFullDiskCab w;
        std::vector<int> errors;
        bool successAfterError = false;
        w.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int Code) {
            errors.push_back(Code);
        };
        w.OnEnd = [&](TZipCommon&, const std::string&, bool Ok) {
            successAfterError |= Ok && !errors.empty();
        };
        w.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime,
                             std::int64_t, std::int64_t, int, int, bool& R) { R = true; };
        w.SetArchiveFile(cab.string());
        w.FileSpec = {(Src / "*").string()};
        w.SetCompressMethod(cmLzx);
        c.Setup(w);
        EXPECT_EQ(w.Compress(), 0);
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors.back(), c.Code);
        EXPECT_EQ(ReadFile(cab), old);
        EXPECT_EQ(FolderNames(Dir.Path()), (std::vector<std::string>{"old.cab", "src"}));
        EXPECT_FALSE(successAfterError) << ::testing::PrintToString(errors);
    }
}

TEST_F(CabWriterInterop, ASourceThatCannotBeReadIsLeftOutAndTheRestWritten) {
    const fs::path cab = Dir / "old.cab";
    ASSERT_EQ(RunTool({"gcab", "-c", cab.string(), "one"}, Src).ExitCode, 0);
    const fs::path more = Dir / "more";
    fs::create_directories(more);
    WriteFile(more / "a.txt", "first");
    WriteFile(more / "gone.txt", "vanishes before it is read");
    WriteFile(more / "z.txt", "last");
    TMakeCab w;
    std::vector<std::pair<std::string, int>> errors;
    w.OnError = [&](TZipCommon&, const std::string& File, const std::string&, const std::string&, int Code) {
        errors.emplace_back(fs::path(File).filename().string(), Code);
    };
    // The file goes after it was gathered, as a file that cannot be opened.
    w.OnBegin = [&](TZipCommon&, const std::string& Name, int, bool&) {
        if (fs::path(Name).filename() == "gone.txt") fs::remove(more / "gone.txt");
    };
    w.SetArchiveFile(cab.string());
    w.FileSpec = {(more / "*").string()};
    EXPECT_EQ(w.Compress(), 2);
    EXPECT_EQ(errors, (std::vector<std::pair<std::string, int>>{{"gone.txt", ecErrorOpeningFile}}));
    const fs::path expected = Dir / "expected";
    fs::create_directories(expected);
    fs::copy(Src / "one", expected / "one");
    fs::copy(more / "a.txt", expected / "a.txt");
    fs::copy(more / "z.txt", expected / "z.txt");
    ExpectExtractsToSource(cab, expected);
}

} // namespace

// Quantum is written as Quantum whatever QuantumType says: taking the folder type from it would
// write MSZIP or LZX data in a cabinet whose method is reported as Quantum.
TEST_F(CabWriterInterop, QuantumIsQuantumWhateverTheQuantumType) {
    fs::remove_all(Src);
    WriteFile(Src / "text.txt", TextBytes(200000, 5));
    for (const TCompressionType type : {ctStore, ctMsZip, ctLzx}) {
        SCOPED_TRACE(static_cast<int>(type));
        const fs::path cab = Dir / ("q" + std::to_string(static_cast<int>(type)) + ".cab");
        TMakeCab w;
        w.SetArchiveFile(cab.string());
        w.FileSpec = {(Src / "*").string()};
        w.SetCompressMethod(cmQuantum);
        w.QuantumType = type;
        ASSERT_EQ(w.Compress(), 1);
        // The first folder's compression word, after the 36-byte header: type 2 is Quantum.
        const std::string bytes = ReadFile(cab);
        ASSERT_GT(bytes.size(), 44U);
        EXPECT_EQ(static_cast<unsigned char>(bytes[42]) & 0x0F, 2);
        ExpectExtractsToSource(cab, Src);
    }
}

// Archives the lha writer makes pass lhasa and 7-Zip and extract to the bytes of their
// sources through our reader, lhasa and 7-Zip, for every method; updating archives made by
// other lha programs keeps each entry the job does not touch byte for byte.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/formats/lha/krvLha.h"
#include "engine/formats/lha/krvLhaRecords.h"

#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <map>

using namespace testsupport;

namespace {

// The headers of an lzh archive by name, with the bytes each entry takes (header and data).
struct TLhaEntry {
    TLhaHeader Header;
    std::string Bytes;
};
std::map<std::string, TLhaEntry> Walk(const fs::path& Archive) {
    const std::string data = ReadFile(Archive);
    const TReadAtFunc read = ReadAtOf(data);
    std::map<std::string, TLhaEntry> out;
    TLhaHeader h;
    std::int64_t pos = LhaFirstHeader(read, 0);
    TLhaRead r;
    while ((r = ReadLhaHeader(read, pos, static_cast<std::int64_t>(data.size()), h)) == TLhaRead::Ok) {
        out[h.Name] = {h, data.substr(static_cast<std::size_t>(h.HeaderPos),
                                      static_cast<std::size_t>(h.NextPos - h.HeaderPos))};
        pos = h.NextPos;
    }
    EXPECT_EQ(r, TLhaRead::End) << Archive;
    return out;
}

class LhaWriterInterop : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Src / "sub" / "empty folder");
        WriteFile(Src / "empty", "");
        WriteFile(Src / "one", "1");
        for (const std::size_t n : {16383u, 16384u, 16385u, 32767u, 32768u, 32769u})
            WriteFile(Src / ("text" + std::to_string(n)), TextBytes(n, static_cast<std::uint32_t>(n)));
        WriteFile(Src / "random.bin", RandomBytes(100000, 4));
        WriteFile(Src / "fibonacci.txt", FibonacciBytes(24));
        WriteFile(Src / "sub" / "big.txt", TextBytes(1 << 20, 5));
        WriteFile(Src / "sub" / "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e caf\xc3\xa9.txt", TextBytes(5000, 6));
        // Too long for a level-0 header.
        WriteFile(Src / "sub" / (std::string(240, 'n') + ".txt"), TextBytes(3000, 7));
    }

    // Writes Src into Archive with Method through the writer; the files added.
    int Write(const fs::path& Archive, TCompressMethod Method) {
        TLha lha;
        lha.SetCompressMethod(Method);
        lha.StoreEmptySubDirs = true;
        lha.DeleteOptions = doFinal;
        lha.OnError = [](TZipCommon&, const std::string& File, const std::string&, const std::string&,
                         int Code) { ADD_FAILURE() << "error " << Code << " " << File; };
        lha.SetArchiveFile(Archive.string());
        lha.FileSpec = {(Src / "*").string()};
        return lha.Compress();
    }

    TempDir Dir;
    fs::path Src = Dir / "src";
};

TEST_F(LhaWriterInterop, EveryMethodPassesTheToolsAndExtractsByteForByte) {
    const std::map<std::string, std::string> source = ReadTree(Src);
    const struct {
        TCompressMethod Method;
        char Char;
    } methods[] = {{cmStore, '0'}, {cmFrozen5, '5'}, {cmFrozen6, '6'}};
    for (const auto& m : methods) {
        SCOPED_TRACE(m.Char);
        const fs::path lzh = Dir / (std::string("m") + m.Char + ".lzh");
        ASSERT_EQ(Write(lzh, m.Method), 14);
        const std::string bytes = ReadFile(lzh);
        EXPECT_EQ(bytes.back(), '\0'); // the end mark

        const std::map<std::string, TLhaEntry> entries = Walk(lzh);
        ASSERT_EQ(entries.size(), 14U);
        for (const auto& [name, e] : entries) {
            const bool plain = e.Header.UnpackedSize == 0 || name == "random.bin" || name == "one";
            EXPECT_EQ(e.Header.MethodChar(), e.Header.IsDirectory ? 'd' : plain ? '0' : m.Char) << name;
            // Every name in UTF-8 under a level-2 header from Unix, sealed by its CRC.
            EXPECT_EQ(e.Header.Level, 2) << name;
            EXPECT_TRUE(e.Header.NameIsUtf8) << name;
            EXPECT_FALSE(e.Header.HeaderDamaged) << name;
        }
        EXPECT_EQ(entries.at("fibonacci.txt").Header.PackedSize <
                      entries.at("fibonacci.txt").Header.UnpackedSize,
                  m.Char != '0');

        const ToolResult t = RunUtf8({"lhasa", "t", lzh.string()});
        EXPECT_EQ(t.ExitCode, 0) << t.Out << t.Err;
        const ToolResult z = RunUtf8({"7zz", "t", "-bd", lzh.string()});
        EXPECT_EQ(z.ExitCode, 0) << z.Out << z.Err;

        TempDir ours, lhasa, seven;
        const ExtractResult x = ExtractAll(lzh, ours.Path());
        EXPECT_TRUE(x.AllPassed()) << x.Describe();
        EXPECT_EQ(CompareTrees(source, "source", ReadTree(ours.Path()), "our reader"), "");
        ASSERT_EQ(RunUtf8({"lhasa", "xq", lzh.string()}, lhasa.Path()).ExitCode, 0);
        EXPECT_EQ(CompareTrees(source, "source", ReadTree(lhasa.Path()), "lhasa x"), "");
        ASSERT_EQ(RunUtf8({"7zz", "x", "-bd", "-y", "-o" + seven.Str(), lzh.string()}).ExitCode, 0);
        EXPECT_EQ(CompareTrees(source, "source", ReadTree(seven.Path()), "7zz x"), "");
    }
}

TEST_F(LhaWriterInterop, KrvprobeAddsAndConvertsToLhaAndBh) {
    const fs::path lzh = Dir / "probe.lzh";
    ASSERT_EQ(RunProbe({"add", lzh.string(), "-m", "lh5", "-r", "-d", Src.string()}).ExitCode, 0);
    EXPECT_EQ(RunProbe({"add", (Dir / "x.lzh").string(), "-m", "deflate", Src.string()}).ExitCode, 2);
    EXPECT_EQ(Walk(lzh).at("sub/big.txt").Header.MethodChar(), '5');
    const fs::path converted = Dir / "converted.lha";
    const ToolResult c = RunProbe({"convert", "-v", lzh.string(), converted.string()});
    ASSERT_EQ(c.ExitCode, 0) << c.Err;
    EXPECT_EQ(Walk(converted).at("sub/big.txt").Header.MethodChar(), '6');
    TempDir out;
    ASSERT_EQ(RunUtf8({"lhasa", "xq", converted.string()}, out.Path()).ExitCode, 0);
    // The converter keeps the empty folder too.
    EXPECT_EQ(CompareTrees(ReadTree(Src), "source", ReadTree(out.Path()), "lhasa x"), "");

    // The bh writer takes its own methods only; the converter writes bh too.
    EXPECT_EQ(RunProbe({"add", (Dir / "x.bh").string(), "-m", "lh5", Src.string()}).ExitCode, 2);
    EXPECT_EQ(
        RunProbe({"add", (Dir / "x.bh").string(), "-m", "fuse", "-p", "pw", "-r", Src.string()}).ExitCode, 0);
    const ToolResult b = RunProbe({"convert", lzh.string(), (Dir / "converted.bh").string()});
    EXPECT_EQ(b.ExitCode, 0) << b.Err;
    EXPECT_EQ(ReadFile(Dir / "converted.bh").substr(0, 4), "BH\x05\x07");
}

// A stored entry "hello" behind a level-2 header of exactly 256 bytes, whose size field's low
// byte is 0.
std::string Level2Header256() {
    TLhaHeader h;
    h.Level = 2;
    h.Method = "-lh0-";
    h.Name = std::string(222, 'p');
    h.PackedSize = h.UnpackedSize = 5;
    h.Time = 1700000000;
    h.Attr = 0x20;
    h.Crc = 0;
    std::vector<std::uint8_t> header = LhaHeaderBytes(h);
    EXPECT_EQ(header.size(), 257U); // the writer itself pads such a header
    header.pop_back();
    header[0] = 0;
    header[1] = 1;
    std::string crcData = "hello";
    std::uint16_t crc = 0;
    UpdateCrc16Buf(crcData.data(), 5, crc);
    PutU16LE(header.data() + 21, crc);
    // The header's own CRC (its extended header comes first, at 27) over the header as it is now.
    PutU16LE(header.data() + 27, 0);
    std::uint16_t headerCrc = 0;
    UpdateCrc16Buf(header.data(), std::ssize(header), headerCrc);
    PutU16LE(header.data() + 27, headerCrc);
    return std::string(header.begin(), header.end()) + crcData;
}

TEST_F(LhaWriterInterop, UpdatingArchivesOfOtherProgramsKeepsTheirEntriesByteForByte) {
    struct TCase {
        std::string What;
        std::string Bytes;
    };
    std::vector<TCase> cases;
    for (const char* name :
         {"lhasa/lha_unix114i/h1_lh5.lzh", "lhasa/lha_unix114i/h2_lh6.lzh", "lhasa/explzh_723/h2_subdir.lzh",
          "lhasa/lha_unix114i/h0_lh5.lzh", "commons-compress/lha/test-msdos-l1.lha"})
        cases.push_back({name, ReadFile(CorpusDir() / name)});
    {
        TLhaHeader first;
        first.Method = "-lh0-";
        first.Name = "first";
        const std::vector<std::uint8_t> h = LhaHeaderBytes(first);
        cases.push_back(
            {"level-2 header of 256 bytes", std::string(h.begin(), h.end()) + Level2Header256() + '\0'});
        cases.push_back({"level-2 header of 256 bytes first",
                         Level2Header256() + std::string(h.begin(), h.end()) + '\0'});
    }
    WriteFile(Dir / "new.txt", TextBytes(20000, 3));
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const fs::path lzh = Dir / "update.lzh";
        WriteFile(lzh, c.Bytes);
        const std::map<std::string, TLhaEntry> before = Walk(lzh);
        ASSERT_FALSE(before.empty());

        TLha lha;
        lha.DeleteOptions = doFinal;
        lha.OnError = [](TZipCommon&, const std::string& File, const std::string&, const std::string&,
                         int Code) { ADD_FAILURE() << "error " << Code << " " << File; };
        lha.SetArchiveFile(lzh.string());
        lha.FileSpec = {(Dir / "new.txt").string()};
        ASSERT_EQ(lha.Compress(), 1);

        const std::map<std::string, TLhaEntry> after = Walk(lzh);
        ASSERT_EQ(after.size(), before.size() + 1);
        for (const auto& [name, e] : before) {
            ASSERT_EQ(after.count(name), 1U) << name;
            EXPECT_TRUE(after.at(name).Bytes == e.Bytes) << name;
        }
        EXPECT_EQ(ReadFile(lzh).back(), '\0');
        const ToolResult t = RunUtf8({"lhasa", "t", lzh.string()});
        EXPECT_EQ(t.ExitCode, 0) << t.Out << t.Err;
    }
}

TEST_F(LhaWriterInterop, RenamedAndDeletedEntriesOfEveryLevelStayValid) {
    for (const char* name : {"lhasa/lha_unix114i/h0_lh5.lzh", "lhasa/lha_unix114i/h1_lh5.lzh",
                             "lhasa/lha_unix114i/h2_lh6.lzh", "lhasa/explzh_723/h2_subdir.lzh"}) {
        SCOPED_TRACE(name);
        TempDir work;
        const fs::path lzh = work / "a.lzh";
        fs::copy_file(CorpusDir() / name, lzh);
        TempDir original;
        ASSERT_EQ(RunUtf8({"lhasa", "xq", lzh.string()}, original.Path()).ExitCode, 0);
        std::map<std::string, std::string> expected = ReadTree(original.Path());
        const auto file = std::find_if(expected.begin(), expected.end(),
                                       [](const auto& E) { return E.first.back() != '/'; });
        ASSERT_NE(file, expected.end());
        const std::string entry = file->first;
        const std::string renamed = entry + " renamed \xc3\xa9";

        // A file of the entry's name that is not to replace it: the entry is renamed.
        fs::create_directories((work / "src" / entry).parent_path());
        WriteFile(work / "src" / entry, "the newer one");
        TLha lha;
        lha.DeleteOptions = doFinal;
        lha.StoredDirNames = sdRelative;
        lha.OnError = [](TZipCommon&, const std::string& File, const std::string&, const std::string&,
                         int Code) { ADD_FAILURE() << "error " << Code << " " << File; };
        lha.OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime,
                               std::int64_t, std::int64_t, int, int, bool& Replace) { Replace = false; };
        lha.OnRenameDupeFile = [&](TZipCommon&, const std::string&, std::string& NewName, bool& Rename) {
            NewName = renamed;
            Rename = true;
        };
        lha.SetArchiveFile(lzh.string());
        lha.FileSpec = {(work / "src" / "*").string()};
        ASSERT_EQ(lha.Compress(), 1);

        expected[renamed] = expected[entry];
        expected[entry] = "the newer one";
        for (const char* tool : {"lhasa", "ours"}) {
            TempDir out;
            if (std::string(tool) == "lhasa") {
                const ToolResult t = RunUtf8({"lhasa", "t", lzh.string()});
                EXPECT_EQ(t.ExitCode, 0) << t.Out << t.Err;
                ASSERT_EQ(RunUtf8({"lhasa", "xq", lzh.string()}, out.Path()).ExitCode, 0);
            } else {
                const ExtractResult x = ExtractAll(lzh, out.Path());
                EXPECT_TRUE(x.AllPassed()) << x.Describe();
            }
            EXPECT_EQ(CompareTrees(expected, "expected", ReadTree(out.Path()), tool), "");
        }

        // Deleting the renamed entry leaves the others.
        const ToolResult d = RunProbe({"delete", lzh.string(), renamed});
        ASSERT_EQ(d.ExitCode, 0) << d.Err;
        EXPECT_EQ(Walk(lzh).count(renamed), 0U);
        EXPECT_EQ(RunUtf8({"lhasa", "t", lzh.string()}).ExitCode, 0);
    }
}

} // namespace

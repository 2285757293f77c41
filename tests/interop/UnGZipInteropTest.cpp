// The gzip reader against gzip, pigz, ncompress and GNU tar: single and concatenated members,
// stored names (those that are no file names give the archive's), headers with a comment and
// a header CRC made by hand, compress files of every width and the tiny ones, times to the
// second, tar.gz and tar.Z with the nested tar unpacked, and every cut of those files, which
// must extract what the tool extracts from the cut or fail, leaving no file but the whole files
// of a tar before the cut.
#include "ExtractRun.h"
#include "TestSupport.h"

#include "engine/core/krvCrc.h"
#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>
#include <sys/time.h>

using namespace testsupport;

namespace {

ToolResult RunOk(const std::vector<std::string>& Argv, const fs::path& Cwd = {}) {
    ToolResult r = RunTool(Argv, Cwd);
    EXPECT_EQ(r.ExitCode, 0) << Argv[0] << " failed: " << r.Err;
    return r;
}

// Answers the nested-tar question; true by default.
std::function<void(TUnBase&)> NestedTar(bool Answer = true, const fs::path& TempDir = {}) {
    return [=](TUnBase& Reader) {
        Reader.OnNestedTarFile = [=](TZipCommon&, const std::string&, bool& doUnTar) { doUnTar = Answer; };
        if (!TempDir.empty()) Reader.SetTempDir(TempDir.string());
    };
}

class UnGZipInterop : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Src / "a" / "same");
        fs::create_directories(Src / "b" / "same");
        WriteFile(Src / "a" / "same" / "f.txt", "first");
        WriteFile(Src / "b" / "same" / "f.txt", "second");
        WriteFile(Src / "text.txt", TextBytes(300000, 21));
        WriteFile(Src / "random.bin", RandomBytes(100000, 22));
    }
    // The one file the reader extracts from Archive into a fresh folder, with the result.
    std::pair<std::map<std::string, std::string>, ExtractResult>
    Extract(const fs::path& Archive, const std::function<void(TUnBase&)>& Setup = {}) {
        const fs::path out = Dir / ("out" + std::to_string(++FRuns));
        const ExtractResult r = ExtractAll(Archive, out, Setup);
        return {ReadTree(out), r};
    }

    TempDir Dir;
    fs::path Src = Dir / "src";

private:
    int FRuns = 0;
};

// A gzip member made by hand around the deflate data of a member gzip made: every optional
// header field, the header CRC correct or not.
std::string HandMadeMember(const std::string& GzipFile, bool GoodHeaderCrc) {
    std::string h("\x1F\x8B\x08\x1E\x00\x00\x00\x00\x00\x03", 10); // extra, name, comment, header CRC
    h += std::string("\x04\x00xy\x01\x00", 6);
    h += std::string("../folder/inner.txt\0", 20);
    h += std::string("a comment\0", 10);
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(h.data(), std::ssize(h), crc);
    const std::uint16_t headerCrc = static_cast<std::uint16_t>((crc ^ 0xFFFFFFFF) ^ (GoodHeaderCrc ? 0 : 1));
    h += static_cast<char>(headerCrc & 0xFF);
    h += static_cast<char>(headerCrc >> 8);
    return h + GzipFile.substr(10); // gzip -n writes a bare 10-byte header
}

} // namespace

TEST_F(UnGZipInterop, MembersExtractAsGzipDecodesThem) {
    RunOk({"gzip", "-k", "-N", "text.txt"}, Src);
    RunOk({"gzip", "-k", "-n", "random.bin"}, Src);
    const std::string text = ReadFile(Src / "text.txt.gz");
    const std::string random = ReadFile(Src / "random.bin.gz");
    WriteFile(Dir / "pigz.gz", RunOk({"pigz", "-c", "-N", (Src / "text.txt").string()}).Out);
    WriteFile(Dir / "renamed.gz", text);
    WriteFile(Dir / "noname.gz", random);
    WriteFile(Dir / "two.gz", text + random);
    WriteFile(Dir / "three.gz", random + random + text);
    WriteFile(Dir / "padded.gz", text + std::string(1024, '\0'));
    WriteFile(Dir / "hand.gz", HandMadeMember(random, true));
    // One empty stored block, CRC and size 0.
    WriteFile(Dir / "empty.gz",
              std::string("\x1F\x8B\x08\0\0\0\0\0\0\x03\x01\0\0\xFF\xFF\0\0\0\0\0\0\0\0", 23));
    const struct {
        const char* Archive;
        const char* Name; // the file it extracts to
    } cases[] = {
        {"pigz.gz", "text.txt"}, {"renamed.gz", "text.txt"}, {"noname.gz", "noname"}, {"two.gz", "text.txt"},
        {"three.gz", "three"},   {"padded.gz", "text.txt"},  {"hand.gz", "hand"},     {"empty.gz", "empty"},
    };
    for (const auto& c : cases) {
        const fs::path archive = Dir / c.Archive;
        const std::string expected = RunOk({"gzip", "-dc", archive.string()}).Out;
        const auto [tree, r] = Extract(archive);
        EXPECT_TRUE(r.AllPassed()) << c.Archive << ": " << r.Describe();
        EXPECT_EQ(tree.size(), 1U) << c.Archive;
        EXPECT_TRUE(tree.count(c.Name) && tree.at(c.Name) == expected) << c.Archive << " -> " << c.Name;
    }
    WriteFile(Dir / "badcrc.gz", HandMadeMember(random, false));
    const auto [tree, r] = Extract(Dir / "badcrc.gz");
    EXPECT_TRUE(tree.empty() && r.HasError(ecHeaderCRCError)) << r.Describe();
}

TEST_F(UnGZipInterop, CompressFilesOfEveryWidthExtractAsUncompressDoes) {
    const std::string text = ReadFile(Src / "text.txt");
    for (int bits = 10; bits <= 16; ++bits) {
        // report.doc.Z extracts as report.doc.
        const std::string name = "text-" + std::to_string(bits) + ".txt";
        const fs::path archive = Dir / (name + ".Z");
        WriteFile(archive,
                  RunOk({"compress", "-c", "-b", std::to_string(bits), (Src / "text.txt").string()}).Out);
        const auto [tree, r] = Extract(archive);
        EXPECT_TRUE(r.AllPassed()) << archive << ": " << r.Describe();
        EXPECT_TRUE(tree.count(name) && tree.at(name) == text) << archive;
    }
}

TEST_F(UnGZipInterop, CompressedTarsExtractAsGnuTarDoes) {
    const fs::path temp = Dir / "temp";
    fs::create_directories(temp);
    for (const char* option : {"-z", "-Z"}) {
        const fs::path archive = Dir / (std::string("t") + (option[1] == 'z' ? ".tar.gz" : ".tar.Z"));
        RunOk({"tar", option, "-cf", archive.string(), "."}, Src);
        const fs::path gnu = Dir / ("gnu" + std::string(option));
        fs::create_directories(gnu);
        RunOk({"tar", "-xf", archive.string(), "-C", gnu.string()});
        const auto [tree, r] = Extract(archive, NestedTar(true, temp));
        EXPECT_TRUE(r.AllPassed()) << archive << ": " << r.Describe();
        EXPECT_EQ(CompareTrees(ReadTree(gnu), "GNU tar", tree, "Quillar"), "") << archive;
        EXPECT_TRUE(fs::is_empty(temp)) << "the temporary tar of " << archive << " was left";

        // The test driver's run without output goes through the nested tar too.
        const ToolResult probe = RunProbe({"test", archive.string()});
        EXPECT_EQ(probe.ExitCode, 0) << probe.Out;
        EXPECT_NE(probe.Out.find("./b/same/f.txt\tPASS\n"), std::string::npos) << probe.Out;

        // Answered no, the tar itself is the file.
        const auto [plain, r2] = Extract(archive, NestedTar(false));
        EXPECT_TRUE(r2.AllPassed()) << r2.Describe();
        EXPECT_TRUE(plain.count("t.tar") &&
                    plain.at("t.tar") ==
                        RunOk({option[1] == 'z' ? "gzip" : "uncompress", "-dc", archive.string()}).Out)
            << archive;
    }
}

TEST_F(UnGZipInterop, EveryCutExtractsWhatTheToolDoesOrNothing) {
    RunOk({"gzip", "-k", "-n", "random.bin"}, Src);
    RunOk({"tar", "-czf", (Dir / "t.tgz").string(), "a", "b"}, Src);
    const std::string member = ReadFile(Src / "random.bin.gz");
    WriteFile(Dir / "two.gz", member + member);
    WriteFile(Dir / "t.Z", RunOk({"compress", "-c", (Src / "random.bin").string()}).Out);
    int failures = 0;
    for (const char* name : {"two.gz", "t.Z", "t.tgz"}) {
        const std::string whole = ReadFile(Dir / name);
        const bool compress = std::string(name) == "t.Z";
        for (std::size_t cut = 3; cut < whole.size(); cut += whole.size() / 37 + 1) {
            const fs::path archive = Dir / ("cut-" + std::string(name));
            WriteFile(archive, whole.substr(0, cut));
            const ToolResult tool = RunTool({compress ? "uncompress" : "gzip", "-dc", archive.string()});
            // Every error is the archive's, also those of the tar inside (a temporary of the run).
            std::vector<std::string> strangers;
            const auto [tree, r] = Extract(archive, [&](TUnBase& Reader) {
                NestedTar(true)(Reader);
                Reader.OnError = [&strangers, inner = Reader.OnError, own = Reader.ArchiveFile()](
                                     TZipCommon& Sender, const std::string& File, const std::string& Message,
                                     const std::string& Volume, int Code) {
                    if (Sender.ArchiveFile() != own) strangers.push_back(Sender.ArchiveFile());
                    inner(Sender, File, Message, Volume, Code);
                };
            });
            EXPECT_TRUE(strangers.empty()) << name << " cut at " << cut << ": " << strangers.front();
            if (!r.AllPassed()) {
                ++failures;
                // A tar.gz gives the tar's files before the cut, whole; a file gives nothing.
                for (const auto& [file, data] : tree) {
                    if (file.back() == '/') continue;
                    EXPECT_EQ(std::string(name), "t.tgz") << name << " cut at " << cut << " left " << file;
                    EXPECT_TRUE(data == ReadFile(Src / file)) << name << " cut at " << cut << ": " << file;
                }
                continue;
            }
            // A cut that leaves a whole file (the first of two members) extracts as gzip does.
            EXPECT_EQ(tool.ExitCode, 0) << name << " cut at " << cut << " passed; " << r.Describe();
            ASSERT_EQ(tree.size(), 1U) << name << " cut at " << cut;
            EXPECT_TRUE(tree.begin()->second == tool.Out) << name << " cut at " << cut;
        }
    }
    EXPECT_GT(failures, 0);
}

TEST_F(UnGZipInterop, NamesThatAreNoFileNamesGiveTheArchiveNameAndTimesAreExact) {
    RunOk({"gzip", "-k", "-n", "random.bin"}, Src);
    const std::string bare = ReadFile(Src / "random.bin.gz");
    const std::string expected = ReadFile(Src / "random.bin");
    const struct {
        std::string Stored;
        std::string Extracted;
    } cases[] = {
        {"kept name.bin", "kept name.bin"}, {".", "data.bin"},           {"..", "data.bin"},
        {"dir/inner.bin", "data.bin"},      {"/etc/passwd", "data.bin"}, {std::string(300, 'n'), "data.bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Stored.substr(0, 20));
        // The name flag, an odd-second time, and the name before gzip's own data.
        std::string member("\x1F\x8B\x08\x08\x01\xF1\x53\x65\x00\x03", 10);
        member += c.Stored + '\0' + bare.substr(10);
        const fs::path archive = Dir / "data.bin.gz";
        WriteFile(archive, member);
        ASSERT_EQ(RunOk({"gzip", "-dc", archive.string()}).Out, expected);
        const fs::path out = Dir / "out";
        fs::remove_all(out);
        const ExtractResult r = ExtractAll(archive, out);
        EXPECT_TRUE(r.AllPassed()) << r.Describe();
        const auto tree = ReadTree(out);
        ASSERT_EQ(tree.size(), 1u);
        EXPECT_EQ(tree.begin()->first, c.Extracted);
        EXPECT_EQ(tree.begin()->second, expected);
        EXPECT_TRUE(ReadStamps(out).begin()->second.ends_with(" 1700000001"));
    }
}

TEST_F(UnGZipInterop, TinyCompressFilesExtractAsUncompressDoes) {
    for (const std::size_t size : {0u, 1u, 2u, 3u, 7u, 12u}) {
        SCOPED_TRACE(size);
        const fs::path source = Dir / "tiny.txt";
        WriteFile(source, TextBytes(size, 9));
        const fs::path archive = Dir / "tiny.txt.Z";
        WriteFile(archive, RunOk({"compress", "-c", source.string()}).Out);
        ASSERT_LT(fs::file_size(archive), 20u);
        const timeval times[2] = {{1600000003, 0}, {1600000003, 0}};
        ::utimes(archive.c_str(), times);
        const fs::path out = Dir / "out";
        fs::remove_all(out);
        const ExtractResult r = ExtractAll(archive, out);
        EXPECT_TRUE(r.AllPassed()) << r.Describe();
        const auto tree = ReadTree(out);
        EXPECT_TRUE(tree.count("tiny.txt") &&
                    tree.at("tiny.txt") == RunOk({"uncompress", "-c", archive.string()}).Out);
        // uncompress gives its output the time of the compressed file.
        EXPECT_TRUE(ReadStamps(out)["tiny.txt"].ends_with(" 1600000003"));
    }
}

// Damaged deflate data in a gzip member and in a zip entry beyond the whole-buffer bound, both
// inflated as a stream: the reader fails the entry and leaves no file, as gzip -t and unzip -t
// fail on them.
TEST_F(UnGZipInterop, DamagedDeflateStreamsFailAsTheToolsDo) {
    WriteFile(Src / "big.txt", TextBytes(20 << 20, 31));
    RunOk({"gzip", "-k", "-n", "-6", "big.txt"}, Src);
    RunOk({"zip", "-q", "-6", (Dir / "big.zip").string(), "big.txt"}, Src);
    const std::string gz = ReadFile(Src / "big.txt.gz");
    const std::string zip = ReadFile(Dir / "big.zip");
    const std::size_t zipData = 30 + (std::uint8_t(zip[26]) | std::uint8_t(zip[27]) << 8) +
                                (std::uint8_t(zip[28]) | std::uint8_t(zip[29]) << 8);
    const auto flip = [](std::string Bytes, std::size_t At, int Mask) {
        Bytes[At] = static_cast<char>(Bytes[At] ^ Mask);
        return Bytes;
    };
    const auto zeroed = [](std::string Bytes, std::size_t At) {
        std::fill_n(Bytes.begin() + static_cast<std::ptrdiff_t>(At), 64, '\0');
        return Bytes;
    };
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"reserved-type.gz", flip(gz, 10, 0x06)}, // the first block's type becomes 3
        {"flipped.gz", flip(gz, gz.size() / 2, 0x5A)},   {"zeroed.gz", zeroed(gz, gz.size() / 3)},
        {"reserved-type.zip", flip(zip, zipData, 0x06)}, {"flipped.zip", flip(zip, zipData + 1000000, 0x5A)},
        {"zeroed.zip", zeroed(zip, zipData + 2000000)},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        const fs::path archive = Dir / name;
        WriteFile(archive, bytes);
        const bool isZip = archive.extension() == ".zip";
        const ToolResult tool = RunTool(isZip ? std::vector<std::string>{"unzip", "-tqq", archive.string()}
                                              : std::vector<std::string>{"gzip", "-t", archive.string()});
        EXPECT_NE(tool.ExitCode, 0) << "the damage is real";
        const auto [tree, r] = Extract(archive);
        EXPECT_FALSE(r.AllPassed()) << r.Describe();
        EXPECT_TRUE(tree.empty()) << tree.size() << " files left";
    }
}

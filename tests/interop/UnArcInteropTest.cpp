// The arc reader against Debian's arc and nomarch: archives that arc makes at test time
// (stored, packed, squeezed, crunched) and the corpus samples of the methods it does not
// write (squashed) are extracted by the tools and by the engine, byte for byte. No tool and no
// sample has the old crunched methods 5 to 7: they are made here, and nomarch checks them.
#include "ExtractRun.h"
#include "TestSupport.h"

#include "engine/codec/krvArcCrunchTable.h"
#include "engine/core/krvCrc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

using namespace testsupport;

namespace {

// Files only, names in lower case (nomarch lowers the names of DOS archives).
std::map<std::string, std::string> FoldedFiles(const fs::path& Root) {
    std::map<std::string, std::string> out;
    for (const auto& [name, data] : ReadTree(Root)) {
        if (name.back() == '/') continue;
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        out[lower] = data;
    }
    return out;
}

void ExpectSameAsTool(const fs::path& Archive, const std::vector<std::string>& Tool, const fs::path& Work) {
    const std::string what = Archive.filename().string() + " by " + Tool[0];
    const fs::path byTool = Work / (what + ".tool");
    fs::create_directories(byTool);
    std::vector<std::string> argv = Tool;
    argv.push_back(Archive.string());
    const ToolResult t = RunTool(argv, byTool);
    ASSERT_EQ(t.ExitCode, 0) << what << ": " << t.Out << t.Err;
    const auto result = ExtractAll(Archive, Work / (what + ".engine"));
    EXPECT_TRUE(result.AllPassed()) << what << ": " << result.Describe();
    const auto expected = FoldedFiles(byTool);
    EXPECT_FALSE(expected.empty()) << what;
    EXPECT_EQ(CompareTrees(expected, Tool[0], FoldedFiles(Work / (what + ".engine")), "the engine"), "")
        << what;
}

// Arc's run-length encoding: runs of 3 to 255 bytes as byte, 0x90, count; 0x90 as 0x90, 0.
std::string RunLengthEncode(const std::string& Data) {
    std::string out;
    for (std::size_t i = 0; i < Data.size();) {
        const char c = Data[i];
        std::size_t n = 1;
        while (i + n < Data.size() && Data[i + n] == c && n < 255)
            ++n;
        if (c == '\x90') {
            out += std::string("\x90\x00", 2);
            ++i;
        } else if (n >= 3) {
            out += std::string{c, '\x90', static_cast<char>(n)};
            i += n;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

// Arc's crunch: LZW over the hashed string table, 12-bit codes two in three bytes.
std::string Crunch(const std::string& Data, bool NewHash) {
    TCrunchTable table(NewHash);
    std::vector<int> codes;
    int pred = table.Find(TCrunchTable::NoPred, static_cast<std::uint8_t>(Data[0]));
    int added = 0;
    for (std::size_t i = 1; i < Data.size(); ++i) {
        const auto c = static_cast<std::uint8_t>(Data[i]);
        const int longer = table.Find(static_cast<std::uint16_t>(pred), c);
        if (longer >= 0) {
            pred = longer;
            continue;
        }
        codes.push_back(pred);
        if (added++ < TCrunchTable::Size - 256) table.Add(static_cast<std::uint16_t>(pred), c);
        pred = table.Find(TCrunchTable::NoPred, c);
    }
    codes.push_back(pred);
    std::string out;
    for (std::size_t i = 0; i < codes.size(); i += 2) {
        const int a = codes[i];
        const int b = i + 1 < codes.size() ? codes[i + 1] : 0;
        out += static_cast<char>(a >> 4);
        out += static_cast<char>(((a & 15) << 4) | (b >> 8));
        if (i + 1 < codes.size()) out += static_cast<char>(b & 0xFF);
    }
    return out;
}

std::string CrunchedEntry(int Method, const std::string& Name, const std::string& Data) {
    const std::string packed = Crunch(Method == 5 ? Data : RunLengthEncode(Data), Method == 7);
    std::uint16_t crc = 0;
    UpdateCrc16Buf(Data.data(), static_cast<std::int64_t>(Data.size()), crc);
    std::string h{'\x1A', static_cast<char>(Method)};
    h += Name + std::string(13 - Name.size(), '\0');
    auto put = [&h](std::uint32_t V, int Bytes) {
        for (int i = 0; i < Bytes; ++i)
            h += static_cast<char>((V >> (8 * i)) & 0xFF);
    };
    put(static_cast<std::uint32_t>(packed.size()), 4);
    put(0x5A8B, 2); // date
    put(0x6000, 2); // time
    put(crc, 2);
    put(static_cast<std::uint32_t>(Data.size()), 4);
    return h + packed;
}

} // namespace

TEST(UnArcInterop, OldCrunchedEntriesMadeHereMatchNomarch) {
    TempDir dir;
    // Long enough to fill the string table, with runs and 0x90 bytes for the run-length stage.
    const std::string data = TextBytes(150000, 9) + std::string(600, 'z') + std::string(5, '\x90') + "end";
    WriteFile(dir / "old.arc", CrunchedEntry(5, "M5.TXT", data) + CrunchedEntry(6, "M6.TXT", data) +
                                   std::string("\x1A\x00", 2));
    ExpectSameAsTool(dir / "old.arc", {"nomarch"}, dir.Path());
    // nomarch does not read method 7: the engine gives back what was crunched.
    WriteFile(dir / "new.arc", CrunchedEntry(7, "M7.TXT", data) + std::string("\x1A\x00", 2));
    const auto result = ExtractAll(dir / "new.arc", dir / "new");
    EXPECT_TRUE(result.AllPassed()) << result.Describe();
    EXPECT_EQ(ReadFile(dir / "new/M7.TXT"), data);
}

TEST(UnArcInterop, ArchivesOfArcAndCorpusSamplesMatchTheTools) {
    TempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src);
    WriteFile(src / "text.txt", TextBytes(200000, 3));                           // crunched
    WriteFile(src / "random.bin", RandomBytes(30000, 4));                        // stored
    WriteFile(src / "runs.bin", std::string(75, 'a') + "\x90\x90\x90" + "bbbb"); // packed
    std::string skewed;
    for (int i = 0; i < 40000; ++i)
        skewed += static_cast<char>("aaaaaaabbbcd\x90"[(i * 7919) % 13]);
    WriteFile(src / "skewed.bin", skewed);
    WriteFile(src / "empty.txt", "");
    const ToolResult made = RunTool({"arc", "a", (dir / "t.arc").string(), "text.txt", "random.bin",
                                     "runs.bin", "skewed.bin", "empty.txt"},
                                    src);
    ASSERT_EQ(made.ExitCode, 0) << made.Out << made.Err;
    ExpectSameAsTool(dir / "t.arc", {"arc", "x"}, dir.Path());
    ExpectSameAsTool(dir / "t.arc", {"nomarch"}, dir.Path());

    for (const char* sample :
         {"sharpcompress/arc/Arc.crunched.arc", "sharpcompress/arc/Arc.squashed.arc",
          "sharpcompress/arc/Arc.squeezed.arc", "sharpcompress/arc/Arc.uncompressed.arc", "patool/t.arc"})
        ExpectSameAsTool(CorpusDir() / sample, {"nomarch"}, dir.Path());
}

// Damage to the structure of arj, lha, arc and bh archives is reported even where every entry's
// data verify, and entries without a name are tested and reported by a name made for them. One
// table of crafted archives (from archives arj makes, or made here byte by byte): the verdict of
// each entry from the engine's test and extraction (krvprobe), and the program's own test
// (`quillar -T`) exits 1 exactly when something is wrong.
#include "ProcessRun.h"

#include "engine/formats/bh/krvBhRecords.h"
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/formats/lha/krvLhaRecords.h"

#include "ZipBuilder.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

constexpr std::uint32_t DosTime = 0x5A8B6000;

std::uint16_t Crc16Of(const std::string& Data) {
    std::uint16_t crc = 0;
    UpdateCrc16Buf(Data.data(), std::ssize(Data), crc);
    return crc;
}

// A stored lha entry of Level: header and data, the data's CRC wrong when asked.
std::string LhaEntry(int Level, const std::string& Name, const std::string& Data, bool BadCrc = false) {
    TLhaHeader h;
    h.Level = Level;
    h.Method = "-lh0-";
    h.Name = Name;
    h.PackedSize = h.UnpackedSize = std::ssize(Data);
    h.Time = Level == 0 ? DosTime : 1700000001;
    h.Attr = 0x20;
    h.Crc = static_cast<std::uint16_t>(Crc16Of(Data) ^ (BadCrc ? 0x5555 : 0));
    const std::vector<std::uint8_t> header = LhaHeaderBytes(h);
    return std::string(header.begin(), header.end()) + Data;
}

// A stored level-2 entry whose name header is empty and whose folder header holds Folder (its
// parts separated by 0xFF), with the header CRC as it must be.
std::string LhaLevel2InFolder(const std::string& Folder, const std::string& Data, bool BadCrc) {
    std::string h(21, '\0');
    h.replace(2, 5, "-lh0-");
    PutU32LE(reinterpret_cast<std::uint8_t*>(h.data() + 7), static_cast<std::uint32_t>(Data.size()));
    PutU32LE(reinterpret_cast<std::uint8_t*>(h.data() + 11), static_cast<std::uint32_t>(Data.size()));
    PutU32LE(reinterpret_cast<std::uint8_t*>(h.data() + 15), 1700000001);
    h[20] = 2;
    std::uint8_t crc[2];
    PutU16LE(crc, static_cast<std::uint16_t>(Crc16Of(Data) ^ (BadCrc ? 0x5555 : 0)));
    h.append(reinterpret_cast<const char*>(crc), 2);
    h += 'U';
    const auto ext = [&h](char Type, const std::string& Body) {
        std::uint8_t size[2];
        PutU16LE(size, static_cast<std::uint16_t>(Body.size() + 3));
        h.append(reinterpret_cast<const char*>(size), 2);
        h += Type;
        h += Body;
    };
    ext('\x00', std::string(2, '\0'));
    ext('\x01', "");
    ext('\x02', Folder);
    h.append(2, '\0');
    PutU16LE(reinterpret_cast<std::uint8_t*>(h.data()), static_cast<std::uint16_t>(h.size()));
    PutU16LE(reinterpret_cast<std::uint8_t*>(h.data() + 27), Crc16Of(h));
    return h + Data;
}

// A stored arc entry (method 2) with a 12-byte name field.
std::string ArcEntry(const std::string& Name, const std::string& Data, bool BadCrc = false) {
    std::string h(29, '\0');
    h[0] = '\x1A';
    h[1] = 2;
    h.replace(2, Name.size(), Name);
    const auto put32 = [&h](std::size_t At, std::uint32_t V) {
        PutU32LE(reinterpret_cast<std::uint8_t*>(h.data() + At), V);
    };
    put32(15, static_cast<std::uint32_t>(Data.size()));
    put32(19, DosTime >> 16 | DosTime << 16);
    PutU16LE(reinterpret_cast<std::uint8_t*>(h.data() + 23),
             static_cast<std::uint16_t>(Crc16Of(Data) ^ (BadCrc ? 0x5555 : 0)));
    put32(25, static_cast<std::uint32_t>(Data.size()));
    return h + Data;
}

// A stored bh entry.
std::string BhEntry(const std::string& Name, const std::string& Data, bool BadCrc = false) {
    TBhHeader h;
    h.Method = BhStored;
    h.DosTime = DosTime;
    h.PackedSize = h.UnpackedSize = std::ssize(Data);
    h.Crc = Crc32Of(Data) ^ (BadCrc ? 0x55555555U : 0);
    h.Attr = 0x20;
    h.Name = Name;
    std::string out;
    EXPECT_TRUE(MakeBhHeader(h, out));
    return out + Data;
}

// The arj header at At of Arj: sealed again with its CRC after a change.
void ResealArjHeader(std::string& Arj, std::size_t At) {
    const std::uint16_t basic = GetU16LE(reinterpret_cast<const std::uint8_t*>(Arj.data() + At + 2));
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(Arj.data() + At + 4, basic, crc);
    PutU32LE(reinterpret_cast<std::uint8_t*>(Arj.data() + At + 4 + basic), crc ^ 0xFFFFFFFF);
}

class HeaderDamageTestRun : public QuillarProcessTest {};

TEST_F(HeaderDamageTestRun, DamageAndNamelessEntriesAreReportedByTestAndExtraction) {
    TempDir work;
    const std::string a = "first entry\n";
    const std::string b = TextBytes(3000, 2);
    WriteFile(work / "src" / "a.txt", a);
    WriteFile(work / "src" / "b.txt", b);
    const ToolResult made =
        RunTool({"arj", "a", "-y", "-m0", (work / "made.arj").string(), "a.txt", "b.txt"}, work / "src");
    ASSERT_EQ(made.ExitCode, 0) << made.Out << made.Err;
    const std::string arj = ReadFile(work / "made.arj");
    const std::size_t mainCrc = 4 + GetU16LE(reinterpret_cast<const std::uint8_t*>(arj.data() + 2));
    const std::size_t second = arj.find("\x60\xEA", arj.find("first entry"));
    ASSERT_NE(second, std::string::npos);

    std::string arjMain = arj; // the main header's CRC is wrong
    arjMain[mainCrc] ^= 0x01;
    std::string arjHeader = arj; // b.txt's header CRC is wrong
    arjHeader[second + 4 + GetU16LE(reinterpret_cast<const std::uint8_t*>(arj.data() + second + 2))] ^= 0x01;
    std::string arjNameless = arj; // b.txt's name is gone and its data CRC wrong; the header is sealed
    arjNameless[second + 4 + static_cast<std::uint8_t>(arj[second + 4])] = '\0';
    arjNameless[second + 24] ^= 0x01;
    ResealArjHeader(arjNameless, second);

    std::string lha0 = LhaEntry(0, "b.txt", b); // a level-0 header whose checksum is wrong
    lha0[1] ^= 0x01;
    std::string lha2 = LhaEntry(2, "b.txt", b); // a level-2 header whose CRC is wrong
    lha2[15] ^= 0x01;
    const std::string lhaA = LhaEntry(0, "a.txt", a);
    const std::string bhA = BhEntry("a.txt", a);
    const std::string arcA = ArcEntry("A.TXT", a);

    const std::string crcFailed = "\tFAIL 25151";
    const std::string headerCrc = "\tFAIL 25238";
    struct TCase {
        const char* What;
        const char* File;
        std::string Bytes;
        std::vector<std::string> TestSays; // lines (or parts of lines) of `krvprobe test`
        bool Damaged;                      // the test fails, and so does `quillar -T`
        std::string ExtractSays;           // a part of what `krvprobe extract` prints
    };
    const TCase cases[] = {
        {"arj main header CRC",
         "main.arj",
         arjMain,
         {"a.txt\tPASS", "b.txt\tPASS", headerCrc},
         true,
         "ERROR 25238"},
        {"arj file header CRC",
         "file.arj",
         arjHeader,
         {"a.txt\tPASS", "b.txt\tPASS", headerCrc},
         true,
         "ERROR 25238"},
        {"arj nameless entry, data CRC wrong",
         "nameless.arj",
         arjNameless,
         {"a.txt\tPASS", "named \"\"" + crcFailed},
         true,
         "named \"\"\tERROR 26800"},
        {"lha level-0 checksum",
         "sum.lzh",
         lhaA + lha0 + '\0',
         {"a.txt\tPASS", "b.txt\tPASS", headerCrc},
         true,
         "ERROR 25238"},
        {"lha level-2 header CRC",
         "crc.lzh",
         lhaA + lha2 + '\0',
         {"a.txt\tPASS", "b.txt\tPASS", headerCrc},
         true,
         "ERROR 25238"},
        {"lha nameless entry, data sound",
         "nameless.lzh",
         lhaA + LhaEntry(0, "", b) + '\0',
         {"a.txt\tPASS", "named \"\"\tPASS"},
         false,
         "named \"\"\tERROR 26800"},
        {"lha level-2 entry named '/', data CRC wrong",
         "root.lzh",
         lhaA + LhaLevel2InFolder("\xFF", b, true) + '\0',
         {"a.txt\tPASS", "named \"/\"" + crcFailed},
         true,
         "named \"/\"\tERROR 26800"},
        {"bh nameless entry, data CRC wrong",
         "nameless.bh",
         bhA + BhEntry("", b, true),
         {"a.txt\tPASS", "named \"\"" + crcFailed},
         true,
         "named \"\"\tERROR 26800"},
        {"arc nameless entry, data CRC wrong",
         "nameless.arc",
         arcA + ArcEntry("", b, true) + std::string("\x1A\x00", 2),
         {"A.TXT\tPASS", "named \"\"" + crcFailed},
         true,
         "named \"\"\tERROR 26800"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const fs::path file = work / c.File;
        WriteFile(file, c.Bytes);
        const ToolResult test = RunProbe({"test", file.string()});
        EXPECT_EQ(test.ExitCode, c.Damaged ? 1 : 0) << test.Out << test.Err;
        for (const std::string& line : c.TestSays)
            EXPECT_NE(test.Out.find(line), std::string::npos) << line << "\n" << test.Out;

        // The entries that verify are extracted all the same; the nameless one is skipped by name.
        TempDir out;
        const ToolResult x = RunProbe({"extract", file.string(), out.Str()});
        EXPECT_EQ(x.ExitCode, 1) << x.Out << x.Err;
        EXPECT_NE(x.Out.find(c.ExtractSays), std::string::npos) << x.Out;
        const std::string first = fs::exists(out / "A.TXT") ? "A.TXT" : "a.txt";
        EXPECT_EQ(ReadFile(out / first), a) << x.Out;

        const ToolResult run = Quillar({"-T", file.string()});
        EXPECT_EQ(run.ExitCode, c.Damaged ? 1 : 0) << run.Err;
        EXPECT_EQ(run.Err.find("No errors were found") == std::string::npos, c.Damaged) << run.Err;
    }
}

} // namespace

// Damage to the structure of arj, lha, arc and bh archives is reported even where every entry's
// data verify, and entries without a name are tested, listed and reported by a name made for
// them. One table of crafted archives (from archives arj makes, or made here byte by byte): the
// verdict of each entry from the engine's test and extraction (krvprobe), and the program's own
// test (`quillar -T`) exits 1 exactly when something is wrong.
#include "ProcessRun.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/formats/bh/krvBhRecords.h"
#include "engine/formats/lha/krvLhaRecords.h"

#include "ZipBuilder.h"
#include "ZooBuilder.h"

#include <gtest/gtest.h>
#include <sstream>

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

class HeaderDamageTestRun : public QuillarProcessTest {
protected:
    // a.txt and b.txt in an archive that arj makes, and copies of it with damaged headers.
    void MakeArjSamples() {
        WriteFile(Work / "src" / "a.txt", A);
        WriteFile(Work / "src" / "b.txt", B);
        const ToolResult made =
            RunTool({"arj", "a", "-y", "-m0", (Work / "made.arj").string(), "a.txt", "b.txt"}, Work / "src");
        ASSERT_EQ(made.ExitCode, 0) << made.Out << made.Err;
        Arj = ReadFile(Work / "made.arj");
        const std::size_t mainCrc = 4 + GetU16LE(reinterpret_cast<const std::uint8_t*>(Arj.data() + 2));
        Second = Arj.find("\x60\xEA", Arj.find("first entry"));
        ASSERT_NE(Second, std::string::npos);
        ArjMain = Arj; // the main header's CRC is wrong
        ArjMain[mainCrc] ^= 0x01;
        ArjHeader = Arj; // b.txt's header CRC is wrong
        ArjHeader[Second + 4 + GetU16LE(reinterpret_cast<const std::uint8_t*>(Arj.data() + Second + 2))] ^=
            0x01;
    }
    // a.txt and b.txt stored in lha headers of Level, b.txt's header check wrong.
    std::string LhaWithDamagedHeader(int Level) const {
        std::string b = LhaEntry(Level, "b.txt", B);
        b[Level == 0 ? 1 : 15] ^= 0x01; // the checksum of level 0, the header CRC of level 2
        return LhaEntry(0, "a.txt", A) + b + '\0';
    }

    TempDir Work;
    const std::string A = "first entry\n";
    const std::string B = TextBytes(3000, 2);
    std::string Arj, ArjMain, ArjHeader;
    std::size_t Second = 0; // b.txt's header in Arj
};

TEST_F(HeaderDamageTestRun, DamageAndNamelessEntriesAreReportedByTestAndExtraction) {
    MakeArjSamples();
    std::string arjNameless = Arj; // b.txt's name is gone and its data CRC wrong; the header is sealed
    arjNameless[Second + 4 + static_cast<std::uint8_t>(Arj[Second + 4])] = '\0';
    arjNameless[Second + 24] ^= 0x01;
    ResealArjHeader(arjNameless, Second);

    const std::string lhaA = LhaEntry(0, "a.txt", A);
    const std::string bhA = BhEntry("a.txt", A);
    const std::string arcA = ArcEntry("A.TXT", A);

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
         ArjMain,
         {"a.txt\tPASS", "b.txt\tPASS", headerCrc},
         true,
         "ERROR 25238"},
        {"arj file header CRC",
         "file.arj",
         ArjHeader,
         {"a.txt\tPASS", "b.txt" + headerCrc},
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
         LhaWithDamagedHeader(0),
         {"a.txt\tPASS", "b.txt" + headerCrc},
         true,
         "ERROR 25238"},
        {"lha level-2 header CRC",
         "crc.lzh",
         LhaWithDamagedHeader(2),
         {"a.txt\tPASS", "b.txt" + headerCrc},
         true,
         "ERROR 25238"},
        {"lha nameless entry, data sound",
         "nameless.lzh",
         lhaA + LhaEntry(0, "", B) + '\0',
         {"a.txt\tPASS", "named \"\"\tPASS"},
         false,
         "named \"\"\tERROR 26800"},
        {"lha level-2 entry named '/', data CRC wrong",
         "root.lzh",
         lhaA + LhaLevel2InFolder("\xFF", B, true) + '\0',
         {"a.txt\tPASS", "named \"/\"" + crcFailed},
         true,
         "named \"/\"\tERROR 26800"},
        {"bh nameless entry, data CRC wrong",
         "nameless.bh",
         bhA + BhEntry("", B, true),
         {"a.txt\tPASS", "named \"\"" + crcFailed},
         true,
         "named \"\"\tERROR 26800"},
        {"arc nameless entry, data CRC wrong",
         "nameless.arc",
         arcA + ArcEntry("", B, true) + std::string("\x1A\x00", 2),
         {"A.TXT\tPASS", "named \"\"" + crcFailed},
         true,
         "named \"\"\tERROR 26800"},
        {"zip name beginning with NUL",
         "nul.zip",
         MakeStoredZip(TZipSpec{{{"a.txt", A}, {std::string("\0abc", 4), B}}}),
         {"a.txt\tPASS", "\\x00abc\tPASS"},
         false,
         "\\x00abc\tERROR 25244"},
        {"zip local header without a name, no directory",
         "local.zip",
         [&] {
             TZipLayout layout;
             const std::string zip = MakeStoredZip(TZipSpec{{{"a.txt", A}, {"", B}}}, &layout);
             return zip.substr(0, layout.Directory);
         }(),
         {"a.txt\tPASS", "#2\tFAIL 25110"},
         true,
         "#2\tERROR 25110"},
        {"zoo nameless entry",
         "nameless.zoo",
         MakeZooArchive({{"a.txt", "", "", 0, A, A}, {"", "", "", 0, B, B}}),
         {"a.txt\tPASS", "named \"\"\tPASS"},
         false,
         "named \"\"\tERROR 26800"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const fs::path file = Work / c.File;
        WriteFile(file, c.Bytes);
        const ToolResult test = RunProbe({"test", file.string()});
        EXPECT_EQ(test.ExitCode, c.Damaged ? 1 : 0) << test.Out << test.Err;
        for (const std::string& line : c.TestSays)
            EXPECT_NE(test.Out.find(line), std::string::npos) << line << "\n" << test.Out;
        // The list shows every entry the test names, under that name.
        const std::string listed = "\n" + RunProbe({"list", file.string()}).Out;
        std::istringstream said(test.Out);
        for (std::string line; std::getline(said, line);) {
            if (const std::string name = line.substr(0, line.find('\t')); name != file.string()) {
                EXPECT_NE(listed.find("\n" + name + "\t"), std::string::npos) << name << listed;
            }
        }

        // The entries that verify are extracted all the same; the nameless one is skipped by name,
        // one whose header fails its check fails.
        TempDir out;
        const ToolResult x = RunProbe({"extract", file.string(), out.Str()});
        EXPECT_EQ(x.ExitCode, 1) << x.Out << x.Err;
        EXPECT_NE(x.Out.find(c.ExtractSays), std::string::npos) << x.Out;
        const std::string first = fs::exists(out / "A.TXT") ? "A.TXT" : "a.txt";
        EXPECT_EQ(ReadFile(out / first), A) << x.Out;

        const ToolResult run = Quillar({"-T", file.string()});
        EXPECT_EQ(run.ExitCode, c.Damaged ? 1 : 0) << run.Err;
        EXPECT_EQ(run.Err.find("No errors were found") == std::string::npos, c.Damaged) << run.Err;
    }
}

// The lister reports the same damage while it lists every entry it can reach: the window logs
// the error and still shows the entries. Zip directories are damaged as in the zip peers' table.
TEST_F(HeaderDamageTestRun, TheListerReportsHeaderDamageAndListsWhatItCan) {
    MakeArjSamples();
    TZipSpec spec;
    spec.Add("f1.txt", "first\n").Add("f2.txt", "second\n").Add("f3.txt", "third\n");
    TZipLayout layout;
    const std::string zip = MakeStoredZip(spec, &layout);
    const std::size_t secondRecord = zip.find("PK\x01\x02", layout.Directory + 4);
    ASSERT_NE(secondRecord, std::string::npos);
    const auto damaged = [&zip](std::size_t At) {
        std::string bytes = zip;
        bytes[At] = 'X';
        return bytes;
    };

    const std::vector<std::string> ab = {"a.txt", "b.txt"};
    const std::vector<std::string> f123 = {"f1.txt", "f2.txt", "f3.txt"};
    const std::string headerCrc = "error 25238";
    const std::string noDirectory = "error 25259";
    struct TCase {
        const char* What;
        const char* File;
        std::string Bytes;
        std::vector<std::string> Listed;
        std::string Error; // a part of the error the lister reports; empty: none
    };
    const TCase cases[] = {
        {"arj intact", "made.arj", Arj, ab, ""},
        {"arj main header CRC", "main.arj", ArjMain, ab, headerCrc},
        {"arj file header CRC", "file.arj", ArjHeader, ab, headerCrc + ": Header CRC error (b.txt)"},
        {"lha intact", "good.lzh", LhaEntry(0, "a.txt", A) + LhaEntry(2, "b.txt", B) + '\0', ab, ""},
        {"lha level-0 checksum", "sum.lzh", LhaWithDamagedHeader(0), ab,
         headerCrc + ": Header CRC error (b.txt)"},
        {"lha level-2 header CRC", "crc.lzh", LhaWithDamagedHeader(2), ab,
         headerCrc + ": Header CRC error (b.txt)"},
        {"zip intact", "good.zip", zip, f123, ""},
        {"zip first record's signature", "first.zip", damaged(layout.Directory), f123, noDirectory},
        {"zip second record's signature", "second.zip", damaged(secondRecord), {"f1.txt"}, noDirectory},
        {"zip directory cut out", "cut.zip", zip.substr(0, layout.Directory) + zip.substr(layout.EndRecord),
         f123, noDirectory},
        {"zip without directory and end record", "bare.zip", zip.substr(0, layout.Directory), f123,
         noDirectory},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const fs::path file = Work / c.File;
        WriteFile(file, c.Bytes);
        const ToolResult list = RunProbe({"list", file.string()});
        EXPECT_EQ(list.ExitCode, c.Error.empty() ? 0 : 1) << list.Out << list.Err;
        EXPECT_EQ(list.Err.find(c.Error.empty() ? "error" : c.Error) != std::string::npos, !c.Error.empty())
            << list.Err;
        std::vector<std::string> listed;
        std::istringstream lines(list.Out);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("TOTAL\t", 0) != 0) listed.push_back(line.substr(0, line.find('\t')));
        EXPECT_EQ(listed, c.Listed) << list.Out;
    }
}

} // namespace

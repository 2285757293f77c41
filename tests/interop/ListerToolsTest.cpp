// The lister on archives that real tools make during the test: names, sizes and CRCs equal
// what the same or another independent tool lists.
#include "DiskRequests.h"
#include "FloppyDrive.h"
#include "ListerSupport.h"
#include "SplitZipSet.h"
#include "TestSupport.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <strings.h>

using namespace testsupport;

namespace {

struct TToolEntry {
    std::string Name;
    std::int64_t Size = 0;
    std::int64_t Packed = -1; // -1: the tool does not show it
    std::string Crc;          // empty: the tool does not show it
};

std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> lines;
    std::istringstream in(Text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// unzip -v: Length Method Size Cmpr Date Time CRC-32 Name
std::vector<TToolEntry> ParseUnzipV(const std::string& Out) {
    static const std::regex row(R"(^\s*(\d+)\s+\S+\s+(\d+)\s+\S+\s+\S+\s+\S+\s+([0-9a-f]{8})  (.+)$)");
    std::vector<TToolEntry> entries;
    for (const std::string& line : Lines(Out)) {
        std::smatch m;
        if (std::regex_match(line, m, row))
            entries.push_back({m[4], std::stoll(m[1]), std::stoll(m[2]), m[3]});
    }
    return entries;
}

// 7zz l -slt: one block of "Key = Value" lines per entry after the "----------" line.
std::vector<TToolEntry> Parse7zSlt(const std::string& Out) {
    std::vector<TToolEntry> entries;
    bool inEntries = false;
    TToolEntry current;
    bool have = false;
    for (const std::string& line : Lines(Out)) {
        if (line == "----------") {
            inEntries = true;
            continue;
        }
        if (!inEntries) continue;
        if (line.empty()) {
            if (have) entries.push_back(current);
            current = {};
            have = false;
            continue;
        }
        const std::size_t eq = line.find(" = ");
        const std::string key = eq == std::string::npos ? line : line.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : line.substr(eq + 3);
        if (key == "Path") {
            current.Name = value;
            have = true;
        } else if (key == "Size" && !value.empty()) {
            current.Size = std::stoll(value);
        } else if (key == "Packed Size" && !value.empty()) {
            current.Packed = std::stoll(value);
        } else if (key == "CRC" && !value.empty()) {
            current.Crc = value;
            for (char& c : current.Crc)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    if (have) entries.push_back(current);
    return entries;
}

// arc v: Name Length Stowage SF Size-now Date Time CRC
std::vector<TToolEntry> ParseArcV(const std::string& Out) {
    static const std::regex row(R"(^(\S+)\s+(\d+)\s+\S+\s+-?\d+%\s+(\d+)\s+.*\s([0-9a-f]{4})\s*$)");
    std::vector<TToolEntry> entries;
    for (const std::string& line : Lines(Out)) {
        std::smatch m;
        if (std::regex_match(line, m, row))
            entries.push_back({m[1], std::stoll(m[2]), std::stoll(m[3]), "0000" + m[4].str()});
    }
    return entries;
}

// tar tv: mode owner size date time name
std::vector<TToolEntry> ParseTarTv(const std::string& Out) {
    static const std::regex row(R"(^\S+\s+\S+\s+(\d+)\s+\S+\s+\S+\s(.+)$)");
    std::vector<TToolEntry> entries;
    for (const std::string& line : Lines(Out)) {
        std::smatch m;
        if (std::regex_match(line, m, row)) entries.push_back({m[2], std::stoll(m[1])});
    }
    return entries;
}

// cabextract -l: size | date time | name
std::vector<TToolEntry> ParseCabextract(const std::string& Out) {
    static const std::regex row(R"(^\s*(\d+) \| .* \| (.+)$)");
    std::vector<TToolEntry> entries;
    for (const std::string& line : Lines(Out)) {
        std::smatch m;
        if (std::regex_match(line, m, row)) entries.push_back({m[2], std::stoll(m[1])});
    }
    return entries;
}

// gzip -lvN: method crc date time compressed uncompressed ratio name
TToolEntry ParseGzipLv(const std::string& Out) {
    static const std::regex row(R"(^\S+\s+([0-9a-f]{8})\s+\S+\s+\S+\s+\S+\s+(\d+)\s+(\d+)\s+\S+\s+(.+)$)");
    for (const std::string& line : Lines(Out)) {
        std::smatch m;
        if (std::regex_match(line, m, row)) return {m[4], std::stoll(m[3]), std::stoll(m[2]), m[1]};
    }
    return {};
}

std::string WithoutSlash(std::string Name) {
    if (!Name.empty() && Name.back() == '/') Name.pop_back();
    return Name;
}

std::string Hex(std::uint32_t Value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", Value);
    return text;
}

// Every entry the tool lists is listed by the lister with the same size, packed size and
// CRC where the tool shows them, and the lister lists nothing more.
void ExpectSameEntries(const TListing& Listing, const std::vector<TToolEntry>& Tool,
                       const std::string& ToolName, const std::string& Archive) {
    ASSERT_FALSE(Tool.empty()) << ToolName << " listed nothing for " << Archive;
    EXPECT_EQ(Listing.Entries.size(), Tool.size())
        << Archive << ": entry count differs from " << ToolName << "; " << Listing.Describe();
    for (const TToolEntry& t : Tool) {
        const TListedEntry* mine = nullptr;
        for (const TListedEntry& e : Listing.Entries)
            if (WithoutSlash(e.Name) == WithoutSlash(t.Name)) mine = &e;
        if (!mine) {
            ADD_FAILURE() << Archive << ": entry '" << t.Name << "' that " << ToolName
                          << " lists is missing; " << Listing.Describe();
            continue;
        }
        EXPECT_EQ(mine->Unpacked, t.Size)
            << Archive << ": size of '" << t.Name << "' differs from " << ToolName;
        if (t.Packed >= 0) {
            EXPECT_EQ(mine->Packed, t.Packed)
                << Archive << ": packed size of '" << t.Name << "' differs from " << ToolName;
        }
        if (!t.Crc.empty()) {
            EXPECT_EQ(Hex(mine->Crc), t.Crc)
                << Archive << ": CRC of '" << t.Name << "' differs from " << ToolName;
        }
    }
}

ToolResult RunOk(const std::vector<std::string>& Argv, const fs::path& Cwd, const std::string& Input = {}) {
    ToolResult r = RunTool(Argv, Cwd, Input);
    EXPECT_EQ(r.ExitCode, 0) << Argv[0] << " failed: " << r.Err << r.Out;
    return r;
}

// A small tree: a text file in a folder, an empty folder and a binary file.
class ListerTools : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Dir / "src" / "docs");
        fs::create_directories(Dir / "src" / "empty");
        WriteFile(Dir / "src" / "docs" / "readme.txt", TextBytes(5000, 3));
        WriteFile(Dir / "src" / "data.bin", RandomBytes(20000, 4));
        WriteFile(Dir / "src" / "small.txt", "x\n");
    }
    fs::path Src() const { return Dir / "src"; }
    std::string Path(const std::string& Name) const { return (Dir / Name).string(); }

    TempDir Dir;
};

} // namespace

TEST_F(ListerTools, ZipAndJarMadeByInfoZipMatchUnzip) {
    RunOk({"zip", "-q", "-r", Path("t.zip"), "docs", "empty", "data.bin", "small.txt"}, Src());
    const TListing zip = ListArchive(Path("t.zip"));
    EXPECT_EQ(zip.Type, atZip);
    ExpectSameEntries(zip, ParseUnzipV(RunOk({"unzip", "-v", Path("t.zip")}, Dir.Path()).Out), "unzip -v",
                      "t.zip");
    EXPECT_EQ(zip.NumFiles, 3);
    EXPECT_TRUE(zip.Result);
    EXPECT_TRUE(zip.Errors.empty());

    fs::copy_file(Path("t.zip"), Path("t.jar"));
    const TListing jar = ListArchive(Path("t.jar"));
    EXPECT_EQ(jar.Type, atJar);
    ExpectSameEntries(jar, ParseUnzipV(RunOk({"unzip", "-v", Path("t.jar")}, Dir.Path()).Out), "unzip -v",
                      "t.jar");
}

TEST_F(ListerTools, EncryptedZipShowsTheSizeWithoutTheCipherHeader) {
    RunOk({"zip", "-q", "-P", "secret", Path("e.zip"), "data.bin", "small.txt"}, Src());
    const TListing listing = ListArchive(Path("e.zip"));
    ExpectSameEntries(listing, ParseUnzipV(RunOk({"unzip", "-v", Path("e.zip")}, Dir.Path()).Out), "unzip -v",
                      "e.zip");
    for (const TListedEntry& e : listing.Entries)
        EXPECT_TRUE(e.Encrypted) << e.Name;
}

TEST_F(ListerTools, SplitZipListsFromTheLastPieceWithDiskLabels) {
    WriteFile(Src() / "big.bin", RandomBytes(150000, 9));
    RunOk({"zip", "-q", "-s", "64k", Path("s.zip"), "big.bin", "small.txt"}, Src());
    ASSERT_TRUE(fs::exists(Path("s.z01")));
    const TListing listing = ListArchive(Path("s.zip"));
    EXPECT_EQ(listing.Type, atZipMV);
    ExpectSameEntries(listing, Parse7zSlt(RunOk({"7zz", "l", "-slt", Path("s.zip")}, Dir.Path()).Out),
                      "7zz l -slt", "s.zip");
    const TListedEntry* big = listing.Find("big.bin");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->VolumeID, "PKBACK# 001");
}

TEST_F(ListerTools, StreamedZip64ZipWithoutDirectoryListsEveryEntryWithItsSizes) {
    // Written to a pipe with zip64 forced: every entry's sizes are in a 24-byte descriptor.
    std::string bytes =
        RunOk({"zip", "-q", "-fz", "-", "data.bin", "docs/readme.txt", "small.txt"}, Src()).Out;
    ASSERT_GE(bytes.size(), 22U);
    auto* end = reinterpret_cast<std::uint8_t*>(bytes.data() + bytes.size() - 22);
    ASSERT_EQ(GetU32LE(end), 0x06054B50U);
    const std::size_t directory = bytes.size() - 22 - GetU32LE(end + 12);
    // zip leaves the directory offset marked for a zip64 record that it does not write; with
    // the offset in place unzip lists the archive.
    PutU32LE(end + 16, static_cast<std::uint32_t>(directory));
    WriteFile(Dir / "z64.zip", bytes);
    const std::vector<TToolEntry> tool = ParseUnzipV(RunOk({"unzip", "-v", Path("z64.zip")}, Dir.Path()).Out);
    ASSERT_EQ(tool.size(), 3U);

    // The directory cut off: only the local headers are left.
    WriteFile(Dir / "cut.zip", bytes.substr(0, directory));
    const TListing listing = ListArchive(Path("cut.zip"));
    ExpectSameEntries(listing, tool, "unzip -v", "cut.zip");
    EXPECT_EQ(listing.NumFiles, 3);
}

TEST_F(ListerTools, SplitZipWhoseDirectorySpansPiecesListsEveryEntry) {
    const fs::path many = Dir / "many";
    WriteManySmallFiles(many, 3000);
    fs::create_directories(many / "sub folder");
    WriteFile(many / "sub folder" / "crossing.bin", RandomBytes(70000, 21));
    fs::create_directories(Dir / "pieces");
    // Comments make each record longer, and are read after the record's extra field.
    const TSplitZipSet set =
        MakeSplitZipSet(many, Dir / "pieces" / "big.zip", "64k", Dir / "joined.zip", true);
    ASSERT_FALSE(set.Pieces.empty());
    ASSERT_LT(set.End.CentralDisk + 2, set.End.ThisDisk) << "the directory should span pieces";
    const std::vector<std::string> names =
        Lines(RunOk({"unzip", "-Z1", set.Joined.string()}, Dir.Path()).Out);
    ASSERT_EQ(names.size(), set.End.TotalEntries);

    // krvprobe list takes the pieces as the disks of the set.
    const ToolResult r = RunTool({ProbePath().string(), "list", set.Last().string()});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    std::vector<std::string> listed;
    for (const std::string& line : Lines(r.Out))
        if (line.rfind("TOTAL\t", 0) != 0) listed.push_back(line.substr(0, line.find('\t')));
    EXPECT_EQ(listed, names) << "krvprobe list of the pieces against unzip -Z1 of the joined set";

    // The lister over labelled removable disks, which are asked for from the directory's first.
    auto owned = std::make_unique<TFloppyDrive>(Dir / "floppy", 1457664);
    TFloppyDrive& drive = *owned;
    DrivesGuard guard(std::move(owned));
    const int disks = static_cast<int>(set.Pieces.size());
    auto insert = [&](int Number) {
        drive.InsertDisk(set.Pieces.at(Number - 1), "big.zip", Number);
        return true;
    };
    std::vector<std::string> asked;
    std::string cancelAt;
    auto bind = [&](TKorva& Lister) {
        AnswerDiskRequests(Lister,
                           {disks, insert, &asked, [&](const std::string& V) { return V == cancelAt; }});
    };
    insert(disks);
    const TListing listing = ListArchive((Dir / "floppy" / "big.zip").string(), bind);
    EXPECT_TRUE(listing.Result);
    EXPECT_TRUE(listing.Errors.empty()) << listing.Describe().substr(0, 2000);
    ExpectSameEntries(listing, ParseUnzipV(RunOk({"unzip", "-v", set.Joined.string()}, Dir.Path()).Out),
                      "unzip -v of the joined set", "big.zip on disks");
    ASSERT_EQ(listing.Entries.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(listing.Entries[i].Name, names[i]) << "entry " << i;
        ASSERT_EQ(listing.Entries[i].Comment, SplitSetComment(static_cast<int>(i) + 1)) << names[i];
    }
    EXPECT_EQ(listing.Entries.front().VolumeID, "PKBACK# 001");
    EXPECT_EQ(listing.NumFiles, 3001);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.front(), "next " + std::to_string(set.End.CentralDisk + 1));
    EXPECT_EQ(asked.back(), "next " + std::to_string(disks));

    // Giving up on a disk of the directory ends the walk with the entries read before it.
    cancelAt = std::to_string(set.End.CentralDisk + 3);
    insert(disks);
    const TListing cancelled = ListArchive((Dir / "floppy" / "big.zip").string(), bind);
    EXPECT_TRUE(cancelled.HasError(ecUserCanceled)) << cancelled.Describe().substr(0, 2000);
    EXPECT_GT(cancelled.Entries.size(), 0U);
    EXPECT_LT(cancelled.Entries.size(), names.size());
    EXPECT_TRUE(cancelled.TotalsFired);
    for (std::size_t i = 0; i < cancelled.Entries.size(); ++i)
        ASSERT_EQ(cancelled.Entries[i].Name, names[i]) << "entry " << i;
}

TEST_F(ListerTools, ArjMatches7zAndAVolumeSetIsListedOnce) {
    RunOk({"arj", "a", "-y", "-r", Path("t.arj"), "docs/readme.txt", "data.bin", "small.txt"}, Src());
    const TListing listing = ListArchive(Path("t.arj"));
    ExpectSameEntries(listing, Parse7zSlt(RunOk({"7zz", "l", "-slt", Path("t.arj")}, Dir.Path()).Out),
                      "7zz l -slt", "t.arj");

    WriteFile(Src() / "big.bin", RandomBytes(60000, 5));
    RunOk({"arj", "a", "-y", "-v25K", Path("v.arj"), "big.bin", "small.txt"}, Src());
    ASSERT_TRUE(fs::exists(Path("v.a01")));
    ASSERT_TRUE(fs::exists(Path("v.a02")));
    const TListing set = ListArchive(Path("v.arj"));
    ASSERT_NE(set.Find("big.bin"), nullptr) << set.Describe();
    EXPECT_EQ(set.Find("big.bin")->Unpacked, 60000);
    // Random data are stored: the parts in the three volumes add up to the whole file.
    EXPECT_EQ(set.Find("big.bin")->Packed, 60000);
    EXPECT_NE(set.Find("small.txt"), nullptr);
    EXPECT_EQ(set.NumFiles, 2);
    EXPECT_TRUE(set.Errors.empty()) << set.Describe();
}

TEST_F(ListerTools, ArcMatchesArc) {
    RunOk({"arc", "a", Path("t.arc"), "data.bin", "small.txt"}, Src());
    const TListing listing = ListArchive(Path("t.arc"));
    EXPECT_EQ(listing.Type, atArc);
    std::vector<TToolEntry> tool = ParseArcV(RunOk({"arc", "v", Path("t.arc")}, Dir.Path()).Out);
    // arc shows stored names in capitals on some systems; compare as the archive stores them.
    for (TToolEntry& t : tool)
        for (const TListedEntry& e : listing.Entries)
            if (strcasecmp(e.Name.c_str(), t.Name.c_str()) == 0) t.Name = e.Name;
    ExpectSameEntries(listing, tool, "arc v", "t.arc");
}

TEST_F(ListerTools, GzipAndConcatenatedMembersMatchGzip) {
    RunOk({"gzip", "-k", "-N", "data.bin"}, Src());
    fs::rename(Src() / "data.bin.gz", Path("one.gz"));
    const TListing one = ListArchive(Path("one.gz"));
    const TToolEntry tool = ParseGzipLv(RunOk({"gzip", "-lvN", Path("one.gz")}, Dir.Path()).Out);
    ASSERT_EQ(one.Entries.size(), 1U);
    EXPECT_EQ(one.Entries[0].Name, fs::path(tool.Name).filename().string());
    EXPECT_EQ(one.Entries[0].Unpacked, tool.Size);
    EXPECT_EQ(Hex(one.Entries[0].Crc), tool.Crc);

    // gzip keeps the CRC and size of the last member in the trailer; both tools show those.
    RunOk({"gzip", "-k", "-N", "small.txt"}, Src());
    WriteFile(Path("two.gz"), ReadFile(Path("one.gz")) + ReadFile(Src() / "small.txt.gz"));
    const TListing two = ListArchive(Path("two.gz"));
    const TToolEntry last = ParseGzipLv(RunOk({"gzip", "-lvN", Path("two.gz")}, Dir.Path()).Out);
    ASSERT_EQ(two.Entries.size(), 1U);
    EXPECT_EQ(two.Entries[0].Unpacked, last.Size);
    EXPECT_EQ(Hex(two.Entries[0].Crc), last.Crc);
    EXPECT_EQ(two.Entries[0].Name, "data.bin");
}

TEST_F(ListerTools, CompressedTarIsListedAsItsGzipMember) {
    RunOk({"tar", "czf", Path("t.tar.gz"), "docs", "small.txt"}, Src());
    const TListing listing = ListArchive(Path("t.tar.gz"));
    EXPECT_EQ(listing.Type, atGZip);
    const TToolEntry tool = ParseGzipLv(RunOk({"gzip", "-lv", Path("t.tar.gz")}, Dir.Path()).Out);
    ASSERT_EQ(listing.Entries.size(), 1U);
    EXPECT_EQ(listing.Entries[0].Name, "t.tar");
    EXPECT_EQ(listing.Entries[0].Unpacked, tool.Size);
    EXPECT_EQ(Hex(listing.Entries[0].Crc), tool.Crc);
}

TEST_F(ListerTools, CompressFileIsOneEntryNamedAfterTheFile) {
    const ToolResult z = RunOk({"compress", "-c", "data.bin"}, Src());
    WriteFile(Path("data.bin.Z"), z.Out);
    const TListing listing = ListArchive(Path("data.bin.Z"));
    EXPECT_EQ(listing.Type, atGZip);
    ASSERT_EQ(listing.Entries.size(), 1U);
    EXPECT_EQ(listing.Entries[0].Name, "data.bin");
    EXPECT_EQ(listing.Entries[0].Packed, static_cast<std::int64_t>(z.Out.size()) - 10);
    EXPECT_EQ(listing.Entries[0].Method, "LzwMAGIC");
    EXPECT_EQ(listing.Entries[0].Crc, 0U);
}

TEST_F(ListerTools, TarInEveryFormatMatchesGnuTar) {
    // Names beyond 100 bytes: ustar splits them into prefix and name, gnu and pax keep them
    // in records of their own.
    const fs::path longDir = fs::path("deep") / std::string(60, 'd') / std::string(60, 'e');
    fs::create_directories(Src() / longDir);
    WriteFile(Src() / longDir / "file-with-a-long-name.txt", TextBytes(700, 8));
    for (const std::string format : {"v7", "ustar", "gnu", "pax"}) {
        const std::string name = "t-" + format + ".tar";
        std::vector<std::string> argv = {"tar",     "--format=" + format, "-cf", Path(name), "docs", "empty",
                                         "data.bin"};
        if (format != "v7") argv.push_back("deep"); // v7 keeps names of up to 100 bytes only
        RunOk(argv, Src());
        const TListing listing = ListArchive(Path(name));
        EXPECT_EQ(listing.Type, atTar) << name;
        ExpectSameEntries(listing, ParseTarTv(RunOk({"tar", "tvf", Path(name)}, Dir.Path()).Out), "tar tv",
                          name);
    }
    RunOk({"bsdtar", "-cf", Path("b.tar"), "docs", "deep", "small.txt"}, Src());
    ExpectSameEntries(ListArchive(Path("b.tar")),
                      ParseTarTv(RunOk({"tar", "tvf", Path("b.tar")}, Dir.Path()).Out), "tar tv",
                      "b.tar (bsdtar)");
}

TEST_F(ListerTools, CabinetMadeByGcabMatchesCabextract) {
    RunOk({"gcab", "-c", "-z", Path("t.cab"), "data.bin", "small.txt", "docs/readme.txt"}, Src());
    const TListing listing = ListArchive(Path("t.cab"));
    EXPECT_EQ(listing.Type, atCab);
    ExpectSameEntries(listing, ParseCabextract(RunOk({"cabextract", "-l", Path("t.cab")}, Dir.Path()).Out),
                      "cabextract -l", "t.cab");
    for (const TListedEntry& e : listing.Entries)
        EXPECT_EQ(e.Method, "MsZIP") << e.Name;
}

TEST_F(ListerTools, UuencodedTextIsOneEntryNamedByItsBeginLine) {
    const ToolResult uu = RunOk({"uuencode", "data.bin", "payload.bin"}, Src());
    WriteFile(Path("t.uue"), uu.Out);
    const TListing listing = ListArchive(Path("t.uue"));
    EXPECT_EQ(listing.Type, atUUE);
    ASSERT_EQ(listing.Entries.size(), 1U);
    EXPECT_EQ(listing.Entries[0].Name, "payload.bin");
    EXPECT_EQ(listing.Entries[0].Unpacked, static_cast<std::int64_t>(uu.Out.size()));
    EXPECT_EQ(listing.Entries[0].Filenum, 1);
}

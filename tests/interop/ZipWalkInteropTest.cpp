// One archive, one reading: the lister, the reader and the writer's update see the same
// entries (names, sizes, CRCs) in every zip layout, and so does Info-ZIP where it can read the
// layout; archives whose records disagree (an end record that undercounts, records that
// overlap, a directory record that does not match its local header) are refused as damage.
#include "ExtractRun.h"
#include "TestSupport.h"
#include "ZipBuilder.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/formats/zip/krvZipRecords.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

using namespace testsupport;

namespace {

// name -> size and CRC-32 as text ("100000 c589aba0"); folders are left out.
using TEntryFacts = std::map<std::string, std::string>;

std::string Facts(std::int64_t Size, std::uint32_t Crc) {
    char text[40];
    std::snprintf(text, sizeof text, "%lld %08x", static_cast<long long>(Size), Crc);
    return text;
}

// What `krvprobe list` reports: name, unpacked size, packed size, CRC, ... A damaged or missing
// directory is reported as an error while the entries are listed.
TEntryFacts ListedByQuillar(const fs::path& Zip, bool DirectoryDamaged = false) {
    const ToolResult r = RunProbe({"list", Zip.string()});
    EXPECT_EQ(r.ExitCode, DirectoryDamaged ? 1 : 0) << "krvprobe list " << Zip << "\n" << r.Err;
    EXPECT_EQ(r.Err.find("error 25259") != std::string::npos, DirectoryDamaged) << r.Err;
    TEntryFacts facts;
    std::istringstream lines(r.Out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string name, unpacked, packed, crc;
        std::getline(fields, name, '\t');
        std::getline(fields, unpacked, '\t');
        std::getline(fields, packed, '\t');
        std::getline(fields, crc, '\t');
        if (name == "TOTAL" || name.empty() || name.back() == '/') continue;
        facts[name] = unpacked + " " + crc;
    }
    return facts;
}

// What `unzip -v` reports: length, method, size, ratio, date, time, CRC-32, name.
TEntryFacts ListedByUnzip(const fs::path& Zip) {
    const ToolResult r = RunTool({"unzip", "-v", Zip.string()});
    TEntryFacts facts;
    std::istringstream lines(r.Out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string length, method, size, ratio, date, time, crc, name;
        if (!(fields >> length >> method >> size >> ratio >> date >> time >> crc) || crc.size() != 8)
            continue;
        std::getline(fields >> std::ws, name);
        if (name.empty() || name.back() == '/' || length.find_first_not_of("0123456789") != std::string::npos)
            continue;
        facts[name] = length + " " + crc;
    }
    return facts;
}

TEntryFacts FactsOfTree(const fs::path& Root) {
    TEntryFacts facts;
    for (const auto& [name, data] : ReadTree(Root))
        if (name.back() != '/') facts[name] = Facts(static_cast<std::int64_t>(data.size()), Crc32Of(data));
    return facts;
}

// The tree every layout holds: a folder, an empty file, text that deflates, random bytes.
struct TSourceTree {
    std::vector<std::pair<std::string, std::string>> Files{
        {"a.txt", "hello\n"},
        {"empty", ""},
        {"sub/text.txt", TextBytes(70000, 2)},
        {"sub/random.bin", RandomBytes(100000, 3)},
    };
    void WriteTo(const fs::path& Root) const {
        for (const auto& [name, data] : Files) {
            fs::create_directories((Root / name).parent_path());
            WriteFile(Root / name, data);
        }
    }
    // The same files as builder entries, deflated, with their sizes after the data.
    TZipSpec Streamed(TZipDescriptorStyle Style) const {
        TZipSpec spec;
        for (const auto& [name, data] : Files) {
            TZipItem item{name, data};
            item.Method = zmDeflated;
            item.Packed = DeflateRaw(data);
            item.Flags = zfDescriptor;
            item.Descriptor = Style;
            spec.Add(item);
        }
        return spec;
    }
};

struct TLayout {
    const char* Name;
    // Makes the archive at Zip from the tree at Src.
    std::function<void(const fs::path& Src, const fs::path& Zip)> Make;
    bool UnzipReads;  // Info-ZIP reads this layout (its listing is compared too)
    bool WriterKeeps; // the writer updates it (else it refuses and leaves it untouched)
                      // a damaged or missing directory is rebuilt from the local headers
    // The directory is damaged or missing: every entry is extracted, and the damage reported.
    bool DirectoryDamaged = false;
};

void Shell(const std::string& Command, const fs::path& Cwd) {
    const ToolResult r = RunTool({"sh", "-c", Command}, Cwd);
    ASSERT_EQ(r.ExitCode, 0) << Command << "\n" << r.Err;
}

void InfoZip(const fs::path& Src, const fs::path& Zip, const std::string& Options) {
    Shell("zip -qrX " + Options + " '" + Zip.string() + "' .", Src);
}

// A self-extractor: Info-ZIP's stub in front, offsets adjusted by `zip -A` or left as they were.
void SelfExtractor(const fs::path& Src, const fs::path& Zip, bool Adjust) {
    const fs::path plain = Zip.string() + ".plain";
    InfoZip(Src, plain, "");
    WriteFile(Zip, ReadFile("/usr/bin/unzipsfx") + ReadFile(plain));
    fs::remove(plain);
    if (Adjust) Shell("zip -qA '" + Zip.string() + "'", Src);
}

void Built(const TZipSpec& Spec, const fs::path& Zip, bool DropDirectory) {
    TZipLayout layout;
    std::string bytes = MakeStoredZip(Spec, &layout);
    if (DropDirectory) bytes.resize(layout.Directory);
    WriteFile(Zip, bytes);
}

const TSourceTree Tree;

const std::vector<TLayout> Layouts{
    {"InfoZipDeflated", [](auto& S, auto& Z) { InfoZip(S, Z, ""); }, true, true},
    // Pieces test.z01, test.z02 ... and the last, test.zip: read through the pieces beside it.
    {"InfoZipSplitSet", [](auto& S, auto& Z) { InfoZip(S, Z, "-s 64k"); }, false, false},
    {"InfoZipStreamedThroughAPipe", [](auto& S, auto& Z) { Shell("zip -qrX - . > '" + Z.string() + "'", S); },
     true, true},
    {"InfoZipForcedZip64", [](auto& S, auto& Z) { InfoZip(S, Z, "-fz"); }, true, true},
    {"SelfExtractorAdjusted", [](auto& S, auto& Z) { SelfExtractor(S, Z, true); }, true, true},
    {"SelfExtractorNotAdjusted", [](auto& S, auto& Z) { SelfExtractor(S, Z, false); }, true, true},
    {"SignedDescriptorsNoDirectory",
     [](auto&, auto& Z) { Built(Tree.Streamed(TZipDescriptorStyle::Signed), Z, true); }, false, true, true},
    {"UnsignedDescriptorsNoDirectory",
     [](auto&, auto& Z) { Built(Tree.Streamed(TZipDescriptorStyle::Unsigned), Z, true); }, false, true, true},
    {"UnsignedDescriptorsWithDirectory",
     [](auto&, auto& Z) { Built(Tree.Streamed(TZipDescriptorStyle::Unsigned), Z, false); }, true, true},
    {"EncipheredHeaders",
     [](auto&, auto& Z) {
         TZipSpec spec;
         for (const auto& [name, data] : Tree.Files)
             spec.Add(name, data);
         spec.EncryptHeaders = true;
         Built(spec, Z, false);
     },
     false, true},
    {"DamagedDirectory",
     [](auto& S, auto& Z) {
         InfoZip(S, Z, "");
         std::string bytes = ReadFile(Z);
         bytes[bytes.rfind("PK\x01\x02", std::string::npos)] = 'X'; // the last record's signature
         bytes[bytes.find("PK\x01\x02")] = 'X';                     // and the first's
         WriteFile(Z, bytes);
     },
     false, true, true},
};

class ZipWalkLayouts : public ::testing::TestWithParam<TLayout> {};

TEST_P(ZipWalkLayouts, ListerReaderWriterAndUnzipSeeTheSameEntries) {
    const TLayout& layout = GetParam();
    TempDir dir;
    const fs::path src = dir / "src", zip = dir / "test.zip";
    Tree.WriteTo(src);
    layout.Make(src, zip);
    const TEntryFacts truth = FactsOfTree(src);

    EXPECT_EQ(ListedByQuillar(zip, layout.DirectoryDamaged), truth) << "krvprobe list, " << layout.Name;
    if (layout.UnzipReads) {
        EXPECT_EQ(ListedByUnzip(zip), truth) << "unzip -v, " << layout.Name;
    }
    const fs::path out = dir / "out";
    const ToolResult x = RunProbe({"extract", zip.string(), out.string()});
    EXPECT_EQ(x.ExitCode, layout.DirectoryDamaged ? 1 : 0) << x.Err;
    EXPECT_EQ(x.Out.find("test.zip\tERROR 25259") != std::string::npos, layout.DirectoryDamaged) << x.Out;
    EXPECT_EQ(FactsOfTree(out), truth) << "krvprobe extract, " << layout.Name;

    // The writer's update keeps every old entry as it was and adds the new one.
    WriteFile(dir / "added.txt", "added\n");
    const std::string before = ReadFile(zip);
    const ToolResult add = RunProbe({"add", zip.string(), (dir / "added.txt").string()});
    if (!layout.WriterKeeps) {
        EXPECT_NE(add.ExitCode, 0) << layout.Name;
        EXPECT_EQ(ReadFile(zip), before) << layout.Name;
        return;
    }
    ASSERT_EQ(add.ExitCode, 0) << add.Err;
    TEntryFacts expected = truth;
    expected["added.txt"] = Facts(6, Crc32Of("added\n"));
    EXPECT_EQ(ListedByQuillar(zip), expected) << "after add, " << layout.Name;
    // Every archive the writer rewrote has a directory Info-ZIP reads (enciphered headers aside).
    if (std::string(layout.Name) != "EncipheredHeaders") {
        EXPECT_EQ(ListedByUnzip(zip), expected) << "unzip -v after add, " << layout.Name;
        EXPECT_EQ(RunTool({"unzip", "-tqq", zip.string()}).ExitCode, 0) << layout.Name;
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ZipWalkLayouts, ::testing::ValuesIn(Layouts),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Archives whose records disagree with each other, made by patching a good one.
struct TDisagreement {
    const char* Name;
    std::function<void(std::string& Bytes, const TZipLayout& Layout)> Patch;
    std::size_t Extracted; // entries the reader still writes
    bool UnzipRefusesToo;  // Info-ZIP also reports the archive as bad
};

constexpr std::size_t CentralNameAt = 46;

void SetEndCount(std::string& Bytes, const TZipLayout& Layout, std::uint16_t Count) {
    auto* end = reinterpret_cast<std::uint8_t*>(Bytes.data() + Layout.EndRecord);
    end[8] = end[10] = static_cast<std::uint8_t>(Count);
    end[9] = end[11] = static_cast<std::uint8_t>(Count >> 8);
}

const std::vector<TDisagreement> Disagreements{
    // Three records, an end record that counts one.
    {"EndRecordUndercounts", [](std::string& B, const TZipLayout& L) { SetEndCount(B, L, 1); }, 3, false},
    // The first directory record twice: two entries on one local header.
    {"TwoRecordsOneLocalHeader",
     [](std::string& B, const TZipLayout& L) {
         const std::size_t first = L.Directory;
         const std::size_t second = B.find("PK\x01\x02", first + 4);
         B.insert(L.EndRecord, B.substr(first, second - first));
         const std::size_t end = L.EndRecord + (second - first);
         auto* e = reinterpret_cast<std::uint8_t*>(B.data() + end);
         e[8] = e[10] = 4;
         const std::uint32_t size = static_cast<std::uint32_t>(end - first);
         for (int i = 0; i < 4; ++i)
             e[12 + i] = static_cast<std::uint8_t>(size >> (8 * i));
     },
     2, true},
    // The directory names the first entry differently from its local header.
    {"CentralNameDiffers", [](std::string& B, const TZipLayout& L) { B[L.Directory + CentralNameAt] = 'X'; },
     2, false},
    // The directory holds another CRC than the local header.
    {"CentralCrcDiffers", [](std::string& B, const TZipLayout& L) { B[L.Directory + 16] ^= 0x55; }, 2, false},
};

class ZipWalkDisagreements : public ::testing::TestWithParam<TDisagreement> {};

TEST_P(ZipWalkDisagreements, ReaderRefusesTheDamagedEntriesAndWritersLeaveTheArchiveAlone) {
    const TDisagreement& c = GetParam();
    TempDir dir;
    TZipSpec spec;
    spec.Add("one.txt", "first entry\n").Add("two.txt", "second entry\n").Add("three.txt", "third\n");
    TZipLayout layout;
    std::string bytes = MakeStoredZip(spec, &layout);
    c.Patch(bytes, layout);
    const fs::path zip = dir / "bad.zip";
    WriteFile(zip, bytes);

    if (c.UnzipRefusesToo) {
        EXPECT_NE(RunTool({"unzip", "-tqq", zip.string()}).ExitCode, 0) << c.Name;
    }
    const fs::path out = dir / "out";
    RunProbe({"extract", zip.string(), out.string()});
    EXPECT_EQ(ReadTree(out).size(), c.Extracted) << c.Name;

    WriteFile(dir / "new.txt", "new\n");
    for (const std::vector<std::string>& update :
         {std::vector<std::string>{"delete", zip.string(), "two.txt"},
          std::vector<std::string>{"add", zip.string(), (dir / "new.txt").string()}}) {
        const ToolResult r = RunProbe(update);
        EXPECT_NE(r.ExitCode, 0) << c.Name << " " << update[0];
        EXPECT_EQ(ReadFile(zip), bytes) << c.Name << " " << update[0];
    }
}

INSTANTIATE_TEST_SUITE_P(Disagreements, ZipWalkDisagreements, ::testing::ValuesIn(Disagreements),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// 65,537 entries written without Zip64: the end record's 16-bit count wrapped to 1. Every
// entry is listed and extracted; an update, which would lose 65,536 of them, is refused.
TEST(ZipWalkWrappedCount, EveryEntryIsReadAndUpdatesAreRefused) {
    TempDir dir;
    TZipSpec spec;
    for (int i = 0; i < 65537; ++i)
        spec.Add("f" + std::to_string(i), "");
    const std::string bytes = MakeStoredZip(spec);
    const fs::path zip = dir / "wrapped.zip";
    WriteFile(zip, bytes);
    EXPECT_EQ(ListedByQuillar(zip).size(), 65537U);
    const ToolResult r = RunProbe({"delete", zip.string(), "f7"});
    EXPECT_NE(r.ExitCode, 0);
    EXPECT_NE(r.Err.find(std::to_string(ecHeaderNotFound)), std::string::npos) << r.Err;
    EXPECT_EQ(ReadFile(zip), bytes);
}

} // namespace

// Verdicts on damaged and unusual zips against Info-ZIP's unzip -t: an empty zip, local headers
// that disagree with the directory (method, sizes, encryption flag; unzip passes the flag, as it
// does a data descriptor that disagrees, which bsdtar fails), an end record or a size that
// points beyond the file, a local extra field that runs past its end, and a Zip64 size of 2^63-1
// over five real bytes. The entries unzip finds wrong fail in krvprobe test and extract with a
// cause other than a CRC error, the others pass and come out as unzip extracts them (bsdtar,
// where unzip gives up on the archive, which then fails under its own name), and the list shows
// the stored size.
#include "TestSupport.h"
#include "ZipBuilder.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvErrorCodes.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <sstream>

using namespace testsupport;

namespace {

// The offset of the record with signature Sig ("PK\3\4" or "PK\1\2") whose name, at NameAt
// of the record, is Name.
std::size_t RecordOf(const std::string& Zip, const std::string& Sig, std::size_t NameAt,
                     const std::string& Name) {
    for (std::size_t at = Zip.find(Sig); at != std::string::npos; at = Zip.find(Sig, at + 1))
        if (Zip.compare(at + NameAt, Name.size(), Name) == 0) return at;
    ADD_FAILURE() << "no record of " << Name;
    return 0;
}
std::size_t LocalHeaderOf(const std::string& Zip, const std::string& Name) {
    return RecordOf(Zip, "PK\x03\x04", 30, Name);
}
std::size_t CentralRecordOf(const std::string& Zip, const std::string& Name) {
    return RecordOf(Zip, "PK\x01\x02", 46, Name);
}

void PutU16(std::string& Zip, std::size_t At, std::uint16_t Value) {
    PutU16LE(reinterpret_cast<std::uint8_t*>(Zip.data() + At), Value);
}
void PutU32(std::string& Zip, std::size_t At, std::uint32_t Value) {
    PutU32LE(reinterpret_cast<std::uint8_t*>(Zip.data() + At), Value);
}

const std::string Text = TextBytes(3000, 7);

TZipItem Deflated(const std::string& Name, const std::string& Data, const std::string& Extra = {}) {
    TZipItem item{Name, Data};
    item.Method = 8;
    item.Packed = DeflateRaw(Data);
    item.Extra = Extra;
    return item;
}

TZipItem Folder(const std::string& Name) {
    TZipItem item{Name, ""};
    item.ExternalAttr = 0x10;
    return item;
}

struct VerdictCase {
    const char* Name;
    std::function<std::string()> Make;
    std::set<std::string> Failing; // the entries unzip -t and krvprobe find wrong
    int UnzipExit;                 // unzip -t's exit status on it
    bool ArchiveFails = false;     // the archive's own records are damaged: the run fails
};

// The archive with the end record's field at Offset set to Value.
std::string EndFieldSet(std::string Zip, std::size_t Offset, std::uint32_t Value) {
    PutU32(Zip, Zip.rfind("PK\x05\x06") + Offset, Value);
    return Zip;
}
const std::string ThreeDeflated = MakeStoredZip(TZipSpec{}
                                                    .Add(Deflated("a.txt", Text))
                                                    .Add(Deflated("b.txt", Text + "b"))
                                                    .Add(Deflated("c.txt", Text + "c")));

const VerdictCase Cases[] = {
    {"empty", [] { return MakeStoredZip({}); }, {}, 1}, // unzip warns "zipfile is empty"
    {"folder first, local method differs",
     [] {
         std::string zip = MakeStoredZip(TZipSpec{}.Add(Folder("dir/")).Add(Deflated("dir/a.txt", Text)));
         PutU16(zip, LocalHeaderOf(zip, "dir/a.txt") + 8, 0); // stored in the local header
         return zip;
     },
     {"dir/a.txt"},
     2},
    {"local compressed size differs",
     [] {
         std::string zip = MakeStoredZip(
             TZipSpec{}.Add(Folder("dir/")).Add(Deflated("good.txt", Text)).Add(Deflated("dir/b.txt", Text)));
         PutU32(zip, LocalHeaderOf(zip, "dir/b.txt") + 18, 3);
         return zip;
     },
     {"dir/b.txt"},
     2},
    {"local uncompressed size or encryption flag differs", // unzip warns of the first only
     [] {
         std::string zip =
             MakeStoredZip(TZipSpec{{{"good.txt", Text}, {"raised.txt", Text}, {"flagged.txt", Text}}});
         PutU32(zip, LocalHeaderOf(zip, "raised.txt") + 22, 4000);
         PutU16(zip, LocalHeaderOf(zip, "flagged.txt") + 6, 1); // encrypted
         return zip;
     },
     {"raised.txt", "flagged.txt"},
     1},
    {"directory's uncompressed size differs from the data descriptor's", // unzip passes it
     [] {
         TZipItem item = Deflated("a/B.class", Text);
         item.Descriptor = TZipDescriptorStyle::Signed;
         std::string zip = MakeStoredZip(TZipSpec{}.Add(Deflated("good.txt", Text)).Add(item));
         PutU32(zip, CentralRecordOf(zip, "a/B.class") + 24, 3005);
         return zip;
     },
     {"a/B.class"},
     0},
    {"directory offset beyond the file",
     [] { return EndFieldSet(ThreeDeflated, 16, 0x7FFF0000); },
     {},
     12,
     true},
    {"directory size beyond the file",
     [] { return EndFieldSet(ThreeDeflated, 12, 0x7FFF0000); },
     {},
     3,
     true},
    {"compressed size beyond the file, the next entry whole", // unzip reads to the stream's end
     [] {
         std::string zip = ThreeDeflated;
         PutU32(zip, CentralRecordOf(zip, "b.txt") + 20, 0x7FFF0000);
         return zip;
     },
     {"b.txt"},
     0},
    {"local extra field runs past its end",
     [] {
         std::string zip = MakeStoredZip(
             TZipSpec{}
                 .Add(Deflated("good.txt", Text))
                 .Add(Deflated("c.txt", Text, std::string("UT\x05\x00\x01\x00\x00\x00\x00", 9))));
         PutU16(zip, LocalHeaderOf(zip, "c.txt") + 30 + 5 + 2, 40); // the field claims 40 bytes
         return zip;
     },
     {"c.txt"},
     2},
    {"zip64 size of 2^63-1 over five bytes",
     [] {
         std::string zip64(20, '\0');
         auto* p = reinterpret_cast<std::uint8_t*>(zip64.data());
         PutU16LE(p, 1);
         PutU16LE(p + 2, 16);
         PutU64LE(p + 4, 0x7FFFFFFFFFFFFFFFULL);
         PutU64LE(p + 12, 5);
         TZipItem huge{"huge.bin", "12345"};
         huge.Extra = zip64;
         std::string zip = MakeStoredZip(TZipSpec{}.Add(Deflated("good.txt", Text)).Add(huge));
         const std::size_t local = LocalHeaderOf(zip, "huge.bin");
         const std::size_t central = CentralRecordOf(zip, "huge.bin");
         for (const std::size_t at : {local + 18, local + 22, central + 20, central + 24})
             PutU32(zip, at, 0xFFFFFFFF);
         return zip;
     },
     {"huge.bin"},
     1}, // unzip warns that the sizes of a stored entry differ and goes on with five bytes
};

// Whether unzip -t's line for Name ends in OK.
bool UnzipSaysOk(const std::string& Out, const std::string& Name) {
    std::istringstream lines(Out);
    for (std::string line; std::getline(lines, line);)
        if (line.find("testing: " + Name + " ") != std::string::npos) return line.ends_with("OK");
    return false;
}

class ZipVerdicts : public ::testing::TestWithParam<VerdictCase> {};

// The verdict words of krvprobe's lines by entry ("PASS", "FAIL 25110 ...").
std::map<std::string, std::string> ProbeVerdicts(const std::string& Out) {
    std::map<std::string, std::string> verdicts;
    std::istringstream lines(Out);
    for (std::string line; std::getline(lines, line);)
        if (const std::size_t tab = line.find('\t'); tab != std::string::npos)
            verdicts[line.substr(0, tab)] = line.substr(tab + 1);
    return verdicts;
}

// The regular files below Root, relative, with their contents.
std::map<std::string, std::string> FilesBelow(const fs::path& Root) {
    std::map<std::string, std::string> files;
    if (!fs::exists(Root)) return files;
    for (const auto& e : fs::recursive_directory_iterator(Root))
        if (e.is_regular_file()) files[fs::relative(e.path(), Root).generic_string()] = ReadFile(e.path());
    return files;
}

TEST_P(ZipVerdicts, AgreeWithUnzip) {
    const VerdictCase& c = GetParam();
    TempDir dir;
    const fs::path zip = dir / "case.zip";
    WriteFile(zip, c.Make());

    // The oracle: unzip -t's exit status, and the entries it names OK.
    const ToolResult unzip = RunTool({"unzip", "-t", zip.string()});
    EXPECT_EQ(unzip.ExitCode, c.UnzipExit) << unzip.Out << unzip.Err;
    // Where unzip finds errors, it names no failing entry OK.
    if (c.UnzipExit == 2) {
        for (const std::string& name : c.Failing)
            EXPECT_FALSE(UnzipSaysOk(unzip.Out, name)) << name << "\n" << unzip.Out;
    }

    const int fails = c.Failing.empty() && !c.ArchiveFails ? 0 : 1;
    const ToolResult test = RunProbe({"test", zip.string()});
    EXPECT_EQ(test.ExitCode, fails) << test.Out << test.Err;
    std::map<std::string, std::string> verdicts = ProbeVerdicts(test.Out);
    // The archive's own damage is said under its name, and where it lies.
    EXPECT_EQ(verdicts.contains(zip.string()), c.ArchiveFails) << test.Out;
    verdicts.erase(zip.string());
    for (const auto& [name, verdict] : verdicts) {
        if (c.Failing.contains(name)) {
            EXPECT_TRUE(verdict.starts_with("FAIL")) << name << ": " << verdict;
            EXPECT_EQ(verdict.find(std::to_string(ecFileFailsCRCCheck)), std::string::npos)
                << name << ": " << verdict;
        } else {
            EXPECT_EQ(verdict, "PASS") << name;
        }
    }
    for (const std::string& name : c.Failing)
        EXPECT_TRUE(verdicts.contains(name)) << name << " has no verdict\n" << test.Out;

    // Extraction: the good files, as unzip extracts them; nothing of the failing ones.
    const ToolResult extract = RunProbe({"extract", zip.string(), (dir / "ours").string()});
    EXPECT_EQ(extract.ExitCode, fails) << extract.Out << extract.Err;
    // unzip extracts nothing of an archive whose own records are damaged; bsdtar, which reads
    // the local headers, extracts every entry.
    fs::create_directories(dir / "theirs");
    if (c.ArchiveFails)
        RunTool({"bsdtar", "-xf", zip.string(), "-C", (dir / "theirs").string()});
    else
        RunTool({"unzip", "-qo", zip.string(), "-d", (dir / "theirs").string()});
    std::map<std::string, std::string> theirs = FilesBelow(dir / "theirs");
    for (const std::string& name : c.Failing)
        theirs.erase(name);
    EXPECT_EQ(FilesBelow(dir / "ours"), theirs);
}

INSTANTIATE_TEST_SUITE_P(Cases, ZipVerdicts, ::testing::ValuesIn(Cases), [](const auto& Info) {
    std::string name;
    for (const char ch : std::string(Info.param.Name))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

TEST(ZipVerdicts, TheListShowsAHugeSizeAsStored) {
    TempDir dir;
    const fs::path zip = dir / "huge.zip";
    WriteFile(zip, Cases[9].Make());
    const ToolResult list = RunProbe({"list", zip.string()});
    EXPECT_NE(list.Out.find("huge.bin\t9223372036854775807\t5\t"), std::string::npos) << list.Out;
}

// A directory record without a name fails under its local header's name, and the record after
// it, which the directory's walk then cannot find, is named from its local header and fails too
// (unzip -t: "expected central file header signature not found").
TEST(ZipVerdicts, EntriesTheDirectoryDoesNotNameFailNamed) {
    TempDir dir;
    const fs::path zip = dir / "nameless.zip";
    std::string bytes = MakeStoredZip(TZipSpec{{{"a.txt", Text}, {"b.txt", Text}, {"c.txt", Text}}});
    PutU16(bytes, CentralRecordOf(bytes, "b.txt") + 28, 0);
    WriteFile(zip, bytes);
    EXPECT_NE(RunTool({"unzip", "-t", zip.string()}).Out.find("signature not found"), std::string::npos);
    const ToolResult test = RunProbe({"test", zip.string()});
    EXPECT_EQ(test.ExitCode, 1);
    const std::map<std::string, std::string> verdicts = ProbeVerdicts(test.Out);
    EXPECT_EQ(verdicts.at("a.txt"), "PASS") << test.Out;
    for (const char* name : {"b.txt", "c.txt"})
        EXPECT_TRUE(verdicts.at(name).starts_with("FAIL 25110")) << test.Out;
    // The list shows the nameless record by that name, and says what is wrong with it.
    const ToolResult list = RunProbe({"list", zip.string()});
    EXPECT_NE(list.Out.find("\nb.txt\t"), std::string::npos) << list.Out;
    EXPECT_NE(list.Err.find("b.txt: error 25110"), std::string::npos) << list.Err;
}

} // namespace

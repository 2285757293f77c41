#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvRegisterKorva.h"

#include "PeBuilder.h"
#include "TestSupport.h"
#include "ZipBuilder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace testsupport;
using namespace std::string_literals;

namespace {

struct TDetected {
    TArcType Type;
    std::int64_t Offset;
    bool operator==(const TDetected&) const = default;
};

std::ostream& operator<<(std::ostream& Out, const TDetected& D) {
    return Out << ArcTypeIdent(D.Type) << " @" << D.Offset;
}

class DetectTest : public ::testing::Test {
protected:
    // Writes Data as Name and detects it through ArchiveFile, as readers do.
    TDetected Detect(const std::string& Name, const std::string& Data) {
        const fs::path p = Dir / Name;
        WriteFile(p, Data);
        K.SetArchiveFile(p.string());
        return {K.ArcType(), K.ArchiveOffset};
    }
    TempDir Dir;
    TRegisterKorva K;
};

std::string U16(std::uint16_t V) {
    return {static_cast<char>(V & 0xFF), static_cast<char>(V >> 8)};
}

std::string U32(std::uint32_t V) {
    return U16(V & 0xFFFF) + U16(V >> 16);
}

// An arj main header followed by the end-of-archive header.
std::string ArjLike() {
    return std::string("\x60\xEA", 2) + U16(30) + RandomBytes(30, 3) + U32(0) + U16(0) +
           std::string("\x60\xEA", 2) + U16(0) + std::string(16, '\0');
}

// A tar header for Name with a valid checksum.
std::string TarHeader(const std::string& Name, char Type = '0') {
    std::string h(512, '\0');
    auto put = [&h](std::size_t At, const std::string& Text) { h.replace(At, Text.size(), Text); };
    put(0, Name);
    put(100, "0000644");
    put(124, "00000000005");
    h[156] = Type;
    put(257, "ustar"s + '\0');
    const std::uint32_t sum = TarHeaderChecksum(h.data());
    char field[8];
    IntToOctField(sum, 7, true, field);
    h.replace(148, 7, field, 7);
    h[155] = ' ';
    return h;
}

// A tar archive of one member holding "hello".
std::string TarLike(const std::string& Name) {
    return TarHeader(Name) + "hello" + std::string(507, '\0') + std::string(1024, '\0');
}

// The start of an arc entry header: marker, method, name, packed size.
std::string ArcHead(char Method, std::uint32_t Packed) {
    return "\x1A"s + Method + "A.TXT" + std::string(8, '\0') + U32(Packed);
}

std::string ZooLike() {
    std::string z = "ZOO 2.10 Archive.\x1a";
    z.resize(20, '\0');
    return z + U32(0xFDC4A7DC) + U32(34) + RandomBytes(200, 8);
}

std::string HaLike() {
    const std::string data = "hello";
    return "HA" + U16(1) + std::string(1, '\x20') + U32(5) + U32(5) + U32(0x3610A686) + U32(0x5A000000) +
           std::string("\0a.txt\0\0", 8) + data + std::string(20, '\0');
}

// An lha level-0 header (its size and checksum right) of a stored "hello", and the end mark.
std::string LhaLike() {
    const std::string header =
        "-lh0-" + U32(5) + U32(5) + U32(0) + std::string("\x20\x00\x05hello", 8) + U16(0);
    unsigned sum = 0;
    for (const char c : header)
        sum += static_cast<unsigned char>(c);
    return std::string(1, static_cast<char>(header.size())) + static_cast<char>(sum) + header + "hello" +
           std::string(1, '\0');
}

TEST_F(DetectTest, TooShortEmptyMissingOrFolderIsNotAvailable) {
    EXPECT_EQ(Detect("19.zip", MakeStoredZip({}).substr(0, 19)), (TDetected{atNA, 0}));
    EXPECT_EQ(Detect("empty", ""), (TDetected{atNA, 0}));
    K.SetArchiveFile((Dir / "missing.zip").string());
    EXPECT_EQ(K.ArcType(), atNA);
    EXPECT_EQ(K.ArchiveFile(), "");
    K.SetArchiveFile(Dir.Str());
    EXPECT_EQ(K.ArcType(), atNA);
    EXPECT_EQ(K.DetectArcType(""), atNA);
    // a pipe is not read (opening it would wait for a writer)
    ASSERT_EQ(::mkfifo((Dir / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(K.DetectArcType((Dir / "pipe").string()), atNA);
}

TEST_F(DetectTest, TextAndLookAlikesAreNotArchives) {
    const std::pair<const char*, std::string> files[] = {
        {"text.txt", TextBytes(3000)},
        {"pl.txt", "PLAIN TEXT that happens to start with PL\n" + TextBytes(3000)},
        {"ha.txt", "HAve a nice day, this is text.\n" + TextBytes(3000)},
        {"ha2.txt", "HA" + std::string("\x01\x00\x20", 3) + TextBytes(40)},
        {"zo.txt", "ZOrro rides again in a text file\n" + TextBytes(3000)},
        {"zoo.txt", "ZOO is a word; no zoo tag follows\n" + TextBytes(3000)},
        {"pk.txt", "PKWARE wrote the application note\n" + TextBytes(100)},
        {"lh.txt", "re-lease -- not an lha header\n" + TextBytes(100)},
        {"ps.ps", "%!PS-Adobe-3.0\n%%Creator: test\n" + TextBytes(3000)},
        {"zeros", std::string(40000, '\0')},
        {"zeros.small", std::string(100, '\0')},
        {"random.bin", "\x01\x02" + RandomBytes(5000, 77)},
        {"begin-late.txt", TextBytes(5000) + "\nbegin 644 file\nM\n"},
    };
    for (const auto& [name, data] : files)
        EXPECT_EQ(Detect(name, data), (TDetected{atNA, 0})) << name;
}

TEST_F(DetectTest, WeakSignaturesWithTheirHeaders) {
    EXPECT_EQ(Detect("a.zoo", ZooLike()), (TDetected{atZoo, 0}));
    EXPECT_EQ(Detect("a.ha", HaLike()), (TDetected{atHA, 0}));
    EXPECT_EQ(Detect("a.lzh", LhaLike()), (TDetected{atLha, 0}));
    EXPECT_EQ(Detect("a.arj", ArjLike()), (TDetected{atArj, 0}));
    // ha stored entry whose sizes disagree, zoo without its tag
    std::string ha = HaLike();
    ha[9] = 6;
    EXPECT_EQ(Detect("bad.ha", ha), (TDetected{atNA, 0}));
    std::string zoo = ZooLike();
    zoo[20] = 0;
    EXPECT_EQ(Detect("bad.zoo", zoo), (TDetected{atNA, 0}));
}

TEST_F(DetectTest, SignatureTable) {
    const std::string pad = RandomBytes(100, 1);
    const struct {
        std::string Head;
        TDetected Want;
    } rows[] = {
        {"MSCF", {atCab, 0}},
        {"\x13\x5D\x65\x8C", {atMsGZ, 0}},
        {"BH\x05\x07", {atBh, 0}},
        {"Rar!\x1a\x07", {atRar, 0}},
        {"\xB7\xDF\x54\x57", {atArc, 0}},
        // The arc self-extractor's two-byte mark needs its archive at 7716; a short file has none.
        {"\xB7\x92", {atNA, 0}},
        {"\xB7\xDF\x00\x00"s, {atNA, 0}},
        {"\x1F\x8B\x08", {atGZip, 0}},
        {"\x1F\x9D\x90", {atGZip, 0}},
        {"\x1F\x9E", {atGZip, 0}},
        {"\x1F\xA0", {atGZip, 0}},
        {"\x1F\x1E", {atGZip, 0}},
        {"%!", {atNA, 0}},
        {ArcHead(2, 5), {atArc, 0}},
        {"\x1A\x08", {atArc, 0}},
        {"\x1A\x1E", {atArc, 0}},
        {"\x1A\x0A", {atPak, 0}},
        {"\x1A\x0B", {atPak, 0}},
        {ArcHead(4, 5), {atArc, 0}},
        {ArcHead(4, 0xFFFF), {atNA, 0}}, // packed size past the end
        {"PKG5", {atUnknown, 0}},
        {"PKCI", {atNA, 0}},
        {"PLG4", {atNA, 0}},
        {"PK\x07\x08", {atZipMV, 0}},
        {"PL\x03\x04", {atNA, 0}}, // the enciphered fields are not a local header
    };
    int i = 0;
    for (const auto& r : rows) {
        std::string data = r.Head;
        data += pad.substr(0, 100 - std::min<std::size_t>(data.size(), 100));
        EXPECT_EQ(Detect("sig" + std::to_string(i++), data), r.Want) << i;
    }
}

TEST_F(DetectTest, ArcSelfExtractorHasItsArchiveBehindTheStub) {
    for (const std::string& mark : {"\xB7\x92"s, "\xB7\xDF\x00\x00"s}) {
        std::string stub = mark + RandomBytes(7716 - mark.size(), 4);
        stub[7715] = 0; // no arc marker inside the stub's tail
        const std::string arc = ArcHead(2, 5) + std::string(12, '\0') + "hello";
        EXPECT_EQ(Detect("sfx", stub + arc), (TDetected{atArcExe, 7716}));
        EXPECT_EQ(Detect("sfx-cut", stub + arc.substr(0, 10)), (TDetected{atNA, 0})) << "archive cut short";
        EXPECT_EQ(Detect("sfx-none", stub + RandomBytes(100, 6)), (TDetected{atNA, 0}));
    }
}

TEST_F(DetectTest, AceMarkOverridesTheFirstBytes) {
    const std::string ace = std::string("\x1F\x8B\x31\x00\x00\x00\x90", 7) + "**ACE**" + RandomBytes(100, 2);
    EXPECT_EQ(Detect("a.ace", ace), (TDetected{atAce, 0}));
    EXPECT_EQ(Detect("b.ace", "\x12\x34" + ace.substr(2)), (TDetected{atAce, 0}));
}

TEST_F(DetectTest, ZipArchives) {
    TZipSpec spec;
    spec.Entries = {{"a.txt", TextBytes(500)}, {"b.txt", TextBytes(800, 2)}};
    TZipLayout layout;
    const std::string zip = MakeStoredZip(spec, &layout);
    EXPECT_EQ(Detect("a.zip", zip), (TDetected{atZip, static_cast<std::int64_t>(layout.Directory)}));
    EXPECT_EQ(K.HeaderState, htLocal | htCentral | htEnding);
    EXPECT_EQ(Detect("a.jar", zip), (TDetected{atJar, static_cast<std::int64_t>(layout.Directory)}));
    EXPECT_EQ(Detect("b.JaR", zip).Type, atJar);
    EXPECT_EQ(Detect("a.jar.zip", zip).Type, atZip);
    EXPECT_EQ(Detect("jar", zip).Type, atZip);
    // the jar rule applies only to what the content says is a zip
    EXPECT_EQ(Detect("arj.jar", ArjLike()).Type, atArj);

    spec.EncryptHeaders = true;
    const std::string enc = MakeStoredZip(spec, &layout);
    EXPECT_EQ(Detect("enc.zip", enc), (TDetected{atZip, static_cast<std::int64_t>(layout.Directory)}));
    EXPECT_EQ(K.HeaderState, htLocal | htCentral | htEnding);
}

TEST_F(DetectTest, EmptyZipIsWalkedFromTheStart) {
    EXPECT_EQ(Detect("empty.zip", MakeStoredZip({})), (TDetected{atZip, 0}));
    EXPECT_TRUE(K.HeaderState & htLocal);
}

TEST_F(DetectTest, ZipWithoutDirectoryIsWalkedFromItsFirstLocalHeader) {
    TZipSpec spec;
    spec.Entries = {{"a.txt", TextBytes(500)}};
    TZipLayout layout;
    const std::string zip = MakeStoredZip(spec, &layout);
    EXPECT_EQ(Detect("cut.zip", zip.substr(0, layout.Directory)), (TDetected{atZip, 0}));
    EXPECT_EQ(K.HeaderState, htLocal);
    EXPECT_EQ(Detect("zeros.zip", std::string(64, '\0') + zip.substr(0, layout.Directory)),
              (TDetected{atZip, 64}));
    EXPECT_EQ(K.HeaderState, htLocal);
}

TEST_F(DetectTest, ZipBehindAStubThatIsNoExecutable) {
    TZipSpec spec;
    spec.Entries = {{"a.txt", TextBytes(500)}};
    spec.Prefix = "\x7F"
                  "ELF" +
                  RandomBytes(20000, 5);
    TZipLayout layout;
    const std::string zip = MakeStoredZip(spec, &layout);
    EXPECT_EQ(Detect("sfx", zip), (TDetected{atZip, static_cast<std::int64_t>(layout.Directory)}));
    EXPECT_EQ(K.ZipOffsetCorrection, static_cast<std::int64_t>(spec.Prefix.size()));
}

TEST_F(DetectTest, LhaBehindABlockOfZeros) {
    EXPECT_EQ(Detect("z.lzh", std::string(128, '\0') + LhaLike()), (TDetected{atLha, 128}));
}

TEST_F(DetectTest, Uuencode) {
    EXPECT_EQ(Detect("a.uue", "first line\nbegin 644 a.txt\n#86)C\n`\nend\n"), (TDetected{atUUE, 1}));
    EXPECT_EQ(Detect("b.uue", "begin 755 run.sh\n#86)C\n`\nend\n"), (TDetected{atUUE, 1}));
    EXPECT_EQ(Detect("c.uue", "begin 600 x\n#86)C\n`\nend\n"), (TDetected{atUUE, 1}));
    EXPECT_EQ(Detect("d.uue", "begin 0444 read-only\n#86)C\n`\nend\n"), (TDetected{atUUE, 1}));
}

TEST_F(DetectTest, Tar) {
    EXPECT_EQ(Detect("a.tar", TarLike("file.txt")), (TDetected{atTar, 0}));
    std::string bad = TarLike("file.txt");
    bad[148] = '7';
    EXPECT_EQ(Detect("bad.tar", bad), (TDetected{atNA, 0}));
    EXPECT_EQ(Detect("vol.tar", TarHeader("VOLUME", 'V') + TarLike("file.txt")), (TDetected{atTar, 512}));
    EXPECT_EQ(Detect("short.tar", TarLike("file.txt").substr(0, 512)), (TDetected{atNA, 0}));
    // Member names that begin like other signatures: the tar checksum decides.
    for (const char* name : {"PLAIN.txt", "HA\x01\x00 x", "ZOO 2.10 Archive.", "ab-lh5-x", "PK\x03\x04x",
                             "\x1F\x8Bgz", "%!PS", "begin 644 x", "\x60\xEAx"})
        EXPECT_EQ(Detect("named.tar", TarLike(name)), (TDetected{atTar, 0})) << name;
}

TEST_F(DetectTest, ExecutableWithArchiveOffsetsInItsStringTable) {
    const std::size_t at = 4096;
    const std::string pe = MakePeFile({{1, std::to_string(at)}}, {.MinSize = at});
    EXPECT_EQ(Detect("arj.exe", pe + ArjLike()), (TDetected{atArjExe, 4096}));
    EXPECT_EQ(Detect("rar.exe", pe + "Rar!\x1a\x07" + RandomBytes(100)), (TDetected{atRarExe, 4096}));
    EXPECT_EQ(Detect("lha.exe", pe + LhaLike() + RandomBytes(100)), (TDetected{atLhaExe, 4096}));
    EXPECT_EQ(Detect("ace.exe", pe + "\x12\x34\x31\0\0\0\x90**ACE**"s + RandomBytes(100)),
              (TDetected{atAceExe, 4096}));
    // a gzip member inside an executable is a signature the engine cannot handle there
    EXPECT_EQ(Detect("gz.exe", pe + "\x1F\x8B\x08" + RandomBytes(100)), (TDetected{atUnsupported, 0}));

    TZipSpec spec;
    spec.Entries = {{"a.txt", TextBytes(500)}};
    spec.Prefix = pe;
    TZipLayout layout;
    const std::string zip = MakeStoredZip(spec, &layout);
    EXPECT_EQ(Detect("zip.exe", zip), (TDetected{atZipExe, static_cast<std::int64_t>(layout.Directory)}));
    EXPECT_EQ(K.ZipOffsetCorrection, static_cast<std::int64_t>(at));
    // the same zip without its directory: walked from its local header
    EXPECT_EQ(Detect("zipcut.exe", zip.substr(0, layout.Directory)),
              (TDetected{atZipExe, static_cast<std::int64_t>(at)}));
    EXPECT_EQ(K.HeaderState, htLocal);
}

TEST_F(DetectTest, ExecutableStringsThatAreNoOffsets) {
    const std::string tail = ArjLike();
    for (const char* s : {"", "12ab", "-5", "99999999999999999999", "1000000"}) {
        const std::string pe = MakePeFile({{1, s}, {2, "4096"}}, {.MinSize = 4096});
        // the loop ends at the first string that is no offset inside the file
        EXPECT_EQ(Detect("s.exe", pe + tail).Type, atNA) << s;
    }
    const std::string pe = MakePeFile({{1, "100"}, {2, "4096"}}, {.MinSize = 4096});
    EXPECT_EQ(Detect("t.exe", pe + tail), (TDetected{atArjExe, 4096})); // 100 holds nothing known
}

TEST_F(DetectTest, DosExecutableWithArchiveAtTheEndOfItsImage) {
    std::string mz(1024, '\0');
    mz[0] = 'M';
    mz[1] = 'Z';
    mz.replace(2, 4, U16(0) + U16(2)); // two full pages: the image ends at 1024
    EXPECT_EQ(Detect("dos.exe", mz + ArjLike() + RandomBytes(100)), (TDetected{atArjExe, 1024}));
    mz.replace(2, 4, U16(100) + U16(2)); // 512 + 100
    mz.resize(612);
    EXPECT_EQ(Detect("dos2.exe", mz + ArjLike() + RandomBytes(100)), (TDetected{atArjExe, 612}));
}

TEST_F(DetectTest, ExecutableAtKnownStubOffsets) {
    auto stub = [](std::size_t Size) {
        std::string s = "MZ" + std::string(Size - 2, '\0');
        return s;
    };
    EXPECT_EQ(Detect("arc.exe", stub(6674) + "\x1A\x08" + RandomBytes(100)), (TDetected{atArcExe, 6674}));
    EXPECT_EQ(Detect("pak.exe", stub(13138) + "\x1A\x0B" + RandomBytes(100)), (TDetected{atPakExe, 13138}));
    EXPECT_EQ(Detect("lha.exe", stub(1945) + LhaLike() + RandomBytes(100)), (TDetected{atLhaExe, 1945}));
    TZipSpec spec;
    spec.Entries = {{"a.txt", TextBytes(500)}};
    spec.Prefix = stub(7612);
    TZipLayout layout;
    const std::string zip = MakeStoredZip(spec, &layout);
    EXPECT_EQ(Detect("zip.exe", zip), (TDetected{atZipExe, static_cast<std::int64_t>(layout.Directory)}));
}

TEST_F(DetectTest, MarkerScanBehindLargeStubs) {
    auto stub = [](std::size_t Size) { return "MZ" + std::string(Size - 2, '\x90'); };
    EXPECT_EQ(Detect("rar.exe", stub(20000) + "Rar!\x1a\x07" + RandomBytes(100)),
              (TDetected{atRarExe, 20000}));
    EXPECT_EQ(Detect("arj.exe", stub(30001) + ArjLike()), (TDetected{atArjExe, 30001}));
    EXPECT_EQ(Detect("ace.exe", stub(18000) + "\x12\x34\x31\0\0\0\x90**ACE**"s + RandomBytes(100)),
              (TDetected{atAceExe, 18000}));
    EXPECT_EQ(Detect("lha.exe", stub(17001) + LhaLike() + RandomBytes(100)), (TDetected{atLhaExe, 17001}));
    EXPECT_EQ(Detect("bh.exe", stub(40000) + "BH\x05\x07" + RandomBytes(100)), (TDetected{atBhExe, 40000}));
    // a marker across the boundary of two scan blocks
    EXPECT_EQ(Detect("rar2.exe", stub(17000 + 32766) + "Rar!\x1a\x07" + RandomBytes(100)),
              (TDetected{atRarExe, 17000 + 32766}));
    // beyond the six scanned blocks nothing is found
    EXPECT_EQ(Detect("far.exe", stub(17000 + 6 * 32768 + 10) + "Rar!\x1a\x07" + RandomBytes(100)),
              (TDetected{atNA, 0}));
    EXPECT_EQ(Detect("plain.exe", stub(5000)), (TDetected{atNA, 0}));
}

TEST_F(DetectTest, SettingTheTypeDetectsAgain) {
    Detect("a.arj", ArjLike());
    K.SetArcType(atZip);
    EXPECT_EQ(K.ArcType(), atArj);
}

TEST_F(DetectTest, RecognisedArchiveGetsTheFileDate) {
    Detect("a.arj", ArjLike());
    EXPECT_NE(K.ArchiveDate, 0u);
    EXPECT_GT(K.ArchiveSize, 0);
}

TEST_F(DetectTest, VolumeNaming) {
    const std::string rar = "Rar!\x1a\x07" + RandomBytes(100);
    const struct {
        std::string Name;
        std::string Data;
        char Letter;
        int Number;
    } cases[] = {
        {"x.rar", rar, 'q', 0},
        {"x.r05", rar, 'r', 6},
        {"x.r99", rar, 'r', 100},
        {"x", rar, 'q', 0},
        {"x.arj", ArjLike(), 'a', 1},
        {"x.a01", ArjLike(), 'a', 2},
        {"x.ace", "\x12\x34\x31\0\0\0\x90**ACE**"s + RandomBytes(50), 'b', 0},
        {"X.ACE", "\x12\x34\x31\0\0\0\x90**ACE**"s + RandomBytes(50), 'B', 0},
        {"x.c03", "\x12\x34\x31\0\0\0\x90**ACE**"s + RandomBytes(50), 'c', 4},
        {"dir.v2/x.r1a", rar, 'q', 0},
    };
    for (const auto& c : cases) {
        fs::create_directories((Dir / c.Name).parent_path());
        Detect(c.Name, c.Data);
        EXPECT_EQ(K.VolumeLetter, c.Letter) << c.Name;
        EXPECT_EQ(K.VolumeNumber, c.Number) << c.Name;
    }
}

} // namespace

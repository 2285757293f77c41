#include "engine/core/krvGbls.h"
#include "engine/core/krvStreams.h"

#include "TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace testsupport;

namespace {

std::vector<TArcType> AllTypes() {
    std::vector<TArcType> all;
    for (int i = 0; i < ArcTypeCount; ++i)
        all.push_back(static_cast<TArcType>(i));
    return all;
}

// The members of a set, in ordinal order.
std::vector<TArcType> Members(const TArcTypeSet& Set) {
    std::vector<TArcType> m;
    for (TArcType t : AllTypes())
        if (Set.Contains(t)) m.push_back(t);
    return m;
}

} // namespace

// ---- archive types ------------------------------------------------------------------------

TEST(ArcTypes, DisplayNamesArePaddedAsListed) {
    EXPECT_EQ(std::string(ArcTypeNames[atNA]), "Not avail. ");
    EXPECT_EQ(std::strlen(ArcTypeNames[atNA]), 11u);
    EXPECT_EQ(std::string(ArcTypeNames[atMsGZ]), "MsGZ     \t");
    EXPECT_EQ(std::string(ArcTypeNames[atBhExe]), "BH  SFX   ");
    EXPECT_EQ(std::string(ArcTypeNames[atUnsupported]), "Unsupport.");
    EXPECT_EQ(std::string(ArcTypeNames[atJar]), "Java JAR  ");
    EXPECT_EQ(std::string(ArcTypeNames[atJarExe]), "JJAR SFX  ");
    EXPECT_EQ(std::string(ArcTypeNames[atTarGZip]), "TarGzip   ");
    EXPECT_EQ(std::string(ArcTypeNames[atZipMV]), "Zip MVol  ");
    EXPECT_EQ(std::string(ArcTypeNames[atZoo]), "ZOO       ");
    for (TArcType t : AllTypes()) {
        if (t == atNA) continue;
        EXPECT_EQ(std::strlen(ArcTypeNames[t]), 10u) << ArcTypeIdent(t);
    }
}

TEST(ArcTypes, IdentsFollowTheOrdinals) {
    EXPECT_STREQ(ArcTypeIdent(atNA), "atNA");
    EXPECT_STREQ(ArcTypeIdent(atMsGZ), "atMsGZ");
    EXPECT_STREQ(ArcTypeIdent(atZip), "atZip");
    EXPECT_STREQ(ArcTypeIdent(atZoo), "atZoo");
    EXPECT_EQ(static_cast<int>(atZoo), 32);
    EXPECT_EQ(static_cast<int>(atMsGZ), 21);
}

TEST(ArcTypes, SetMemberships) {
    using V = std::vector<TArcType>;
    EXPECT_EQ(Members(UnknownArcTypes), (V{atNA, atUnsupported, atFileOpenErr, atUnknown}));
    EXPECT_EQ(Members(ZipFamilyArcTypes), (V{atJar, atJarExe, atZip, atZipExe}));
    EXPECT_EQ(Members(ZipArcTypes), (V{atZip, atZipExe}));
    const V extractable{atAce,    atAceExe, atArc, atArcExe, atArj,    atArjExe, atBh,     atBhExe,
                        atCab,    atGZip,   atJar, atLha,    atLhaExe, atLzh,    atLzhExe, atRar,
                        atRarExe, atTar,    atUUE, atZip,    atZipExe, atZipMV,  atZoo};
    EXPECT_EQ(Members(ExtractableArcTypes), extractable);
    const V testable{atAce,    atAceExe, atArc,    atArcExe, atArj,    atArjExe, atBh,     atBhExe,
                     atGZip,   atJar,    atJarExe, atLha,    atLhaExe, atLzh,    atLzhExe, atRar,
                     atRarExe, atTar,    atUUE,    atZip,    atZipExe, atZipMV,  atZoo};
    EXPECT_EQ(Members(TestableArcTypes), testable);
    EXPECT_EQ(Members(WritableArcTypes), (V{atBh, atCab, atGZip, atJar, atLha, atLzh, atTar, atZip}));
    EXPECT_EQ(Members(EncryptableArcTypes), (V{atBh, atJar, atZip}));
    EXPECT_EQ(Members(LibraryArcTypes), (V{atAce, atAceExe, atCab, atRar, atRarExe}));

    // Listed only: in no operation set, yet recognised archives.
    for (TArcType t : {atHA, atMsGZ, atPak, atPakExe, atTarGZip}) {
        EXPECT_FALSE(UnknownArcTypes.Contains(t)) << ArcTypeIdent(t);
        for (const TArcTypeSet& set : {ZipFamilyArcTypes, ZipArcTypes, ExtractableArcTypes, TestableArcTypes,
                                       WritableArcTypes, EncryptableArcTypes, LibraryArcTypes})
            EXPECT_FALSE(set.Contains(t)) << ArcTypeIdent(t);
    }
}

TEST(ArcTypes, ArchiveExtensionsInOrder) {
    const std::vector<std::string> expected{".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ",  ".HA",
                                            ".JAR", ".LHA", ".LZH", ".PAK", ".PK3", ".PK_", ".RAR", ".TAR",
                                            ".TGZ", ".UUE", ".UU",  ".XXE", ".Z",   ".ZIP", ".ZOO"};
    ASSERT_EQ(ArchiveExtensionCount, 23);
    for (int i = 0; i < ArchiveExtensionCount; ++i)
        EXPECT_EQ(ArchiveExtensions[i], expected[static_cast<std::size_t>(i)]);
}

TEST(ArcTypes, DeflateLevelNames) {
    EXPECT_STREQ(DeflateTypeName(0), "DeflateN");
    EXPECT_STREQ(DeflateTypeName(2), "DeflateX");
    EXPECT_STREQ(DeflateTypeName(4), "DeflateF");
    EXPECT_STREQ(DeflateTypeName(6), "DeflateS");
    EXPECT_STREQ(Deflate64TypeName(0), "Def-64N");
    EXPECT_STREQ(Deflate64TypeName(2), "Def-64X");
    EXPECT_STREQ(Deflate64TypeName(4), "Def-64F");
    EXPECT_STREQ(Deflate64TypeName(6), "Def-64S");
    for (unsigned odd : {1u, 3u, 5u, 7u, 8u, 0xFFFFFFFFu}) {
        EXPECT_STREQ(DeflateTypeName(odd), "DeflateN") << odd;
        EXPECT_STREQ(Deflate64TypeName(odd), "Def-64N") << odd;
    }
}

// ---- paths and names ----------------------------------------------------------------------

TEST(PathNames, JoinAppendRemove) {
    EXPECT_EQ(JoinPath("", "a.txt"), "");
    EXPECT_EQ(JoinPath("/tmp", "a.txt"), "/tmp/a.txt");
    EXPECT_EQ(JoinPath("/tmp/", "a.txt"), "/tmp/a.txt");
    EXPECT_EQ(JoinPath("/tmp/\xC3\xA9", "a"), "/tmp/\xC3\xA9/a");
    EXPECT_EQ(AppendBackslash(""), "");
    EXPECT_EQ(AppendBackslash("/a"), "/a/");
    EXPECT_EQ(AppendBackslash("/a/"), "/a/");
    EXPECT_EQ(RemoveBackslash(""), "");
    EXPECT_EQ(RemoveBackslash("/a/"), "/a");
    EXPECT_EQ(RemoveBackslash("/a//"), "/a/");
    EXPECT_EQ(RemoveBackslash("/a"), "/a");
}

TEST(PathNames, SeparatorConversions) {
    EXPECT_EQ(SlashToBackslash("a/b\\c"), "a/b/c");
    EXPECT_EQ(BackslashToSlash("a\\b/c"), "a/b/c");
    // lha's 0xFF separator and DOS backslashes become the local separator.
    EXPECT_EQ(FixPathSlashes("dir\xFFsub\\f.txt"), "dir/sub/f.txt");
    // A double-byte character whose second byte is 0x5C keeps it; the backslash after it is a
    // separator.
    EXPECT_EQ(FixPathSlashes("\x95\x5C\\x"), "\x95\x5C/x");
    EXPECT_EQ(FixPathSlashes("\xE0\xFF\xFF"), "\xE0\xFF/");
    // A lead byte at the very end reads nothing past the text.
    EXPECT_EQ(FixPathSlashes("a\\\x81"), "a/\x81");
    EXPECT_EQ(FixPathSlashes(""), "");
}

TEST(PathNames, StoredNamesAndCodePages) {
    // CP437 0x81 is u-umlaut, 0x9A U-umlaut.
    EXPECT_EQ(ArcNameToLocalName("\x81"
                                 "ber\\x.txt",
                                 true),
              "\xC3\xBC"
              "ber/x.txt");
    EXPECT_EQ(ArcNameToLocalName("\x81/b", false), "\x81/b");

    // Local names are stored byte for byte, with '/' between folders; what the bytes are
    // decides how a format marks them.
    const std::string japanese = "dir/\xE6\x97\xA5\xE6\x9C\xAC.txt";
    EXPECT_EQ(LocalNameToArcName(japanese), japanese);
    EXPECT_EQ(LocalNameToArcName("a\\b"), "a/b");
    EXPECT_EQ(LocalNameToArcName("bad\xFF\xFE"), "bad\xFF\xFE");
    EXPECT_EQ(NameBytesOf("plain.txt"), TNameBytes::Ascii);
    EXPECT_EQ(NameBytesOf(japanese), TNameBytes::Utf8);
    EXPECT_EQ(NameBytesOf("caf\xC3\xA9"), TNameBytes::Utf8);
    EXPECT_EQ(NameBytesOf("\x82x.txt"), TNameBytes::Raw);
    EXPECT_EQ(NameBytesOf("cut\xC3"), TNameBytes::Raw);
}

TEST(PathNames, ReplaceFileExtAndLastDot) {
    EXPECT_EQ(ReplaceFileExt("archive.tar.gz", ".tgz"), "archive.tar.tgz");
    EXPECT_EQ(ReplaceFileExt("archive", ".zip"), "archive.zip");
    EXPECT_EQ(ReplaceFileExt("/tmp/a.b/archive", ".zip"), "/tmp/a.b/archive.zip");
    EXPECT_EQ(ReplaceFileExt("/tmp/a.b/x.lzh", ".exe"), "/tmp/a.b/x.exe");
    EXPECT_EQ(ReplaceFileExt("x.", ".z"), "x.z");
    EXPECT_EQ(FileExtOf("/tmp/a.b/x.tar.gz"), ".gz");
    EXPECT_EQ(FileExtOf("/tmp/a.b/archive"), "");
    EXPECT_EQ(ExtensionDotPos("/tmp/a.b/archive"), std::string_view::npos);
    EXPECT_EQ(ExtensionDotPos("x."), 1u);
    EXPECT_EQ(FolderOf("/tmp/a.b/x.lzh"), "/tmp/a.b/");
    EXPECT_EQ(FolderOf("x.lzh"), "");
    // Only ASCII letters fold: the bytes of other UTF-8 characters compare as they are.
    EXPECT_TRUE(SameTextNoCase("Docs/README.Txt", "docs/readme.TXT"));
    EXPECT_FALSE(SameTextNoCase("\xC3\x89", "\xC3\xA9"));
    EXPECT_FALSE(SameTextNoCase("a", "ab"));
    EXPECT_EQ(LowerCaseAscii("ZIP.\xC3\x89x"), "zip.\xC3\x89x");

    EXPECT_EQ(LastDotPos("abc.def"), 3u);
    EXPECT_EQ(LastDotPos("abc"), 3u);
    EXPECT_EQ(LastDotPos(""), 0u);
    EXPECT_EQ(LastDotPos(std::string_view("ab\0c.d", 6)), 2u);
    // Names longer than 255 bytes.
    const std::string longName = std::string(280, 'n') + ".ext" + std::string(20, 'x');
    EXPECT_EQ(LastDotPos(longName), 280u);
    EXPECT_EQ(LastDotPos(std::string(300, 'n')), 300u);
}

TEST(PathNames, MakeTildeName) {
    EXPECT_EQ(MakeTildeName("a.gz"), "a.~gz");
    EXPECT_EQ(MakeTildeName("a.z"), "a.~z");
    EXPECT_EQ(MakeTildeName("notes.txt"), "notes.~tx");
    EXPECT_EQ(MakeTildeName("page.html"), "page.~htm");
    EXPECT_EQ(MakeTildeName("a"), "a.~");
    EXPECT_EQ(MakeTildeName("/tmp/x.d/archive"), "/tmp/x.d/archive.~");
    EXPECT_EQ(MakeTildeName("/tmp/x.d/archive.zip"), "/tmp/x.d/archive.~zi");
}

TEST(PathNames, CutTokenDigitsAndUnc) {
    std::string label = "PKBACK# 001";
    EXPECT_EQ(CutToken(label, " "), "PKBACK#");
    EXPECT_EQ(label, "001");
    EXPECT_EQ(CutToken(label, " "), "001");
    EXPECT_EQ(label, "");
    std::string text = "a::b::c";
    EXPECT_EQ(CutToken(text, "::"), "a");
    EXPECT_EQ(text, "b::c");
    std::string whole = "abc";
    EXPECT_EQ(CutToken(whole, ""), "abc"); // an empty separator never loops
    EXPECT_EQ(whole, "");

    EXPECT_TRUE(IsAllDigits(""));
    EXPECT_TRUE(IsAllDigits("0123456789"));
    EXPECT_FALSE(IsAllDigits("12a"));
    EXPECT_FALSE(IsAllDigits(" 1"));

    EXPECT_TRUE(IsUNCPath("\\\\server\\share"));
    EXPECT_TRUE(IsUNCPath("//server/share"));
    EXPECT_FALSE(IsUNCPath("\\\\"));
    EXPECT_FALSE(IsUNCPath("/a/b"));
    EXPECT_FALSE(IsUNCPath(""));
}

// ---- files and folders --------------------------------------------------------------------

TEST(FilesAndFolders, DirExistsAndWritableFile) {
    TempDir dir;
    WriteFile(dir / "file.txt", "x");
    WriteFile(dir / ".hidden", "x");
    WriteFile(dir / "ro.txt", "x");
    chmod((dir / "ro.txt").c_str(), 0444);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);

    EXPECT_TRUE(DirExists(dir.Str()));
    EXPECT_TRUE(IsDirectoryPath(dir.Str() + "/"));
    EXPECT_FALSE(DirExists((dir / "file.txt").string()));
    EXPECT_FALSE(DirExists((dir / "missing").string()));
    EXPECT_FALSE(DirExists(""));
    EXPECT_TRUE(FileExists((dir / "file.txt").string()));
    EXPECT_FALSE(FileExists((dir / "fifo").string()));
    EXPECT_FALSE(FileExists(dir.Str()));
    EXPECT_FALSE(FileExists(""));

    EXPECT_TRUE(IsWritableFile((dir / "file.txt").string()));
    EXPECT_FALSE(IsWritableFile((dir / ".hidden").string()));
    EXPECT_FALSE(IsWritableFile((dir / "ro.txt").string()));
    EXPECT_FALSE(IsWritableFile((dir / "fifo").string()));
    EXPECT_FALSE(IsWritableFile(dir.Str()));
    EXPECT_FALSE(IsWritableFile((dir / "missing").string()));
}

TEST(FilesAndFolders, IsDirEmptyCountsFilesOnly) {
    TempDir dir;
    EXPECT_TRUE(IsDirEmpty(dir.Str()));
    fs::create_directory(dir / "sub");
    EXPECT_TRUE(IsDirEmpty(dir.Str()));
    WriteFile(dir / ".dotfile", "");
    EXPECT_FALSE(IsDirEmpty(dir.Str()));
    EXPECT_TRUE(IsDirEmpty((dir / "missing").string()));
}

TEST(FilesAndFolders, ForceDirPath) {
    TempDir dir;
    const std::string deep = (dir / "a" / "b" / "c").string();
    EXPECT_TRUE(ForceDirPath(deep));
    EXPECT_TRUE(DirExists(deep));
    EXPECT_TRUE(ForceDirPath(deep + "/"));
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(ForceDirPath((dir / "file" / "sub").string()));

    // A relative path is made below the current folder.
    char* cwd = getcwd(nullptr, 0);
    ASSERT_NE(cwd, nullptr);
    const std::string previous = cwd;
    std::free(cwd);
    ASSERT_EQ(chdir(dir.Str().c_str()), 0);
    const bool made = ForceDirPath("rel/x");
    ASSERT_EQ(chdir(previous.c_str()), 0);
    EXPECT_TRUE(made);
    EXPECT_TRUE(DirExists((dir / "rel" / "x").string()));
}

TEST(FilesAndFolders, TempPathAndAttributes) {
    {
        EnvGuard tmp("TMPDIR", "/var/tmp");
        EXPECT_EQ(GetTempPathStr(), "/var/tmp/");
    }
    {
        EnvGuard tmp("TMPDIR", nullptr);
        EXPECT_EQ(GetTempPathStr(), "/tmp/");
    }
    EXPECT_EQ(FilterKnownAttributes(0xFF), 0xBF);
    EXPECT_EQ(FilterKnownAttributes(0x40), 0x00);
    EXPECT_EQ(FilterKnownAttributes(0x21), 0x21);
}

TEST(FilesAndFolders, ReadStreamStrings) {
    TMemoryStream32 ms;
    const std::string data = std::string("abc\0defg\0", 9) + std::string(1000, 'L');
    ms.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));

    std::int64_t pos = 0;
    std::string s;
    ReadStreamZStr(ms, pos, s);
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(pos, 4);
    ReadStreamZStr(ms, pos, s);
    EXPECT_EQ(s, "defg");
    EXPECT_EQ(pos, 9);
    // A name longer than 256 bytes that runs to the end of the stream.
    std::int64_t at = pos;
    ReadStreamZStr(ms, at, s);
    EXPECT_EQ(s, std::string(1000, 'L'));
    EXPECT_EQ(at, 9 + 1000 + 1);
    at = pos;
    ReadStreamZStr(ms, at, s, 300);
    EXPECT_EQ(s.size(), 300u);
    at = static_cast<std::int64_t>(data.size()) + 50; // past the end
    ReadStreamZStr(ms, at, s);
    EXPECT_EQ(s, "");

    pos = 0;
    ReadStreamStr(ms, pos, 8, s);
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(pos, 8);
    pos = 9;
    ReadStreamStr(ms, pos, 600, s);
    EXPECT_EQ(s, std::string(600, 'L'));
    EXPECT_EQ(pos, 609);
    pos = static_cast<std::int64_t>(data.size()) - 5;
    ReadStreamStr(ms, pos, 20, s); // short at the end of the stream
    EXPECT_EQ(s, "LLLLL");
    EXPECT_EQ(pos, static_cast<std::int64_t>(data.size()) + 15);
}

// ---- numbers and bytes --------------------------------------------------------------------

TEST(NumbersAndBytes, Percentages) {
    EXPECT_EQ(PercentOf(5, 0), 0);
    EXPECT_EQ(PercentOf(300, 200), 100);
    EXPECT_EQ(PercentOf(1, 3), 33);
    EXPECT_EQ(PercentOf(2, 3), 67);
    EXPECT_EQ(PercentOf(0, 10), 0);
    EXPECT_EQ(PercentOf(UINT64_MAX, UINT64_MAX), 100);
    EXPECT_EQ(PercentOf(std::uint64_t{6} << 32, std::uint64_t{8} << 32), 75);

    EXPECT_EQ(PercentOfFloat(0, 5), 0);
    EXPECT_EQ(PercentOfFloat(-1, 5), 0);
    EXPECT_EQ(PercentOfFloat(100, -5), 0);
    EXPECT_EQ(PercentOfFloat(100, 150), 100);
    EXPECT_EQ(PercentOfFloat(200, 50), 25);
}

TEST(NumbersAndBytes, CompressionRatios) {
    EXPECT_EQ(CompressRatio(50, 100), 50);
    EXPECT_EQ(CompressRatio(120, 100), 0);
    EXPECT_EQ(CompressRatio(100, 100), 0);
    EXPECT_EQ(CompressRatio(0, 0), 0);
    EXPECT_EQ(CompressRatio(0, 100), 100);
    EXPECT_EQ(CompressRatio(-5, 100), 0);
    EXPECT_EQ(CompressRatio(1, 3), 67);

    const std::int64_t big = std::int64_t{10} << 32; // sizes past 4 GiB
    EXPECT_EQ(CompressRatio64(big, big / 4), 75);
    EXPECT_EQ(CompressRatio64(big, big + 1), 0);
    EXPECT_EQ(CompressRatio64(0, 0), 0);
    EXPECT_EQ(CompressRatio64(INT64_MAX, 0), 100);

    EXPECT_EQ(CompressRatioFloat(100, 50), 50);
    EXPECT_EQ(CompressRatioFloat(100, 100), 0);
    EXPECT_EQ(CompressRatioFloat(0, 0), 0);
    EXPECT_EQ(CompressRatioFloat(1e12, 2.5e11), 75);
}

TEST(NumbersAndBytes, MoveSameSwap) {
    char buf[9] = "ab______";
    MoveBytes(buf, buf + 2, 6); // forward, byte by byte: the pattern repeats
    EXPECT_EQ(std::string(buf), "abababab");
    char dst[4] = "xyz";
    MoveBytes("abc", dst, 0);
    MoveBytes("abc", dst, -3);
    EXPECT_EQ(std::string(dst), "xyz");
    MoveBytes("abc", dst, 3);
    EXPECT_EQ(std::string(dst), "abc");

    EXPECT_TRUE(SameBytes("abcd", "abce", 3));
    EXPECT_FALSE(SameBytes("abcd", "abce", 4));
    EXPECT_TRUE(SameBytes(nullptr, nullptr, 0));

    EXPECT_EQ(SwapWords(0x12345678u), 0x56781234u);
    EXPECT_EQ(MinCardinal(70000, 32768), 32768u);
}

TEST(NumbersAndBytes, GZipSignatures) {
    for (std::uint16_t w : {0x8B1F, 0x9E1F, 0x9D1F, 0xA01F, 0x1E1F})
        EXPECT_TRUE(IsGZipSignature(w)) << std::hex << w;
    for (std::uint16_t w : {0x1F8B, 0x8B1E, 0x0000, 0x4B50})
        EXPECT_FALSE(IsGZipSignature(w)) << std::hex << w;

    // The first word of what gzip and compress write.
    TempDir dir;
    WriteFile(dir / "t.txt", TextBytes(2000));
    for (const char* tool : {"gzip", "compress"}) {
        const ToolResult r = RunTool({tool, "-c", (dir / "t.txt").string()});
        ASSERT_EQ(r.ExitCode, 0) << tool << r.Err;
        ASSERT_GE(r.Out.size(), 2u);
        const auto word = static_cast<std::uint16_t>(static_cast<unsigned char>(r.Out[0]) |
                                                     static_cast<unsigned char>(r.Out[1]) << 8);
        EXPECT_TRUE(IsGZipSignature(word)) << tool;
    }
}

// ---- tar's octal fields -------------------------------------------------------------------

TEST(OctalFields, OctStrToInt) {
    EXPECT_EQ(OctStrToInt("0000644 "), 420u);
    EXPECT_EQ(OctStrToInt(std::string_view("0000644\0", 8)), 420u);
    EXPECT_EQ(OctStrToInt("1 2"), 10u);    // an embedded blank does not stop the number
    EXPECT_EQ(OctStrToInt("  17  "), 15u); // leading and trailing blanks
    EXPECT_EQ(OctStrToInt(std::string_view("12\0"
                                           "7",
                                           4)),
              10u); // a NUL ends it, as GNU tar and bsdtar read a field: what a writer left
                    // after it would otherwise change a size and misplace every later header
    EXPECT_EQ(OctStrToInt(""), 0u);
    EXPECT_EQ(OctStrToInt(std::string_view("\0\0\0", 3)), 0u);
    EXPECT_EQ(OctStrToInt("77777777777"), 8589934591u); // an 11-digit size field past 4 GiB
    EXPECT_EQ(OctStrToInt("1777777777777777777777"), UINT64_MAX);
    EXPECT_EQ(OctStrToInt(std::string(40, '7')), UINT64_MAX); // saturates, never wraps
}

TEST(OctalFields, IntToOctField) {
    char field[8];
    ASSERT_TRUE(IntToOctField(420, 8, true, field));
    EXPECT_EQ(std::string(field, 8), std::string("0000644\0", 8));
    ASSERT_TRUE(IntToOctField(420, 8, false, field));
    EXPECT_EQ(std::string(field, 8), "0000644 ");
    ASSERT_TRUE(IntToOctField(0, 8, true, field));
    EXPECT_EQ(std::string(field, 8), std::string("0000000\0", 8));
    ASSERT_TRUE(IntToOctField(07777777, 8, false, field));
    EXPECT_EQ(std::string(field, 8), "7777777 ");

    // A value that does not fit is refused and the field stays as it was.
    std::memcpy(field, "untouch", 8);
    EXPECT_FALSE(IntToOctField(010000000, 8, true, field));
    EXPECT_EQ(std::string(field, 8), std::string("untouch\0", 8));

    char size[12];
    ASSERT_TRUE(IntToOctField(077777777777, 12, true, size));
    EXPECT_EQ(std::string(size, 12), std::string("77777777777\0", 12));
    EXPECT_FALSE(IntToOctField(std::uint64_t{1} << 33, 12, true, size));

    char tiny[1] = {'x'};
    EXPECT_TRUE(IntToOctField(0, 1, true, tiny));
    EXPECT_EQ(tiny[0], '\0');
    EXPECT_FALSE(IntToOctField(1, 1, true, tiny));
    EXPECT_FALSE(IntToOctField(0, 0, true, tiny));

    char wide[23];
    ASSERT_TRUE(IntToOctField(UINT64_MAX, 23, false, wide));
    EXPECT_EQ(std::string(wide, 23), "1777777777777777777777 ");
    EXPECT_EQ(OctStrToInt(std::string_view(wide, 23)), UINT64_MAX);

    // Every value written reads back.
    for (std::uint64_t v :
         {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{511}, std::uint64_t{123456789}}) {
        char f[12];
        ASSERT_TRUE(IntToOctField(v, 12, false, f));
        EXPECT_EQ(OctStrToInt(std::string_view(f, 12)), v);
    }
}

#include "DamagedArchives.h"

#include "ExtractRun.h"

#include <gtest/gtest.h>

namespace testsupport {

namespace {

TDamageCase Cut(const char* Name, const char* Source, std::int64_t At, TArgv Peer, TArgv Reference,
                int MinOut) {
    return {Name, Source, At, -1, 0, std::move(Peer), std::move(Reference), MinOut};
}

TDamageCase Change(const char* Name, const char* Source, std::int64_t At, int Xor, TArgv Peer,
                   TArgv Reference, int MinOut) {
    return {Name, Source, -1, At, Xor, std::move(Peer), std::move(Reference), MinOut};
}

TDamageCase Harmless(TDamageCase Case) {
    Case.Harmless = true;
    return Case;
}

TDamageCase SkipsAnEntry(TDamageCase Case) {
    Case.SkipsAnEntry = true;
    return Case;
}

// Twelve text files, and GNU tar's tar.gz of them.
fs::path MakeTarGz(const fs::path& Dir) {
    const fs::path src = Dir / "src";
    fs::create_directories(src);
    for (int i = 1; i <= 12; ++i)
        WriteFile(src / ("f" + std::to_string(i) + ".txt"), TextBytes(20000 + 977 * i, i));
    const fs::path archive = Dir / "whole.tgz";
    // The same bytes on every run: the damage falls on the same place.
    const ToolResult t = RunTool({"tar", "--sort=name", "--mtime=2001-02-03", "--owner=0", "--group=0",
                                  "--numeric-owner", "-czf", archive.string(), "-C", src.string(), "."});
    EXPECT_EQ(t.ExitCode, 0) << t.Err;
    return archive;
}

} // namespace

const std::vector<TDamageCase>& DamagedReaderCases() {
    const TArgv unar = {"unar", "-q", "-D", "-o", "{out}", "{}"};
    const TArgv sevenzip = {"7zz", "x", "-y", "-o{out}", "{}"};
    const TArgv gnuTar = {"tar", "-xzf", "{}", "-C", "{out}"};
    // unar 1.10 does not extract rar 5 solid archives.
    const TArgv bsdtar = {"bsdtar", "-xf", "{}", "-C", "{out}"};
    const TArgv lsar = {"lsar", "-t", "{}"};
    const TArgv arcTest = {"arc", "t", "{}"};
    const TArgv gzipTest = {"gzip", "-t", "{}"};
    const TArgv sevenzipTest = {"7zz", "t", "{}"};
    const TArgv lhasaTest = {"lhasa", "t", "{}"};
    const TArgv arjTest = {"arj", "t", "{}"};
    constexpr const char* sfx = "lhasa/explzh_723/declha_sfx_ansi.exe";
    constexpr const char* rar5Files = "libarchive/rar/read_format_rar5_multiple_files.rar";
    constexpr const char* uuLzh = "libarchive/uu/read_format_lha_lh6.lzh.uu";
    const TArgv uudecodeTest = {"uudecode", "{}"};
    const TArgv uudecode = {"uudecode", "-o", "{out}/test_read_format_lha_lh6.lzh", "{}"};

    static const std::vector<TDamageCase> cases = {
        // The second directory entry lies past the end: the first entry is whole.
        Cut("ZooChainPastTheEnd", "patool/t.zoo", 150, lsar, unar, 1),
        // Only the name of the closing entry is cut off: nothing is lost.
        Harmless(Cut("ZooClosingEntryCut", "patool/t.zoo", 230, lsar, unar, 2)),
        // The first entry's packed size grown by 64 KiB: the next header lies past the end.
        Change("ArcPackedSizePastTheEnd", "sharpcompress/arc/Arc.crunched.arc", 17, 0x01, arcTest, unar, 1),
        Cut("ArcCutInTheSecondEntry", "patool/t.arc", 50, arcTest, unar, 1),
        // The second of four entries has damaged data (0xFC becomes 0x55); the archive is not solid.
        Change("Rar5DamagedEntryAmongWholeOnes", rar5Files, 800, 0xA9, lsar, unar, 3),
        // The last entry's header fails its CRC: the three before it are all the listing has.
        Change("Rar5LastHeaderDamaged", rar5Files, 1242, 0x21, lsar, unar, 3),
        // Cut after the first entry: a whole entry, a damaged archive.
        Cut("Rar5CutAfterTheFirstEntry", rar5Files, 451, lsar, unar, 1),
        Cut("RarCutInTheThirdEntry", "libarchive/rar/read_format_rar_windows.rar", 400, lsar, unar, 2),
        // Old rar versions wrote no end block.
        Harmless(
            Cut("RarWithoutItsEndBlock", "libarchive/rar/read_format_rar_windows.rar", 807, lsar, unar, 3)),
        Change("ZooStoredSizesDiffer", "patool/t.zoo", 65, 0x01, lsar, unar, 1),
        // The "begin" line loses its name; the text loses its "end" line, or is cut short.
        Change("UuBeginLineWithoutAName", uuLzh, 9, 0x2A, uudecodeTest, uudecode, 0),
        Cut("UuWithoutItsEndLine", uuLzh, 625, uudecodeTest, uudecode, 0),
        Cut("UuCutShort", uuLzh, 300, uudecodeTest, uudecode, 0),
        Change("Rar5SolidDamaged", "libarchive/rar/read_format_rar5_solid.rar", 300, 0x55, lsar, bsdtar, 0),
        SkipsAnEntry(Cut("RarWithALink", "libarchive/rar/read_format_rar.rar", -1, lsar, unar, 2)),
        // The fourth of ten headers damaged: the walk goes on at the fifth, as GNU tar's does.
        Change("TarHeaderDamagedInTheMiddle", "commons-compress/tar-gz-z/SunOS_cf.tar", 3073, 0x20,
               {"tar", "-tf", "{}"}, {"tar", "-xf", "{}", "-C", "{out}"}, 9),
        Cut("TarGzCutInTheMiddle", "", 60, gzipTest, gnuTar, 6),
        Cut("TarGzCutBeforeTheFirstHeader", "", 20, gzipTest, gnuTar, 0),
        // A changed byte that inflates to other data: only the gzip CRC tells, and no entry of
        // the tar can be trusted.
        Change("TarGzByteChangedEarly", "", 30, 0x5A, gzipTest, gnuTar, 0),
        Change("TarGzByteChangedLate", "", 90, 0x5A, gzipTest, gnuTar, 0),
        // The archive behind the program stub, whose strings hold an lha method name too.
        Cut("LhaSelfExtractor", sfx, -1, sevenzipTest, sevenzip, 1),
        Cut("LhaSelfExtractorCut", sfx, 40000, sevenzipTest, sevenzip, 0),
        Cut("LhaCutInTheData", "lhasa/lha213/lh5.lzh", 3000, lhasaTest, sevenzip, 0),
        Change("LhaByteChangedInTheData", "lhasa/lha213/lh5.lzh", 3000, 0xFF, lhasaTest, sevenzip, 0),
        Cut("ArjCutInTheLastEntry", "sharpcompress/arj/Arj.method1.arj", 50000, arjTest, sevenzip, 1),
        // The first file header's date changed: its CRC fails, and that entry fails (once); the
        // other comes out.
        Change("ArjFileHeaderCrcFails", "commons-compress/arj/bla.arj", 65, 0x01, arjTest, sevenzip, 1),
    };
    return cases;
}

TDamagedArchive MakeDamaged(const TDamageCase& Case, const fs::path& Dir) {
    const fs::path whole = *Case.Source ? CorpusDir() / Case.Source : MakeTarGz(Dir);
    std::string bytes = ReadFile(whole);
    if (Case.CutAt >= 0) {
        // A tar.gz is cut at a share (per cent) of its size.
        const std::int64_t at = *Case.Source ? Case.CutAt : std::ssize(bytes) * Case.CutAt / 100;
        EXPECT_LT(at, std::ssize(bytes));
        bytes.resize(static_cast<std::size_t>(std::min<std::int64_t>(at, std::ssize(bytes))));
    }
    // So is the byte to change.
    const std::int64_t byteAt =
        *Case.Source || Case.ByteAt < 0 ? Case.ByteAt : std::ssize(bytes) * Case.ByteAt / 100;
    if (byteAt >= 0 && byteAt < std::ssize(bytes))
        bytes[static_cast<std::size_t>(byteAt)] ^= static_cast<char>(Case.Xor);
    EXPECT_LT(byteAt, std::ssize(bytes));
    const fs::path damaged = Dir / ("damaged" + (*Case.Source ? whole.extension().string() : ".tgz"));
    WriteFile(damaged, bytes);
    return {whole, damaged};
}

TArgv Substitute(TArgv Argv, const fs::path& Archive, const fs::path& Out) {
    for (std::string& a : Argv) {
        if (const std::size_t at = a.find("{out}"); at != std::string::npos) a.replace(at, 5, Out.string());
        if (a == "{}") a = Archive.string();
    }
    return Argv;
}

std::map<std::string, std::string> FilesOf(const fs::path& Root) {
    std::map<std::string, std::string> out;
    for (const auto& [name, data] : ReadTree(Root))
        if (name.back() != '/') out[name.starts_with("./") ? name.substr(2) : name] = data;
    return out;
}

} // namespace testsupport

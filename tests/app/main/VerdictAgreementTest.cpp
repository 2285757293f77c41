// Every path that tests or extracts an archive gives it the same verdict: krvprobe's test and
// extraction, the program's -T and -DDEH as processes, the batch tool's test and the window's
// extraction, over damaged archives of each readable format and whole ones as controls.
// Damaged or not agrees with the format's own tool; the files -DDEH leaves on disk are exactly
// the entries krvprobe extracts, byte-identical to what the reference tool extracts; and a
// damaged archive never ends with exit status 0 or a message of success.
#include "MainWindowFixture.h"
#include "ProcessRun.h"

#include "DamagedArchives.h"
#include "DialogDriver.h"
#include "app/common/AppSettings.h"
#include "app/dialogs/Batch.h"

#include <QPlainTextEdit>
#include <functional>
#include <gtest/gtest.h>
#include <ranges>
#include <set>
#include <sstream>

using namespace testsupport;

namespace {

struct TRow {
    std::string Name;
    std::function<TDamagedArchive(const fs::path& Dir)> Make;
    TArgv PeerTest;  // a failing exit status says damaged
    TArgv Reference; // extracts the whole archive ({} the archive, {out} the folder)
    bool Damaged;
    // The integrity tester does not take cabinets: only the extractions are compared.
    bool Cabinet = false;
    // A whole archive whose link entry is never made: the tests pass, the extractions fail.
    bool SkipsAnEntry = false;
    // A disagreement known to remain, and its fault: reported as a skip while it lasts.
    const char* KnownFault = nullptr;
};

void PrintTo(const TRow& Row, std::ostream* Out) {
    *Out << Row.Name;
}

TDamagedArchive Written(const fs::path& Dir, const std::string& Name, const std::string& Whole,
                        const std::string& Damaged) {
    WriteFile(Dir / ("whole_" + Name), Whole);
    WriteFile(Dir / Name, Damaged);
    return {Dir / ("whole_" + Name), Dir / Name};
}

// What Tool (its arguments, then Name) makes of a folder entry and two text files; Damage
// changes its bytes.
std::function<TDamagedArchive(const fs::path&)> Made(TArgv Tool, const std::string& Name,
                                                     std::function<void(std::string&)> Damage = {}) {
    return [=](const fs::path& Dir) {
        const fs::path src = Dir / "src";
        fs::create_directories(src / "d");
        WriteFile(src / "b.txt", TextBytes(60000));
        WriteFile(src / "c.txt", TextBytes(40000, 3));
        TArgv argv = Tool;
        argv.insert(argv.end(), {Name, "d/", "b.txt", "c.txt"});
        if (Tool[0] == "gcab") argv.erase(argv.end() - 3); // gcab takes files only
        EXPECT_EQ(RunTool(argv, src).ExitCode, 0);
        const std::string whole = ReadFile(src / Name);
        std::string damaged = whole;
        if (Damage) Damage(damaged);
        return Written(Dir, Name, whole, damaged);
    };
}

// Python's tar.gz of two files of numbers, the same bytes on every run, with the byte at 21 %
// changed: it inflates to other text until an invalid code shows the change.
TDamagedArchive TarGzChangedBeforeAnInvalidCode(const fs::path& Dir) {
    const std::string script =
        "import tarfile, io, gzip\n"
        "b = io.BytesIO()\n"
        "with tarfile.open(fileobj=b, mode='w', format=tarfile.USTAR_FORMAT) as t:\n"
        "    for n, d in (('b.txt', ' '.join(str(i * 7919 % 1000) for i in range(6000))),\n"
        "                 ('c.txt', '\\n'.join(str(i * 104729 % 977) for i in range(4000)))):\n"
        "        i = tarfile.TarInfo(n); i.size = len(d); i.mtime = 981158400\n"
        "        t.addfile(i, io.BytesIO(d.encode()))\n"
        "open('whole.tgz', 'wb').write(gzip.compress(b.getvalue(), mtime=0))\n";
    EXPECT_EQ(RunTool({"python3", "-c", script}, Dir).ExitCode, 0);
    std::string bytes = ReadFile(Dir / "whole.tgz");
    bytes[bytes.size() * 21 / 100] ^= 0x5A;
    WriteFile(Dir / "damaged.tgz", bytes);
    return {Dir / "whole.tgz", Dir / "damaged.tgz"};
}

// A symbolic link, then a file of the link's name (GNU tar replaces the one by the other): the
// link is not made and is a failure of its own, the file comes out.
TDamagedArchive TarLinkThenAFileOfItsName(const fs::path& Dir) {
    const std::string script =
        "import tarfile, io\n"
        "b = io.BytesIO()\n"
        "with tarfile.open(fileobj=b, mode='w', format=tarfile.GNU_FORMAT) as t:\n"
        "    l = tarfile.TarInfo('x'); l.type = tarfile.SYMTYPE; l.linkname = 'elsewhere'\n"
        "    t.addfile(l)\n"
        "    d = b'the file after the link\\n' * 40\n"
        "    i = tarfile.TarInfo('x'); i.size = len(d); i.mtime = 981158400\n"
        "    t.addfile(i, io.BytesIO(d))\n"
        "open('linked.tar', 'wb').write(b.getvalue())\n";
    EXPECT_EQ(RunTool({"python3", "-c", script}, Dir).ExitCode, 0);
    return {Dir / "linked.tar", Dir / "linked.tar"};
}

// The offset of a cabinet's first data block.
std::size_t FirstCabBlock(const std::string& Cab) {
    std::size_t at = 0;
    for (int i = 3; i >= 0; --i)
        at = at << 8 | static_cast<unsigned char>(Cab[36 + i]);
    return at;
}

// The libmspack set of five cabinets under the names their headers give, opened at the middle
// one; Leave is not copied (the whole set lies in Dir/whole).
std::function<TDamagedArchive(const fs::path&)> MultiBasic(int Leave) {
    return [Leave](const fs::path& Dir) {
        fs::create_directories(Dir / "whole");
        for (int i = 1; i <= 5; ++i) {
            const fs::path from =
                CorpusDir() / ("libmspack/cabd/multi_basic_pt" + std::to_string(i) + ".cab");
            const std::string name = "cabd_multi_basic_pt" + std::to_string(i) + ".cab";
            fs::copy_file(from, Dir / "whole" / name);
            if (i != Leave) fs::copy_file(from, Dir / name);
        }
        return TDamagedArchive{Dir / "whole/cabd_multi_basic_pt3.cab", Dir / "cabd_multi_basic_pt3.cab"};
    };
}

// A damaged archive of the corpus, copied into Dir: there is no whole one.
std::function<TDamagedArchive(const fs::path&)> Corpus(const char* Sample) {
    return [Sample](const fs::path& Dir) {
        const fs::path copy = Dir / fs::path(Sample).filename();
        fs::copy_file(CorpusDir() / Sample, copy);
        return TDamagedArchive{copy, copy};
    };
}

std::vector<TRow> Rows() {
    std::vector<TRow> rows;
    std::set<std::string> controlled;
    for (const TDamageCase& c : DamagedReaderCases()) {
        const auto make = [c](const fs::path& Dir) { return MakeDamaged(c, Dir); };
        // unar does not test a solid rar 5 archive: the tool that extracts it does.
        const TArgv peer = c.Reference[0] == "bsdtar" ? TArgv{"bsdtar", "-xOf", "{}"} : c.PeerTest;
        rows.push_back({c.Name, make, peer, c.Reference, c.Changed() && !c.Harmless, false, c.SkipsAnEntry});
        // The whole archive of each source, once, as a control.
        if (c.Changed() && controlled.insert(c.Source).second) {
            TDamageCase whole = c;
            whole.CutAt = whole.ByteAt = -1;
            rows.push_back({std::string("WholeOf") + c.Name,
                            [whole](const fs::path& Dir) { return MakeDamaged(whole, Dir); }, peer,
                            c.Reference, false});
        }
    }
    const TArgv unzipTest = {"unzip", "-t", "{}"};
    const TArgv unzip = {"unzip", "-q", "{}", "-d", "{out}"};
    const TArgv cabTest = {"cabextract", "-t", "{}"};
    const TArgv cabextract = {"cabextract", "-q", "-d", "{out}", "{}"};
    const TArgv sevenzipTest = {"7zz", "t", "{}"}, sevenzip = {"7zz", "x", "-o{out}", "{}"};
    const auto empty = [](const fs::path& Dir) {
        const std::string bytes = std::string("PK\x05\x06", 4) + std::string(18, '\0');
        return Written(Dir, "empty.zip", bytes, bytes);
    };
    const std::vector<TRow> more = {
        {"ZipWhole", Made({"zip", "-q"}, "o1.zip"), unzipTest, unzip, false},
        // b.txt's local header signature damaged; the folder entry before it and c.txt are whole.
        {"ZipLocalHeaderSignature",
         Made({"zip", "-q"}, "o1.zip", [](std::string& B) { B[B.find("PK\x03\x04", 1) + 1] = 'X'; }),
         unzipTest, unzip, true},
        {"ZipCutInTheSecondFile",
         Made({"zip", "-q"}, "o1.zip",
              [](std::string& B) { B.resize(B.find("PK\x03\x04", B.find("b.txt")) - 100); }),
         unzipTest, unzip, true},
        // unzip warns of an empty zip with status 1; 7-Zip tests it whole.
        {"ZipEmpty", empty, sevenzipTest, sevenzip, false, false, false,
         "the zip reader reports the central directory of an empty zip missing (25259)"},
        {"CorpusLhaTruncated",
         Corpus("lhasa/regression/truncated.lzh"),
         {"lhasa", "t", "{}"},
         sevenzip,
         true},
        {"TarGzChangedBeforeAnInvalidCode",
         TarGzChangedBeforeAnInvalidCode,
         {"gzip", "-t", "{}"},
         {"tar", "-xzf", "{}", "-C", "{out}"},
         true},
        {"TarLinkThenAFileOfItsName",
         TarLinkThenAFileOfItsName,
         {"tar", "-tf", "{}"},
         {"tar", "-xf", "{}", "-C", "{out}"},
         false,
         false,
         true},
        {"CorpusZipMalformed", Corpus("libarchive/zip/read_format_zip_malformed1.zip"), unzipTest, unzip,
         true},
        {"CorpusCabBadSignature", Corpus("libmspack/cabd/bad_signature.cab"), cabTest, cabextract, true,
         true},
        {"CorpusCabCutShort", Corpus("libmspack/cabd/partial_shortfile1.cab"), cabTest, cabextract, true,
         true},
        {"CabWhole", Made({"gcab", "-cz"}, "made.cab"), cabTest, cabextract, false, true},
        {"CabDataByteChanged",
         Made({"gcab", "-cz"}, "made.cab", [](std::string& B) { B[FirstCabBlock(B) + 208] ^= 0x5A; }),
         cabTest, cabextract, true, true},
        // b.txt's size grown into c.txt: cabextract passes what 7zz refuses.
        {"CabFileSizeIntoTheNext",
         Made({"gcab", "-cz"}, "made.cab", [](std::string& B) { B[B.find("b.txt") - 15] ^= 0x01; }),
         {"7zz", "t", "{}"},
         cabextract,
         true,
         true},
        {"CabSetAtItsMiddle", MultiBasic(0), cabTest, cabextract, false, true},
        {"CabSetAtItsMiddleTheFirstMissing", MultiBasic(1), cabTest, cabextract, true, true},
    };
    rows.insert(rows.end(), more.begin(), more.end());
    return rows;
}

// The lines of Text that end with Ending and hold Part.
int Lines(const std::string& Text, const std::string& Ending, const std::string& Part = {}) {
    int n = 0;
    std::istringstream in(Text);
    for (std::string line; std::getline(in, line);)
        n += line.ends_with(Ending) && line.find(Part) != std::string::npos;
    return n;
}

// The files (not folders) among the entries krvprobe extract ends "OK" into Root.
std::set<std::string> ProbeFilesOk(const std::string& Out, const fs::path& Root) {
    std::set<std::string> names;
    std::istringstream in(Out);
    for (std::string line; std::getline(in, line);)
        if (line.ends_with("\tOK")) {
            std::string name = line.substr(0, line.size() - 3);
            if (name.starts_with("./")) name = name.substr(2);
            if (!name.ends_with('/') && !fs::is_directory(Root / name)) names.insert(name);
        }
    return names;
}

std::set<std::string> Names(const std::map<std::string, std::string>& Files) {
    const auto names = std::views::keys(Files);
    return {names.begin(), names.end()};
}

class TVerdictAgreement : public MainWindowTest, public ::testing::WithParamInterface<TRow> {
protected:
    TVerdictAgreement()
        : FPlatform("QT_QPA_PLATFORM", "offscreen"), FAuto("QUILLAR_PROMPTER", "auto"),
          FTmp("TMPDIR", FTemp.Str().c_str()) {
        WriteDefaultSettings();
    }

    // The batch tool's test of Archive: true when it says FAILED.
    bool BatchSaysDamaged(const fs::path& Archive, std::string& Line) {
        TfmBatch batch;
        batch.SetupBatchOperation(boTest);
        batch.AddSelectedFiles({QString::fromStdString(Archive.string())});
        for (int i = 0; i < 6 && batch.CurrentPage() != 2; ++i)
            batch.NextClick();
        Line = Find<QPlainTextEdit>(batch, "meResults")->toPlainText().split('\n').value(0).toStdString();
        return Line.find("::: Passed") == std::string::npos;
    }

    TempDir FTemp;
    EnvGuard FPlatform, FAuto, FTmp;
};

} // namespace

TEST_P(TVerdictAgreement, EveryPathGivesTheVerdictOfThePeer) {
    const TRow& row = GetParam();
    TempDir dir;
    const TDamagedArchive archive = row.Make(dir.Path());
    std::vector<std::string> disagreements;
    const auto check = [&](bool Agrees, const std::string& What) {
        if (!Agrees) disagreements.push_back(What);
    };
    const std::string path = archive.Damaged.string();

    const ToolResult peer = RunTool(Substitute(row.PeerTest, archive.Damaged), dir.Path());
    ASSERT_NE(peer.ExitCode, -1) << row.PeerTest[0] << " did not run";
    check((peer.ExitCode != 0) == row.Damaged, row.PeerTest[0] + " exits " + std::to_string(peer.ExitCode));
    const fs::path reference = dir / "reference";
    fs::create_directories(reference);
    // A damaged sample has no whole archive: the reference tool gives what it can of it.
    const bool hasWhole = archive.Whole != archive.Damaged || !row.Damaged;
    const ToolResult ref = RunTool(Substitute(row.Reference, archive.Whole, reference), dir.Path());
    ASSERT_TRUE(ref.ExitCode == 0 || !hasWhole) << ref.Out << ref.Err;
    const auto want = FilesOf(reference);

    // The extractions: krvprobe, -DDEH and the window.
    const bool extractionFails = row.Damaged || row.SkipsAnEntry;
    const ToolResult probe = RunProbe({"extract", path, (dir / "probe").string()});
    const std::set<std::string> probeOk = ProbeFilesOk(probe.Out, dir / "probe");
    check((probe.ExitCode != 0) == extractionFails,
          "krvprobe extract exits " + std::to_string(probe.ExitCode));
    check(Names(FilesOf(dir / "probe")) == probeOk,
          "krvprobe extract's files on disk are not those it passed");

    const ToolResult cli = RunQuillar({"-DDEH", (dir / "cli").string(), path}, dir.Path());
    check((cli.ExitCode != 0) == extractionFails,
          "-DDEH exits " + std::to_string(cli.ExitCode) + ":\n" + cli.Err);
    check(!extractionFails || cli.Err.find("Extraction completed.") == std::string::npos,
          "-DDEH says completed");
    const auto cliFiles = FilesOf(dir / "cli");
    check(Names(cliFiles) == probeOk, "-DDEH's files on disk are not those krvprobe extract passes");
    if (const std::size_t at = cli.Err.find("Files Extracted: "); at != std::string::npos) {
        check(std::stoi(cli.Err.substr(at + 17)) == std::ssize(cliFiles),
              "-DDEH counts other files than it wrote");
    }
    for (const auto& [name, data] : cliFiles)
        check(want.contains(name) ? want.at(name) == data : !hasWhole,
              name + " differs from what " + row.Reference[0] + " extracts");

    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    TExtractOptions options;
    options.Archive = QString::fromStdString(path);
    options.Folder = QString::fromStdString((dir / "window").string());
    options.RestoreFileAttr = false;
    options.ConfirmOverwrites = false;
    const TExtractResult window = FWindow->RunExtraction(options, true);
    const std::string said =
        FPrompter.Prompter().Prompts.empty() ? "" : FPrompter.Prompter().Prompts.back().Text.toStdString();
    check(window.Succeeded() == !extractionFails, "the window's extraction: " + said);
    check(!extractionFails || !said.starts_with("Extraction completed."), "the window says completed");
    check(FilesOf(dir / "window") == cliFiles, "the window's files are not those of -DDEH");
    // krvprobe names a run cancelled at a missing cabinet by an error line of its own; an
    // archive of no type the window extracts is refused before any entry.
    const int probeErrors = Lines(probe.Out, "", "\tERROR ");
    check(!window.Started ||
              window.Failed + window.Skipped + window.Refused + window.Cancelled == probeErrors,
          "the window counts other failures than krvprobe extract");
    check(window.Done == std::ssize(cliFiles),
          "the window counts " + std::to_string(window.Done) + " extracted");

    // The tests: krvprobe, -T and the batch tool.
    if (!row.Cabinet) {
        const ToolResult tested = RunProbe({"test", path});
        check((tested.ExitCode != 0) == row.Damaged,
              "krvprobe test exits " + std::to_string(tested.ExitCode));
        check(Lines(tested.Out, "\tPASS") == Lines(probe.Out, "\tOK"),
              "krvprobe test passes other entries than extract");
        check(!row.Damaged || tested.Out.find("\tFAIL ") != std::string::npos,
              "krvprobe test names no failure");
        const ToolResult t = RunQuillar({"-T", path}, dir.Path());
        check((t.ExitCode != 0) == row.Damaged, "-T exits " + std::to_string(t.ExitCode) + ":\n" + t.Err);
        // The summary counts what krvprobe test counts.
        if (const std::size_t at = t.Err.find("> Entries passed: "); at != std::string::npos) {
            const std::string counts = t.Err.substr(at, t.Err.find_first_of(";\n", at) - at);
            check(counts == "> Entries passed: " + std::to_string(Lines(tested.Out, "\tPASS")) +
                                ", failed: " + std::to_string(Lines(tested.Out, "", "\tFAIL ")),
                  "-T counts '" + counts + "'");
        }
        check(!row.Damaged || t.Err.find("No errors were found in this archive file.") == std::string::npos,
              "-T says no errors");
        std::string line;
        check(BatchSaysDamaged(archive.Damaged, line) == row.Damaged, "the batch test: " + line);
    }

    std::string all;
    for (const std::string& d : disagreements)
        all += d + "\n";
    if (row.KnownFault && !disagreements.empty())
        GTEST_SKIP() << "known fault: " << row.KnownFault << "\n" << all;
    EXPECT_TRUE(disagreements.empty()) << all << "krvprobe extract:\n" << probe.Out;
}

INSTANTIATE_TEST_SUITE_P(Cases, TVerdictAgreement, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<TRow>& Info) { return Info.param.Name; });

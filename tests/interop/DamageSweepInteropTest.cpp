// The damage sweep: for every readable format, a whole archive of three files made by a peer tool
// (or taken from the corpus; bh by our own writer) is cut at and around each header boundary,
// has each header byte changed and each size or offset field enlarged and shrunk. Whenever
// krvprobe test or extract, quillar -T or quillar -DDEH exits 0 on such a variant, every entry
// of the whole archive is on disk byte-identical to what the reference tool extracts from the
// whole archive (for a test: in krvprobe's extraction); otherwise the run exits 1 and names a
// cause. Only the damage a format cannot see is exempt: the walker labels it with the reason.
//
// Cost: the program's two paths (a Qt process each) run on every variant that a krvprobe path
// passes and on every eighth of the rest; the variants of a format run on a few threads, and
// ctest runs the formats side by side.
#include "DamageSweep.h"
#include "DamagedArchives.h"
#include "TestSupport.h"
#include "ZooBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iostream>
#include <regex>
#include <thread>

using namespace testsupport;

namespace {

const TArgv Files = {"a.txt", "b.txt", "c.bin"};

// The whole archive, named File, from the files in Src.
using TMake = std::function<std::string(const fs::path& Src, const std::string& File)>;

struct TSweepRow {
    const char* Format;
    const char* File; // the archive's name (a .Z or nameless gzip member extracts under it)
    TMake Make;
    TWalker Map;
    TArgv Reference;         // extracts the whole archive ({} it, {out} the folder, run in {out}); {}: Src
    TWalker Inner = nullptr; // the walker of the archive a compressed one holds
};

void PrintTo(const TSweepRow& Row, std::ostream* Out) {
    *Out << Row.Format;
}

// The archive Argv makes of the files in Src: the file it writes ({} stands for it, the files'
// names follow), or what it prints for each of Names ({f} stands for it), one after another.
TMake Tool(TArgv Argv, void (*Fix)(std::string&) = nullptr, TArgv Names = Files) {
    return [=](const fs::path& Src, const std::string& File) {
        const fs::path made = Src.parent_path() / "made" / File;
        fs::create_directories(made.parent_path());
        const bool prints = std::ranges::count(Argv, "{f}") > 0;
        std::string out;
        for (const std::string& f : prints ? Names : TArgv{""}) {
            TArgv a = Substitute(Argv, made);
            std::ranges::replace(a, std::string("{f}"), f);
            if (!prints) a.insert(a.end(), Names.begin(), Names.end());
            const ToolResult r = RunTool(a, Src);
            EXPECT_EQ(r.ExitCode, 0) << a[0] << ": " << r.Out << r.Err;
            out += prints ? r.Out : ReadFile(made);
        }
        if (Fix) Fix(out);
        return out;
    };
}

TMake Corpus(const char* Sample) {
    return [=](const fs::path&, const std::string&) { return ReadFile(CorpusDir() / Sample); };
}

std::string ZooOfFiles(const fs::path& Src, const std::string&) {
    std::vector<ZooItem> items;
    for (const std::string& f : Files)
        items.push_back({f, "", "", 0, ReadFile(Src / f), ReadFile(Src / f)});
    return MakeZooArchive(items);
}

std::vector<TSweepRow> Rows() {
    const TArgv unar = {"unar", "-q", "-D", "-o", "{out}", "{}"}, sevenzip = {"7zz", "x", "-o{out}", "{}"},
                uudeview = {"uudeview", "-i", "-q", "-p", "{out}/", "{}"};
    const auto tar = [](const char* Options) {
        return TArgv{"tar",
                     "--format=ustar",
                     "--mtime=@981173106",
                     "--owner=0",
                     "--group=0",
                     "--numeric-owner",
                     Options,
                     "{}"};
    };
    return {
        {"Zip", "made.zip", Tool({"zip", "-X", "-q", "{}"}), MapZip, {"unzip", "-q", "{}", "-d", "{out}"}},
        {"Jar",
         "made.jar",
         Tool({"7zz", "a", "-tzip", "-bso0", "{}"}),
         MapZip,
         {"unzip", "-q", "{}", "-d", "{out}"}},
        {"Lha", "multiple.lzh", Corpus("lhasa/regression/multiple.lzh"), MapLha, {"lhasa", "x", "{}"}},
        {"Lha0",
         "msdos-l0.lha",
         Corpus("commons-compress/lha/test-msdos-l0.lha"),
         MapLha,
         {"lhasa", "x", "{}"}},
        {"Lha2",
         "msdos-l2.lha",
         Corpus("commons-compress/lha/test-msdos-l2.lha"),
         MapLha,
         {"lhasa", "x", "{}"}},
        {"Arj", "made.arj", Tool({"arj", "a", "-i", "{}"}, FixArjTimes), MapArj, sevenzip},
        {"ArjStored", "stored.arj", Tool({"arj", "a", "-i", "-m0", "{}"}, FixArjTimes), MapArj, sevenzip},
        {"Arc", "made.arc", Tool({"arc", "a", "{}"}), MapArc, {"arc", "x", "{}"}},
        {"Zoo", "made.zoo", ZooOfFiles, MapZoo, unar},
        {"Bh", "made.bh", Tool({ProbePath().string(), "add", "{}", "-m", "deflate"}), MapBh, {}},
        {"Tar", "made.tar", Tool(tar("-cf")), MapTar, {"tar", "-xf", "{}"}},
        {"TarGz", "made.tgz", Tool(tar("-czf")), MapGzip, {"tar", "-xzf", "{}"}, MapTar},
        // Three members, which decode into one file named after the first.
        {"Gz", "made.gz", Tool({"gzip", "-c", "{f}"}), MapGzip, sevenzip},
        {"Compress", "b.txt.Z", Tool({"compress", "-c", "{f}"}, nullptr, {"b.txt"}), MapCompress, sevenzip},
        {"Cab", "made.cab", Tool({"gcab", "-c", "-z", "{}"}), MapCab, {"cabextract", "-q", "{}"}},
        {"Rar", "windows.rar", Corpus("libarchive/rar/read_format_rar_windows.rar"), MapRar, unar},
        {"Rar5", "multiple.rar", Corpus("libarchive/rar/read_format_rar5_multiple_files.rar"), MapRar5, unar},
        {"Rar5Stored", "stored.rar", Corpus("libarchive/rar/read_format_rar5_stored.rar"), MapRar5, unar},
        {"Uu", "made.uue", Tool({"uuencode", "{f}", "{f}"}), MapUu, uudeview},
        {"Xx", "made.xxe", Tool({"uuenview", "-x", "{f}"}), MapXx, uudeview},
    };
}

class DamageSweep : public ::testing::TestWithParam<TSweepRow> {};

} // namespace

TEST_P(DamageSweep, EveryPathThatSucceedsGivesEveryEntryWhole) {
    const TSweepRow& row = GetParam();
    TempDir dir;
    const fs::path home = dir / "home", src = dir / "src", ref = dir / "ref";
    fs::create_directories(home);
    fs::permissions(home, fs::perms::owner_all);
    EnvGuard homeVar("HOME", home.c_str()), config("XDG_CONFIG_HOME", (home / "config").c_str()),
        data("XDG_DATA_HOME", (home / "data").c_str()), cache("XDG_CACHE_HOME", (home / "cache").c_str()),
        runtime("XDG_RUNTIME_DIR", home.c_str()), tmp("TMPDIR", home.c_str()),
        platform("QT_QPA_PLATFORM", "offscreen"), prompter("QUILLAR_PROMPTER", "auto");

    // The files, with fixed times and modes: the same archive bytes on every run.
    fs::create_directories(src);
    WriteFile(src / "a.txt", TextBytes(6000, 1));
    WriteFile(src / "b.txt", TextBytes(9000, 2));
    WriteFile(src / "c.bin", RandomBytes(2500, 3));
    for (const std::string& f : Files)
        fs::permissions(src / f, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                     fs::perms::others_read);
    ASSERT_EQ(RunTool({"touch", "-d", "@981173106", "a.txt", "b.txt", "c.bin"}, src).ExitCode, 0);

    const std::string whole = row.Make(src, row.File);
    ASSERT_FALSE(whole.empty());
    fs::create_directories(ref);
    WriteFile(ref / row.File, whole);
    if (!row.Reference.empty()) {
        const ToolResult r = RunTool(Substitute(row.Reference, ref / row.File, ref), ref);
        ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        fs::remove(ref / row.File);
    }
    const auto want = FilesOf(row.Reference.empty() ? src : ref);
    ASSERT_FALSE(want.empty());
    const TArchiveMap map = row.Map(whole);
    ASSERT_GE(map.Headers.size(), 2u) << "the walker found no headers";
    std::vector<TVariant> variants = DamageVariants(whole, map);
    if (row.Inner) std::ranges::move(InnerDamageVariants(whole, row.Inner), std::back_inserter(variants));
    std::cout << row.Format << ": " << variants.size() << " variants\n";

    // The program names a cause in its error log or in a message other than of success.
    const std::regex quillarCause("(^|\n)(Error No : |Quillar: (?!No errors were found|Extraction "
                                  "completed)|> Testing: .* \\.\\.\\. Failed)");
    const fs::path quillar = fs::path(QUILLAR_BINARY_DIR) / "app" / "quillar";
    std::vector<std::string> findings(variants.size());
    const auto sweep = [&](std::size_t I) {
        const TVariant& v = variants[I];
        const fs::path vd = dir / ("v" + std::to_string(I)), archive = vd / row.File, probeOut = vd / "probe";
        fs::create_directories(vd);
        WriteFile(archive, v.Bytes);
        // Exit 0: Out holds every file whole (unless the format cannot see the damage); else
        // exit 1 and Cause in what the path printed.
        const auto judge = [&](const std::string& Path, const ToolResult& R, const std::string& Text,
                               const char* Cause, const fs::path& Out) {
            std::string wrong;
            if (R.ExitCode == 0 && v.Label.empty())
                for (const auto got = FilesOf(Out); const auto& [name, bytes] : want)
                    if (!got.contains(name) || got.at(name) != bytes)
                        wrong += name + (got.contains(name) ? " differs; " : " missing; ");
            if (R.ExitCode != 0 && R.ExitCode != 1) wrong = "exit status is not 1";
            if (R.ExitCode == 1 && !std::regex_search(Text, Cause ? std::regex(Cause) : quillarCause))
                wrong = "no cause named";
            if (!wrong.empty())
                findings[I] += row.Format + std::string(" | ") + v.What + " | " + Path + " | exit " +
                               std::to_string(R.ExitCode) + " | " + wrong + "\n";
        };
        const ToolResult extracted = RunProbe({"extract", archive.string(), probeOut.string()}, vd);
        judge("krvprobe extract", extracted, extracted.Out, "\tERROR [0-9]+ ", probeOut);
        const ToolResult tested = RunProbe({"test", archive.string()}, vd);
        judge("krvprobe test", tested, tested.Out, "\tFAIL [0-9]+ ", probeOut);
        if (I % 8 == 0 || extracted.ExitCode == 0 || tested.ExitCode == 0) {
            const ToolResult t = RunTool({quillar.string(), "-T", archive.string()}, vd);
            judge("quillar -T", t, t.Err, nullptr, probeOut);
            const ToolResult x =
                RunTool({quillar.string(), "-DDEH", (vd / "cli").string(), archive.string()}, vd);
            judge("quillar -DDEH", x, x.Err, nullptr, vd / "cli");
        }
        fs::remove_all(vd);
    };
    // The whole archive first, alone: the program's first run writes its settings.
    sweep(0);
    ASSERT_TRUE(findings[0].empty()) << "the whole archive:\n" << findings[0];
    std::atomic<std::size_t> next = 1;
    std::vector<std::jthread> workers;
    for (unsigned t = 0; t < std::clamp(std::thread::hardware_concurrency() / 2, 1u, 4u); ++t)
        workers.emplace_back([&] {
            for (std::size_t i; (i = next++) < variants.size();)
                sweep(i);
        });
    workers.clear();
    const auto failed = std::ranges::count_if(findings, [](const std::string& F) { return !F.empty(); });
    std::string all;
    for (const std::string& f : findings)
        all += f;
    EXPECT_EQ(failed, 0) << row.Format << ": " << failed << " of " << variants.size() << " variants\n" << all;
}

INSTANTIATE_TEST_SUITE_P(Formats, DamageSweep, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<TSweepRow>& Info) { return Info.param.Format; });

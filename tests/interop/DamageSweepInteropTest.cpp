// The damage sweep: for every readable format, a whole archive of three files (or more) made by
// a peer tool (or taken from the corpus; bh by our own writer) is cut at and around each header
// boundary, has each header byte changed and each size or offset field enlarged and shrunk.
// Whenever krvprobe test or extract, quillar -T or quillar -DDEH exits 0 on such a variant,
// every entry of the whole archive is on disk byte-identical to what the reference tool
// extracts from the whole archive (for a test: in krvprobe's extraction); otherwise the run
// exits 1 and names a cause. Only the damage a format cannot see is exempt, by its label.
//
// Cost: krvprobe's two paths run on every variant; the program's two paths (a Qt process each,
// ten times krvprobe's start-up) run on every variant that a krvprobe path passes and on every
// eighth of the rest. The variants of a format run on a few threads; each format is a test
// case of its own, so ctest runs the formats side by side.
#include "DamageSweep.h"
#include "DamagedArchives.h"
#include "TestSupport.h"
#include "ZooBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
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
    TArchiveMap (*Map)(const std::string&);
    TArgv Reference; // extracts the whole archive ({} it, {out} the folder, run in {out}); {}: Src
    // Labels of the damage the format cannot see, each with why.
    std::vector<std::pair<std::string, std::string>> Unseen;
    // The walker of the archive a compressed one holds, whose damage is compressed again.
    TArchiveMap (*Inner)(const std::string&) = nullptr;
};

void PrintTo(const TSweepRow& Row, std::ostream* Out) {
    *Out << Row.Format;
}

// The archive Argv writes ({} stands for it), run in Src.
TMake Tool(TArgv Argv, void (*Fix)(std::string&) = nullptr) {
    return [=](const fs::path& Src, const std::string& File) {
        const fs::path made = Src.parent_path() / "made" / File;
        fs::create_directories(made.parent_path());
        const ToolResult r = RunTool(Substitute(Argv, made), Src);
        EXPECT_EQ(r.ExitCode, 0) << Argv[0] << ": " << r.Out << r.Err;
        std::string bytes = ReadFile(made);
        if (Fix) Fix(bytes);
        return bytes;
    };
}

// What the commands print, one after another, run in Src.
TMake Output(std::vector<TArgv> Commands) {
    return [=](const fs::path& Src, const std::string&) {
        std::string out;
        for (const TArgv& c : Commands) {
            const ToolResult r = RunTool(c, Src);
            EXPECT_EQ(r.ExitCode, 0) << c[0] << ": " << r.Err;
            out += r.Out;
        }
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
    const TArgv tar = {"tar",       "--format=ustar", "--mtime=@981173106",
                       "--owner=0", "--group=0",      "--numeric-owner"};
    const auto with = [](TArgv A, const TArgv& B) {
        A.insert(A.end(), B.begin(), B.end());
        return A;
    };
    const TArgv unar = {"unar", "-q", "-D", "-o", "{out}", "{}"}, sevenzip = {"7zz", "x", "-o{out}", "{}"};
    const TArgv unzip = {"unzip", "-q", "{}", "-d", "{out}"},
                uudeview = {"uudeview", "-i", "-q", "-p", "{out}/", "{}"};
    const std::pair<std::string, std::string> name = {"name", "no checksum covers the stored name"};
    const std::vector<std::pair<std::string, std::string>> tarSizes = {
        {"refitted size",
         "tar keeps no checksum of the data: a size ending in the same last block, or in the "
         "zeros after the last entry, with the header checksum made to fit"}};
    const std::vector<std::pair<std::string, std::string>> encoded = {
        {"data line", "an encoded line has no checksum"},
        name,
        {"file cut", "cut after a file's end line, the text is a whole one of fewer files"}};
    return {
        {"Zip", "made.zip", Tool(with({"zip", "-X", "-q", "{}"}, Files)), MapZip, unzip, {}},
        {"Jar", "made.jar", Tool(with({"7zz", "a", "-tzip", "-bso0", "{}"}, Files)), MapZip, unzip, {}},
        {"Lha", "multiple.lzh", Corpus("lhasa/regression/multiple.lzh"), MapLha, {"lhasa", "x", "{}"}, {}},
        {"Arj", "made.arj", Tool(with({"arj", "a", "-i", "{}"}, Files), FixArjTimes), MapArj, sevenzip, {}},
        {"Arc", "made.arc", Tool(with({"arc", "a", "{}"}, Files)), MapArc, {"arc", "x", "{}"}, {name}},
        {"Zoo", "made.zoo", ZooOfFiles, MapZoo, unar, {name}},
        {"Bh",
         "made.bh",
         Tool(with({ProbePath().string(), "add", "{}", "-m", "deflate"}, Files)),
         MapBh,
         {},
         {name, {"header cut", "cut where a header begins, it is a whole archive of fewer entries"}}},
        {"Tar",
         "made.tar",
         Tool(with(with(tar, {"-cf", "{}"}), Files)),
         MapTar,
         {"tar", "-xf", "{}"},
         tarSizes},
        {"TarGz",
         "made.tgz",
         Tool(with(with(tar, {"-czf", "{}"}), Files)),
         MapGzip,
         {"tar", "-xzf", "{}"},
         tarSizes,
         MapTar},
        // Three members, which decode into one file named after the first.
        {"Gz",
         "made.gz",
         Output({{"gzip", "-c", "a.txt"}, {"gzip", "-c", "b.txt"}, {"gzip", "-c", "c.bin"}}),
         MapGzip,
         sevenzip,
         {{"name", "the first member's name names the output; no checksum covers it"},
          {"member cut", "cut where a member begins, it is a whole gzip file of fewer members"}}},
        {"Compress",
         "b.txt.Z",
         Output({{"compress", "-c", "b.txt"}}),
         MapCompress,
         sevenzip,
         {{"data cut", "a .Z keeps neither length nor checksum: data cut at a code is a shorter file"}}},
        {"Cab",
         "made.cab",
         Tool(with({"gcab", "-c", "-z", "{}"}, Files)),
         MapCab,
         {"cabextract", "-q", "{}"},
         {name}},
        {"Rar",
         "windows.rar",
         Corpus("libarchive/rar/read_format_rar_windows.rar"),
         MapRar,
         unar,
         {{"header cut", "rar 4 may end without an end block: cut where a block begins, it is a whole "
                         "archive of fewer entries (lsar and unar pass it)"}}},
        {"Rar5",
         "multiple.rar",
         Corpus("libarchive/rar/read_format_rar5_multiple_files.rar"),
         MapRar5,
         unar,
         {}},
        {"Uu", "made.uue",
         Output({{"uuencode", "a.txt", "a.txt"},
                 {"uuencode", "b.txt", "b.txt"},
                 {"uuencode", "c.bin", "c.bin"}}),
         MapUu, uudeview, encoded},
        {"Xx", "made.xxe",
         Output({{"uuenview", "-x", "a.txt"}, {"uuenview", "-x", "b.txt"}, {"uuenview", "-x", "c.bin"}}),
         MapXx, uudeview, encoded},
    };
}

class DamageSweep : public ::testing::TestWithParam<TSweepRow> {};

} // namespace

TEST_P(DamageSweep, EveryPathThatSucceedsGivesEveryEntryWhole) {
    const TSweepRow& row = GetParam();
    TempDir dir;
    const fs::path home = dir / "home", src = dir / "src";
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
    const fs::path ref = dir / "ref";
    fs::create_directories(ref);
    WriteFile(ref / row.File, whole);
    if (!row.Reference.empty()) {
        const ToolResult r = RunTool(Substitute(row.Reference, ref / row.File, ref), ref);
        ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        fs::remove(ref / row.File);
    }
    const auto want = row.Reference.empty() ? FilesOf(src) : FilesOf(ref);
    ASSERT_FALSE(want.empty());
    const TArchiveMap map = row.Map(whole);
    ASSERT_GE(map.Headers.size(), 2u) << "the walker found no headers";
    std::vector<TVariant> variants = DamageVariants(whole, map);
    if (row.Inner) std::ranges::move(InnerDamageVariants(whole, row.Inner), std::back_inserter(variants));

    // "" when every file of the whole archive is in Out as it should be, else what is not.
    const auto missing = [&](const fs::path& Out) {
        const auto got = FilesOf(Out);
        std::string bad;
        for (const auto& [name, bytes] : want)
            if (!got.contains(name))
                bad += name + " missing; ";
            else if (got.at(name) != bytes)
                bad += name + " differs; ";
        return bad;
    };
    // The program names a cause in its error log or in a message other than of success.
    const std::regex quillarCause("(^|\n)(Error No : |Quillar: (?!No errors were found|Extraction "
                                  "completed)|> Testing: .* \\.\\.\\. Failed)");
    std::vector<std::vector<std::string>> findings(variants.size());
    const auto sweep = [&](std::size_t I) {
        const TVariant& v = variants[I];
        const bool unseen =
            std::ranges::any_of(row.Unseen, [&](const auto& U) { return U.first == v.Label; });
        const fs::path vd = dir / ("v" + std::to_string(I)), archive = vd / row.File;
        fs::create_directories(vd);
        WriteFile(archive, v.Bytes);
        // Exit 0: Out holds everything whole; else exit 1 and Cause in what the path printed.
        const auto judge = [&](const std::string& Path, const ToolResult& R, const std::string& Text,
                               const std::regex& Cause, const fs::path& Out) {
            std::string wrong;
            if (R.ExitCode == 0 && !unseen)
                wrong = missing(Out);
            else if (R.ExitCode != 0 && R.ExitCode != 1)
                wrong = "exit status is not 1";
            else if (R.ExitCode == 1 && !std::regex_search(Text, Cause))
                wrong = "no cause named";
            if (!wrong.empty())
                findings[I].push_back(v.What + " | " + Path + " | exit " + std::to_string(R.ExitCode) +
                                      " | " + wrong);
        };
        const fs::path probeOut = vd / "probe", cliOut = vd / "cli";
        const ToolResult extracted = RunProbe({"extract", archive.string(), probeOut.string()}, vd);
        judge("krvprobe extract", extracted, extracted.Out, std::regex("\tERROR [0-9]+ "), probeOut);
        const ToolResult tested = RunProbe({"test", archive.string()}, vd);
        judge("krvprobe test", tested, tested.Out, std::regex("\tFAIL [0-9]+ "), probeOut);
        if (I % 8 == 0 || extracted.ExitCode == 0 || tested.ExitCode == 0) {
            const fs::path quillar = fs::path(QUILLAR_BINARY_DIR) / "app" / "quillar";
            const ToolResult t = RunTool({quillar.string(), "-T", archive.string()}, vd);
            judge("quillar -T", t, t.Err, quillarCause, probeOut);
            const ToolResult x = RunTool({quillar.string(), "-DDEH", cliOut.string(), archive.string()}, vd);
            judge("quillar -DDEH", x, x.Err, quillarCause, cliOut);
        }
        fs::remove_all(vd);
    };
    // The whole archive first, alone: the program's first run writes its settings.
    sweep(0);
    ASSERT_TRUE(findings[0].empty()) << row.Format << ", the whole archive:\n" << findings[0][0];
    std::atomic<std::size_t> next = 1;
    std::vector<std::jthread> workers;
    for (unsigned t = 0; t < std::clamp(std::thread::hardware_concurrency() / 2, 1u, 4u); ++t)
        workers.emplace_back([&] {
            for (std::size_t i; (i = next++) < variants.size();)
                sweep(i);
        });
    workers.clear();

    std::string all;
    std::size_t failed = 0;
    for (const auto& f : findings) {
        failed += !f.empty();
        for (const std::string& line : f)
            all += row.Format + std::string(" | ") + line + "\n";
    }
    EXPECT_EQ(failed, 0u) << row.Format << ": " << failed << " of " << variants.size() << " variants\n"
                          << all;
}

INSTANTIATE_TEST_SUITE_P(Formats, DamageSweep, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<TSweepRow>& Info) { return Info.param.Format; });

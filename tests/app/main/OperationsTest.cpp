// The operations of app/ops run the same way from the window, the command line and the batch
// tool: archives made by zip, tar, lha and gcab tested and extracted three ways give the same
// verdicts and the same files as the real tools extract. And the faults that came from copies
// of an operation: the batch scan per scanner preset (a recording scanner), the current
// password on a drop (checked with unzip -Z), "-A" replacing an archive only once the new one
// is whole, the configuration switch ending under the automatic prompter, and the failures
// that are not checksum errors (an AES entry made by 7-Zip, a blocked output path, a cancelled
// password) named as what they are.
#include "MainWindowFixture.h"
#include "ProcessRun.h"
#include "ToolChecks.h"

#include "DialogDriver.h"
#include "SmallDisk.h"
#include "app/common/AppSettings.h"
#include "app/dialogs/Batch.h"
#include "app/dialogs/Configuration.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/GetPassword.h"
#include "app/common/SettingValues.h"
#include "app/dialogs/ViewOutput.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimer>
#include <map>
#include <sstream>
#include <sys/stat.h>

using namespace testsupport;

namespace {

// Every file under Root: its path relative to Root and its bytes.
std::map<std::string, std::string> Tree(const fs::path& Root) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(Root)) return tree;
    for (auto it = fs::recursive_directory_iterator(Root); it != fs::recursive_directory_iterator(); ++it)
        if (it->is_regular_file()) tree[fs::relative(it->path(), Root).string()] = ReadFile(it->path());
    return tree;
}

// The names and sizes of a tree, for the failure messages.
std::string Names(const std::map<std::string, std::string>& Tree) {
    std::string names;
    for (const auto& [name, bytes] : Tree)
        names += name + " (" + std::to_string(bytes.size()) + ") ";
    return names;
}

bool Has(const std::string& Text, const std::string& Part) {
    return Text.find(Part) != std::string::npos;
}

class TOperations : public MainWindowTest {
protected:
    TOperations() {
        WriteDefaultSettings();
        WriteFile(FWork / "src/a.txt", "hello\n");
        WriteFile(FWork / "src/b.bin", RandomBytes(70000, 3));
        WriteFile(FWork / "src/dir/c.txt", TextBytes(9000, 5));
    }

    // The command line as a whole process: every question takes its default answer.
    ToolResult Quillar(const std::vector<std::string>& Arguments) {
        const EnvGuard platform("QT_QPA_PLATFORM", "offscreen"), automatic("QUILLAR_PROMPTER", "auto");
        return RunQuillar(Arguments, FWork.Path());
    }

    // The batch tool's result lines (before its footer) for Operation over Files.
    std::string Batch(int Operation, const std::vector<fs::path>& Files,
                      const std::function<void(TfmBatch&)>& Options = {}) {
        TfmBatch batch;
        batch.SetupBatchOperation(Operation);
        QStringList files;
        for (const fs::path& file : Files)
            files << Q(file);
        batch.AddSelectedFiles(files);
        if (Options) Options(batch);
        for (int i = 0; i < 6 && batch.CurrentPage() != 2; ++i)
            batch.NextClick();
        QStringList all = Find<QPlainTextEdit>(batch, "meResults")->toPlainText().split('\n');
        all.resize(std::max<qsizetype>(all.size() - 2, 0));
        while (!all.isEmpty() && all.back().isEmpty())
            all.removeLast();
        return all.join('\n').toStdString();
    }

    TempDir FWork;
};

// Each archive (made by zip, tar, gcab, and a Unix lha from the corpus) tested and extracted by
// the window, the command line and the batch tool: the three agree on the verdict, and each
// extraction holds exactly the files the real tool (unzip, tar, lhasa, cabextract) gives.
TEST_F(TOperations, TestAndExtractAgreeThreeWaysWithTheRealTools) {
    const fs::path src = FWork / "src";
    Must(RunTool({"zip", "-q", "-X", "-r", (FWork / "t.zip").string(), "."}, src));
    Must(RunTool({"tar", "-cf", (FWork / "t.tar").string(), "a.txt", "b.bin", "dir"}, src));
    Must(RunTool({"gcab", "-c", "-z", (FWork / "t.cab").string(), "a.txt", "b.bin"}, src));
    fs::copy_file(fs::path(QUILLAR_CORPUS_DIR) / "lhasa/lha_unix114i/h0_lh5.lzh", FWork / "t.lzh");
    std::string bad = ReadFile(FWork / "t.zip");
    bad[bad.find("hello")] ^= 0x20; // a.txt is stored: its checksum no longer fits
    WriteFile(FWork / "bad.zip", bad);

    struct TCase {
        const char* Archive;
        std::vector<std::string> Reference; // the real tool's extraction into "ref"
        bool Testable;                      // the tester takes the type (not a cabinet)
        bool Whole;                         // every entry comes out
    } const cases[] = {
        {"t.zip", {"unzip", "-q", "-d", "ref", "t.zip"}, true, true},
        {"t.tar", {"sh", "-c", "mkdir ref && tar -xf t.tar -C ref"}, true, true},
        {"t.lzh", {"sh", "-c", "mkdir ref && cd ref && lhasa -xq ../t.lzh"}, true, true},
        {"t.cab", {"cabextract", "-q", "-d", "ref", "t.cab"}, false, true},
        {"bad.zip", {"sh", "-c", "unzip -q -d ref bad.zip; rm -f ref/a.txt"}, true, false},
    };
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Archive);
        const fs::path archive = FWork / c.Archive;
        fs::remove_all(FWork / "ref");
        RunTool(c.Reference, FWork.Path());
        const auto reference = Tree(FWork / "ref");
        ASSERT_FALSE(reference.empty());
        if (c.Archive == std::string("t.zip")) Must(RunTool({"unzip", "-tq", archive.string()}));
        if (c.Archive == std::string("t.lzh")) Must(RunTool({"lhasa", "t", archive.string()}));

        // The test verdict, three ways.
        const bool passes = c.Testable && c.Whole;
        // A failed test shows its log.
        if (!passes) AnswerNextModal<TfmViewOutput>([](TfmViewOutput& Window) { Window.done(mrOk); });
        EXPECT_EQ(FWindow->CmdTest(Q(archive)), passes);
        EXPECT_EQ(Quillar({"-T", archive.string()}).ExitCode, passes ? 0 : 1);
        EXPECT_EQ(Batch(boTest, {archive}),
                  passes ? archive.string() + " ::: Passed" : ">> " + archive.string() + " ::: FAILED <<");

        // The extraction, three ways.
        TExtractOptions options;
        options.Archive = Q(archive);
        options.Folder = Q(FWork / "window");
        options.ConfirmOverwrites = false;
        const TExtractResult result = FWindow->RunExtraction(options, false);
        EXPECT_EQ(result.Succeeded(), c.Whole);
        EXPECT_EQ(result.Failed, c.Whole ? 0 : 1);
        EXPECT_EQ(result.Count(TOpCause::Crc), c.Whole ? 0 : 1);
        const ToolResult cli = Quillar({"-DDEH", (FWork / "cli").string(), archive.string()});
        EXPECT_EQ(cli.ExitCode, c.Whole ? 0 : 1) << cli.Err;
        const std::string lines = Batch(boExtract, {archive}, [this](TfmBatch& B) {
            Find<QRadioButton>(B, "rbOutputFolder")->setChecked(true);
            Find<QLineEdit>(B, "rxdeOutputFolder")->setText(Q(FWork / "batch"));
        });
        EXPECT_EQ(Has(lines, "ERROR"), !c.Whole) << lines;
        EXPECT_TRUE(Tree(FWork / "window") == reference)
            << "window: " << Names(Tree(FWork / "window")) << "\nref: " << Names(reference);
        EXPECT_TRUE(Tree(FWork / "cli") == reference)
            << "cli: " << Names(Tree(FWork / "cli")) << "\nref: " << Names(reference);
        EXPECT_TRUE(Tree(FWork / "batch") == reference)
            << "batch: " << Names(Tree(FWork / "batch")) << "\nref: " << Names(reference);
        if (!c.Whole) {
            // The command line names the cause and prints its log's errors.
            EXPECT_TRUE(Has(cli.Err, "CRC error: 1")) << cli.Err;
            EXPECT_TRUE(Has(cli.Err, "Error No : 25151")) << cli.Err;
        }
        for (const char* folder : {"window", "cli", "batch"})
            fs::remove_all(FWork / folder);
    }
}

// The batch scan runs every preset's scanner the way the window's scan does: in the folder the
// archive was extracted into, with "*.*" or "." naming it.
TEST_F(TOperations, BatchScanRunsEveryPresetOnTheExtractedFolder) {
    Must(RunTool({"zip", "-q", "-X", "-r", (FWork / "t.zip").string(), "."}, FWork / "src"));
    TempDir bin;
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    for (std::size_t preset = 2; preset < std::size(AntivirusPresets); ++preset) {
        SCOPED_TRACE(AntivirusPresets[preset].Item);
        const fs::path scanner = bin / AntivirusPresets[preset].Program;
        const fs::path log = FWork / "scan.log";
        WriteFile(
            scanner,
            "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"arg:$a\"; done; find . -type f | sort; } > '" +
                log.string() + "'\nexit 0\n");
        ::chmod(scanner.c_str(), 0755);
        AppSettings().AVProduct = static_cast<int>(preset);
        AppSettings().VirusScanner = scanner.string();
        AppSettings().Parameters = AntivirusPresets[preset].Parameters;
        std::vector<std::vector<std::string>> runs;
        for (int way = 0; way < 2; ++way) {
            fs::remove(log);
            if (way == 0)
                EXPECT_EQ(Batch(boVirusScan, {FWork / "t.zip"}),
                          (FWork / "t.zip").string() + " ::: Archive scanned");
            else
                EXPECT_TRUE(FWindow->CmdVirusScan(Q(FWork / "t.zip")));
            std::istringstream in(ReadFile(log));
            std::vector<std::string> lines;
            for (std::string line; std::getline(in, line);)
                lines.push_back(line);
            ASSERT_GE(lines.size(), 4U);
            EXPECT_FALSE(fs::exists(lines[0])); // the private folder is gone
            lines[0] = "folder";
            runs.push_back(lines);
        }
        // The scanner saw the extracted files, and the same arguments both ways.
        const std::vector<std::string> files = {"./a.txt", "./b.bin", "./dir/c.txt"};
        EXPECT_TRUE(std::equal(files.begin(), files.end(), runs[0].end() - 3)) << runs[0].back();
        EXPECT_EQ(runs[0], runs[1]);
    }
    AppSettings().AVProduct = 0;
    AppSettings().VirusScanner.clear();
    AppSettings().Parameters.clear();
}

// A folder dropped on an open enciphered zip is added enciphered with the archive's password,
// as every add is.
TEST_F(TOperations, ADropOnAnEncipheredZipEnciphersWithItsPassword) {
    Must(RunTool({"zip", "-q", "-X", "-P", "sesame", (FWork / "e.zip").string(), "a.txt"}, FWork / "src"));
    Open();
    Display((FWork / "e.zip").string());
    FPrompter.Prompter().DefaultsAllowed = true;
    CurrentArchivePassword() = QStringLiteral("sesame");
    FWindow->DropFileTargetDrop({Q(FWork / "src/dir")});
    int enciphered = 0;
    EXPECT_EQ(ZipinfoEntries(FWork / "e.zip", enciphered), 2);
    EXPECT_EQ(enciphered, 2);
    Must(RunTool({"unzip", "-tq", "-P", "sesame", (FWork / "e.zip").string()}));
}

// "-A" onto an existing archive writes only the new files; when the new archive cannot be
// written whole, the old one stays byte for byte.
TEST_F(TOperations, CommandLineAddReplacesOnlyOnceTheNewArchiveIsWhole) {
    SmallDisk disk(FWork / "disk");
    ASSERT_TRUE(disk.Mounted) << "a tmpfs cannot be mounted here";
    const fs::path old = FWork / "disk/old.zip";
    Must(RunTool({"zip", "-q", "-X", old.string(), "a.txt"}, FWork / "src"));
    const std::string before = ReadFile(old);
    WriteFile(FWork / "big.bin", RandomBytes(3000000, 9));
    const ToolResult full = Quillar({"-A", old.string(), (FWork / "big.bin").string()});
    EXPECT_EQ(full.ExitCode, 1) << full.Err;
    EXPECT_EQ(ReadFile(old), before);
    EXPECT_EQ(Tree(FWork / "disk").size(), 1U);

    const ToolResult replaced = Quillar({"-A", old.string(), (FWork / "src/dir")});
    EXPECT_EQ(replaced.ExitCode, 0) << replaced.Err;
    const ToolResult names = RunTool({"unzip", "-Z1", old.string()});
    EXPECT_EQ(names.Out, "dir/c.txt\n");
}

// The configuration dialog opens through the one modal path: under the automatic prompter it
// takes its default answer and the run ends.
TEST_F(TOperations, ConfigurationSwitchEndsUnderTheAutomaticPrompter) {
    const ToolResult run = Quillar({"-SYS", "-CONFIG", "3"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
}

// Failures that are not checksum errors are named as what they are.
TEST_F(TOperations, FailuresAreNamedByTheirCause) {
    const fs::path src = FWork / "src";
    Must(RunTool(
        {"7zz", "a", "-bd", "-tzip", "-mem=AES256", "-psecret", (FWork / "aes.zip").string(), "a.txt"}, src));
    const ToolResult aes = Quillar({"-DDEH", (FWork / "out1").string(), (FWork / "aes.zip").string()});
    EXPECT_EQ(aes.ExitCode, 1);
    EXPECT_TRUE(Has(aes.Err, "Some files use a method this program cannot extract.")) << aes.Err;
    EXPECT_TRUE(Has(aes.Err, "Unsupported method: 1")) << aes.Err;
    EXPECT_FALSE(Has(aes.Err, "CRC error")) << aes.Err;

    // A file where the entry's folder must go blocks its output.
    Must(RunTool({"zip", "-q", "-X", "-r", (FWork / "t.zip").string(), "dir"}, src));
    WriteFile(FWork / "out2/dir", "in the way");
    const ToolResult blocked = Quillar({"-DDEH", (FWork / "out2").string(), (FWork / "t.zip").string()});
    EXPECT_EQ(blocked.ExitCode, 1);
    // The folder entry and the file in it.
    EXPECT_TRUE(Has(blocked.Err, "Output blocked: 2")) << blocked.Err;
    EXPECT_FALSE(Has(blocked.Err, "CRC error")) << blocked.Err;
    EXPECT_EQ(ReadFile(FWork / "out2/dir"), "in the way");

    // A wrong password and then the right one: a success. Cancel in the password box: a cancel
    // that leaves no folder behind.
    Must(RunTool({"zip", "-q", "-X", "-r", "-P", "sesame", (FWork / "e.zip").string(), "dir"}, src));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    struct TCase {
        std::vector<QString> Answers; // empty: Cancel
        bool Whole;
        const char* Said;
    } const cases[] = {
        {{"wrong", "sesame"}, true, "Extraction completed."},
        {{}, false, "Extraction cancelled."},
    };
    for (const TCase& c : cases) {
        CurrentArchivePassword().clear();
        std::size_t asked = 0;
        QTimer answers;
        answers.setInterval(0);
        QObject::connect(&answers, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<TfmGetPassword*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return;
            if (asked >= c.Answers.size()) {
                dialog->done(mrCancel);
                return;
            }
            Find<QLineEdit>(*dialog, "edPassword")->setText(c.Answers[asked++]);
            dialog->done(mrOk);
        });
        answers.start();
        AppSettings().ConfirmDecompress = true;
        TExtractOptions options;
        options.Archive = Q(FWork / "e.zip");
        options.Folder = Q(FWork / "out3");
        const TExtractResult result = FWindow->RunExtraction(options, true);
        answers.stop();
        EXPECT_EQ(result.Succeeded(), c.Whole);
        EXPECT_EQ(result.Failed, 0);
        EXPECT_TRUE(FPrompter.Prompter().Prompts.back().Text.startsWith(c.Said))
            << FPrompter.Prompter().Prompts.back().Text.toStdString();
        if (c.Whole)
            EXPECT_EQ(ReadFile(FWork / "out3/dir/c.txt"), ReadFile(src / "dir/c.txt"));
        else
            EXPECT_FALSE(fs::exists(FWork / "out3"));
        fs::remove_all(FWork / "out3");
    }
}

} // namespace

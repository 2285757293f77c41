// The batch tool over small fixtures (a good zip, one with a bad CRC, a file that is no
// archive, a missing file): each operation's result lines exactly, its output checked with
// the real tools (unzip, tar, lha), sources that survive a failed step, the scanner's
// arguments as a recording stand-in receives them, a full disk and cancel.
#include "app/dialogs/Batch.h"
#include "ToolChecks.h"
#include "app/common/AppSettings.h"

#include "DialogDriver.h"
#include "RegistrySandbox.h"
#include "ScriptedPrompter.h"
#include "SmallDisk.h"
#include "SplitZipSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

class BatchTool : public ::testing::Test {
protected:
    BatchTool() {
        WriteFile(FDir / "a.txt", "hello\n");
        WriteFile(FDir / "b.txt", TextBytes(10000));
        EXPECT_EQ(RunTool({"zip", "-q", "good.zip", "a.txt", "b.txt"}, FDir.Path()).ExitCode, 0);
        // A stored entry with one byte of its data changed: the CRC no longer matches.
        WriteFile(FDir / "c.txt", "0123456789abcdefghij");
        EXPECT_EQ(RunTool({"zip", "-q", "-0", "bad.zip", "c.txt"}, FDir.Path()).ExitCode, 0);
        std::string bad = ReadFile(FDir / "bad.zip");
        bad[bad.find("abcdef")] = 'X';
        WriteFile(FDir / "bad.zip", bad);
        WriteFile(FDir / "junk.zip", "this is no archive at all\n");
        fs::remove(FDir / "c.txt");
        // A folder entry first, then b.txt with its local-header signature damaged.
        fs::create_directories(FDir / "d");
        EXPECT_EQ(RunTool({"zip", "-q", "hdr.zip", "d/", "b.txt", "a.txt"}, FDir.Path()).ExitCode, 0);
        std::string hdr = ReadFile(FDir / "hdr.zip");
        hdr[hdr.find("PK\x03\x04", 1) + 1] = 'X';
        WriteFile(FDir / "hdr.zip", hdr);
    }

    // Runs Operation over Files with Options set on the dialog; the result lines before the footer,
    // one per line.
    std::string Run(int Operation, const std::vector<std::string>& Files,
                    const std::function<void(TfmBatch&)>& Options = {}) {
        TfmBatch batch;
        batch.SetupBatchOperation(Operation);
        QStringList files;
        for (const std::string& file : Files)
            files << Q(FDir / file);
        batch.AddSelectedFiles(files);
        if (Options) Options(batch);
        for (int i = 0; i < 6 && batch.CurrentPage() != 2; ++i)
            batch.NextClick();
        EXPECT_EQ(batch.CurrentPage(), 2);
        QStringList all = Find<QPlainTextEdit>(batch, "meResults")->toPlainText().split('\n');
        EXPECT_TRUE(all.back().startsWith("Quillar - "));
        EXPECT_TRUE(all.value(all.size() - 2).startsWith("Batch Operation Completed:"));
        EXPECT_EQ(Find<QPushButton>(batch, "buCancel")->text(), "&Close");
        all.resize(all.size() - 2);
        while (!all.isEmpty() && all.back().isEmpty())
            all.removeLast();
        return all.join('\n').toStdString();
    }

    std::string P(const std::string& Name) { return (FDir / Name).string(); }

    RegistrySandbox FRegistry;
    ScriptedPrompterGuard FPrompter;
    TempDir FDir;
};

std::string Lines(const std::vector<std::string>& Lines) {
    std::string text;
    for (const std::string& line : Lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

template <typename T> void Set(TfmBatch& Batch, const char* Name, bool On) {
    Find<T>(Batch, Name)->setChecked(On);
}

} // namespace

TEST_F(BatchTool, TestExtractAndMakeExeReportEachArchive) {
    EXPECT_EQ(Run(boTest, {"good.zip", "bad.zip", "hdr.zip", "junk.zip", "missing.zip"}),
              Lines({P("good.zip") + " ::: Passed", ">> " + P("bad.zip") + " ::: FAILED <<",
                     ">> " + P("hdr.zip") + " ::: FAILED <<", ">> " + P("junk.zip") + " ::: FAILED <<",
                     P("missing.zip") + " ::: ERROR: File missing"}));

    const fs::path out = FDir / "out";
    EXPECT_EQ(
        Run(boExtract, {"good.zip", "bad.zip", "hdr.zip", "junk.zip", "missing.zip"},
            [&](TfmBatch& b) {
                Set<QRadioButton>(b, "rbOutputFolder", true);
                Find<QLineEdit>(b, "rxdeOutputFolder")->setText(Q(out));
                Set<QCheckBox>(b, "ckExtractToSubfolder", true);
            }),
        Lines({P("good.zip") + " -> " + (out / "good_zip/").string() + " ::: 2 files extracted",
               P("bad.zip") + " ::: ERROR: Unable to extract", P("hdr.zip") + " ::: ERROR: Unable to extract",
               P("junk.zip") + " ::: ERROR: Unable to extract", P("missing.zip") + " ::: File missing"}));
    EXPECT_EQ(ReadFile(out / "good_zip/b.txt"), ReadFile(FDir / "b.txt"));
    EXPECT_EQ(ReadFile(out / "good_zip/a.txt"), "hello\n");

    EXPECT_EQ(Run(boMakeExe, {"good.zip", "junk.zip", "missing.zip"}),
              Lines({P("good_zip.exe") + " ::: Created", P("junk_zip.exe") + " ::: ERROR: Unable to create",
                     P("missing.zip") + " ::: ERROR: Source file missing"}));
    EXPECT_EQ(RunTool({"unzip", "-t", (FDir / "good_zip.exe").string()}).ExitCode, 0);
    EXPECT_FALSE(fs::exists(FDir / "junk_zip.exe"));
}

TEST_F(BatchTool, ConvertAndCreateDeleteASourceOnlyAfterSuccess) {
    const auto convert = [](TfmBatch& b) {
        Set<QRadioButton>(b, "rbGz", true);
        Set<QCheckBox>(b, "ckDeleteSource", true);
    };
    EXPECT_EQ(Run(boConvert, {"good.zip", "bad.zip", "missing.zip"}, convert),
              Lines({P("good_zip.tar.gz") + " ::: Created", P("bad_zip.tar.gz") + " ::: ERROR",
                     P("missing.zip") + " ::: ERROR: Source file missing"}));
    const std::string names = RunTool({"tar", "-tzf", (FDir / "good_zip.tar.gz").string()}).Out;
    EXPECT_TRUE(names == "a.txt\nb.txt\n" || names == "b.txt\na.txt\n") << names;
    EXPECT_FALSE(fs::exists(FDir / "good.zip"));
    EXPECT_TRUE(fs::exists(FDir / "bad.zip"));
    EXPECT_FALSE(fs::exists(FDir / "bad_zip.tar.gz"));

    // An existing target: declined, no result line; confirmed, it is replaced.
    WriteFile(FDir / "bad_zip.lzh", "keep me");
    FPrompter.Prompter().Answers = {mrNo};
    EXPECT_EQ(Run(boConvert, {"bad.zip"}, [](TfmBatch& b) { Set<QRadioButton>(b, "rbLzh", true); }), "");
    EXPECT_EQ(ReadFile(FDir / "bad_zip.lzh"), "keep me");

    const fs::path out = FDir / "out";
    const auto create = [&](TfmBatch& b) {
        Set<QRadioButton>(b, "rbOutputFolder", true);
        Find<QLineEdit>(b, "rxdeOutputFolder")->setText(Q(out));
        Set<QRadioButton>(b, "rbLzh", true);
        Set<QCheckBox>(b, "ckDeleteSource", true);
    };
    WriteFile(out / "a_txt.lzh", "old");
    FPrompter.Prompter().Answers = {mrYes};
    EXPECT_EQ(Run(boCreate, {"a.txt", "missing.txt"}, create),
              Lines({P("a.txt") + " -> " + (out / "a_txt.lzh").string() + " ::: Created",
                     P("missing.txt") + " ::: File missing"}));
    EXPECT_EQ(RunTool({"lhasa", "-pq", (out / "a_txt.lzh").string(), "a.txt"}).Out, "hello\n");
    EXPECT_FALSE(fs::exists(FDir / "a.txt"));

    // A full disk: the old target stays as it was and the source is kept.
    SmallDisk disk(FDir / "disk");
    ASSERT_TRUE(disk.Mounted);
    WriteFile(FDir / "big.bin", RandomBytes(600000));
    WriteFile(FDir / "disk/big_bin.zip", "previous");
    EXPECT_EQ(Run(boCreate, {"big.bin"},
                  [&](TfmBatch& b) {
                      Set<QRadioButton>(b, "rbOutputFolder", true);
                      Find<QLineEdit>(b, "rxdeOutputFolder")->setText(Q(FDir / "disk"));
                      Set<QCheckBox>(b, "ckDeleteSource", true);
                      Set<QCheckBox>(b, "ckAutoOverwrite", true);
                  }),
              Lines({P("big.bin") + " -> " + (FDir / "disk/big_bin.zip").string() +
                     " ::: ERROR: Unable to create"}));
    EXPECT_EQ(ReadFile(FDir / "disk/big_bin.zip"), "previous");
    EXPECT_EQ(FolderNames(FDir / "disk"), std::vector<std::string>{"big_bin.zip"});
    EXPECT_TRUE(fs::exists(FDir / "big.bin"));
}

TEST_F(BatchTool, AddPutsTheFilesIntoEachArchiveByItsFormat) {
    WriteFile(FDir / "new.txt", "new file\n");
    // The lzh archive is made by the tool itself (lhasa only reads).
    EXPECT_EQ(Run(boCreate, {"a.txt"}, [](TfmBatch& b) { Set<QRadioButton>(b, "rbLzh", true); }),
              P("a.txt") + " -> " + P("a_txt.lzh") + " ::: Created");
    fs::rename(FDir / "a_txt.lzh", FDir / "old.lzh");
    EXPECT_EQ(Run(boAdd, {"good.zip", "old.lzh", "junk.zip", "missing.zip"},
                  [&](TfmBatch& b) {
                      b.AddMoreFiles({Q(FDir / "new.txt")});
                      Find<QComboBox>(b, "cbAddCompression")->setCurrentIndex(4);
                  }),
              Lines({P("good.zip") + " ::: Files added", P("old.lzh") + " ::: Files added",
                     P("junk.zip") + " ::: ERROR: Unable to add to archive",
                     P("missing.zip") + " ::: ERROR: File missing"}));
    EXPECT_EQ(RunTool({"unzip", "-p", (FDir / "good.zip").string(), "new.txt"}).Out, "new file\n");
    EXPECT_EQ(RunTool({"unzip", "-t", (FDir / "good.zip").string()}).ExitCode, 0);
    EXPECT_EQ(RunTool({"lhasa", "-pq", (FDir / "old.lzh").string(), "new.txt"}).Out, "new file\n");
    EXPECT_EQ(ReadFile(FDir / "junk.zip"), "this is no archive at all\n");
}

TEST_F(BatchTool, ScanRunsTheScannerOnTheExtractedFolder) {
    // The stand-in scanner records its arguments and what the folder held, and ends with the
    // status FAIL_SCAN names.
    const fs::path scanner = FDir / "scanner";
    WriteFile(scanner, "#!/bin/sh\nlog=\"$(dirname \"$0\")/scan.log\"\nfor a in \"$@\"; do echo \"arg=$a\" "
                       ">> \"$log\"; done\n"
                       "ls -A \"$2\" >> \"$log\"\n[ -n \"$FAIL_SCAN\" ] && exit \"$FAIL_SCAN\"\nexit 0\n");
    fs::permissions(scanner, fs::perms::owner_all);
    AppSettings().AVProduct = 1;
    AppSettings().VirusScanner = scanner.string();
    AppSettings().Parameters = "--scan *.* --quiet";
    EXPECT_EQ(
        Run(boVirusScan, {"good.zip", "junk.zip", "missing.zip"}),
        Lines({P("good.zip") + " ::: Archive scanned", P("junk.zip") + " ::: ERROR: Unable to scan for virus",
               P("missing.zip") + " ::: File missing"}));
    const std::string log = ReadFile(FDir / "scan.log");
    const std::size_t at = log.find("arg=--scan\narg=/");
    ASSERT_NE(at, std::string::npos) << log;
    const std::string folder = log.substr(at + 15, log.find('\n', at + 15) - at - 15);
    EXPECT_EQ(log, "arg=--scan\narg=" + folder + "\narg=--quiet\na.txt\nb.txt\n");
    EXPECT_FALSE(fs::exists(folder)); // removed after the scan

    // Status 1 is a virus found (clamscan's and most scanners' convention), others a failure.
    for (const auto& [status, line] :
         {std::pair{"1", ">> " + P("good.zip") + " ::: Archive scanned: VIRUS FOUND <<"},
          std::pair{"3", P("good.zip") + " ::: ERROR: Unable to scan for virus"}}) {
        EnvGuard fail("FAIL_SCAN", status);
        EXPECT_EQ(Run(boVirusScan, {"good.zip"}), line);
    }
    AppSettings().VirusScanner.clear();
    AppSettings().Parameters.clear();
    AppSettings().AVProduct = 0;
}

// The next disk of a spanned set (made by zip -s) is asked through the same observer as the
// window's: an answer after the piece was put back lets the test pass, Cancel fails it, and
// either way the question comes once.
TEST_F(BatchTool, TheNextDiskOfASpannedSetIsAskedOnceAndItsAnswerCounts) {
    WriteFile(FDir / "src/big.bin", RandomBytes(200000));
    fs::create_directories(FDir / "set");
    const TSplitZipSet set = MakeSplitZipSet(FDir / "src", FDir / "set/s.zip", "64k", FDir / "joined.zip");
    ASSERT_GE(set.Pieces.size(), 3u);
    const fs::path piece = set.Pieces[1], aside = FDir / "aside";
    for (const int answer : {mrOk, mrCancel}) {
        SCOPED_TRACE(answer == mrOk ? "the disk put in" : "cancelled");
        fs::rename(piece, aside);
        FPrompter.Prompter().Prompts.clear();
        FPrompter.Prompter().Answers = {answer};
        FPrompter.Prompter().OnAsk = [&](const TPrompt&) {
            if (answer == mrOk) fs::rename(aside, piece);
        };
        const std::string verdict = answer == mrOk ? " ::: Passed" : " ::: FAILED <<";
        EXPECT_EQ(Run(boTest, {"set/s.zip"}), (answer == mrOk ? "" : ">> ") + P("set/s.zip") + verdict);
        ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
        EXPECT_TRUE(FPrompter.Prompter().Prompts[0].Text.startsWith("Please insert"))
            << FPrompter.Prompter().Prompts[0].Text.toStdString();
        FPrompter.Prompter().OnAsk = nullptr;
        if (fs::exists(aside)) fs::rename(aside, piece);
    }
}

TEST_F(BatchTool, CancelStopsBeforeTheNextFileAndEmptyFirstPageClosesAtOnce) {
    for (const char* name : {"g1.zip", "g2.zip", "g3.zip"})
        fs::copy_file(FDir / "good.zip", FDir / name);
    TfmBatch batch;
    batch.SetupBatchOperation(boTest);
    batch.AddSelectedFiles({Q(FDir / "g1.zip"), Q(FDir / "g2.zip"), Q(FDir / "g3.zip")});
    FPrompter.Prompter().Answers = {mrYes};
    QTimer::singleShot(0, &batch, [&] { batch.CancelClick(); });
    batch.NextClick();
    EXPECT_EQ(batch.CurrentPage(), 2);
    // Cancel came while g1.zip was being tested: that test ran to its end, no other began, and
    // the log names the files left out and ends with the cancel.
    const QStringList lines = Find<QPlainTextEdit>(batch, "meResults")->toPlainText().split('\n');
    EXPECT_EQ(lines.indexOf(QString()), 3) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].endsWith("g1.zip ::: Passed")) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.mid(1, 2), QStringList({Q(FDir / "g2.zip") + " ::: Cancelled, not processed",
                                            Q(FDir / "g3.zip") + " ::: Cancelled, not processed"}));
    EXPECT_TRUE(lines.value(lines.size() - 2).startsWith("Batch Operation Cancelled:"));
    EXPECT_EQ(Find<QListWidget>(batch, "lbProgressCompleted")->count(), 1);
    EXPECT_TRUE(Find<QPushButton>(batch, "buCancel")->isEnabled());
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
    EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text, "Are you sure you want to cancel this batch operation ?");

    TfmBatch empty;
    empty.SetupBatchOperation(boExtract);
    EXPECT_EQ(RunModal(empty, {[&] { empty.CancelClick(); }}), mrCancel);
    EXPECT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
}

// An entry of the name already in the archive: the batch tool asks Yes or No to replace it, and
// on No asks for a new name of the entry there in its own box. The current file's bar shows the
// archive's progress, which never goes back while the archive runs.
TEST_F(BatchTool, ReplaceAndDuplicateNameQuestionsAndTheCurrentFileBar) {
    WriteFile(FDir / "a.txt", "changed\n");
    ScriptedPrompter& prompter = FPrompter.Prompter();
    prompter.Answers = {mrNo};
    prompter.Inputs = {QStringLiteral("old_a.txt")};
    EXPECT_EQ(Run(boAdd, {"good.zip"}, [&](TfmBatch& b) { b.AddMoreFiles({Q(FDir / "a.txt")}); }),
              P("good.zip") + " ::: Files added");
    ASSERT_EQ(prompter.Prompts.size(), 1u);
    EXPECT_EQ(prompter.Prompts[0].Buttons, TMsgDlgButtons(mbYes | mbNo));
    EXPECT_TRUE(prompter.Prompts[0].Text.startsWith("Do you want to replace this file:\r   a.txt"));
    EXPECT_EQ(prompter.InputPrompts,
              std::vector<QString>{"Duplicate File: File already exist. Please enter a "
                                   "different file name\r\nfor the EXISTING FILE to "
                                   "rename it:"});
    EXPECT_EQ(RunTool({"unzip", "-p", P("good.zip"), "old_a.txt"}).Out, "hello\n");
    EXPECT_EQ(RunTool({"unzip", "-p", P("good.zip"), "a.txt"}).Out, "changed\n");

    std::vector<int> shown;
    EXPECT_EQ(Run(boTest, {"good.zip"},
                  [&](TfmBatch& b) {
                      QObject::connect(Find<QProgressBar>(b, "pbCurrent"), &QProgressBar::valueChanged,
                                       [&](int Value) { shown.push_back(Value); });
                  }),
              P("good.zip") + " ::: Passed");
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << testing::PrintToString(shown);
    EXPECT_EQ(shown.empty() ? -1 : shown.back(), 100);
}

// The operations that used to live in the main window, run with a plain observer and no window
// at all, the way the command line and the batch tool call them: convert, repair, the
// self-extractors and mail, their outputs checked with lhasa, tar, unzip and unzipsfx (the
// stub the self-extractor is made of), the originals byte-identical after every failure and
// refusal, and each question answered through the observer.
#include "RegistrySandbox.h"
#include "ScriptedPrompter.h"
#include "ToolChecks.h"

#include "FloppyDrive.h"

#include "app/dialogs/DialogObserver.h"
#include "app/ops/OpAdd.h"
#include "app/ops/OpConvert.h"
#include "app/ops/OpMail.h"
#include "app/ops/OpMakeSfx.h"
#include "app/ops/OpRepair.h"

#include <chrono>
#include <deque>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace testsupport;

namespace {

// The log and the questions, with scripted Yes/No answers.
class TRecordingObserver : public TOpObserver {
public:
    void Log(const QString& Line) override { Lines << Line; }
    bool Confirm(const QString& Text) override {
        Questions << Text;
        EXPECT_FALSE(Answers.empty()) << "unscripted question: " << Text.toStdString();
        if (Answers.empty()) return false;
        const bool answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    bool Logged(const char* Part) const { return Lines.join('\n').contains(QString::fromUtf8(Part)); }

    QStringList Lines, Questions;
    std::deque<bool> Answers;
};

// The log, with the questions through the program's dialogs (answered by the script).
class TAskingObserver : public TDialogObserver {
public:
    void Log(const QString& Line) override { Lines << Line; }
    QStringList Lines;
};

class OpsWithoutWindow : public ::testing::Test {
protected:
    OpsWithoutWindow() {
        WriteFile(FDir / "a.txt", "hello\n");
        WriteFile(FDir / "b.txt", TextBytes(30000));
        WriteFile(FDir / "dir/c.txt", TextBytes(5000, 7));
        Must(RunTool({"zip", "-q", "-X", "-r", "t.zip", "a.txt", "b.txt", "dir"}, FDir.Path()));
        FZip = ReadFile(FDir / "t.zip");
    }

    QString P(const std::string& Name) const { return Q(FDir / Name); }

    RegistrySandbox FRegistry;
    ScriptedPrompterGuard FPrompter; // no question may reach the dialogs
    TempDir FDir, FTmp;
    EnvGuard FTmpDir{"TMPDIR", FTmp.Str().c_str()};
    std::string FZip;
};

TEST_F(OpsWithoutWindow, ConvertWritesWhatTheRealToolsReadAndKeepsTheOriginalOnFailure) {
    std::string bad = FZip;
    bad[bad.find("hello") + 1] ^= 0x20; // a.txt is stored: its CRC no longer fits
    WriteFile(FDir / "crc.zip", bad);
    WriteFile(FDir / "copy.zip", FZip);
    struct TCase {
        const char* Input;
        const char* Output;
        TOutArcType Type;
        bool Verify, Delete;
        bool Converted;
        std::vector<std::string> Check; // prints b.txt of the output
    } const cases[] = {
        {"t.zip", "t.lzh", tyLzh, true, false, true, {"lhasa", "-pq", "t.lzh", "b.txt"}},
        {"t.zip", "t.tar", tyTarGzip, true, false, true, {"tar", "-xzOf", "t.tar.gz", "b.txt"}},
        {"copy.zip", "copy.tar", tyTar, false, true, true, {"tar", "-xOf", "copy.tar", "b.txt"}},
        // A damaged entry: nothing written, the original kept though its deletion was asked.
        {"crc.zip", "crc.tar", tyTar, false, true, false, {}},
        // The output would be the input: refused before anything is written.
        {"t.zip", "t.zip", tyZip, false, true, false, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Input + std::string(" -> ") + c.Output);
        const std::string before = ReadFile(FDir / c.Input);
        TRecordingObserver observer;
        TConvertOptions options{P(c.Input), P(c.Output), c.Type, c.Verify, c.Delete};
        const TConvertResult result = Convert(options, observer);
        EXPECT_EQ(result.Converted, c.Converted) << observer.Lines.join('\n').toStdString();
        EXPECT_EQ(result.Target, P(c.Type == tyTarGzip ? std::string(c.Output) + ".gz" : c.Output));
        EXPECT_EQ(fs::exists(FDir / c.Input), !(c.Converted && c.Delete));
        if (!c.Converted && fs::exists(FDir / c.Input)) {
            EXPECT_TRUE(ReadFile(FDir / c.Input) == before);
        }
        if (!c.Check.empty()) {
            EXPECT_EQ(RunTool(c.Check, FDir.Path()).Out, ReadFile(FDir / "b.txt"));
        }
        if (!c.Verify) continue;
        for (const char* line : {":: Current Archive: ", "> Extraction Completed.",
                                 ":: New Archive: ", "> Compression Completed.",
                                 ":: Checking Integrity: ", " ... Passed", "> Integrity Check Completed."}) {
            EXPECT_TRUE(observer.Logged(line)) << line << '\n' << observer.Lines.join('\n').toStdString();
        }
    }
    EXPECT_FALSE(fs::exists(FDir / "crc.tar"));
    EXPECT_TRUE(ReadFile(FDir / "t.zip") == FZip);
    EXPECT_TRUE(FolderNames(FTmp.Path()).empty());
}

TEST_F(OpsWithoutWindow, RepairRecoversWhatUnzipReadsAndLeavesNothingWhenNothingIsSound) {
    WriteFile(FDir / "cut.zip", FZip.substr(0, FZip.find("PK\x01\x02")));
    WriteFile(FDir / "notes.txt", "no archive here\n");
    TRecordingObserver observer;
    EXPECT_EQ(RepairTarget(P("cut.zip")), P("cut_fixed.zip"));
    const TRepairResult fixed = Repair({P("cut.zip"), P("cut_fixed.zip")}, observer);
    EXPECT_TRUE(fixed.Repaired());
    EXPECT_EQ(fixed.Found, 4);
    EXPECT_EQ(fixed.Done, 4);
    EXPECT_TRUE(observer.Logged("> 4 out of 4 files were recovered."))
        << observer.Lines.join('\n').toStdString();
    Must(RunTool({"unzip", "-t", "cut_fixed.zip"}, FDir.Path()));
    for (const char* name : {"a.txt", "b.txt", "dir/c.txt"})
        EXPECT_EQ(RunTool({"unzip", "-p", "cut_fixed.zip", name}, FDir.Path()).Out, ReadFile(FDir / name))
            << name;

    const TRepairResult nothing = Repair({P("notes.txt"), P("notes_fixed.zip")}, observer);
    EXPECT_FALSE(nothing.Repaired());
    EXPECT_FALSE(fs::exists(FDir / "notes_fixed.zip"));
    EXPECT_EQ(Repair({P("cut.zip"), P("cut.zip")}, observer).Refusal, TRepairRefusal::SameFile);
}

TEST_F(OpsWithoutWindow, SelfExtractorsRunUnderUnzipsfxAndAnOldProgramStaysUnlessAgreed) {
    TRecordingObserver observer;
    const TMakeSfxResult made = MakeSfx({P("t.zip"), P("t.exe")}, observer);
    ASSERT_TRUE(made.Made) << observer.Lines.join('\n').toStdString();
    Must(RunTool({(FDir / "t.exe").string(), "-t"}, FDir.Path()));

    // An existing program: No keeps it byte-identical; from files, Yes replaces it whole.
    WriteFile(FDir / "t.exe", "old program");
    observer.Answers = {false};
    EXPECT_TRUE(MakeSfx({P("t.zip"), P("t.exe")}, observer).Skipped);
    EXPECT_EQ(ReadFile(FDir / "t.exe"), "old program");
    EXPECT_EQ(observer.Questions.value(0),
              P("t.exe") + " already exist. Do you want to overwrite this file ?");

    WriteFile(FDir / "pack.exe", "old program");
    observer.Answers = {false};
    EXPECT_FALSE(MakeSfxFromFiles({P("pack"), {P("a.txt")}}, observer).Made);
    EXPECT_EQ(ReadFile(FDir / "pack.exe"), "old program");
    observer.Answers = {true};
    const TMakeSfxResult packed = MakeSfxFromFiles({P("pack"), {P("a.txt"), P("b.txt")}}, observer);
    ASSERT_TRUE(packed.Made) << observer.Lines.join('\n').toStdString();
    const fs::path out = FDir / "out";
    Must(RunTool({(FDir / "pack.exe").string(), "-d", out.string()}, FDir.Path()));
    EXPECT_EQ(ReadFile(out / "a.txt"), "hello\n");
    EXPECT_EQ(ReadFile(out / "b.txt"), ReadFile(FDir / "b.txt"));
    // Nothing to pack: no program, the old one untouched, the private folder gone.
    const TMakeSfxResult none = MakeSfxFromFiles({P("none"), {P("missing.txt")}}, observer);
    EXPECT_TRUE(none.NothingPacked);
    EXPECT_FALSE(fs::exists(FDir / "none.exe"));
    EXPECT_EQ(FolderNames(FTmp.Path()), std::vector<std::string>{});
}

TEST_F(OpsWithoutWindow, MailHandsTheZipToTheMailProgramAndSaysWhenThereIsNone) {
    TempDir bin;
    const fs::path log = FDir / "mail.log";
    WriteFile(bin / "xdg-email",
              "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + log.string() + "'\n");
    ::chmod((bin / "xdg-email").c_str(), 0755);
    TempDir cache;
    const EnvGuard cacheHome("XDG_CACHE_HOME", cache.Str().c_str());
    TRecordingObserver observer;
    {
        const EnvGuard path("PATH", (bin.Str() + ":/usr/bin:/bin").c_str());
        const TMailResult sent = Mail({{}, "/x/pack", {P("a.txt"), P("b.txt")}}, observer);
        ASSERT_EQ(sent.Failure, TMailFailure::None);
        EXPECT_EQ(ReadFile(log),
                  "--subject\nAttached: pack.zip\n--attach\n" + sent.Attachment.toStdString() + "\n");
        Must(RunTool({"unzip", "-t", sent.Attachment.toStdString()}));
        // The copy waits for the mail program in the program's own cache, not in TMPDIR, and
        // goes at a start a day later.
        const fs::path copies = cache / "quillar" / "mail";
        EXPECT_EQ(fs::path(sent.Attachment.toStdString()).parent_path().parent_path(), copies);
        for (const std::string& name : FolderNames(FTmp.Path()))
            EXPECT_NE(name.rfind("zf_", 0), 0U) << name;
        WriteFile(copies / "zf_old" / "old.zip", "x");
        fs::last_write_time(copies / "zf_old", fs::file_time_type::clock::now() - std::chrono::hours(25));
        RemoveOldMailCopies();
        EXPECT_FALSE(fs::exists(copies / "zf_old"));
        EXPECT_TRUE(fs::exists(sent.Attachment.toStdString()));
        EXPECT_EQ(Mail({{}, "/x/pack", {P("missing.txt")}}, observer).Failure, TMailFailure::NothingPacked);
        // A mail program that refuses: its message names the program and what it said.
        WriteFile(bin / "xdg-email", "#!/bin/sh\necho \"xdg-email: no method available\" >&2\nexit 3\n");
        ::chmod((bin / "xdg-email").c_str(), 0755);
        const TMailResult refused = Mail({P("t.zip"), {}, {}}, observer);
        EXPECT_EQ(refused.Failure, TMailFailure::NotTaken);
        EXPECT_EQ(MailFailureText(refused),
                  "The mail program did not take the message (exit status 3).\r\n\r\n"
                  "xdg-email said:\r\nxdg-email: no method available");
    }
    const EnvGuard path("PATH", bin.Str().c_str());
    fs::remove(bin / "xdg-email");
    const TMailResult none = Mail({P("t.zip"), {}, {}}, observer);
    EXPECT_EQ(none.Failure, TMailFailure::NoMailProgram);
    EXPECT_TRUE(MailFailureText(none).contains("compliant email software"));
    EXPECT_TRUE(MailFailureText(none).contains("xdg-email could not be started: "));
}

// An add to a zip on a removable drive (the stand-in): what fits the medium is written as on a
// fixed disk without a question, also with spanning refused; what does not asks for other
// disks and never writes over the disk with the old archive, and every question it asks can
// end the run, which leaves the old archive byte-identical.
TEST_F(OpsWithoutWindow, AddsToAZipOnARemovableDriveAnswerEveryQuestionAndKeepTheOldArchive) {
    const fs::path mount = FDir / "floppy";
    const fs::path aside = FDir / "disks";
    fs::create_directories(mount);
    auto drive = std::make_unique<TFloppyDrive>(mount, 400000);
    TFloppyDrive& floppy = *drive;
    const DrivesGuard drives(std::move(drive));
    WriteFile(FDir / "big.bin", RandomBytes(70000, 5));
    const QString archive = Q(mount / "set.zip");
    ScriptedPrompter& prompter = FPrompter.Prompter();
    struct TCase {
        const char* Name;
        const char* File;
        bool AllowSpanning;
        std::vector<int> Answers; // to the questions in order
        bool SwapsDisks;          // the user puts another disk in when asked
        bool Stray;               // the next disk holds a file of the archive's name
        bool Good;
    } const cases[] = {
        {"fits", "b.txt", true, {}, true, false, true},
        {"fits, spanning refused", "b.txt", false, {}, true, false, true},
        {"spanning refused", "big.bin", false, {mrOk}, true, false, false},
        {"spans other disks", "big.bin", true, {mrOk, mrOk, mrOk}, true, false, true},
        {"cancel at disk 1", "big.bin", true, {mrCancel}, true, false, false},
        {"cancel at disk 2", "big.bin", true, {mrOk, mrCancel}, true, false, false},
        {"the old disk stays in", "big.bin", true, {mrOk, mrOk, mrOk}, false, false, false},
        {"a file of its name on disk 2", "big.bin", true, {mrOk, mrOk, mrCancel}, true, true, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove_all(mount);
        fs::remove_all(aside);
        fs::create_directories(mount);
        fs::create_directories(aside);
        floppy.Quota = 400000;
        TRecordingObserver observer;
        TAddOptions first;
        first.Archive = archive;
        first.Files = {P("a.txt")};
        ASSERT_TRUE(Add(first, observer).Good());
        const std::string before = ReadFile(mount / "set.zip");
        floppy.Quota = 30000;

        int disks = 0;
        prompter.Prompts.clear();
        prompter.Answers.assign(c.Answers.begin(), c.Answers.end());
        prompter.OnAsk = [&](const TPrompt& Prompt) {
            if (!c.SwapsDisks || !Prompt.Text.startsWith(QStringLiteral("Please insert disk number"))) return;
            // The disk in the drive goes out (with what it holds), a blank one comes in.
            const fs::path out = aside / std::to_string(++disks);
            fs::rename(mount, out);
            fs::create_directories(mount);
            ++floppy.Serial;
            if (c.Stray && disks == 2) WriteFile(mount / "set.zip", "another set");
        };
        TAddOptions options;
        options.Archive = archive;
        options.Files = {P(c.File)};
        options.AllowSpanning = c.AllowSpanning;
        TAskingObserver asking;
        const TAddResult result = Add(options, asking);
        prompter.OnAsk = nullptr;
        EXPECT_EQ(result.Good(), c.Good) << asking.Lines.join('\n').toStdString();
        EXPECT_TRUE(prompter.Answers.empty()) << "questions left unasked";
        const fs::path old =
            fs::exists(aside / "1" / "set.zip") ? aside / "1" / "set.zip" : mount / "set.zip";
        if (!c.Good) {
            EXPECT_TRUE(ReadFile(old) == before) << "the old archive changed";
        } else if (std::string(c.File) == "b.txt") {
            EXPECT_TRUE(prompter.Prompts.empty());
            EXPECT_EQ(RunTool({"unzip", "-Z1", (mount / "set.zip").string()}).Out, "a.txt\nb.txt\n");
        } else {
            EXPECT_TRUE(ReadFile(old) == before) << "the old archive changed";
            // The pieces of the set, joined by Info-ZIP, hold both files.
            for (int i = 2; i <= disks; ++i) {
                char piece[16];
                std::snprintf(piece, sizeof piece, "set.z%02d", i - 1);
                fs::rename(aside / std::to_string(i) / "set.zip", aside / piece);
            }
            fs::rename(mount / "set.zip", aside / "set.zip");
            Must(RunTool({"zip", "-q", "-s", "0", (aside / "set.zip").string(), "--out",
                          (FDir / "joined.zip").string()}));
            EXPECT_EQ(RunTool({"unzip", "-Z1", (FDir / "joined.zip").string()}).Out, "a.txt\nbig.bin\n");
            Must(RunTool({"unzip", "-tq", (FDir / "joined.zip").string()}));
        }
    }
}

} // namespace

// The writers' replace question carries a Help button whose page is installed with the program;
// its answers map to the writer's.
TEST(ReplaceQuestion, OffersHelpAndMapsTheAnswers) {
    ScriptedPrompterGuard guard;
    guard.Prompter().Answers = {mrYesToAll, mrNoToAll};
    TDialogObserver observer;
    EXPECT_EQ(observer.AskReplace("a.txt", "/src/a.txt", 0, 0, 5, 6), TReplaceAnswer::YesToAll);
    EXPECT_EQ(observer.AskReplace("a.txt", "/src/a.txt", 0, 0, 5, 6), TReplaceAnswer::NoToAll);
    ASSERT_EQ(guard.Prompter().Prompts.size(), 2U);
    const TPrompt& prompt = guard.Prompter().Prompts[0];
    EXPECT_EQ(prompt.Buttons, mbYes | mbNo | mbNoToAll | mbYesToAll);
    EXPECT_TRUE(prompt.Text.startsWith("Do you want to replace this file:"));
    ASSERT_FALSE(prompt.HelpTopic.isEmpty());
    EXPECT_TRUE(fs::is_regular_file(fs::path(QUILLAR_CORPUS_DIR) / "../../data/help" /
                                    (prompt.HelpTopic.toStdString() + ".html")));
}

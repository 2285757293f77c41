// The verdicts of the operations at their own boundary, the one the window, the command line,
// the batch tool, the wizard and backups read: extract, add, delete, test, convert, repair,
// backup and virus scan, each run with a scripted observer and a fault (a damaged entry after a
// folder entry, a full disk, a blocked output path, a source that vanishes, a cancel at each
// question, a wrong then right password). Each row checks the counts and causes of the result
// and the files on disk against what unzip, tar and the real tools read.
#include "ExtractRun.h"
#include "RegistrySandbox.h"
#include "ScriptedPrompter.h"
#include "SmallDisk.h"
#include "ToolChecks.h"

#include "app/common/AppSettings.h"
#include "app/common/BackupScript.h"
#include "app/ops/OpBackup.h"
#include "app/ops/OpConvert.h"
#include "app/ops/OpExtract.h"
#include "app/ops/OpRepair.h"
#include "app/ops/OpTest.h"
#include "app/ops/OpVirusScan.h"

#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

using namespace testsupport;

namespace {

// Every question answered by script; nothing reaches a dialog.
class TScriptObserver : public TOpObserver {
public:
    void Log(const QString& Line) override { Lines << Line; }
    void Status(const QString& Prefix, const QString& Name) override {
        if (OnStatus) OnStatus(Prefix, Name);
    }
    bool Progress(int, int) override { return CancelAtProgress; }
    TOverwriteAnswer AskOverwrite(const QString&, std::int64_t, TDateTime, QString&) override {
        ++Asked;
        return Overwrite;
    }
    bool AskPassword(const QString&, std::string& Password) override {
        ++Asked;
        if (Passwords.empty()) return false;
        Password = Passwords.front();
        Passwords.pop_front();
        return true;
    }
    bool Confirm(const QString&) override { return true; }
    bool AskSaveName(const QString&, QString&, const QString&, int, bool) override { return true; }
    bool AskNestedTar(const QString&, bool) override { return true; }
    bool AskCorruptHeader() override { return true; }
    bool AskNextVolume(std::string&, const std::string&) override { return false; }
    bool AskDisk(const QString&) override { return false; }
    TReplaceAnswer AskReplace(const std::string&, const std::string&, TDateTime, TDateTime, std::int64_t,
                              std::int64_t) override {
        return TReplaceAnswer::Yes;
    }
    TDupeAnswer AskRenameDupe(const std::string&, std::string&) override { return TDupeAnswer::Skip; }
    bool AskWriteProtectedArchive(const std::string&) override { return true; }
    int AskOutputExists(const std::string&) override { return mrYes; }
    bool AskInsertDisk(const std::string&, bool) override { return false; }
    bool AskDiskError(bool) override { return false; }
    bool AskClearDisk(const std::string&, std::int64_t, std::int64_t, std::int64_t) override { return false; }

    QStringList Lines;
    std::function<void(const QString& Prefix, const QString& Name)> OnStatus;
    bool CancelAtProgress = false;
    TOverwriteAnswer Overwrite = TOverwriteAnswer::Yes;
    std::deque<std::string> Passwords;
    int Asked = 0;
};

class OpVerdicts : public ::testing::Test {
protected:
    OpVerdicts() {
        WriteFile(Src("a.txt"), "alpha\n");
        WriteFile(Src("b.txt"), TextBytes(20000, 2));
        WriteFile(Src("d/c.txt"), TextBytes(5000, 3));
        WriteFile(Src("big.bin"), RandomBytes(600000, 4));
        Zip({"-q", "-X", "-r", "t.zip", "d/", "a.txt", "b.txt"});
        // A folder entry first, then b.txt with its local-header signature damaged.
        Zip({"-q", "-X", "o1.zip", "d/", "b.txt", "d/c.txt"});
        std::string o1 = ReadFile(Src("o1.zip"));
        o1[o1.find("PK\x03\x04", 1) + 1] = 'X';
        WriteFile(Src("o1.zip"), o1);
        // The damaged b.txt, then another b.txt in a folder.
        WriteFile(Src("e/b.txt"), "another b\n");
        Zip({"-q", "-X", "o2.zip", "b.txt", "e/", "e/b.txt"});
        std::string o2 = ReadFile(Src("o2.zip"));
        o2[1] = 'X';
        WriteFile(Src("o2.zip"), o2);
        Zip({"-q", "-X", "-P", "secret", "enc.zip", "a.txt", "b.txt"});
        Zip({"-q", "-X", "-0", "big.zip", "big.bin", "a.txt"});
        Must(RunTool({"tar", "-cf", "t.tar", "a.txt", "d"}, FSrc.Path()));
        // A split set whose middle piece is missing.
        Zip({"-q", "-X", "-s", "200k", "split.zip", "big.bin"});
        fs::remove(Src("split.z02"));
    }
    void Zip(std::vector<std::string> Args) {
        Args.insert(Args.begin(), "zip");
        Must(RunTool(Args, FSrc.Path()));
    }
    fs::path Src(const std::string& Name) const { return FSrc.Path() / Name; }
    QString S(const std::string& Name) const { return Q(Src(Name)); }
    QString O(const std::string& Name) const { return Q(FOut.Path() / Name); }
    // The tree Tool extracts from Archive, to compare with ours.
    std::map<std::string, std::string> ToolTree(const std::vector<std::string>& Tool) {
        TempDir into;
        RunTool(Tool, into.Path());
        return ReadTree(into.Path());
    }

    RegistrySandbox FRegistry;
    ScriptedPrompterGuard FPrompter; // no question may reach the dialogs
    TempDir FSrc, FOut, FTmp;
    EnvGuard FTmpDir{"TMPDIR", FTmp.Str().c_str()};
};

// What a row expects of a result; -1: not looked at.
struct TExpect {
    int Done = -1;
    int Failed = 0;
    bool Cancelled = false;
    // The cause of every failure, when one is named (a damaged header's is the reader's to say).
    std::optional<TOpCause> Cause;
};

void ExpectVerdict(const TOpResult& Result, const TExpect& Want, const TScriptObserver& Observer) {
    const std::string log = Observer.Lines.join('\n').toStdString();
    if (Want.Done >= 0) {
        EXPECT_EQ(Result.Done, Want.Done) << log;
    }
    EXPECT_EQ(Result.Failed + Result.Refused, Want.Failed) << log;
    EXPECT_EQ(Result.Cancelled, Want.Cancelled) << log;
    // One rule for every caller: a failed or cancelled run is never a success.
    EXPECT_EQ(Result.Succeeded(), Result.Started && Want.Failed == 0 && !Want.Cancelled) << log;
    if (Want.Cause) {
        EXPECT_EQ(Result.Count(*Want.Cause), Want.Failed) << log;
    }
    EXPECT_EQ(static_cast<int>(Result.Failures.size()), Result.Failed + Result.Refused);
}

TEST_F(OpVerdicts, ExtractAndTestCountEachEntryOnceWhateverComesNext) {
    WriteFile(FOut.Path() / "blocked/d", "a file where a folder must go");
    WriteFile(FOut.Path() / "kept/a.txt", "mine");
    struct TCase {
        const char* Name;
        const char* Archive;
        const char* Folder; // "": a test, not an extraction
        std::function<void(TScriptObserver&)> Script;
        TExpect Want;
        std::vector<std::string> Oracle; // unzip's or tar's extraction to compare with ("" : none)
    };
    const auto rightOnSecond = [](TScriptObserver& O) { O.Passwords = {"wrong", "secret", "secret"}; };
    const TCase cases[] = {
        {"clean zip", "t.zip", "x1", {}, {3}, {"unzip", "-q", "{src}/t.zip"}},
        {"clean tar", "t.tar", "x2", {}, {2}, {"tar", "-xf", "{src}/t.tar"}},
        {"damaged entry after a folder entry", "o1.zip", "x3", {}, {-1, 1}, {}},
        {"test: damaged entry after a folder entry", "o1.zip", "", {}, {2, 1}, {}},
        {"test: clean", "t.zip", "", {}, {4}, {}},
        {"damaged entry, then one of its name in a folder", "o2.zip", "x7", {}, {1, 1}, {}},
        {"test: damaged entry, then one of its name in a folder", "o2.zip", "", {}, {2, 1}, {}},
        // d is a file in the destination: neither d/ nor d/c.txt can be made, the others come out.
        {"blocked output path", "t.zip", "blocked", {}, {2, 2, false, TOpCause::OutputBlocked}, {}},
        {"wrong then right password",
         "enc.zip",
         "x4",
         rightOnSecond,
         {2},
         {"unzip", "-q", "-P", "secret", "{src}/enc.zip"}},
        {"test: wrong then right password", "enc.zip", "", rightOnSecond, {2}, {}},
        {"cancel at the password", "enc.zip", "x5", {}, {-1, 0, true}, {}},
        {"test: cancel at the password", "enc.zip", "", {}, {-1, 0, true}, {}},
        {"cancel at the overwrite question",
         "t.zip",
         "kept",
         [](TScriptObserver& O) { O.Overwrite = TOverwriteAnswer::Cancel; },
         {-1, 0, true},
         {}},
        {"cancel at the next volume", "split.zip", "x8", {}, {-1, 0, true}, {}},
        {"test: cancel at the next volume", "split.zip", "", {}, {-1, 0, true}, {}},
        {"cancel in the progress",
         "big.zip",
         "x6",
         [](TScriptObserver& O) { O.CancelAtProgress = true; },
         {0, 0, true},
         {}},
        {"test: cancel in the progress",
         "big.zip",
         "",
         [](TScriptObserver& O) { O.CancelAtProgress = true; },
         {0, 0, true},
         {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptObserver observer;
        if (c.Script) c.Script(observer);
        if (*c.Folder == 0) {
            ExpectVerdict(::Test({S(c.Archive)}, observer), c.Want, observer);
            continue;
        }
        TExtractOptions options;
        options.Archive = S(c.Archive);
        options.Folder = O(c.Folder);
        const TExtractResult result = Extract(options, observer);
        ExpectVerdict(result, c.Want, observer);
        const fs::path out = FOut.Path() / c.Folder;
        if (!c.Oracle.empty()) {
            std::vector<std::string> tool = c.Oracle;
            for (std::string& arg : tool)
                if (arg.starts_with("{src}")) arg = FSrc.Str() + arg.substr(5);
            EXPECT_EQ(ReadTree(out), ToolTree(tool));
        }
    }
    // The damaged entry is not there, the folder entry and the sound file are, as unzip has them.
    EXPECT_FALSE(fs::exists(FOut.Path() / "x3/b.txt"));
    EXPECT_EQ(ReadFile(FOut.Path() / "x3/d/c.txt"), ReadFile(Src("d/c.txt")));
    EXPECT_NE(RunTool({"unzip", "-tq", Src("o1.zip").string()}).ExitCode, 0);
    EXPECT_EQ(ReadFile(FOut.Path() / "blocked/a.txt"), "alpha\n");
    EXPECT_EQ(ReadFile(FOut.Path() / "blocked/d"), "a file where a folder must go");
    // A cancel at the question leaves the file asked about as it was; a cancelled run that
    // wrote nothing leaves no folder behind.
    EXPECT_EQ(ReadFile(FOut.Path() / "kept/a.txt"), "mine");
    EXPECT_FALSE(fs::exists(FOut.Path() / "x5"));
    EXPECT_FALSE(fs::exists(FOut.Path() / "x8/big.bin"));
}

TEST_F(OpVerdicts, AFullDiskFailsTheRunAndLeavesTheOriginal) {
    SmallDisk disk(FOut.Path() / "small", "256k");
    if (!disk.Mounted) GTEST_SKIP() << "no tmpfs can be mounted here";
    TScriptObserver observer;
    TExtractOptions options;
    options.Archive = S("big.zip");
    options.Folder = O("small/x");
    const TExtractResult result = Extract(options, observer);
    ExpectVerdict(result, {-1, 1, false, TOpCause::DiskFull}, observer);
    EXPECT_FALSE(fs::exists(FOut.Path() / "small/x/big.bin"));

    // An archive on the full disk: the add fails, the archive stays byte for byte.
    fs::remove_all(FOut.Path() / "small/x");
    fs::copy_file(Src("t.zip"), FOut.Path() / "small/t.zip");
    TScriptObserver adding;
    const TAddResult added = Add({O("small/t.zip"), {S("big.bin")}}, adding);
    EXPECT_FALSE(added.Good()) << adding.Lines.join('\n').toStdString();
    EXPECT_GT(added.Count(TOpCause::DiskFull), 0) << adding.Lines.join('\n').toStdString();
    EXPECT_TRUE(ReadFile(FOut.Path() / "small/t.zip") == ReadFile(Src("t.zip")));
    EXPECT_EQ(FolderNames(FOut.Path() / "small"), std::vector<std::string>{"t.zip"});
}

TEST_F(OpVerdicts, WritersCountWhatFailedAndWhatTheRealToolsRead) {
    struct TCase {
        const char* Name;
        std::function<TOpResult(TScriptObserver&)> Run;
        TExpect Want;
        std::function<void()> Check; // the files on disk, read by the real tools
    };
    // A conversion to tar, verified, cancelled at once when Cancel; Converted: what it must say.
    const auto convert = [this](const char* Input, const char* Output, bool Delete, bool Cancel,
                                bool Converted) {
        return [=, this](TScriptObserver& O) {
            O.CancelAtProgress = Cancel;
            const TConvertResult result = Convert({S(Input), S(Output), tyTar, true, Delete}, O);
            EXPECT_EQ(result.Converted, Converted);
            return static_cast<TOpResult>(result);
        };
    };
    const TCase cases[] = {
        {"add to a new zip",
         [&](TScriptObserver& O) {
             return static_cast<TOpResult>(Add({S("new.zip"), {S("a.txt"), S("b.txt"), S("d/c.txt")}}, O));
         },
         {3},
         [&] {
             Must(RunTool({"unzip", "-tq", Src("new.zip").string()}));
             EXPECT_EQ(RunTool({"unzip", "-p", Src("new.zip").string(), "b.txt"}).Out,
                       ReadFile(Src("b.txt")));
         }},
        // gone.txt goes away while a.txt is packed: the archive holds the rest, as zip's does,
        // and the run is no success.
        {"a source that vanishes",
         [&](TScriptObserver& O) {
             WriteFile(Src("gone.txt"), TextBytes(3000, 9));
             O.OnStatus = [&](const QString&, const QString& Name) {
                 if (Name.endsWith("a.txt")) fs::remove(Src("gone.txt"));
             };
             TAddOptions options{S("t.zip"), {S("a.txt"), S("gone.txt")}};
             options.Switch = swAdd;
             return static_cast<TOpResult>(Add(options, O));
         },
         {-1, 1, false, TOpCause::SourceUnreadable},
         [&] {
             Must(RunTool({"unzip", "-tq", Src("t.zip").string()}));
             EXPECT_EQ(RunTool({"unzip", "-Z1", Src("t.zip").string()}).Out, "d/\nd/c.txt\nb.txt\na.txt\n");
         }},
        // A cancel while writing: the archive stays as it was, the copy as zip made it.
        {"cancel an add",
         [&](TScriptObserver& O) {
             fs::copy_file(Src("t.zip"), Src("keep.zip"));
             O.CancelAtProgress = true;
             return static_cast<TOpResult>(Add({S("keep.zip"), {S("big.bin")}}, O));
         },
         {-1, 0, true},
         [&] { EXPECT_TRUE(ReadFile(Src("keep.zip")) == ReadFile(Src("t.zip"))); }},
        {"cancel a conversion",
         convert("big.zip", "big.tar", true, true, false),
         {-1, 0, true},
         [&] {
             Must(RunTool({"unzip", "-tq", Src("big.zip").string()}));
             EXPECT_FALSE(fs::exists(Src("big.tar")));
         }},
        // The new archive's folder is a file: nothing is written, the file stays.
        {"a blocked archive path",
         [&](TScriptObserver& O) {
             WriteFile(Src("blocker"), "a file where a folder must go");
             return static_cast<TOpResult>(Add({S("blocker/new.zip"), {S("a.txt")}}, O));
         },
         {0, 1, false, TOpCause::OutputBlocked},
         [&] { EXPECT_EQ(ReadFile(Src("blocker")), "a file where a folder must go"); }},
        {"delete an entry",
         [&](TScriptObserver& O) {
             fs::copy_file(Src("t.zip"), Src("del.zip"));
             return static_cast<TOpResult>(DeleteEntries({S("del.zip"), {"a.txt"}}, O));
         },
         {1},
         [&] {
             const std::string listed = RunTool({"unzip", "-Z1", Src("del.zip").string()}).Out;
             EXPECT_EQ(listed, "d/\nd/c.txt\nb.txt\n");
             Must(RunTool({"unzip", "-tq", Src("del.zip").string()}));
         }},
        {"convert an archive with a damaged entry",
         convert("o1.zip", "o1.tar", true, false, false),
         {-1, 1},
         [&] {
             EXPECT_TRUE(fs::exists(Src("o1.zip")));
             EXPECT_FALSE(fs::exists(Src("o1.tar")));
         }},
        {"convert to tar",
         convert("t.zip", "t2.tar", false, false, true),
         {4},
         [&] {
             EXPECT_EQ(ToolTree({"tar", "-xf", Src("t2.tar").string()}),
                       ToolTree({"unzip", "-q", Src("t.zip").string()}));
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptObserver observer;
        ExpectVerdict(c.Run(observer), c.Want, observer);
        c.Check();
    }
}

TEST_F(OpVerdicts, RepairCountsWhatItCouldNotRecover) {
    const std::string zip = ReadFile(Src("t.zip"));
    // The directory cut off: every entry is found and recovered.
    WriteFile(Src("cut.zip"), zip.substr(0, zip.find("PK\x01\x02")));
    // b.txt's compressed size runs past the end of the file: found, not recovered.
    std::string bad = zip.substr(0, zip.find("PK\x01\x02"));
    const std::size_t b = bad.find("PK\x03\x04", bad.find("b.txt") - 30);
    bad[b + 21] = '\x7f';
    WriteFile(Src("bad.zip"), bad);
    struct TCase {
        const char* Name;
        int Found, Done, Failed;
    } const cases[] = {{"cut.zip", 4, 4, 0}, {"bad.zip", 4, 3, 1}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptObserver observer;
        const std::string target = std::string(c.Name) + "_fixed.zip";
        const TRepairResult result = Repair({S(c.Name), S(target)}, observer);
        EXPECT_EQ(result.Found, c.Found) << observer.Lines.join('\n').toStdString();
        EXPECT_EQ(result.Done, c.Done);
        EXPECT_EQ(result.Failed, c.Failed);
        EXPECT_EQ(result.Repaired(), c.Failed == 0);
        Must(RunTool({"unzip", "-tq", Src(target).string()}));
    }
}

TEST_F(OpVerdicts, BackupAndVirusScanTakeTheVerdictOfTheirRun) {
    TBackupSet set;
    set.Name = QStringLiteral("Docs");
    set.Folder = O("backups");
    set.Files = {S("a.txt"), S("d") + QStringLiteral("/*.*")};
    const QString script = O("Docs.zfb");
    ASSERT_TRUE(SaveBackupScript(script, set));
    TScriptObserver observer;
    const TBackupResult backedUp = RunBackup({script}, observer);
    EXPECT_TRUE(backedUp.BackedUp) << observer.Lines.join('\n').toStdString();
    Must(RunTool({"unzip", "-tq", backedUp.Target.toStdString()}));
    const std::string first = ReadFile(backedUp.Target.toStdString());

    // A cancel in the progress: no backup, the one before stays as it was.
    observer.CancelAtProgress = true;
    const TBackupResult cancelled = RunBackup({script}, observer);
    EXPECT_FALSE(cancelled.BackedUp);
    EXPECT_TRUE(cancelled.Cancelled);
    EXPECT_TRUE(ReadFile(backedUp.Target.toStdString()) == first);

    // The scanner finds nothing, but the damaged entry was never scanned.
    const TAppSettings saved = AppSettings();
    WriteFile(FOut.Path() / "scan", "#!/bin/sh\nexit 0\n");
    ::chmod((FOut.Path() / "scan").c_str(), 0755);
    AppSettings().AVProduct = 1;
    AppSettings().VirusScanner = (FOut.Path() / "scan").string();
    struct TCase {
        const char* Archive;
        TScanVerdict Verdict;
        int Failed;
    } const cases[] = {{"t.zip", TScanVerdict::Clean, 0}, {"o1.zip", TScanVerdict::Incomplete, 1}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Archive);
        TScriptObserver scan;
        const TScanResult result = VirusScan(S(c.Archive), scan);
        EXPECT_EQ(result.Verdict, c.Verdict) << scan.Lines.join('\n').toStdString();
        EXPECT_EQ(result.Extraction.Failed, c.Failed);
    }
    AppSettings() = saved;
    EXPECT_TRUE(FolderNames(FTmp.Path()).empty());
}

} // namespace

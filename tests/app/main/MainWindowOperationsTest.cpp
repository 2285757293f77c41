// The main window's operations on whole archives, driven through its menu commands and their
// dialogs: test, repair, convert and self-extractor checked with unzip, lhasa, tar and unzipsfx;
// the comment read and written as unzip sees it; moving, copying, renaming and deleting the
// archive file, also onto another and onto a full file system; check-out with its refusals and
// its clean-up question; the help pages.
#include "MainWindowFixture.h"
#include "ToolChecks.h"

#include "DialogDriver.h"
#include "SmallDisk.h"
#include "app/common/AppSettings.h"
#include "app/dialogs/Batch.h"
#include "app/dialogs/Checkout.h"
#include "app/dialogs/Comment.h"
#include "app/dialogs/ConvertArc.h"
#include "app/dialogs/Properties.h"
#include "app/dialogs/UUEncode.h"
#include "app/dialogs/ViewOutput.h"
#include "app/main/StatusLed.h"
#include "engine/read/krvKorva.h"
#include "platform/Shell.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <deque>
#include <fstream>
#include <regex>
#include <set>
#include <sys/stat.h>

using namespace testsupport;

namespace {

class TOperationsTest : public MainWindowTest {
protected:
    TOperationsTest() {
        WriteFile(FDir / "a.txt", "hello\n");
        WriteFile(FDir / "b.txt", TextBytes(30000));
        WriteFile(FDir / "dir/c.txt", TextBytes(5000, 7));
        Must(RunTool({"zip", "-q", "-X", "-r", "t.zip", "a.txt", "b.txt", "dir"}, FDir.Path()));
    }

    // The output window, closed when it shows; its text.
    std::shared_ptr<QString> CloseOutputWindow() {
        auto log = std::make_shared<QString>();
        AnswerNextModal<TfmViewOutput>([log](TfmViewOutput& Window) {
            *log = Find<QPlainTextEdit>(Window, "meOutput")->toPlainText();
            Window.done(mrOk);
        });
        return log;
    }

    TempDir FDir;
};

TEST_F(TOperationsTest, TestRepairConvertAndSelfExtractorFromTheMenu) {
    const std::string zip = ReadFile(FDir / "t.zip");
    std::string bad = zip;
    bad[bad.find("hello") + 1] ^= 0x20;
    WriteFile(FDir / "crc.zip", bad);
    WriteFile(FDir / "cut.zip", zip.substr(0, zip.find("PK\x01\x02")));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;

    Display((FDir / "t.zip").string());
    Action("acTest").trigger();
    EXPECT_TRUE(SawPrompt(FPrompter.Prompter(), "No errors were found in this archive file."));

    Display((FDir / "crc.zip").string());
    FPrompter.Prompter().Prompts.clear();
    auto tested = CloseOutputWindow();
    Action("acTest").trigger();
    EXPECT_TRUE(tested->contains("> Testing: a.txt ... Failed")) << tested->toStdString();
    EXPECT_TRUE(tested->contains("> Testing: b.txt ... Passed")) << tested->toStdString();
    EXPECT_TRUE(tested->contains("> Entries passed: 3, failed: 1; CRC error: 1")) << tested->toStdString();
    EXPECT_FALSE(SawPrompt(FPrompter.Prompter(), "No errors"));

    // Repair: the zip to repair, then where the repaired one goes.
    AnswerFileDialog(Q(FDir / "cut.zip"),
                     [this](TLmCustomOpenDialog&) { AnswerFileDialog(Q(FDir / "fixed.zip")); });
    auto repaired = CloseOutputWindow();
    Action("acRepair").trigger();
    EXPECT_TRUE(repaired->contains("> 4 out of 4 files were recovered.")) << repaired->toStdString();
    Must(RunTool({"unzip", "-t", "fixed.zip"}, FDir.Path()));
    EXPECT_EQ(RunTool({"unzip", "-p", "fixed.zip", "dir/c.txt"}, FDir.Path()).Out,
              ReadFile(FDir / "dir/c.txt"));

    // Convert: to lzh, then a copy to tar with the original deleted afterwards; a conversion
    // that fails keeps its original.
    struct TConvert {
        const char* Input;
        int Format;
        bool DeleteOriginal;
        const char* Output;
        std::vector<std::string> Check;
        bool Converted;
    } const converts[] = {
        {"t.zip", TfmConvertArc::cfLzh, false, "t.lzh", {"lhasa", "t", "t.lzh"}, true},
        // The tar.gz is judged by the name with ".gz".
        {"t.zip", TfmConvertArc::cfGZipTar, false, "t.tar.gz", {"tar", "-tzf", "t.tar.gz"}, true},
        {"copy.zip", TfmConvertArc::cfTar, true, "copy.tar", {"tar", "-tf", "copy.tar"}, true},
        {"crc.zip", TfmConvertArc::cfTar, true, "crc.tar", {}, false},
    };
    WriteFile(FDir / "copy.zip", zip);
    for (const TConvert& c : converts) {
        Display((FDir / c.Input).string());
        FPrompter.Prompter().Prompts.clear();
        AnswerNextModal<TfmConvertArc>([&c](TfmConvertArc& Dialog) {
            Find<QComboBox>(Dialog, "cbFormat")->setCurrentIndex(c.Format);
            Find<QCheckBox>(Dialog, "ckDeleteOrg")->setChecked(c.DeleteOriginal);
            Find<QPushButton>(Dialog, "buConvert")->click();
        });
        Action("acConvert").trigger();
        EXPECT_EQ(SawPrompt(FPrompter.Prompter(), "Archive conversion successfully completed."), c.Converted)
            << c.Input;
        // A failed conversion leaves the light amber.
        EXPECT_EQ(FWindow->LedColor(), c.Converted ? QColor(Qt::green) : TStatusLed::FailedColor())
            << c.Input;
        EXPECT_EQ(fs::exists(FDir / c.Input), !(c.Converted && c.DeleteOriginal)) << c.Input;
        if (!c.Check.empty()) Must(RunTool(c.Check, FDir.Path()));
    }
    EXPECT_EQ(RunTool({"tar", "-xOf", "copy.tar", "b.txt"}, FDir.Path()).Out, ReadFile(FDir / "b.txt"));

    // UUencode: the text that uudecode turns back into the archive.
    Display((FDir / "t.zip").string());
    AnswerNextModal<TfmUUEncode>([](TfmUUEncode& Dialog) { Find<QPushButton>(Dialog, "buOK")->click(); });
    Action("acUUencode").trigger();
    EXPECT_TRUE(SawPrompt(FPrompter.Prompter(), "UUEncode completed successfully."));
    Must(RunTool({"uudecode", "-o", "decoded.zip", "t.uue"}, FDir.Path()));
    EXPECT_EQ(ReadFile(FDir / "decoded.zip"), zip);

    AnswerFileDialog(Q(FDir / "t.exe"));
    Action("acMakeSFX").trigger();
    EXPECT_TRUE(SawPrompt(FPrompter.Prompter(), Q(FDir / "t.exe") + " created."));
    Must(RunTool({(FDir / "t.exe").string(), "-t"}, FDir.Path()));
}

TEST_F(TOperationsTest, PropertiesAndComment) {
    Must(RunTool({"zip", "-q", "-z", "t.zip"}, FDir.Path(), "first comment\n.\n"));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    // With CommentsOpen the comment shows when the archive is opened.
    AppSettings().CommentsOpen = true;
    QString shown;
    AnswerNextModal<TfmComment>([&shown](TfmComment& Dialog) {
        shown = Find<QPlainTextEdit>(Dialog, "meComment")->toPlainText();
        Find<QPushButton>(Dialog, "buClose")->click();
    });
    FWindow->OpenRecent(Q(FDir / "t.zip"));
    WaitIdle();
    EXPECT_EQ(shown, "first comment");

    std::map<std::string, QString> properties;
    AnswerNextModal<TfmProperties>([&properties](TfmProperties& Dialog) {
        for (const char* name : {"laArcType", "laTotalFiles", "laRatio"})
            properties[name] = Find<QLabel>(Dialog, name)->text();
        properties["comment"] = Find<QPlainTextEdit>(Dialog, "meComment")->toPlainText();
        properties["unpacked"] = Find<QLabel>(Dialog, "laUnpackedSize")->text();
        properties["archive"] = Find<QCheckBox>(Dialog, "ckArchive")->isChecked() ? "yes" : "no";
        Dialog.done(mrOk);
    });
    Action("acProperties").trigger();
    EXPECT_EQ(properties["laArcType"], "ZIP");
    EXPECT_EQ(properties["laTotalFiles"], "3");
    EXPECT_EQ(properties["comment"], "first comment");
    EXPECT_EQ(properties["unpacked"], "0.03 MB (35,006 bytes)");
    EXPECT_EQ(properties["archive"], "yes");

    // A cabinet's packed size is its file's size; it has no comment.
    Must(RunTool({"gcab", "-c", "-z", "t.cab", "a.txt", "b.txt"}, FDir.Path()));
    Display((FDir / "t.cab").string());
    properties.clear();
    AnswerNextModal<TfmProperties>([&properties](TfmProperties& Dialog) {
        properties["packed"] = Find<QLabel>(Dialog, "laPackedSize")->text();
        properties["comment"] = Find<QPlainTextEdit>(Dialog, "meComment")->toPlainText();
        Dialog.done(mrOk);
    });
    Action("acProperties").trigger();
    const auto cabSize = static_cast<double>(fs::file_size(FDir / "t.cab"));
    EXPECT_EQ(properties["packed"], QString::number(cabSize / 1048576.0, 'f', 2) + " MB (" +
                                        QLocale(QLocale::English).toString(cabSize, 'f', 0) + " bytes)");
    EXPECT_EQ(properties["comment"], "Comments not supported for this archive format.");
    Display((FDir / "t.zip").string());

    // The comment command, typed into: Save enables with the change and writes it; a later
    // change closed unsaved asks, and the answer decides what unzip then reads. Closing with
    // nothing changed asks nothing and leaves the file alone.
    const auto comment = [&] { return RunTool({"unzip", "-z", "t.zip"}, FDir.Path()).Out; };
    struct {
        const char* Typed;
        bool SaveFirst;
        std::deque<int> Answers;
        const char* Expected;
    } const cases[] = {
        {" second", true, {}, "first comment second"},
        {" third", false, {mrNo}, "first comment second"},
        {" fourth", false, {mrYes}, "first comment second fourth"},
        {"", false, {}, "first comment second fourth"},
    };
    for (const auto& c : cases) {
        const std::string before = ReadFile(FDir / "t.zip");
        FPrompter.Prompter().Prompts.clear();
        FPrompter.Prompter().Answers = c.Answers;
        bool enabledBefore = true, enabledAfter = false, enabledSaved = true;
        AnswerNextModal<TfmComment>([&](TfmComment& Dialog) {
            auto* save = Find<QPushButton>(Dialog, "bbSave");
            auto* edit = Find<QPlainTextEdit>(Dialog, "meComment");
            enabledBefore = save->isEnabled();
            edit->moveCursor(QTextCursor::End);
            QTest::keyClicks(edit, c.Typed);
            enabledAfter = save->isEnabled();
            if (c.SaveFirst) save->click();
            enabledSaved = save->isEnabled();
            Find<QPushButton>(Dialog, "buClose")->click();
        });
        Action("acViewComment").trigger();
        EXPECT_FALSE(enabledBefore) << c.Typed;
        EXPECT_EQ(enabledAfter, *c.Typed != 0) << c.Typed;
        EXPECT_EQ(enabledSaved, *c.Typed != 0 && !c.SaveFirst) << c.Typed;
        EXPECT_EQ(FPrompter.Prompter().Prompts.size(), c.Answers.size()) << c.Typed;
        EXPECT_NE(comment().find(std::string("\n") + c.Expected + "\n"), std::string::npos) << c.Typed << "\n"
                                                                                            << comment();
        if (!*c.Typed) {
            EXPECT_EQ(ReadFile(FDir / "t.zip"), before);
        }
    }
    Must(RunTool({"unzip", "-t", "t.zip"}, FDir.Path()));

    // A read-only archive the user does not let be written keeps its bytes, and the window says
    // why, with the engine's code.
    const std::string kept = ReadFile(FDir / "t.zip");
    ::chmod((FDir / "t.zip").c_str(), 0444);
    FPrompter.Prompter().Prompts.clear();
    FPrompter.Prompter().Answers = {mrNo, mrOk};
    AnswerNextModal<TfmComment>([&](TfmComment& Dialog) {
        auto* edit = Find<QPlainTextEdit>(Dialog, "meComment");
        edit->moveCursor(QTextCursor::End);
        QTest::keyClicks(edit, " fifth");
        Find<QPushButton>(Dialog, "bbSave")->click();
        Find<QPushButton>(Dialog, "buClose")->click();
    });
    Action("acViewComment").trigger();
    ::chmod((FDir / "t.zip").c_str(), 0644);
    EXPECT_EQ(ReadFile(FDir / "t.zip"), kept);
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 2u);
    EXPECT_TRUE(FPrompter.Prompter().Prompts[0].Text.contains("Read Only"));
    EXPECT_TRUE(FPrompter.Prompter().Prompts[1].Text.contains("25104"))
        << FPrompter.Prompter().Prompts[1].Text.toStdString();

    // A zip without a comment opens without the comment window.
    Must(RunTool({"zip", "-q", "-X", "plain.zip", "a.txt"}, FDir.Path()));
    bool opened = false;
    QTimer::singleShot(0, [&opened] {
        if (auto* dialog = qobject_cast<TfmComment*>(QApplication::activeModalWidget())) {
            opened = true;
            dialog->done(mrOk);
        }
    });
    FWindow->OpenRecent(Q(FDir / "plain.zip"));
    WaitIdle();
    EXPECT_FALSE(opened);
}

// The archive file as a whole: each command's result message, where the file is afterwards and
// that its bytes are those of the original.
TEST_F(TOperationsTest, MoveCopyRenameAndDeleteTheArchive) {
    // Too big for the full disk: data that does not compress.
    std::string noise(40000, '\0');
    std::uint32_t seed = 1;
    for (char& c : noise)
        c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    WriteFile(FDir / "noise.bin", noise);
    Must(RunTool({"zip", "-q", "-X", "-0", "t.zip", "noise.bin"}, FDir.Path()));
    const std::string original = ReadFile(FDir / "t.zip");
    SmallDisk other(FDir / "other", "4m"), full(FDir / "full", "16k");
    ASSERT_TRUE(other.Mounted && full.Mounted);
    WriteFile(FDir / "other/taken.zip", "another file");
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    struct TCase {
        const char* Name;
        const char* Action;
        QString Answer; // the file dialog's name or the input box's text
        const char* Said;
        fs::path Where; // the open archive's file afterwards
        bool Listed;    // the window shows it
    } const cases[] = {
        {"move", "acMoveArchive", Q(FDir / "moved.zip"), "Archive has been successfully moved.",
         FDir / "moved.zip", true},
        {"move onto another file system", "acMoveArchive", Q(FDir / "other/t.zip"),
         "Archive has been successfully moved.", FDir / "other/t.zip", true},
        {"move onto a full one", "acMoveArchive", Q(FDir / "full/t.zip"), "The archive could not be moved",
         FDir / "other/t.zip", true},
        {"copy", "acCopyArchive", Q(FDir / "copy.zip"), "File copied successfully.", FDir / "other/t.zip",
         true},
        {"copy onto a full one", "acCopyArchive", Q(FDir / "full/c.zip"), "File copy failed.",
         FDir / "other/t.zip", true},
        {"rename with an extension", "acRenameArchive", "r.zip", "You entered a file extension.",
         FDir / "other/t.zip", true},
        {"rename out of its folder", "acRenameArchive", "../t", "../t cannot be used", FDir / "other/t.zip",
         true},
        {"rename onto another file", "acRenameArchive", "taken",
         "The new filename you entered already exist.", FDir / "other/t.zip", true},
        {"rename", "acRenameArchive", "renamed", "", FDir / "other/renamed.zip", true},
        {"delete", "acDeleteArchive", "", "File has been successfully deleted.", {}, false},
    };
    Display((FDir / "t.zip").string());
    for (const TCase& c : cases) {
        FPrompter.Prompter().Prompts.clear();
        if (std::string(c.Action) == "acRenameArchive")
            FPrompter.Prompter().Inputs = {c.Answer};
        else if (!c.Answer.isEmpty())
            AnswerFileDialog(c.Answer);
        Action(c.Action).trigger();
        WaitIdle();
        if (*c.Said) {
            EXPECT_TRUE(SawPrompt(FPrompter.Prompter(), c.Said)) << c.Name;
        }
        if (c.Listed) {
            EXPECT_EQ(FWindow->Lister().ArchiveFile(), c.Where.string()) << c.Name;
            EXPECT_EQ(ReadFile(c.Where), original) << c.Name;
            EXPECT_EQ(Rows(), 4) << c.Name;
        } else {
            EXPECT_EQ(FWindow->Lister().ArchiveFile(), "") << c.Name;
        }
    }
    EXPECT_FALSE(fs::exists(FDir / "t.zip"));
    EXPECT_FALSE(fs::exists(FDir / "moved.zip"));
    EXPECT_FALSE(fs::exists(FDir / "other/renamed.zip"));
    EXPECT_FALSE(fs::exists(FDir / "full/t.zip"));
    EXPECT_EQ(ReadFile(FDir / "copy.zip"), original);
    EXPECT_EQ(ReadFile(FDir / "other/taken.zip"), "another file");
    // Nothing half-written was left on the full disk.
    EXPECT_TRUE(fs::is_empty(FDir / "full"));
}

TEST_F(TOperationsTest, CheckOutRefusalsAndCleanUp) {
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    std::vector<QStringList> launched;
    FWindow->OnLaunch = [&launched](const QString& Program, const QStringList& Arguments) {
        launched.push_back(QStringList{Program} + Arguments);
        return true;
    };
    Display((FDir / "t.zip").string());
    const std::string original = ReadFile(FDir / "t.zip");
    const std::string programs = SpecialFolderPath(sfPrograms);
    auto checkOut = [this](const QString& Folder, int MaxIcons) {
        AnswerNextModal<TfmCheckout>([Folder, MaxIcons](TfmCheckout& Dialog) {
            Find<QLineEdit>(Dialog, "edFolder")->setText(Folder);
            Find<QSpinBox>(Dialog, "edMaxIcons")->setValue(MaxIcons);
            Find<QCheckBox>(Dialog, "ckCreateIcons")->setChecked(false);
            Find<QPushButton>(Dialog, "buOK")->click();
            // A refused folder leaves the dialog open.
            if (Dialog.isVisible()) Dialog.done(mrCancel);
        });
        Action("acCheckOut").trigger();
        WaitIdle();
    };
    // The root, the home folder and the archive's own folder (by any path) are never emptied.
    TempDir elsewhere;
    fs::create_directory_symlink(FDir.Path(), elsewhere / "same");
    for (const QString& folder :
         {QStringLiteral("/"), QDir::homePath(), Q(FDir.Path()), Q(elsewhere / "same")}) {
        FPrompter.Prompter().Prompts.clear();
        // Yes to emptying a folder that exists: the folder is refused all the same.
        FPrompter.Prompter().Answers = {mrYes};
        checkOut(folder, 50);
        FPrompter.Prompter().Answers.clear();
        EXPECT_TRUE(SawPrompt(FPrompter.Prompter(), "The folder or group name you specified cannot be used"))
            << folder.toStdString();
        EXPECT_EQ(ReadFile(FDir / "t.zip"), original);
        EXPECT_TRUE(fs::exists(FDir / "a.txt"));
        EXPECT_TRUE(launched.empty());
    }

    // A folder that exists: its files are named, and kept unless the user says Yes (not the
    // default).
    const fs::path folder = FDir / "out";
    auto asked = [this](const QString& Part) {
        for (const TPrompt& prompt : FPrompter.Prompter().Prompts)
            if (prompt.Text.contains(Part)) return true;
        return false;
    };
    WriteFile(folder / "stale.txt", "from before");
    checkOut(Q(folder), 2);
    EXPECT_TRUE(asked("stale.txt"));
    EXPECT_EQ(ReadFile(folder / "stale.txt"), "from before");
    EXPECT_TRUE(launched.empty());
    FPrompter.Prompter().Answers = {mrYes};
    checkOut(Q(folder), 2);
    EXPECT_FALSE(fs::exists(folder / "stale.txt"));
    EXPECT_EQ(ReadFile(folder / "dir/c.txt"), ReadFile(FDir / "dir/c.txt"));
    const fs::path group = fs::path(programs) / "t";
    std::set<std::string> links;
    for (const auto& entry : fs::directory_iterator(group))
        links.insert(entry.path().filename().string());
    EXPECT_EQ(links.size(), 2u);
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0], (QStringList{"xdg-open", Q(group)}));

    // Cancel keeps the window and the check-out; the default (No) keeps the folder, whose
    // file of the user's is named; Yes removes the folder and the group.
    WriteFile(folder / "mine.txt", "the user's");
    FPrompter.Prompter().Answers = {mrCancel, mrCancel};
    Action("acExit").trigger();
    EXPECT_TRUE(FWindow->isVisible());
    Action("acCloseArchive").trigger();
    EXPECT_EQ(Rows(), 3);
    EXPECT_TRUE(fs::exists(folder));
    FPrompter.Prompter().Prompts.clear();
    Action("acCloseArchive").trigger();
    ASSERT_FALSE(FPrompter.Prompter().Prompts.empty());
    EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text.toStdString(),
              "Do you want to delete the Check Out folder \"" + folder.string() +
                  "/\" and the \r\nprogram group \"t\" ?\r\n\r\nThese files were not written by the check "
                  "out and are deleted too:\r\nmine.txt");
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(ReadFile(folder / "mine.txt"), "the user's");
    EXPECT_EQ(ReadFile(folder / "dir/c.txt"), ReadFile(FDir / "dir/c.txt"));

    // Yes deletes the files a question named and those the check-out wrote; more than it names
    // are kept, and an entry of a kept file's name is not extracted over it.
    Display((FDir / "t.zip").string());
    WriteFile(folder / "a.txt", "the user's a");
    for (int i = 0; i < NamedFilesLimit; ++i)
        WriteFile(folder / "0" / ("z" + std::to_string(100 + i) + ".txt"), "z");
    FPrompter.Prompter().Answers = {mrYes};
    checkOut(Q(folder), 2);
    EXPECT_FALSE(fs::exists(folder / "0"));
    EXPECT_EQ(ReadFile(folder / "a.txt"), "the user's a");
    EXPECT_EQ(ReadFile(folder / "mine.txt"), "the user's");
    for (int i = 0; i <= 20; ++i)
        WriteFile(folder / "user" / ("u" + std::to_string(100 + i) + ".txt"), "u");
    FPrompter.Prompter().Prompts.clear();
    FPrompter.Prompter().Answers = {mrYes};
    Action("acCloseArchive").trigger();
    EXPECT_TRUE(asked("a.txt\r\nb.txt\r\ndir/c.txt\r\nmine.txt\r\nuser/u100.txt"));
    EXPECT_TRUE(asked("user/u115.txt\r\n(5 more, not named here, are kept.)"));
    EXPECT_EQ(Rows(), 0);
    EXPECT_FALSE(fs::exists(folder / "a.txt"));
    EXPECT_FALSE(fs::exists(folder / "dir"));
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"user"});
    EXPECT_EQ(FolderNames(folder / "user"),
              (std::vector<std::string>{"u116.txt", "u117.txt", "u118.txt", "u119.txt", "u120.txt"}));
    EXPECT_FALSE(fs::exists(group));
    EXPECT_TRUE(fs::exists(programs));
    EXPECT_EQ(ReadFile(FDir / "t.zip"), original);

    // A setup program at the archive's root: it cannot run here, and the user is told so.
    WriteFile(FDir / "SETUP.EXE", "MZ");
    Must(RunTool({"zip", "-q", "-X", "setup.zip", "SETUP.EXE", "a.txt"}, FDir.Path()));
    Display((FDir / "setup.zip").string());
    ASSERT_TRUE(Action("acInstall").isEnabled());
    Action("acInstall").trigger();
    EXPECT_TRUE(SawPrompt(FPrompter.Prompter(),
                          "SETUP.EXE is a Windows setup program and cannot run on this system."));
}

// Every help topic the program names has its page, and the help menu opens the pages.
TEST_F(TOperationsTest, HelpPages) {
    const fs::path source = fs::path(QUILLAR_CORPUS_DIR).parent_path().parent_path();
    const fs::path help = fs::path(QUILLAR_BINARY_DIR) / "share/quillar/help";
    // Every topic the code and the forms name, the wizard's numbered steps included.
    std::set<std::string> topics;
    const std::regex topic("(Hlp_[A-Za-z0-9_]+)");
    for (const char* folder : {"app/dialogs", "app/main", "ui"})
        for (const auto& entry : fs::directory_iterator(source / folder)) {
            const std::string text = ReadFile(entry.path());
            for (auto it = std::sregex_iterator(text.begin(), text.end(), topic);
                 it != std::sregex_iterator(); ++it)
                topics.insert((*it)[1]);
        }
    EXPECT_GT(topics.size(), 40u);
    EXPECT_TRUE(topics.contains("Hlp_Wizard_x3"));
    for (const std::string& name : topics)
        EXPECT_TRUE(fs::is_regular_file(help / (name + ".html"))) << name;

    Open();
    std::vector<QStringList> launched;
    FWindow->OnLaunch = [&launched](const QString& Program, const QStringList& Arguments) {
        launched.push_back(QStringList{Program} + Arguments);
        return true;
    };
    for (const char* action : {"acHelpContents", "acHelpFAQ", "acLicenseAgreement"})
        Action(action).trigger();
    ASSERT_EQ(launched.size(), 3u);
    for (const QStringList& run : launched) {
        EXPECT_EQ(run[0], "xdg-open");
        EXPECT_TRUE(fs::is_regular_file(run[1].toStdString())) << run[1].toStdString();
    }
    EXPECT_TRUE(launched[1][1].endsWith("/Hlp_Frequently_Asked.html"));
}

} // namespace

// The batch commands from the window: Virus Scan without a scanner says how to set one up and
// opens no batch tool; a batch Add to the open archive lists the added file at once.
TEST_F(TOperationsTest, BatchCommandsFromTheWindow) {
    TempDir dir;
    WriteFile(dir / "a.txt", TextBytes(2000));
    WriteFile(dir / "b.txt", TextBytes(3000, 3));
    WriteFile(dir / "new.txt", "new\n");
    Must(RunTool({"zip", "-q", "-X", "t.zip", "a.txt", "b.txt"}, dir.Path()));
    Open({Q(dir / "t.zip")});
    FPrompter.Prompter().DefaultsAllowed = true;
    ASSERT_EQ(Rows(), 2);

    bool opened = false;
    QPointer<QTimer> waiter = AnswerNextModal<TfmBatch>(
        [&](TfmBatch& B) {
            opened = true;
            B.reject();
        },
        500);
    Action("acBatchVirusScan").trigger();
    QTest::qWait(600);
    EXPECT_FALSE(opened);
    EXPECT_TRUE(SawPrompt(FPrompter.Prompter(), "You need to configure a virus scanner before you can"));

    AnswerNextModal<TfmBatch>([&](TfmBatch& B) {
        B.AddSelectedFiles({Q(dir / "t.zip")});
        B.AddMoreFiles({Q(dir / "new.txt")});
        for (int i = 0; i < 6 && B.CurrentPage() != 2; ++i)
            B.NextClick();
        B.reject();
    });
    Action("acBatchAdd").trigger();
    EXPECT_EQ(RunTool({"unzip", "-p", (dir / "t.zip").string(), "new.txt"}).Out, "new\n");
    EXPECT_EQ(Rows(), 3);
    EXPECT_GE(RowOf("new.txt"), 0);
}

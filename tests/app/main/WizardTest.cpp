// The wizard driven page by page through its controls: it creates, updates and extracts real
// archives (checked by unzip and by comparing the files unzip extracts), its pages refuse what
// they must, an existing file chosen for a new archive survives a refusal, a failed run and a
// full disk, a failed extraction is not reported as done, and the command hides the window and
// suspends its actions, also from the command line.
#include "MainWindowFixture.h"
#include "ToolChecks.h"

#include "DialogDriver.h"
#include "SmallDisk.h"
#include "app/cli/CommandLine.h"
#include "app/dialogs/DialogSupport.h"
#include "app/common/SettingValues.h"
#include "app/main/QtEngineHost.h"
#include "app/main/Wizard.h"
#include "engine/read/krvKorva.h"
#include "ui/LmOpenSaveComm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>
#include <map>

using namespace testsupport;

namespace {

// Every file under Root: its path relative to Root and its bytes.
std::map<std::string, std::string> Tree(const fs::path& Root) {
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(Root); it != fs::recursive_directory_iterator(); ++it)
        if (it->is_regular_file()) tree[fs::relative(it->path(), Root).string()] = ReadFile(it->path());
    return tree;
}

// The files dialog: Names (in Folder) typed into its name box and Add pressed.
void AnswerFiles(const fs::path& Folder, const QString& Names) {
    AnswerNextModal<TLmCustomOpenDialog>([Folder, Names](TLmCustomOpenDialog& Dialog) {
        Dialog.setDirectory(Q(Folder));
        Find<QLineEdit>(Dialog, "fileNameEdit")->setText(Names);
        Dialog.Press(1);
    });
}

// The folder browser: Folder chosen.
void AnswerFolder(const fs::path& Folder) {
    AnswerNextModal<QFileDialog>([Folder](QFileDialog& Dialog) {
        Dialog.setDirectory(Q(Folder));
        QMetaObject::invokeMethod(&Dialog, "accept");
    });
}

class TWizardTest : public MainWindowTest {
protected:
    TWizardTest() : FPreviousHost(EngineHost::Install(std::make_unique<TQtEngineHost>())) {}
    ~TWizardTest() override { EngineHost::Install(std::move(FPreviousHost)); }

    static QString Page(TfmWizard& W) {
        return Find<QStackedWidget>(W, "nbWizard")->currentWidget()->objectName();
    }
    static void Next(TfmWizard& W) { Find<QPushButton>(W, "buNext")->click(); }
    // The last message's text, '' when none came since the last call.
    QString TakeMessage() {
        auto& prompts = FPrompter.Prompter().Prompts;
        const QString text = prompts.empty() ? QString() : prompts.back().Text;
        prompts.clear();
        return text;
    }
    std::unique_ptr<EngineHost> FPreviousHost;
};

// Create, then update, then extract, each page by page; the archive is tested by unzip, and
// both what unzip extracts and what the wizard extracts are the source files byte for byte.
TEST_F(TWizardTest, CreateUpdateAndExtractPageByPage) {
    TempDir src, work;
    WriteFile(src / "one.txt", TextBytes(5000));
    WriteFile(src / "two.bin", RandomBytes(70000));
    WriteFile(src / "three.txt", "added later\n");
    WriteFile(src / "docs/a.txt", TextBytes(3000, 4));
    WriteFile(src / "docs/b.bin", RandomBytes(2000, 5));
    WriteFile(src / "docs/deep/a.txt", TextBytes(1000, 6));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    const CurrentFolderGuard here(work.Path());
    CurrentFolder() = Q(work.Path());
    const fs::path archive = work / "made.zip";

    {
        TfmWizard w(*FWindow);
        QStringList lines;
        RunModal(w, {[&] {
                     EXPECT_EQ(Page(w), "Start");
                     EXPECT_FALSE(Find<QPushButton>(w, "buBack")->isEnabled());
                     Next(w);
                     EXPECT_EQ(Page(w), "CreateStart");
                     EXPECT_EQ(Find<QLabel>(w, "laCurrentDir")->text(), Q(work.Path()));
                     // Quoted, relative and without extension: made.zip in the folder shown.
                     Find<QLineEdit>(w, "rxfedCreate")->setText("\"made\"");
                     Next(w);
                     EXPECT_EQ(Page(w), "AddFiles");
                     EXPECT_EQ(Find<QPushButton>(w, "buNext")->text(), "&Finish");
                     EXPECT_TRUE(Find<QPushButton>(w, "buBack")->isEnabled());
                     AnswerFiles(src.Path(), "\"one.txt\" \"two.bin\"");
                     Find<QPushButton>(w, "buAddFiles")->click();
                     AnswerFolder(src / "docs");
                     Find<QPushButton>(w, "buAddFolders")->click();
                     AnswerFiles(src.Path(), "one.txt"); // listed once only
                     Find<QPushButton>(w, "buAddFiles")->click();
                     Find<QListWidget>(w, "lbFiles")->item(1)->setSelected(true);
                     Find<QPushButton>(w, "buRemove")->click();
                     AnswerFiles(src.Path(), "two.bin");
                     Find<QPushButton>(w, "buAddFiles")->click();
                     for (int i = 0; i < Find<QListWidget>(w, "lbFiles")->count(); ++i)
                         lines << Find<QListWidget>(w, "lbFiles")->item(i)->text();
                     Next(w);
                     EXPECT_EQ(Page(w), "AddFinish");
                     EXPECT_FALSE(Find<QPushButton>(w, "buBack")->isEnabled());
                     EXPECT_EQ(Find<QPushButton>(w, "buNext")->text(), "&Next >");
                     // Next on a finish page starts again, empty, in create mode.
                     Next(w);
                     EXPECT_EQ(Page(w), "Start");
                     EXPECT_TRUE(Find<QRadioButton>(w, "rbStartCreate")->isChecked());
                     EXPECT_EQ(w.Mode(), TfmWizard::wmCreate);
                     EXPECT_EQ(Find<QListWidget>(w, "lbFiles")->count(), 0);
                     EXPECT_TRUE(Find<QLineEdit>(w, "rxfedCreate")->text().isEmpty() &&
                                 Find<QLineEdit>(w, "rxfedUpdate")->text().isEmpty() &&
                                 Find<QLineEdit>(w, "rxfedExtract")->text().isEmpty() &&
                                 Find<QLineEdit>(w, "edTargetFolder")->text().isEmpty());
                 }});
        EXPECT_EQ(lines, (QStringList{Q(src / "one.txt"), Q(src / "docs") + "/*.*", Q(src / "two.bin")}));
    }
    Must(RunTool({"unzip", "-t", archive.string()}));
    EXPECT_EQ(FWindow->Lister().ArchiveFile(), archive.string());

    {
        TfmWizard w(*FWindow);
        RunModal(w, {[&] {
                     // The open archive is offered for both tasks.
                     EXPECT_EQ(Find<QLineEdit>(w, "rxfedUpdate")->text(), Q(archive));
                     EXPECT_EQ(Find<QLineEdit>(w, "rxfedExtract")->text(), Q(archive));
                     Find<QRadioButton>(w, "rbStartUpdate")->click();
                     EXPECT_EQ(w.PageSequence(), (QStringList{"0", "3", "2", "4"}));
                     Next(w);
                     EXPECT_EQ(Page(w), "UpdateStart");
                     Next(w);
                     EXPECT_EQ(Page(w), "AddFiles");
                     AnswerFiles(src.Path(), "three.txt");
                     Find<QPushButton>(w, "buAddFiles")->click();
                     Next(w);
                     EXPECT_EQ(Page(w), "AddFinish");
                 }});
    }
    Must(RunTool({"unzip", "-t", archive.string()}));
    TempDir byUnzip;
    Must(RunTool({"unzip", "-q", archive.string(), "-d", byUnzip.Str()}));
    const std::map<std::string, std::string> expected = {
        {"one.txt", ReadFile(src / "one.txt")},       {"two.bin", ReadFile(src / "two.bin")},
        {"three.txt", ReadFile(src / "three.txt")},   {"docs/a.txt", ReadFile(src / "docs/a.txt")},
        {"docs/b.bin", ReadFile(src / "docs/b.bin")}, {"docs/deep/a.txt", ReadFile(src / "docs/deep/a.txt")},
    };
    EXPECT_EQ(Tree(byUnzip.Path()), expected);

    std::vector<QStringList> launched;
    FWindow->OnLaunch = [&launched](const QString& Program, const QStringList& Arguments) {
        launched.push_back(QStringList{Program} + Arguments);
        return true;
    };
    const fs::path target = work / "out/new";
    {
        TfmWizard w(*FWindow);
        RunModal(w, {[&] {
                     Find<QRadioButton>(w, "rbStartExtract")->click();
                     Next(w);
                     EXPECT_EQ(Page(w), "ExtractStart");
                     Next(w);
                     EXPECT_EQ(Page(w), "SelectFolder");
                     // The archive's own folder by default.
                     EXPECT_EQ(Find<QLineEdit>(w, "edTargetFolder")->text(), Q(work.Path()) + "/");
                     EXPECT_TRUE(Find<QCheckBox>(w, "ckExOverwrite")->isChecked() &&
                                 Find<QCheckBox>(w, "ckExDisplayIcons")->isChecked() &&
                                 Find<QCheckBox>(w, "ckExStoredFolders")->isChecked());
                     Find<QLineEdit>(w, "edTargetFolder")->setText(Q(target));
                     Next(w);
                     EXPECT_EQ(Page(w), "ExtractFinish");
                 }});
    }
    EXPECT_EQ(Tree(target), expected);
    ASSERT_EQ(launched.size(), 1U);
    EXPECT_EQ(launched[0], (QStringList{"xdg-open", Q(target)}));
}

// A wizard update of an open enciphered zip enciphers the files it adds with the archive's
// password, as every add does: zipinfo marks every entry enciphered, unzip tests them with it.
TEST_F(TWizardTest, AnUpdateOfAnEncipheredZipEnciphersWithItsPassword) {
    TempDir src, work;
    WriteFile(src / "a.txt", TextBytes(3000));
    WriteFile(src / "b.txt", TextBytes(4000, 2));
    const fs::path archive = work / "e.zip";
    Must(RunTool({"zip", "-q", "-X", "-P", "sesame", archive.string(), "a.txt"}, src.Path()));
    Open();
    Display(archive.string());
    FPrompter.Prompter().DefaultsAllowed = true;
    CurrentArchivePassword() = QStringLiteral("sesame");
    {
        TfmWizard w(*FWindow);
        RunModal(w, {[&] {
                     Find<QRadioButton>(w, "rbStartUpdate")->click();
                     Next(w);
                     EXPECT_EQ(Find<QLineEdit>(w, "rxfedUpdate")->text(), Q(archive));
                     Next(w);
                     AnswerFiles(src.Path(), "b.txt");
                     Find<QPushButton>(w, "buAddFiles")->click();
                     Next(w);
                     EXPECT_EQ(Page(w), "AddFinish");
                 }});
    }
    int enciphered = 0;
    EXPECT_EQ(ZipinfoEntries(archive, enciphered), 2);
    EXPECT_EQ(enciphered, 2);
    Must(RunTool({"unzip", "-tq", "-P", "sesame", archive.string()}));
    EXPECT_EQ(RunTool({"unzip", "-p", "-P", "sesame", archive.string(), "b.txt"}).Out,
              ReadFile(src / "b.txt"));
}

// Each page's refusals: the message and the page the wizard stays on; Back at both ends.
TEST_F(TWizardTest, PagesRefuseWhatTheyMust) {
    TempDir work;
    WriteFile(work / "a.txt", "a");
    Must(RunTool({"zip", "-q", "t.zip", "a.txt"}, work.Path()));
    fs::create_directory(work / "sub");
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    const CurrentFolderGuard here(work.Path());
    CurrentFolder() = Q(work.Path());
    const QString empty = "You must enter a file name before proceeding.";
    const QString select = "You must select an archive file before proceeding.";
    const QString invalid = "The file name you entered is invalid. Please select a different file.";
    struct TCase {
        const char* Task;
        QString Typed;   // on the second page
        QString Message; // '' when accepted
        const char* Page;
    } const cases[] = {
        {"rbStartCreate", "", empty, "CreateStart"},
        {"rbStartCreate", "\"\"", empty, "CreateStart"},
        {"rbStartCreate", "missing/x.zip", invalid, "CreateStart"},
        {"rbStartCreate", "sub/", invalid, "CreateStart"},
        {"rbStartCreate", "sub/../new.lzh", "", "AddFiles"},
        {"rbStartUpdate", "", select, "UpdateStart"},
        {"rbStartUpdate", "nothere.zip", invalid, "UpdateStart"},
        {"rbStartUpdate", "\"" + Q(work / "t.zip") + "\"", "", "AddFiles"},
        {"rbStartExtract", "", select, "ExtractStart"},
        {"rbStartExtract", Q(work / "sub"), invalid, "ExtractStart"},
        {"rbStartExtract", "t.zip", "", "SelectFolder"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Task + (" " + c.Typed.toStdString()));
        TfmWizard w(*FWindow);
        RunModal(w, {[&] {
                     Find<QRadioButton>(w, c.Task)->click();
                     Next(w);
                     Find<QLineEdit>(w, c.Task == std::string("rbStartCreate")   ? "rxfedCreate"
                                        : c.Task == std::string("rbStartUpdate") ? "rxfedUpdate"
                                                                                 : "rxfedExtract")
                         ->setText(c.Typed);
                     Next(w);
                     EXPECT_EQ(TakeMessage(), c.Message);
                     EXPECT_EQ(Page(w), c.Page);
                     if (c.Message.isEmpty()) {
                         // The next-to-last page refuses to finish with nothing chosen.
                         const bool extract = c.Task == std::string("rbStartExtract");
                         if (extract) Find<QLineEdit>(w, "edTargetFolder")->clear();
                         Next(w);
                         EXPECT_EQ(TakeMessage(),
                                   extract ? "Please select the target folder before proceeding."
                                           : "Please select at least one file or folder before proceeding.");
                         EXPECT_EQ(Page(w), c.Page);
                         Find<QPushButton>(w, "buBack")->click();
                         Find<QPushButton>(w, "buBack")->click();
                         EXPECT_EQ(Page(w), "Start");
                         EXPECT_FALSE(Find<QPushButton>(w, "buBack")->isEnabled());
                     }
                 }});
    }
    EXPECT_FALSE(fs::exists(work / "new.lzh"));
}

// An existing file chosen as the new archive: kept on No, kept byte for byte when the run
// fails (no source left, a full disk), replaced only by a written archive.
TEST_F(TWizardTest, AnExistingFileIsReplacedOnlyByAWrittenArchive) {
    TempDir work;
    SmallDisk disk(work / "disk");
    ASSERT_TRUE(disk.Mounted) << "a tmpfs cannot be mounted here";
    WriteFile(work / "disk/old.txt", "old");
    Must(RunTool({"zip", "-q", "old.zip", "old.txt"}, work / "disk"));
    const fs::path archive = work / "disk/old.zip";
    const std::string before = ReadFile(archive);
    WriteFile(work / "gone.txt", "gone");
    WriteFile(work / "big.bin", RandomBytes(400000));
    WriteFile(work / "new.txt", "new");
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    const QString question = "The file name you entered already exist. Do you want to overwrite this file ?";
    struct TCase {
        const char* Source;
        int Answer;       // to the overwrite question
        const char* Page; // where the wizard stands after Finish (or after the refusal)
    } const cases[] = {
        {"new.txt", mrNo, "CreateStart"},
        {"gone.txt", mrYes, "AddFiles"},
        {"big.bin", mrYes, "AddFiles"},
        {"new.txt", mrYes, "AddFinish"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Source);
        TfmWizard w(*FWindow);
        RunModal(w, {[&] {
                     Next(w);
                     Find<QLineEdit>(w, "rxfedCreate")->setText(Q(archive));
                     FPrompter.Prompter().Answers = {c.Answer};
                     FPrompter.Prompter().Prompts.clear();
                     Next(w);
                     ASSERT_FALSE(FPrompter.Prompter().Prompts.empty());
                     EXPECT_EQ(FPrompter.Prompter().Prompts.front().Text, question);
                     if (c.Answer == mrNo) return;
                     AnswerFiles(work.Path(), c.Source);
                     Find<QPushButton>(w, "buAddFiles")->click();
                     if (c.Source == std::string("gone.txt")) fs::remove(work / "gone.txt");
                     Next(w);
                 }});
        EXPECT_EQ(Page(w), c.Page);
        EXPECT_FALSE(fs::exists(work / "disk/old.zip.quillar-old"));
        if (c.Page != std::string("AddFinish")) {
            EXPECT_EQ(ReadFile(archive), before);
        }
    }
    const ToolResult list = RunTool({"unzip", "-l", archive.string()});
    ASSERT_EQ(list.ExitCode, 0) << list.Out;
    EXPECT_NE(list.Out.find("new.txt"), std::string::npos);
    EXPECT_EQ(list.Out.find("old.txt"), std::string::npos);
}

// A damaged archive: the error is reported, the wizard stays on its folder page and opens nothing.
TEST_F(TWizardTest, AFailedExtractionIsNotReportedAsCompleted) {
    TempDir work;
    WriteFile(work / "a.txt", TextBytes(4000));
    Must(RunTool({"zip", "-q", "-0", "t.zip", "a.txt"}, work.Path()));
    std::string bytes = ReadFile(work / "t.zip");
    bytes[30 + 5 + 1000] ^= 0x55; // inside the stored data
    WriteFile(work / "t.zip", bytes);
    ASSERT_NE(RunTool({"unzip", "-t", (work / "t.zip").string()}).ExitCode, 0);
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    bool launched = false;
    FWindow->OnLaunch = [&launched](const QString&, const QStringList&) { return launched = true; };
    TfmWizard w(*FWindow);
    RunModal(w, {[&] {
                 Find<QRadioButton>(w, "rbStartExtract")->click();
                 Next(w);
                 Find<QLineEdit>(w, "rxfedExtract")->setText(Q(work / "t.zip"));
                 Next(w);
                 Find<QLineEdit>(w, "edTargetFolder")->setText(Q(work / "out"));
                 Next(w);
             }});
    EXPECT_EQ(Page(w), "SelectFolder");
    EXPECT_TRUE(TakeMessage().startsWith("CRC error detected."));
    EXPECT_FALSE(launched);
}

// The command hides the window and suspends its actions while the wizard runs; the open
// archive is offered for adding only when it can be written. From the command line the wizard
// does its work with the window never shown.
TEST_F(TWizardTest, TheCommandAndTheCommandLine) {
    TempDir work;
    WriteFile(work / "c.txt", TextBytes(3000));
    WriteFile(work / "d.txt", TextBytes(2000, 7));
    Must(RunTool({"zip", "-q", "t.zip", "c.txt"}, work.Path()));
    Must(RunTool({"arj", "a", "-y", "t.arj", "c.txt"}, work.Path()));
    Open();
    struct TCase {
        const char* Archive;
        bool Offered;
    } const cases[] = {{"t.arj", false}, {"t.zip", true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Archive);
        Display((work / c.Archive).string());
        const bool addBefore = Action("acAdd").isEnabled();
        bool hidden = false, suspended = false;
        QString update, extract;
        AnswerNextModal<TfmWizard>([&](TfmWizard& W) {
            hidden = !FWindow->isVisible();
            suspended = !Action("acOpenArchive").isEnabled() && !Action("acWizard").isEnabled();
            update = Find<QLineEdit>(W, "rxfedUpdate")->text();
            extract = Find<QLineEdit>(W, "rxfedExtract")->text();
            Find<QPushButton>(W, "buClose")->click();
        });
        Action("acWizard").trigger();
        EXPECT_TRUE(hidden && suspended);
        EXPECT_EQ(extract, Q(work / c.Archive));
        EXPECT_EQ(update, c.Offered ? Q(work / c.Archive) : QString());
        EXPECT_TRUE(FWindow->isVisible());
        EXPECT_TRUE(Action("acOpenArchive").isEnabled() && Action("acWizard").isEnabled());
        EXPECT_EQ(Action("acAdd").isEnabled(), addBefore);
    }

    FPrompter.Prompter().DefaultsAllowed = true;
    AnswerNextModal<TfmWizard>([&](TfmWizard& W) {
        Next(W);
        Find<QLineEdit>(W, "rxfedCreate")->setText(Q(work / "cmd.lzh"));
        Next(W);
        AnswerFiles(work.Path(), "d.txt");
        Find<QPushButton>(W, "buAddFiles")->click();
        Next(W);
        EXPECT_EQ(Page(W), "AddFinish");
        Find<QPushButton>(W, "buClose")->click();
    });
    TCommandLine command({"-SYS", "-WIZARD"});
    EXPECT_EQ(command.Run(), 0);
    Must(RunTool({"lhasa", "t", (work / "cmd.lzh").string()}));
}

// After the wizard the window's menus follow the archive it lists: an archive the wizard made
// can be exported, and so can one opened later. An extraction whose folder no program can show
// ends on the finish page with the window back (a parentless message box, the last window on
// screen while the window is hidden, must not end the program).
TEST_F(TWizardTest, TheWindowComesBackWithItsMenus) {
    TempDir work;
    WriteFile(work / "e.txt", TextBytes(3000));
    Must(RunTool({"zip", "-q", "other.zip", "e.txt"}, work.Path()));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    const auto exportable = [&] {
        QAction* menu = FWindow->findChild<QMenu*>("miExport")->menuAction();
        return menu->isEnabled() && Action("miExportCsv").isEnabled();
    };
    EXPECT_FALSE(exportable());
    AnswerNextModal<TfmWizard>([&](TfmWizard& W) {
        Next(W);
        Find<QLineEdit>(W, "rxfedCreate")->setText(Q(work / "made.zip"));
        Next(W);
        AnswerFiles(work.Path(), "e.txt");
        Find<QPushButton>(W, "buAddFiles")->click();
        Next(W);
        EXPECT_EQ(Page(W), "AddFinish");
        Find<QPushButton>(W, "buClose")->click();
    });
    Action("acWizard").trigger();
    Must(RunTool({"unzip", "-tq", (work / "made.zip").string()}));
    EXPECT_EQ(FWindow->Lister().ArchiveFile(), (work / "made.zip").string());
    EXPECT_TRUE(exportable());
    Display((work / "other.zip").string());
    EXPECT_TRUE(exportable());

    bool quits = true;
    FWindow->OnLaunch = [&quits](const QString&, const QStringList&) {
        quits = QGuiApplication::quitOnLastWindowClosed();
        return false; // "No program is installed to open ..."
    };
    const fs::path target = work / "out";
    QString finish;
    AnswerNextModal<TfmWizard>([&](TfmWizard& W) {
        Find<QRadioButton>(W, "rbStartExtract")->click();
        Next(W);
        Next(W);
        Find<QLineEdit>(W, "edTargetFolder")->setText(Q(target));
        Find<QCheckBox>(W, "ckExDisplayIcons")->setChecked(true);
        Next(W);
        finish = Page(W);
        Find<QPushButton>(W, "buClose")->click();
    });
    Action("acWizard").trigger();
    EXPECT_FALSE(quits);
    EXPECT_EQ(finish, "ExtractFinish");
    EXPECT_EQ(ReadFile(target / "e.txt"), ReadFile(work / "e.txt"));
    EXPECT_TRUE(FWindow->isVisible());
    EXPECT_TRUE(QGuiApplication::quitOnLastWindowClosed());
    EXPECT_TRUE(exportable());
}

} // namespace

// With the start-up setting the wizard comes first, the window hidden meanwhile, and the window
// is shown once the wizard closes.
TEST_F(TWizardTest, StartsBeforeTheWindowWhenTheSettingAsks) {
    ShowAllColumns(); // a settings store that exists, so the first run's defaults stay away
    WriteSettingBool("Miscellaneous", "StartupWizard", true);
    bool shown = false, hidden = false;
    AnswerNextModal<TfmWizard>([&](TfmWizard& W) {
        shown = true;
        hidden = !FWindow->isVisible();
        Find<QPushButton>(W, "buClose")->click();
    });
    Open();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(hidden);
    EXPECT_TRUE(FWindow->isVisible());
}

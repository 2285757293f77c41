// The main window's adding and deleting on real archives, checked by unzip, lhasa and tar: the
// writer of an existing archive's own type whatever its extension, adding, refreshing, moving and
// deleting, names with wildcard characters, the whole-archive question, and a full disk or a
// cancel that leave the old archive byte for byte as it was.
#include "MainWindowFixture.h"
#include "ToolChecks.h"

#include "DialogDriver.h"
#include "SmallDisk.h"
#include "app/dialogs/AddOptionsBottom.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Progress.h"
#include "app/main/AddOptionsDialog.h"
#include "app/main/QtEngineHost.h"
#include "app/main/StatusLed.h"
#include "engine/read/krvKorva.h"
#include "ui/LmOpenSaveComm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <sstream>

using namespace testsupport;

namespace {

// The product's engine host, so that deleted archives and moved sources go to the trash of the
// test's private home.
class TAddTest : public MainWindowTest {
protected:
    TAddTest() : FPreviousHost(EngineHost::Install(std::make_unique<TQtEngineHost>())) {}
    ~TAddTest() override { EngineHost::Install(std::move(FPreviousHost)); }
    std::unique_ptr<EngineHost> FPreviousHost;
};

// The names of a zip as unzip -Z1 lists them, sorted.
std::vector<std::string> ZipNames(const fs::path& Zip) {
    std::vector<std::string> names;
    std::istringstream lines(RunTool({"unzip", "-Z1", Zip.string()}).Out);
    for (std::string line; std::getline(lines, line);)
        names.push_back(line);
    std::sort(names.begin(), names.end());
    return names;
}

// Runs Act on the next file dialog once it shows (set up before the command that opens it).
void WhenFileDialogShows(std::function<void(TLmCustomOpenDialog&)> Act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        TLmCustomOpenDialog* dialog = TLmCustomOpenDialog::Current();
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        Act(*dialog);
    });
    timer->start();
}

// Every writable type through the window's add worker: add, refresh and move, each checked by
// the real tool's test, listing and extraction; then the delete command. A tar.gz lists as its
// one compressed member, so deleting that row is deleting the archive; a cabinet offers no
// deletion and is left byte for byte as it was.
TEST_F(TAddTest, AddRefreshMoveAndDeleteCheckedByTheTools) {
    TempDir dir;
    WriteFile(dir / "one.txt", TextBytes(4000));
    WriteFile(dir / "two.bin", RandomBytes(3000));
    enum TDelete { dlEntry, dlWholeArchive, dlRefused };
    struct TCase {
        const char* Archive;
        std::vector<std::string> Test;    // the tool's test of the archive, its name last
        std::vector<std::string> List;    // the tool's listing of its names, its name last
        std::vector<std::string> Extract; // the tool's extraction into OUT, its name last
        TDelete Delete;
    } const cases[] = {
        {"made.zip", {"unzip", "-t"}, {"unzip", "-Z1"}, {"unzip", "-q", "-d", "OUT"}, dlEntry},
        {"made.lzh", {"lhasa", "t"}, {"lhasa", "l"}, {"lhasa", "xw=OUT"}, dlEntry},
        {"made.tgz", {"tar", "tzvf"}, {"bsdtar", "tf"}, {"tar", "-C", "OUT", "-xzf"}, dlWholeArchive},
        {"made.tar", {"tar", "tvf"}, {"bsdtar", "tf"}, {"bsdtar", "-C", "OUT", "-xf"}, dlEntry},
        {"made.cab", {"cabextract", "-t"}, {"gcab", "-l"}, {"cabextract", "-q", "-d", "OUT"}, dlRefused},
    };
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    int round = 0; // each refresh finds a newer file than the last one stored
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Archive);
        const fs::path archive = dir / c.Archive;
        const fs::path out = dir / (std::string("out-") + c.Archive);
        fs::create_directories(out);
        auto run = [&](std::vector<std::string> Argv) {
            for (std::string& arg : Argv)
                if (const std::size_t at = arg.find("OUT"); at != std::string::npos)
                    arg.replace(at, 3, out.string());
            Argv.push_back(archive.string());
            return RunTool(Argv, dir.Path());
        };
        const int listed = c.Delete == dlWholeArchive ? 1 : 0; // rows beside the entries: none
        EXPECT_EQ(AddFiles(archive.string(), {(dir / "one.txt").string(), (dir / "two.bin").string()}, 1,
                           swAdd, true),
                  2);
        Must(run(c.Test));
        EXPECT_EQ(Rows(), listed ? 1 : 2);
        // The last "Compressing: ..." leaves the status bar with the run.
        EXPECT_EQ(FWindow->findChild<QStatusBar*>("dfstbMainStatus")->currentMessage(), "");
        WriteFile(dir / "one.txt", TextBytes(5000, 9));
        fs::last_write_time(dir / "one.txt",
                            fs::last_write_time(dir / "one.txt") + std::chrono::hours(++round));
        EXPECT_EQ(AddFiles(archive.string(), {(dir / "one.txt").string()}, 1, swRefresh, false), 1)
            << FWindow->OutputLog().toStdString();
        Must(run(c.Test));
        WriteFile(dir / "moved.txt", "moved");
        EXPECT_EQ(AddFiles(archive.string(), {(dir / "moved.txt").string()}, 1, swMove, false), 1);
        EXPECT_FALSE(fs::exists(dir / "moved.txt"));
        Must(run(c.Test));
        EXPECT_EQ(Rows(), listed ? 1 : 3);
        const ToolResult listing = run(c.List);
        EXPECT_EQ(listing.ExitCode, 0) << listing.Err;
        for (const char* name : {"one.txt", "two.bin", "moved.txt"})
            EXPECT_NE(listing.Out.find(name), std::string::npos) << name << "\n" << listing.Out;
        // The refreshed file is the new one, byte for byte, as the tool extracts it.
        Must(run(c.Extract));
        EXPECT_EQ(ReadFile(out / "one.txt"), ReadFile(dir / "one.txt"));
        EXPECT_EQ(ReadFile(out / "two.bin"), ReadFile(dir / "two.bin"));

        const std::string before = ReadFile(archive);
        List().selectionModel()->clearSelection();
        List().selectionModel()->select(List().model()->index(listed ? 0 : RowOf("two.bin"), 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        FPrompter.Prompter().Prompts.clear();
        FPrompter.Prompter().Answers = {mrYes, mrOk};
        Action("acDelete").trigger();
        switch (c.Delete) {
        case dlEntry: {
            Must(run(c.Test));
            EXPECT_EQ(Rows(), 2);
            EXPECT_EQ(RowOf("two.bin"), -1);
            EXPECT_NE(RowOf("one.txt"), -1);
            const ToolResult after = run(c.List);
            EXPECT_NE(after.Out.find("one.txt"), std::string::npos) << after.Out;
            EXPECT_NE(after.Out.find("moved.txt"), std::string::npos) << after.Out;
            EXPECT_EQ(after.Out.find("two.bin"), std::string::npos) << after.Out;
            break;
        }
        case dlWholeArchive:
            EXPECT_TRUE(SawPrompt(FPrompter.Prompter(), "Deleting all the files in the archive"));
            EXPECT_TRUE(SawPrompt(FPrompter.Prompter(), "File has been successfully deleted."));
            EXPECT_FALSE(fs::exists(archive));
            break;
        case dlRefused:
            EXPECT_EQ(ReadFile(archive), before);
            EXPECT_FALSE(Action("acDelete").isEnabled());
            EXPECT_TRUE(FPrompter.Prompter().Prompts.empty());
            EXPECT_EQ(Rows(), 3);
            break;
        }
    }
    // The gzip of the tar.gz before it did not follow into the plain tar.
    EXPECT_EQ(ReadFile(dir / "made.tar").substr(257, 5), "ustar");
    // A name without extension becomes a zip.
    EXPECT_EQ(AddFiles((dir / "plain").string(), {(dir / "one.txt").string()}, 0, swAdd, false), 1);
    Must(RunTool({"unzip", "-t", (dir / "plain.zip").string()}));
    EXPECT_EQ(AddFiles((dir / "plain").string(), {(dir / "missing.txt").string()}, 0, swAdd, false), -1);
}

TEST_F(TAddTest, AnExistingArchiveKeepsItsOwnFormat) {
    TempDir dir;
    WriteFile(dir / "old.txt", "old");
    WriteFile(dir / "new.txt", "new");
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    ASSERT_EQ(AddFiles((dir / "real.lzh").string(), {(dir / "old.txt").string()}, 1, swAdd, false), 1);
    fs::rename(dir / "real.lzh", dir / "lha-named.zip");
    Must(RunTool({"zip", "-q", "real.zip", "old.txt"}, dir.Path()));
    fs::rename(dir / "real.zip", dir / "zip-named.lzh");
    WriteFile(dir / "c.txt", TextBytes(3000));
    Must(RunTool({"compress", "-f", "c.txt"}, dir.Path()));
    fs::rename(dir / "c.txt.Z", dir / "compress-named.zip");
    Must(RunTool({"bsdtar", "-czf", "t.tgz", "old.txt"}, dir.Path()));

    EXPECT_EQ(AddFiles((dir / "lha-named.zip").string(), {(dir / "new.txt").string()}, 1, swAdd, false), 1);
    const ToolResult lha = RunTool({"lhasa", "t", (dir / "lha-named.zip").string()});
    EXPECT_EQ(lha.ExitCode, 0) << lha.Out << lha.Err;
    EXPECT_NE(lha.Out.find("old.txt"), std::string::npos);
    EXPECT_NE(lha.Out.find("new.txt"), std::string::npos);

    EXPECT_EQ(AddFiles((dir / "zip-named.lzh").string(), {(dir / "new.txt").string()}, 1, swAdd, false), 1);
    const ToolResult zip = RunTool({"unzip", "-l", (dir / "zip-named.lzh").string()});
    EXPECT_EQ(zip.ExitCode, 0) << zip.Out;
    EXPECT_NE(zip.Out.find("old.txt"), std::string::npos);
    EXPECT_NE(zip.Out.find("new.txt"), std::string::npos);

    // A compress file takes no more files, whatever its name says.
    const std::string compressed = ReadFile(dir / "compress-named.zip");
    FPrompter.Prompter().Prompts.clear();
    EXPECT_EQ(AddFiles((dir / "compress-named.zip").string(), {(dir / "new.txt").string()}, 1, swAdd, false),
              0);
    EXPECT_EQ(ReadFile(dir / "compress-named.zip"), compressed);
    EXPECT_TRUE(
        SawPrompt(FPrompter.Prompter(), "Adding new files to this archive file format is not supported."));

    // A .tgz made by bsdtar stays a tar.gz with its old entries.
    EXPECT_EQ(AddFiles((dir / "t.tgz").string(), {(dir / "new.txt").string()}, 1, swAdd, false), 1);
    const ToolResult tar = RunTool({"tar", "tzf", (dir / "t.tgz").string()});
    EXPECT_EQ(tar.ExitCode, 0) << tar.Err;
    EXPECT_NE(tar.Out.find("old.txt"), std::string::npos);
    EXPECT_NE(tar.Out.find("new.txt"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "t.zip"));

    // A new x.gz is made as x.tar.gz; the unrelated file x stays, and so does a plain gzip file.
    WriteFile(dir / "x", "unrelated");
    EXPECT_EQ(AddFiles((dir / "x.gz").string(), {(dir / "new.txt").string()}, 1, swAdd, false), 1);
    EXPECT_EQ(RunTool({"tar", "tzf", (dir / "x.tar.gz").string()}).Out, "new.txt\n");
    EXPECT_EQ(FWindow->Lister().ArchiveFile(), (dir / "x.tar.gz").string());
    EXPECT_EQ(ReadFile(dir / "x"), "unrelated");
    EXPECT_FALSE(fs::exists(dir / "x.zip"));
    Must(RunTool({"gzip", "-k", "new.txt"}, dir.Path()));
    const std::string gz = ReadFile(dir / "new.txt.gz");
    EXPECT_EQ(AddFiles((dir / "new.txt.gz").string(), {(dir / "old.txt").string()}, 1, swAdd, false), 0);
    EXPECT_EQ(ReadFile(dir / "new.txt.gz"), gz);
}

// An add or a delete that failed leaves the light amber until the next run; the archive
// that could not be rewritten stays as it was.
TEST_F(TAddTest, AFailedAddOrDeleteLeavesTheLightAmber) {
    TempDir dir;
    WriteFile(dir / "a.txt", "alpha\n");
    WriteFile(dir / "b.txt", TextBytes(3000));
    WriteFile(dir / "blocker", "a file where a folder must go");
    Must(RunTool({"tar", "-cf", "t.tar", "a.txt", "b.txt"}, dir.Path()));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    EXPECT_LE(AddFiles((dir / "blocker/new.zip").string(), {(dir / "a.txt").string()}, 1, swAdd, false), 0);
    EXPECT_EQ(FWindow->LedColor(), TStatusLed::FailedColor());
    EXPECT_EQ(AddFiles((dir / "ok.zip").string(), {(dir / "a.txt").string()}, 1, swAdd, false), 1);
    EXPECT_EQ(FWindow->LedColor(), QColor(Qt::green));
    // Cut inside b.txt's data: a rewrite would lose it, so the tar is not rewritten.
    const std::string cut = ReadFile(dir / "t.tar").substr(0, 3 * 512 + 100);
    WriteFile(dir / "cut.tar", cut);
    Display((dir / "cut.tar").string());
    ASSERT_EQ(Rows(), 2);
    List().selectionModel()->select(List().model()->index(RowOf("a.txt"), 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    FPrompter.Prompter().Answers = {mrYes, mrOk};
    Action("acDelete").trigger();
    EXPECT_TRUE(SawPrompt(FPrompter.Prompter(), "No file was deleted"));
    EXPECT_EQ(FWindow->LedColor(), TStatusLed::FailedColor());
    EXPECT_EQ(ReadFile(dir / "cut.tar"), cut);
}

TEST_F(TAddTest, DeletingANameWithWildcardsDeletesOnlyIt) {
    TempDir dir;
    for (const char* name : {"a*.txt", "ab.txt", "a?.txt", "c.txt"})
        WriteFile(dir / name, name);
    Must(RunTool({"zip", "-q", "-X", "t.zip", "a*.txt", "ab.txt", "a?.txt", "c.txt"}, dir.Path()));
    Open();
    Display((dir / "t.zip").string());
    FPrompter.Prompter().DefaultsAllowed = true;
    for (const char* picked : {"a*.txt", "a?.txt"}) {
        List().selectionModel()->clearSelection();
        List().selectionModel()->select(List().model()->index(RowOf(picked), 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        Action("acDelete").trigger();
    }
    const ToolResult listing = RunTool({"unzip", "-Z1", (dir / "t.zip").string()});
    EXPECT_EQ(listing.Out, "ab.txt\nc.txt\n");
    EXPECT_EQ(Rows(), 2);
}

TEST_F(TAddTest, TheWholeArchiveQuestionCountsEveryEntry) {
    TempDir dir;
    for (const char* name : {"a.txt", "b.txt", "c.bin"})
        WriteFile(dir / name, name);
    Must(RunTool({"zip", "-q", "-X", "t.zip", "a.txt", "b.txt", "c.bin"}, dir.Path()));
    Open();
    // The list shows two of the three entries; both selected are not the whole archive.
    FWindow->findChild<QComboBox*>("rcbFilter")->setCurrentText("*.txt");
    Display((dir / "t.zip").string());
    ASSERT_EQ(Rows(), 2);
    List().selectAll();
    FPrompter.Prompter().Answers = {mrYes, mrOk};
    Action("acDelete").trigger();
    ASSERT_FALSE(FPrompter.Prompter().Prompts.empty());
    EXPECT_TRUE(FPrompter.Prompter().Prompts[0].Text.startsWith("Are you sure you want to"));
    EXPECT_EQ(RunTool({"unzip", "-Z1", (dir / "t.zip").string()}).Out, "c.bin\n");

    // Now the one row left is all of the archive.
    FWindow->findChild<QComboBox*>("rcbFilter")->setCurrentText("*.*");
    Display((dir / "t.zip").string());
    List().selectAll();
    FPrompter.Prompter().Prompts.clear();
    FPrompter.Prompter().Answers = {mrYes, mrOk};
    Action("acDelete").trigger();
    EXPECT_TRUE(FPrompter.Prompter().Prompts[0].Text.startsWith("Deleting all the files in the archive"));
    EXPECT_EQ(FPrompter.Prompter().Prompts.at(1).Text, "File has been successfully deleted.");
    EXPECT_FALSE(fs::exists(dir / "t.zip"));
}

TEST_F(TAddTest, FullDiskAndCancelLeaveTheOldArchive) {
    TempDir dir;
    WriteFile(dir / "small.txt", "small");
    WriteFile(dir / "big.bin", RandomBytes(2000000));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    {
        SmallDisk disk(dir / "disk");
        ASSERT_TRUE(disk.Mounted) << "a tmpfs cannot be mounted here";
        const fs::path archive = dir / "disk/t.zip";
        ASSERT_EQ(AddFiles(archive.string(), {(dir / "small.txt").string()}, 1, swAdd, false), 1);
        const std::string before = ReadFile(archive);
        FPrompter.Prompter().Prompts.clear();
        EXPECT_LE(AddFiles(archive.string(), {(dir / "big.bin").string()}, 1, swAdd, true), 0);
        EXPECT_EQ(ReadFile(archive), before);
        EXPECT_EQ(FolderNames(dir / "disk"), std::vector<std::string>{"t.zip"});
        EXPECT_TRUE(SawPrompt(FPrompter.Prompter(), "Error creating archive. Disk full."));
        EXPECT_TRUE(FWindow->OutputLog().contains("Error No : 25160")) << FWindow->OutputLog().toStdString();
    }
    const fs::path archive = dir / "t.zip";
    ASSERT_EQ(AddFiles(archive.string(), {(dir / "small.txt").string()}, 1, swAdd, false), 1);
    const std::string before = ReadFile(archive);
    // Cancel is confirmed in the progress window while the big file is being compressed.
    QTimer cancel;
    cancel.setInterval(0);
    bool cancelUsable = false; // the window is disabled, its progress window's Cancel is not
    QObject::connect(&cancel, &QTimer::timeout, [this, &cancelUsable] {
        TfmProgress& progress = FWindow->ProgressWindow();
        if (!progress.isVisible()) return;
        cancelUsable = !FWindow->isEnabled() && Find<QPushButton>(progress, "buCancel")->isEnabled() &&
                       progress.isEnabled();
        progress.Cancelled = true;
    });
    cancel.start();
    FPrompter.Prompter().Prompts.clear();
    EXPECT_LE(AddFiles(archive.string(), {(dir / "big.bin").string()}, 2, swAdd, true), 0);
    cancel.stop();
    EXPECT_EQ(ReadFile(archive), before);
    EXPECT_TRUE(cancelUsable);
    EXPECT_TRUE(SawPrompt(FPrompter.Prompter(), "Archiving operation cancelled."));
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"big.bin", "small.txt", "t.zip"}));
    EXPECT_TRUE(FWindow->isEnabled());
}

// The add-options dialog: each type the user picks makes its writer current, and the panel
// offers the password and the compression only where that writer takes them; a bare name gets
// the type's extension.
TEST(AddOptionsDialog, TheTypeChoosesWriterAndPanel) {
    TempDir dir;
    const CurrentFolderGuard here(dir.Path());
    CurrentFolder() = Q(dir.Path());
    TfmAddOptionsBottom panel;
    auto* action = Find<QComboBox>(panel, "cbAction");
    auto* compression = Find<QComboBox>(panel, "cbCompression");
    auto* password = Find<QPushButton>(panel, "buPassword");
    std::unique_ptr<TCompBase> current;
    std::vector<TOutArcType> made;
    const TWriterMaker writerFor = [&](TOutArcType Type) {
        made.push_back(Type);
        current = CreateWriter(Type);
        return current.get();
    };
    struct TCase {
        int Index; // in the dialog's type list, 1-based
        TOutArcType Writer;
        bool Password, Compression;
    } const cases[] = {
        {1, tyBh, true, true},    {2, tyCab, false, false}, {3, tyJar, true, true}, {4, tyLzh, false, false},
        {5, tyLzh, false, false}, {6, tyTar, false, false}, {7, tyZip, true, true},
    };
    action->setCurrentIndex(2); // reset when the dialog shows
    TAddOptionsChoice choice;
    AnswerFileDialog(QStringLiteral("made"), [&](TLmCustomOpenDialog& Dialog) {
        EXPECT_EQ(Dialog.windowTitle(), "Add Options");
        EXPECT_EQ(panel.parentWidget(), &Dialog);
        EXPECT_EQ(Find<QLineEdit>(Dialog, "fileNameEdit")->text(), "offered");
        EXPECT_EQ(action->currentIndex(), 0);
        EXPECT_TRUE(Find<QCheckBox>(panel, "ckSaveFullPath")->isChecked());
        EXPECT_EQ(made, std::vector<TOutArcType>{tyTar}); // the offered type at the start
        auto* types = Find<QComboBox>(Dialog, "fileTypeCombo");
        for (const TCase& c : cases) {
            SCOPED_TRACE(c.Index);
            types->setCurrentIndex(c.Index == 1 ? 1 : c.Index - 2);
            QTest::keyClick(types, c.Index == 1 ? Qt::Key_Up : Qt::Key_Down);
            EXPECT_EQ(made.back(), c.Writer);
            EXPECT_EQ(password->isEnabled(), c.Password);
            EXPECT_EQ(compression->isEnabled(), c.Compression);
        }
        QTest::keyClick(types, Qt::Key_Up); // tar
        compression->setCurrentIndex(3);
        Find<QComboBox>(panel, "cbDiskSpanning")->setCurrentIndex(1);
        action->setCurrentIndex(1);
    });
    ASSERT_TRUE(ShowAddOptions(nullptr, panel, writerFor, Q(dir / "offered.doc"), 6, true, choice));
    EXPECT_EQ(made.size(), 1 + std::size(cases) + 1);
    EXPECT_EQ(choice.ArchiveName, Q(dir / "made.tar"));
    EXPECT_EQ(choice.Compression, 3);
    EXPECT_TRUE(choice.SaveFullPath);
    EXPECT_EQ(choice.Switch, swRefresh);
    EXPECT_FALSE(choice.AllowSpanning);
    EXPECT_EQ(panel.parentWidget(), nullptr);
}

TEST_F(TAddTest, NewAndAddThroughTheirDialogs) {
    TempDir dir;
    WriteFile(dir / "a.txt", TextBytes(3000));
    WriteFile(dir / "b.txt", TextBytes(3000, 3));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    struct TCase {
        const char* Archive;
        bool Encryptable;
        std::vector<std::string> Test;
        bool Addable; // the window offers Add on the archive it made
    } const cases[] = {
        {"n.lzh", false, {"lhasa", "t"}, true},
        {"n.zip", true, {"unzip", "-t", "-P", "pw"}, true},
        {"n.tar", false, {"tar", "tvf"}, true},
        {"n.cab", false, {"cabextract", "-t"}, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Archive);
        const fs::path archive = dir / c.Archive;
        AnswerFileDialog(Q(archive), [](TLmCustomOpenDialog&) {
            AnswerFileDialog(Q(fs::path("a.txt")), [](TLmCustomOpenDialog& Dialog) {
                Find<QWidget>(Dialog, "fmAddBottom");
                Dialog.setDirectory(QDir::currentPath());
            });
        });
        const CurrentFolderGuard here(dir.Path());
        CurrentFolder() = Q(dir.Path());
        Action("acNewArchive").trigger();
        ASSERT_TRUE(fs::exists(archive));
        EXPECT_EQ(FWindow->Lister().ArchiveFile(), archive.string());
        EXPECT_EQ(Rows(), 1);
        std::vector<std::string> argv = c.Test;
        argv.push_back(archive.string());
        Must(RunTool(argv));
        EXPECT_EQ(Action("acAdd").isEnabled(), c.Addable);
        if (!c.Addable) continue;
        // A password set for the archive is offered on the panel's button and used.
        CurrentArchivePassword() = "pw";
        bool offered = false, enabled = false;
        AnswerFileDialog(Q(dir / "b.txt"), [&](TLmCustomOpenDialog& Dialog) {
            auto* button = Find<QPushButton>(Dialog, "buPassword");
            offered = button->text() == "&Protected";
            enabled = button->isEnabled();
        });
        Action("acAdd").trigger();
        EXPECT_TRUE(offered);
        EXPECT_EQ(enabled, c.Encryptable);
        EXPECT_EQ(Rows(), 2);
        Must(RunTool(argv));
        if (c.Encryptable) {
            // The entry added with the password needs it.
            EXPECT_NE(RunTool({"unzip", "-t", "-P", "other", archive.string()}).ExitCode, 0);
        }
        CurrentArchivePassword().clear();
    }
}

// Files and folders selected together in the Add dialog: Open adds each folder with its whole
// tree, stored below the folder it was chosen in (unzip -Z1 reads the names); the folder options
// of the panel are those chosen last time.
TEST_F(TAddTest, SelectedFoldersAreAddedWithTheirTrees) {
    TempDir dir;
    const fs::path src = dir / "src";
    WriteFile(src / "a.txt", TextBytes(2000));
    WriteFile(src / "tree/two.txt", TextBytes(3000, 2));
    WriteFile(src / "tree/deep/three.bin", RandomBytes(1500));
    WriteFile(src / "other/x.txt", "x");
    WriteFile(src / "skipped.txt", "not chosen");
    Must(RunTool({"zip", "-q", "-X", (dir / "t.zip").string(), "a.txt"}, src));
    const auto zipNames = [&] { return ZipNames(dir / "t.zip"); };
    Open({Q(dir / "t.zip")});
    FPrompter.Prompter().DefaultsAllowed = true;
    ASSERT_EQ(Rows(), 1);

    // Selects Names in the dialog's list as a user's clicks do, and presses Open.
    const auto choose = [&](std::vector<std::string> Names, std::function<void(TLmCustomOpenDialog&)> Panel) {
        WhenFileDialogShows([=](TLmCustomOpenDialog& Dialog) {
            Panel(Dialog);
            Dialog.setDirectory(Q(src));
            auto* view = Find<QAbstractItemView>(Dialog, "listView");
            auto* files = qobject_cast<QFileSystemModel*>(Dialog.proxyModel()->sourceModel());
            ASSERT_NE(files, nullptr);
            view->setFocus();
            for (const std::string& name : Names)
                view->selectionModel()->select(
                    Dialog.proxyModel()->mapFromSource(files->index(Q(src / name))),
                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
            Find<QDialogButtonBox>(Dialog, "buttonBox")->button(QDialogButtonBox::Open)->click();
            if (Dialog.isVisible()) Dialog.reject(); // Open entered a folder: nothing is added
        });
    };
    bool subfoldersShown = true;
    choose({"tree", "a.txt"}, [&](TLmCustomOpenDialog& Dialog) {
        EXPECT_FALSE(Find<QWidget>(Dialog, "sidebar")->isVisible()); // no places bar in the program
        subfoldersShown = Find<QCheckBox>(Dialog, "ckIncludeSubfolders")->isChecked();
        Find<QCheckBox>(Dialog, "ckIncludeSubfolders")->setChecked(true);
    });
    Action("acAdd").trigger();
    EXPECT_FALSE(subfoldersShown);
    EXPECT_EQ(zipNames(), (std::vector<std::string>{"a.txt", "tree/deep/three.bin", "tree/two.txt"}));

    // One folder alone keeps its own name as well; the option chosen before is shown again.
    choose({"other"}, [&](TLmCustomOpenDialog& Dialog) {
        subfoldersShown = Find<QCheckBox>(Dialog, "ckIncludeSubfolders")->isChecked();
    });
    Action("acAdd").trigger();
    EXPECT_TRUE(subfoldersShown);
    EXPECT_EQ(zipNames(),
              (std::vector<std::string>{"a.txt", "other/x.txt", "tree/deep/three.bin", "tree/two.txt"}));
    Must(RunTool({"unzip", "-tq", (dir / "t.zip").string()}));
    TempDir out;
    Must(RunTool({"unzip", "-q", (dir / "t.zip").string(), "-d", out.Str()}));
    EXPECT_EQ(ReadFile(out / "tree/deep/three.bin"), ReadFile(src / "tree/deep/three.bin"));
}

// New Archive lists every type the writers make; choosing tar.gz in its type list makes a
// bare name a .tgz that tar reads.
TEST_F(TAddTest, NewArchiveOffersEveryWritableType) {
    TempDir dir;
    WriteFile(dir / "a.txt", TextBytes(3000));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    QStringList types;
    AnswerFileDialog(Q(dir / "made"), [&](TLmCustomOpenDialog& Dialog) {
        EXPECT_FALSE(Find<QWidget>(Dialog, "sidebar")->isVisible()); // no places bar in the program
        auto* combo = Find<QComboBox>(Dialog, "fileTypeCombo");
        for (int i = 0; i < combo->count(); ++i)
            types << combo->itemText(i);
        const int tgz = combo->findText("Gzipped Tape Archive", Qt::MatchStartsWith);
        ASSERT_GE(tgz, 0);
        ASSERT_EQ(tgz, combo->count() - 1);
        QTest::keyClick(combo, Qt::Key_End); // the last type, chosen as a user chooses it
        AnswerFileDialog(Q(dir / "a.txt"));
    });
    Action("acNewArchive").trigger();
    EXPECT_EQ(types.size(), 8);
    for (const char* type : {"BlakHole", "Cabinet", "Javasoft", "LHA", "LZH", "Tape", "Zip", "Gzipped Tape"})
        EXPECT_TRUE(types.join('|').contains(type)) << type;
    ASSERT_TRUE(fs::exists(dir / "made.tgz")) << testing::PrintToString(FolderNames(dir.Path()));
    EXPECT_EQ(RunTool({"tar", "-tzf", (dir / "made.tgz").string()}).Out, "a.txt\n");
    Must(RunTool({"gzip", "-t", (dir / "made.tgz").string()}));
}

TEST_F(TAddTest, NewOverAnExistingFileKeepsItUntilTheArchiveIsWritten) {
    TempDir dir;
    WriteFile(dir / "big.bin", RandomBytes(4000000));
    WriteFile(dir / "small.txt", "small");
    WriteFile(dir / "n.zip", "the old file");
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    const CurrentFolderGuard here(dir.Path());
    CurrentFolder() = Q(dir.Path());
    // Cancelled: the old file is back as it was.
    QTimer cancel;
    cancel.setInterval(0);
    QObject::connect(&cancel, &QTimer::timeout, [this] {
        if (FWindow->ProgressWindow().isVisible()) FWindow->ProgressWindow().Cancelled = true;
    });
    cancel.start();
    AnswerFileDialog(Q(dir / "n.zip"),
                     [](TLmCustomOpenDialog&) { AnswerFileDialog(Q(fs::path("big.bin"))); });
    Action("acNewArchive").trigger();
    cancel.stop();
    EXPECT_EQ(ReadFile(dir / "n.zip"), "the old file");
    EXPECT_FALSE(fs::exists(dir / "n.zip.quillar-old"));
    // Written: the new archive stands in its place.
    AnswerFileDialog(Q(dir / "n.zip"),
                     [](TLmCustomOpenDialog&) { AnswerFileDialog(Q(fs::path("small.txt"))); });
    Action("acNewArchive").trigger();
    EXPECT_EQ(RunTool({"unzip", "-Z1", (dir / "n.zip").string()}).Out, "small.txt\n");
    EXPECT_FALSE(fs::exists(dir / "n.zip.quillar-old"));
}

} // namespace

// A user's way to two folders: the parent folder's path typed into the name box and Enter,
// then two folders Ctrl+clicked and Add clicked. The two folders' trees are
// added, not the typed folder that the name box left behind.
TEST_F(TAddTest, TwoFoldersClickedAfterATypedFolder) {
    TempDir dir;
    const fs::path src = dir / "src";
    WriteFile(src / "one/a.txt", "a");
    WriteFile(src / "one/deep/b.txt", "b");
    WriteFile(src / "two/c.txt", "c");
    WriteFile(src / "two/d.txt", "d");
    WriteFile(src / "left/e.txt", "e");
    WriteFile(src / "f.txt", "f");
    Must(RunTool({"zip", "-q", "-X", (dir / "t.zip").string(), "f.txt"}, src));
    Open({Q(dir / "t.zip")});
    FPrompter.Prompter().DefaultsAllowed = true;
    WhenFileDialogShows([=](TLmCustomOpenDialog& Dialog) {
        TLmCustomOpenDialog* dialog = &Dialog;
        QApplication::setActiveWindow(dialog);
        auto* edit = Find<QLineEdit>(*dialog, "fileNameEdit");
        edit->setFocus();
        QTest::keyClicks(edit, Q(src));
        QTest::keyClick(edit, Qt::Key_Return);
        ASSERT_EQ(dialog->directory().absolutePath(), Q(src));
        auto* view = Find<QAbstractItemView>(*dialog, "listView");
        auto* files = qobject_cast<QFileSystemModel*>(dialog->proxyModel()->sourceModel());
        const auto rect = [&](const char* Name) {
            QModelIndex index;
            // The folder's listing comes from a thread of the model.
            for (int i = 0; i < 200 && !view->visualRect(index).isValid(); ++i) {
                QTest::qWait(10);
                index = dialog->proxyModel()->mapFromSource(files->index(Q(src / Name)));
            }
            return view->visualRect(index);
        };
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, rect("one").center());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, rect("two").center());
        EXPECT_TRUE(edit->text().isEmpty());
        auto* box = Find<QDialogButtonBox>(*dialog, "buttonBox");
        // The button adds what is chosen, folders too, and says so.
        EXPECT_EQ(box->button(QDialogButtonBox::Open)->text(), "&Add");
        QTest::mouseClick(box->button(QDialogButtonBox::Open), Qt::LeftButton);
        if (dialog->isVisible()) dialog->reject();
    });
    Action("acAdd").trigger();
    EXPECT_EQ(ZipNames(dir / "t.zip"),
              (std::vector<std::string>{"f.txt", "one/a.txt", "one/deep/b.txt", "two/c.txt", "two/d.txt"}));
}

// A new archive named x.gz through New Archive and the add dialog is a plain gzip file of the
// one file chosen (gzip decompresses it to the file's bytes), not a tar.gz; Add on an open gzip
// file offers one file and writes it as a gzip file of its own beside the archive (b.txt gives
// b.gz), which stays as it was.
TEST_F(TAddTest, PlainGzipThroughTheAddDialog) {
    TempDir dir;
    WriteFile(dir / "a.txt", TextBytes(30000));
    WriteFile(dir / "b.txt", TextBytes(20000, 3));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    const fs::path archive = dir / "x.gz";
    bool oneFile = false;
    AnswerFileDialog(Q(archive), [&](TLmCustomOpenDialog&) {
        AnswerFileDialog(Q(dir / "a.txt"), [&](TLmCustomOpenDialog& D) {
            oneFile = D.fileMode() == QFileDialog::ExistingFile;
        });
    });
    Action("acNewArchive").trigger();
    EXPECT_TRUE(oneFile);
    ASSERT_TRUE(fs::exists(archive));
    EXPECT_FALSE(fs::exists(dir / "x.tar.gz"));
    Must(RunTool({"gzip", "-t", archive.string()}));
    EXPECT_EQ(RunTool({"gzip", "-dc", archive.string()}).Out, ReadFile(dir / "a.txt"));
    EXPECT_EQ(FWindow->Lister().ArchiveFile(), archive.string());
    EXPECT_EQ(Rows(), 1);

    ASSERT_TRUE(Action("acAdd").isEnabled());
    const std::string before = ReadFile(archive);
    oneFile = false;
    AnswerFileDialog(Q(dir / "b.txt"),
                     [&](TLmCustomOpenDialog& D) { oneFile = D.fileMode() == QFileDialog::ExistingFile; });
    Action("acAdd").trigger();
    EXPECT_TRUE(oneFile);
    // Named by the gzip writer's rule: the extension replaced by ".gz".
    EXPECT_EQ(RunTool({"gzip", "-dc", (dir / "b.gz").string()}).Out, ReadFile(dir / "b.txt"));
    EXPECT_EQ(ReadFile(archive), before);
    EXPECT_TRUE(fs::exists(dir / "b.txt"));
}

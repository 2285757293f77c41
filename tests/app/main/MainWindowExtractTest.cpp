// The main window's extraction: the overwrite answers on real runs, output trees equal to those
// of unzip, lhasa and bsdtar, hostile entries kept inside the destination, the selection of rows
// by their own names, the result message after a failed entry, and the view command's folder.
#include "MainWindowFixture.h"
#include "ToolChecks.h"

#include "DialogDriver.h"
#include "SmallDisk.h"
#include "ZipBuilder.h"
#include "app/common/AppSettings.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ExtractDlg.h"
#include "app/dialogs/GetPassword.h"
#include "app/dialogs/OverwriteDlg.h"
#include "app/dialogs/Password.h"
#include "app/dialogs/Progress.h"
#include "app/dialogs/ViewerSelection.h"
#include "app/main/ArchiveModel.h"
#include "app/main/StatusLed.h"
#include "engine/read/krvKorva.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <deque>
#include <map>

using namespace testsupport;

namespace {

// Every file and link under Root: its path relative to Root and its bytes ("-> target" for a
// link).
std::map<std::string, std::string> Tree(const fs::path& Root) {
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(Root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = fs::relative(it->path(), Root).string();
        if (it->is_symlink())
            tree[rel] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file())
            tree[rel] = ReadFile(it->path());
    }
    return tree;
}

// Answers every overwrite question that comes up with the next answer of the queue (a rename
// answer carries its new name), and counts the questions.
class TOverwriteAnswers {
public:
    struct TAnswer {
        int Result;
        QString NewName; // for mrOverwriteRename
    };
    explicit TOverwriteAnswers(std::deque<TAnswer> Answers) : FAnswers(std::move(Answers)) {
        FTimer.setInterval(0);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<TfmOverwriteDlg*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return;
            ++Questions;
            Texts << Find<QLabel>(*dialog, "laReplaceFilename")->text() + '|' +
                         Find<QLabel>(*dialog, "laWithName")->text();
            const TAnswer answer = FAnswers.empty() ? TAnswer{mrNo, {}} : FAnswers.front();
            if (!FAnswers.empty()) FAnswers.pop_front();
            if (answer.Result == mrOverwriteRename)
                dialog->NewFileName = QFileInfo(dialog->FileName).dir().filePath(answer.NewName);
            dialog->done(answer.Result);
        });
        FTimer.start();
    }
    int Questions = 0;
    QStringList Texts; // per question: the existing file's label '|' the incoming entry's

private:
    std::deque<TAnswer> FAnswers;
    QTimer FTimer;
};

using TExtractTest = MainWindowTest;

// The overwrite question of each format dates both files with the whole year: the existing
// file by its modification time, the incoming entry by the date its archive holds.
TEST_F(TExtractTest, OverwriteQuestionDatesBothFiles) {
    TempDir src;
    WriteFile(src / "a.txt", "archived");
    Must(RunTool({"touch", "-d", "2001-02-03 12:00", "a.txt"}, src.Path()));
    Must(RunTool({"zip", "-q", "-X", "t.zip", "a.txt"}, src.Path()));
    Must(RunTool({"tar", "-cf", "t.tar", "a.txt"}, src.Path()));
    Must(RunTool({"arj", "a", "-y", "t.arj", "a.txt"}, src.Path()));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    for (const char* archive : {"t.zip", "t.tar", "t.arj"}) {
        SCOPED_TRACE(archive);
        TempDir out;
        WriteFile(out / "a.txt", "already there");
        Must(RunTool({"touch", "-d", "2002-03-04 12:00", "a.txt"}, out.Path()));
        TOverwriteAnswers answers(std::deque<TOverwriteAnswers::TAnswer>{{mrNo, {}}});
        ASSERT_TRUE(ExtractAll((src / archive).string(), out.Str(), true, false));
        ASSERT_EQ(answers.Texts.size(), 1);
        const QStringList labels = answers.Texts[0].split('|');
        // The days only: the hours are the local zone's.
        EXPECT_TRUE(labels[0].contains("\n13 bytes, 2002-03-04 ")) << labels[0].toStdString();
        EXPECT_TRUE(labels[1].startsWith("a.txt\n8 bytes, 2001-02-03 ")) << labels[1].toStdString();
        EXPECT_EQ(ReadFile(out / "a.txt"), "already there");
    }
}

TEST_F(TExtractTest, OverwriteAnswersOnRealRuns) {
    TempDir src;
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        WriteFile(src / name, std::string("new ") + name);
    Must(RunTool({"zip", "-q", "-X", "t.zip", "a.txt", "b.txt", "c.txt"}, src.Path()));
    struct TCase {
        const char* Name;
        std::deque<TOverwriteAnswers::TAnswer> Answers;
        const char* Replaced; // per file a, b, c: 1 = the archive's, 0 = the old file
        int Questions;
        const char* Result; // the start of the result message
    } const cases[] = {
        {"yes no yes", {{mrYes, {}}, {mrNo, {}}, {mrYes, {}}}, "101", 3, "Extraction completed."},
        {"yes to all", {{mrOverwriteYesToAll, {}}}, "111", 1, "Extraction completed."},
        {"no to all", {{mrOverwriteNoToAll, {}}}, "000", 1, "Extraction completed."},
        {"no then yes to all", {{mrNo, {}}, {mrOverwriteYesToAll, {}}}, "011", 2, "Extraction completed."},
        // Cancel skips the file whatever was answered before, and ends the run.
        {"yes then cancel", {{mrYes, {}}, {mrCancel, {}}}, "100", 2, "Extraction cancelled."},
        {"rename",
         {{mrOverwriteRename, "a2.txt"}, {mrNo, {}}, {mrNo, {}}},
         "000",
         3,
         "Extraction completed."},
    };
    Open();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dest;
        for (const char* name : {"a.txt", "b.txt", "c.txt"})
            WriteFile(dest / name, std::string("old ") + name);
        FPrompter.Prompter().Prompts.clear();
        FPrompter.Prompter().DefaultsAllowed = true;
        TOverwriteAnswers answers(c.Answers);
        ASSERT_TRUE(ExtractAll((src / "t.zip").string(), dest.Str(), true, true));
        EXPECT_EQ(answers.Questions, c.Questions);
        EXPECT_EQ(FWindow->findChild<QStatusBar*>("dfstbMainStatus")->currentMessage(), "");
        const char* names[] = {"a.txt", "b.txt", "c.txt"};
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(ReadFile(dest / names[i]),
                      std::string(c.Replaced[i] == '1' ? "new " : "old ") + names[i])
                << names[i];
        if (std::string(c.Name) == "rename") {
            EXPECT_EQ(ReadFile(dest / "a2.txt"), "new a.txt");
        }
        ASSERT_FALSE(FPrompter.Prompter().Prompts.empty());
        EXPECT_TRUE(FPrompter.Prompter().Prompts.back().Text.startsWith(c.Result))
            << FPrompter.Prompter().Prompts.back().Text.toStdString();
    }
}

std::string Corpus(const char* Name) {
    return (CorpusDir() / "patool" / Name).string();
}

TEST_F(TExtractTest, TreesEqualThoseOfTheReferenceTools) {
    TempDir src;
    WriteFile(src / "top.txt", TextBytes(3000));
    WriteFile(src / "dir/sub/deep.bin", RandomBytes(5000));
    WriteFile(src / "dir/empty.txt", "");
    Must(RunTool({"zip", "-q", "-r", "-X", "t.zip", "top.txt", "dir"}, src.Path()));
    Must(RunTool({"bsdtar", "-cf", "t.tar", "top.txt", "dir"}, src.Path()));
    Must(RunTool({"bsdtar", "-czf", "t.tar.gz", "top.txt", "dir"}, src.Path()));
    struct TCase {
        std::string Archive;
        std::vector<std::string> Tool; // the reference run, in the reference folder
        bool FoldCase = false;         // lhasa shows a DOS archive's upper-case names in lower case
    } const cases[] = {
        {(src / "t.zip").string(), {"unzip", "-q", (src / "t.zip").string()}},
        {(src / "t.tar").string(), {"bsdtar", "-xf", (src / "t.tar").string()}},
        {(CorpusDir() / "lhasa/lha213/lh5.lzh").string(),
         {"lhasa", "xq", (CorpusDir() / "lhasa/lha213/lh5.lzh").string()},
         true},
        {(src / "t.tar.gz").string(), {"bsdtar", "-xf", (src / "t.tar.gz").string()}},
        {Corpus("t.arj"), {"arj", "x", "-y", Corpus("t.arj")}},
        {Corpus("t.cab"), {"cabextract", "-q", Corpus("t.cab")}},
        {Corpus("t.arc"), {"nomarch", Corpus("t.arc")}},
        {Corpus("t.zoo"), {"unar", "-q", "-D", Corpus("t.zoo")}},
        {Corpus("t.rar"), {"unar", "-q", "-D", Corpus("t.rar")}},
    };
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Archive);
        TempDir ours, theirs;
        Must(RunTool(c.Tool, theirs.Path()));
        ASSERT_TRUE(ExtractAll(c.Archive, ours.Str(), false, false));
        const auto mine = Tree(ours.Path());
        const auto reference = Tree(theirs.Path());
        std::vector<std::string> mineNames, referenceNames;
        auto folded = [&c](std::string Name) {
            if (c.FoldCase) std::transform(Name.begin(), Name.end(), Name.begin(), ::tolower);
            return Name;
        };
        std::map<std::string, std::string> mineFolded;
        for (const auto& [name, bytes] : mine) {
            mineNames.push_back(folded(name));
            mineFolded[folded(name)] = bytes;
        }
        for (const auto& [name, bytes] : reference)
            referenceNames.push_back(name);
        ASSERT_EQ(mineNames, referenceNames);
        for (const auto& [name, bytes] : reference)
            EXPECT_TRUE(mineFolded.at(name) == bytes) << name << " differs";
        EXPECT_TRUE(FWindow->OutputLog().isEmpty()) << FWindow->OutputLog().toStdString();
    }
}

TEST_F(TExtractTest, HostileEntriesStayInside) {
    TempDir src;
    const fs::path outside = src / "outside";
    fs::create_directories(outside);
    // A tar that climbs out, names an absolute path and writes through a link.
    const std::string script =
        "import tarfile, io\n"
        "t = tarfile.open('evil.tar', 'w')\n"
        "def add(name, data):\n"
        "    i = tarfile.TarInfo(name); i.size = len(data); t.addfile(i, io.BytesIO(data))\n"
        "add('../escaped.txt', b'up')\n"
        "add('" +
        (outside / "abs.txt").string() +
        "', b'abs')\n"
        "l = tarfile.TarInfo('link'); l.type = tarfile.SYMTYPE; l.linkname = '" +
        outside.string() +
        "'; t.addfile(l)\n"
        "add('link/through.txt', b'through')\n"
        "add('fine.txt', b'fine')\n"
        "t.close()\n";
    Must(RunTool({"python3", "-c", script}, src.Path()));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    const fs::path dest = src / "dest";
    ASSERT_TRUE(ExtractAll((src / "evil.tar").string(), dest.string(), false, true));
    EXPECT_FALSE(fs::exists(src / "escaped.txt"));
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_EQ(ReadFile(dest / "fine.txt"), "fine");
    for (auto it = fs::recursive_directory_iterator(dest); it != fs::recursive_directory_iterator(); ++it)
        EXPECT_FALSE(it->is_symlink()) << it->path();
    // The refused entries are logged, and the result does not call the run complete.
    EXPECT_FALSE(FWindow->OutputLog().isEmpty());
    EXPECT_FALSE(FPrompter.Prompter().Prompts.back().Text.startsWith("Extraction completed."));
}

TEST_F(TExtractTest, SelectedRowsAreTakenByTheirOwnNames) {
    TempDir src;
    for (const char* name : {"a*.txt", "ab.txt", "a?.txt", "[x].txt", "x.txt"})
        WriteFile(src / name, name);
    Must(RunTool({"zip", "-q", "-X", "t.zip", "a*.txt", "ab.txt", "a?.txt", "[x].txt", "x.txt"}, src.Path()));
    Open();
    Display((src / "t.zip").string());
    FPrompter.Prompter().DefaultsAllowed = true;
    for (const char* picked : {"a*.txt", "a?.txt", "[x].txt"}) {
        SCOPED_TRACE(picked);
        List().selectionModel()->clearSelection();
        List().selectionModel()->select(List().model()->index(RowOf(picked), 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        TempDir dest;
        ASSERT_TRUE([&] {
            TExtractOptions options = FWindow->SelectedExtraction(QString::fromStdString(dest.Str()));
            options.ConfirmOverwrites = false;
            options.RestoreFileAttr = false;
            return FWindow->RunExtraction(options, false).Succeeded();
        }());
        EXPECT_EQ(FolderNames(dest.Path()), std::vector<std::string>{picked});
    }
    // A name holding NUL is shown escaped, and its row takes that entry, which fails as an invalid name.
    WriteFile(src / "nul.zip", MakeStoredZip(TZipSpec{{{std::string("\0abc", 4), "n"}, {"x00abc", "x"}}}));
    Display((src / "nul.zip").string());
    List().selectionModel()->clearSelection();
    List().selectionModel()->select(List().model()->index(RowOf("\\x00abc"), 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    TempDir dest;
    EXPECT_FALSE(
        FWindow->RunExtraction(FWindow->SelectedExtraction(QString::fromStdString(dest.Str())), false)
            .Succeeded());
    EXPECT_TRUE(FolderNames(dest.Path()).empty());
    EXPECT_TRUE(FWindow->OutputLog().contains("Error No : 25244")) << FWindow->OutputLog().toStdString();
}

TEST_F(TExtractTest, AFailedEntryIsNeverReportedAsCompleted) {
    TempDir src;
    WriteFile(src / "a.txt", TextBytes(20000));
    WriteFile(src / "b.txt", TextBytes(20000, 7));
    Must(RunTool({"zip", "-q", "-X", "t.zip", "a.txt", "b.txt"}, src.Path()));
    // The first entry's data damaged (past its 35-byte local header): it fails.
    std::string bytes = ReadFile(src / "t.zip");
    bytes[50] = static_cast<char>(bytes[50] ^ 0x55);
    WriteFile(src / "t.zip", bytes);
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    TempDir dest;
    ASSERT_TRUE(ExtractAll((src / "t.zip").string(), dest.Str(), false, true));
    const QString result =
        FPrompter.Prompter().Prompts.back().ScreenText().replace('\n', '|').replace('\r', '|');
    EXPECT_FALSE(result.startsWith("Extraction completed.")) << result.toStdString();
    EXPECT_TRUE(result.contains("Files Extracted: 1")) << result.toStdString();
    EXPECT_FALSE(fs::exists(dest / "a.txt"));
    EXPECT_TRUE(FWindow->OutputLog().startsWith(":: ERROR - TUNZIP ::\nArchive  : "))
        << FWindow->OutputLog().toStdString();
    // The decoder's own error names the failure.
    EXPECT_TRUE(FWindow->OutputLog().contains("Filename : a.txt\nError No : 25153"))
        << FWindow->OutputLog().toStdString();
    // The light says so until the next run.
    EXPECT_EQ(FWindow->LedColor(), TStatusLed::FailedColor());

    // A damaged local header after a folder entry: the folder's verdict does not hide it.
    fs::create_directories(src / "d");
    Must(RunTool({"zip", "-q", "-X", "hdr.zip", "d/", "b.txt", "a.txt"}, src.Path()));
    bytes = ReadFile(src / "hdr.zip");
    bytes[bytes.find("PK\x03\x04", 1) + 1] = 'X';
    WriteFile(src / "hdr.zip", bytes);
    TempDir hdr;
    ASSERT_TRUE(ExtractAll((src / "hdr.zip").string(), hdr.Str(), false, true));
    const QString second =
        FPrompter.Prompter().Prompts.back().ScreenText().replace('\n', '|').replace('\r', '|');
    EXPECT_TRUE(second.contains("Files Extracted: 1|Files Failed: 1")) << second.toStdString();
    EXPECT_FALSE(fs::exists(hdr / "b.txt"));
    EXPECT_EQ(ReadFile(hdr / "a.txt"), ReadFile(src / "a.txt"));
    EXPECT_EQ(FWindow->LedColor(), TStatusLed::FailedColor());
}

TEST_F(TExtractTest, AFullDiskIsReportedAndLeavesNoPartialFile) {
    TempDir src;
    WriteFile(src / "small.txt", "small");
    WriteFile(src / "big.bin", RandomBytes(1000000));
    Must(RunTool({"zip", "-q", "-X", "-0", "t.zip", "small.txt", "big.bin"}, src.Path()));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    SmallDisk disk(src / "disk");
    ASSERT_TRUE(disk.Mounted) << "a tmpfs cannot be mounted here";
    ASSERT_TRUE(ExtractAll((src / "t.zip").string(), (src / "disk").string(), false, true));
    const QString result = FPrompter.Prompter().Prompts.back().ScreenText();
    EXPECT_TRUE(result.startsWith("Extraction stopped: the disk is full.")) << result.toStdString();
    EXPECT_EQ(FolderNames(src / "disk"), std::vector<std::string>{"small.txt"});
    EXPECT_TRUE(FWindow->OutputLog().contains("Error No : 25160")) << FWindow->OutputLog().toStdString();
}

TEST_F(TExtractTest, CancelInTheProgressWindowEndsTheRun) {
    TempDir src;
    for (const char* name : {"a.bin", "b.bin", "c.bin"})
        WriteFile(src / name, RandomBytes(3000000, name[0]));
    Must(RunTool({"zip", "-q", "-X", "-0", "t.zip", "a.bin", "b.bin", "c.bin"}, src.Path()));
    Open();
    FPrompter.Prompter().DefaultsAllowed = true;
    QColor light;
    QTimer cancel;
    cancel.setInterval(0);
    QObject::connect(&cancel, &QTimer::timeout, [this, &light] {
        if (!FWindow->ProgressWindow().isVisible()) return;
        light = FWindow->LedColor();
        FWindow->ProgressWindow().Cancelled = true;
    });
    cancel.start();
    TempDir dest;
    ASSERT_TRUE(ExtractAll((src / "t.zip").string(), dest.Str(), false, true));
    cancel.stop();
    EXPECT_TRUE(FPrompter.Prompter().Prompts.back().Text.startsWith("Extraction cancelled."));
    EXPECT_LT(FolderNames(dest.Path()).size(), 3U);
    for (const std::string& name : FolderNames(dest.Path()))
        EXPECT_EQ(ReadFile(dest / name), ReadFile(src / name)) << name;
    EXPECT_EQ(light, QColor(Qt::red));
    EXPECT_EQ(FWindow->LedColor(), QColor(Qt::green));
    EXPECT_TRUE(FWindow->isEnabled());
    EXPECT_FALSE(FWindow->ProgressWindow().isVisible());
}

TEST_F(TExtractTest, CmdExtractLeavesTheListWithItsArchive) {
    TempDir src;
    WriteFile(src / "a.txt", "a");
    Must(RunTool({"zip", "-q", "-X", "one.zip", "a.txt"}, src.Path()));
    Must(RunTool({"bsdtar", "-cf", "two.tar", "a.txt"}, src.Path()));
    Open();
    Display((src / "one.zip").string());
    FPrompter.Prompter().DefaultsAllowed = true;
    TempDir dest;
    ASSERT_TRUE(ExtractAll((src / "two.tar").string(), dest.Str(), false, false));
    EXPECT_EQ(FWindow->Lister().ArchiveFile(), (src / "one.zip").string());
    EXPECT_EQ(ReadFile(dest / "a.txt"), "a");
}

TEST_F(TExtractTest, ViewOpensOnlyFilesInsideItsPrivateFolder) {
    TempDir src;
    WriteFile(src / "doc.txt", "doc");
    WriteFile(src / "run.sh", "#!/bin/sh\n");
    fs::permissions(src / "run.sh", fs::perms::owner_all);
    Must(RunTool({"zip", "-q", "-X", "t.zip", "doc.txt", "run.sh"}, src.Path()));
    Open();
    Display((src / "t.zip").string());
    std::vector<QStringList> launched;
    FWindow->OnLaunch = [&launched](const QString& Program, const QStringList& Arguments) {
        launched.push_back(QStringList{Program} + Arguments);
        return true;
    };
    List().selectAll();
    // The program is not opened without a yes.
    FPrompter.Prompter().Answers = {mrNo};
    FWindow->ViewSelected();
    ASSERT_EQ(launched.size(), 1U);
    EXPECT_EQ(launched[0][0], "xdg-open");
    ASSERT_EQ(FWindow->ViewFolders().size(), 1U);
    const fs::path folder = FWindow->ViewFolders()[0];
    EXPECT_EQ(launched[0][1].toStdString(), (folder / "doc.txt").string());
    EXPECT_EQ(ReadFile(folder / "doc.txt"), "doc");
    // The view folder lies in the run-from-archive component's private folder, which goes
    // with the window, everything in it included.
    const fs::path runFolder = folder.parent_path();
    EXPECT_EQ(fs::status(runFolder).permissions() & fs::perms::all, fs::perms::owner_all);
    FWindow.reset();
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(fs::exists(runFolder));
}

TEST_F(TExtractTest, ExtractCommandThroughItsDialog) {
    TempDir src;
    for (const char* name : {"a.txt", "b.txt", "dir/c.txt"})
        WriteFile(src / name, name);
    Must(RunTool({"zip", "-q", "-X", "t.zip", "a.txt", "b.txt", "dir/c.txt"}, src.Path()));
    Open();
    const QString started = QDir::currentPath();
    Display((src / "t.zip").string());
    // Displaying an archive makes its folder the dialogs' folder, never the process's.
    EXPECT_EQ(QDir::currentPath(), started);
    EXPECT_EQ(CurrentFolder(), QString::fromStdString(src.Str()));
    FPrompter.Prompter().DefaultsAllowed = true;
    TempDir all, some;
    // No row selected: all files, and the choice cannot be changed. The first dialog's tree
    // stands at the archive's folder; a folder picked in it becomes the destination.
    bool forced = false;
    QString firstTree, secondTree;
    AnswerNextModal<TfmExtractDlg>([&](TfmExtractDlg& Dialog) {
        forced = Find<QRadioButton>(Dialog, "rbAllFiles")->isChecked() &&
                 !Find<QWidget>(Dialog, "rgFiles")->isEnabled();
        firstTree = Dialog.TreeFolder();
        auto* tree = Find<QTreeView>(Dialog, "dfstvExplorer");
        const auto* folders = static_cast<const QFileSystemModel*>(tree->model());
        tree->setCurrentIndex(folders->index(QString::fromStdString(all.Str())));
        EXPECT_EQ(Find<QComboBox>(Dialog, "cbDestination")->currentText(), QString::fromStdString(all.Str()));
        Find<QPushButton>(Dialog, "bbExtract")->click();
    });
    Action("acExtract").trigger();
    EXPECT_TRUE(forced);
    EXPECT_EQ(Tree(all.Path()), (std::map<std::string, std::string>{
                                    {"a.txt", "a.txt"}, {"b.txt", "b.txt"}, {"dir/c.txt", "dir/c.txt"}}));
    EXPECT_TRUE(FPrompter.Prompter().Prompts.back().Text.startsWith("Extraction completed."));
    // The selected rows only, into a folder the command makes.
    List().selectionModel()->select(List().model()->index(RowOf("dir/c.txt"), 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    AnswerNextModal<TfmExtractDlg>([&](TfmExtractDlg& Dialog) {
        secondTree = Dialog.TreeFolder();
        Find<QComboBox>(Dialog, "cbDestination")
            ->setCurrentText(QString::fromStdString((some / "new/deeper").string()));
        Find<QPushButton>(Dialog, "bbExtract")->click();
    });
    Action("acExtract").trigger();
    EXPECT_EQ(Tree(some / "new/deeper"), (std::map<std::string, std::string>{{"dir/c.txt", "dir/c.txt"}}));
    // Later dialogs keep the tree where the user left it.
    EXPECT_EQ(firstTree, QString::fromStdString(src.Str()));
    EXPECT_EQ(secondTree, QString::fromStdString(all.Str()));
}

TEST_F(TExtractTest, PasswordsAskedOnceAndBadOnesReported) {
    TempDir src;
    WriteFile(src / "s1.txt", TextBytes(3000));
    WriteFile(src / "s2.txt", TextBytes(3000, 5));
    // Made until "wrong" is refused by both entries' check bytes, as it nearly always is.
    for (int attempt = 0; attempt < 20 && (attempt == 0 || PasswordRefusals(src / "t.zip", "wrong") != 2);
         ++attempt) {
        fs::remove(src / "t.zip");
        Must(RunTool({"zip", "-q", "-X", "-P", "sesame", "t.zip", "s1.txt", "s2.txt"}, src.Path()));
    }
    Open();
    Display((src / "t.zip").string());
    FPrompter.Prompter().DefaultsAllowed = true;
    struct TCase {
        const char* Typed;
        int Extracted;
        const char* Result;
    } const cases[] = {
        {"sesame", 2, "Extraction completed."},
        {"wrong", 0, "Invalid password error."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Typed);
        CurrentArchivePassword().clear();
        int asked = 0, rejectedShown = 0;
        QString shownName;
        // Every question gets the same answer; a right one is asked for once.
        QTimer answers;
        answers.setInterval(0);
        QObject::connect(&answers, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<TfmGetPassword*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible()) return;
            ++asked;
            // Asked again for an entry whose password was wrong, the dialog says so.
            if (!Find<QLabel>(*dialog, "laRejected")->isHidden()) ++rejectedShown;
            shownName = Find<QLabel>(*dialog, "laFileName")->text();
            Find<QLineEdit>(*dialog, "edPassword")->setText(c.Typed);
            dialog->done(mrOk);
        });
        answers.start();
        TempDir dest;
        ASSERT_TRUE(ExtractAll((src / "t.zip").string(), dest.Str(), false, true));
        EXPECT_EQ(static_cast<int>(FolderNames(dest.Path()).size()), c.Extracted);
        EXPECT_TRUE(FPrompter.Prompter().Prompts.back().Text.startsWith(c.Result))
            << FPrompter.Prompter().Prompts.back().Text.toStdString();
        if (c.Extracted == 2) {
            EXPECT_EQ(asked, 1);
        }
        EXPECT_EQ(rejectedShown > 0, c.Extracted == 0);
        EXPECT_LT(rejectedShown, asked); // never at an entry's first question
        EXPECT_TRUE(shownName.contains("s1.txt")) << shownName.toStdString(); // as stored, not upper-cased
    }
    // A password set with the Password command is used without asking.
    CurrentArchivePassword().clear();
    AnswerNextModal<TfmPassword>([](TfmPassword& Dialog) {
        Find<QLineEdit>(Dialog, "edPassword")->setText("sesame");
        Find<QLineEdit>(Dialog, "edVerify")->setText("sesame");
        Find<QPushButton>(Dialog, "buOK")->click();
    });
    Action("acPassword").trigger();
    EXPECT_EQ(CurrentArchivePassword(), "sesame");
    TempDir dest;
    ASSERT_TRUE(ExtractAll((src / "t.zip").string(), dest.Str(), false, true));
    EXPECT_EQ(FolderNames(dest.Path()).size(), 2U);
}

TEST_F(TExtractTest, ViewerChoice) {
    TempDir src;
    WriteFile(src / "doc.qqq", "doc");
    Must(RunTool({"zip", "-q", "-X", "t.zip", "doc.qqq"}, src.Path()));
    Open();
    Display((src / "t.zip").string());
    FPrompter.Prompter().DefaultsAllowed = true;
    std::vector<QStringList> launched;
    FWindow->OnLaunch = [&launched](const QString& Program, const QStringList& Arguments) {
        launched.push_back(QStringList{Program} + Arguments);
        return true;
    };
    List().selectAll();
    AppSettings().DefaultViewer = "/usr/bin/myviewer";
    struct TCase {
        int ViewerType;
        int Asked; // the answer of the viewer question (mode 3)
        const char* Program;
    } const cases[] = {
        {0, 0, "xdg-open"},
        {1, 0, "/usr/bin/myviewer"},
        {3, mrExternalViewer, "/usr/bin/myviewer"},
        {3, mrAssociatedProgram, "xdg-open"},
        {3, mrCancel, nullptr},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.ViewerType);
        AppSettings().ViewerType = c.ViewerType;
        launched.clear();
        if (c.ViewerType == 3)
            AnswerNextModal<TfmViewerSelection>([&c](TfmViewerSelection& Dialog) { Dialog.done(c.Asked); });
        FWindow->ViewSelected();
        if (!c.Program) {
            EXPECT_TRUE(launched.empty());
            continue;
        }
        ASSERT_EQ(launched.size(), 1U);
        EXPECT_EQ(launched[0][0], c.Program);
        // The path is one argument of its own, never a command line to split.
        EXPECT_TRUE(launched[0][1].endsWith("/doc.qqq"));
        EXPECT_EQ(launched[0].size(), 2);
    }
}

} // namespace

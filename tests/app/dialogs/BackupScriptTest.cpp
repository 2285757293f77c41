// Backup-set scripts: the bytes written, the reading rules, which scripts are usable, the
// renumbering of generations, what removing a set deletes, and the shortcut's Exec line as a
// real launcher (gio) reads it.
#include "app/common/BackupScript.h"
#include "ToolChecks.h"
#include "app/dialogs/BackupEditor.h"
#include "app/dialogs/ManageBackup.h"
#include "platform/ShellLink.h"

#include "DialogDriver.h"
#include "RegistrySandbox.h"
#include "ScriptedPrompter.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

QListWidget& Sets(TfmManageBackup& Manager) {
    return *Find<QListWidget>(Manager, "clbBackupSets");
}

TBackupSet DocsSet(const fs::path& Folder) {
    TBackupSet set;
    set.Name = "Docs";
    set.Description = "My documents";
    set.Folder = Q(Folder);
    set.ArcType = 6;
    set.Compression = 1;
    set.StorePathInfo = 0;
    set.Method = 3;
    set.Generations = 3;
    set.Files = {"/home/u/notes.txt", "/home/u/Documents/*.*"};
    return set;
}

// A private data home, where the backups folder lies, and a scripted prompter.
class BackupScripts : public ::testing::Test {
protected:
    BackupScripts() : FData("XDG_DATA_HOME", (FRegistry.Dir() / "data").c_str()) {}
    RegistrySandbox FRegistry;
    EnvGuard FData;
    ScriptedPrompterGuard FPrompter;
};

} // namespace

TEST_F(BackupScripts, WritesTheKeysInOrderWithCrLf) {
    const TBackupSet set = DocsSet("/srv/save");
    EXPECT_EQ(BackupScriptBytes(set).toStdString(),
              "BackupSetName=Docs\r\nDescription=My documents\r\nBackupFolder=/srv/save\r\nArcType=6\r\n"
              "Compression=1\r\nStorePathInfo=0\r\nBackupMethod=3\r\nGenerations=3\r\n[FilesInBackupSet]\r\n"
              "/home/u/notes.txt\r\n/home/u/Documents/*.*\r\n");
    // Saved and read back, the set is the same.
    const QString path = BackupScriptPath("Docs");
    fs::create_directories(BackupsFolder().toStdString());
    ASSERT_TRUE(SaveBackupScript(path, set));
    const std::optional<TBackupSet> back = ParseBackupScript(LoadBackupScript(path));
    ASSERT_TRUE(back);
    EXPECT_EQ(BackupScriptBytes(*back), BackupScriptBytes(set));
    EXPECT_EQ(GenerationFile(*back, 2), "/srv/save/Docs2.zip");
}

TEST_F(BackupScripts, ReadsKeysByNameInAnyCaseAndOrderWithLfLines) {
    const fs::path file = FRegistry.Dir() / "x.zfb";
    WriteFile(file, "generations=5\nBACKUPMETHOD=3\nbackupfolder=/b=c\nArcType=0\nCompression=4\n"
                    "StorePathInfo=1\nBackupSetName=Mail\nBackupSetName=Other\n[filesinbackupset]\n"
                    "/not/a/file\n[FilesInBackupSet]\n\n/a/b.txt\nC:\\x\\*.*\n/c/d\\*.*\n");
    const QStringList lines = LoadBackupScript(Q(file));
    ASSERT_TRUE(CheckBackupScript(lines));
    const TBackupSet set = *ParseBackupScript(lines);
    EXPECT_EQ(set.Name, "Mail"); // the first line of a key counts
    EXPECT_EQ(set.Folder, "/b=c");
    EXPECT_EQ(set.Method, 3);
    EXPECT_EQ(set.Generations, 5);
    EXPECT_EQ(set.Description, "");
    // The marker is the exact line; empty lines are no entries; "\*.*" reads as a folder entry.
    EXPECT_EQ(set.Files, QStringList({"/a/b.txt", "C:\\x/*.*", "/c/d/*.*"}));
    EXPECT_EQ(BackupTarget(set), "/b=c/Mail.bh");
}

TEST_F(BackupScripts, TellsUsableScriptsFromDamagedOnes) {
    const QString good = "BackupSetName=Docs\nBackupFolder=/s\nArcType=6\nCompression=0\nStorePathInfo=0\n"
                         "BackupMethod=1\nGenerations=3\n[FilesInBackupSet]\n/a\n";
    struct Case {
        QString From, To;
        bool Valid;
    } cases[] = {
        {"", "", true},
        {"BackupMethod=1\n", "Description=\nBackupMethod=1\n", true},
        {"/a\n", "", true},                               // an empty list is a script all the same
        {"BackupMethod=1\n", "BackupMethod=4\n", true},   // the run reports the method
        {"Generations=3\n", "Generations=\n", false},     // empty value
        {"Generations=3\n", "", false},                   // missing key
        {"Generations=3\n", "Generations=abc\n", false},  // not a number
        {"Generations=3\n", "Generations=1000\n", false}, // out of range
        {"ArcType=6\n", "ArcType=six\n", false},
        {"[FilesInBackupSet]\n", "[FilesInBackupSet] \n", false},
        {"BackupSetName=Docs\n", "BackupSetName=../Docs\n", false},
        {"BackupSetName=Docs\n", "BackupSetName=..\n", false},
        {"BackupSetName=Docs\n", "BackupSetName=a/b\n", false},
        {"BackupSetName=Docs\n", "BackupSetName=a|b\n", false},
        {"BackupSetName=Docs\n", "BackupSetName=a:b*?\n", true},
        {"BackupFolder=/s\n", "BackupFolder=\n", false},
    };
    for (const Case& c : cases) {
        QString text = good;
        if (!c.From.isEmpty()) text.replace(c.From, c.To);
        EXPECT_EQ(CheckBackupScript(text.split('\n')), c.Valid) << text.toStdString();
    }
}

TEST_F(BackupScripts, RenumbersGenerationsUpAndDown) {
    TempDir dir;
    const QString base = Q(dir / "Docs"), ext = ".zip";
    for (int k = 1; k <= 3; ++k)
        WriteFile(dir / ("Docs" + std::to_string(k) + ".zip"), "gen" + std::to_string(k));
    WriteFile(dir / "Docs5.zip", "stray");
    RenumberGenerations(base, ext, 3, 5);
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"Docs3.zip", "Docs4.zip", "Docs5.zip"}));
    EXPECT_EQ(ReadFile(dir / "Docs3.zip"), "gen1");
    EXPECT_EQ(ReadFile(dir / "Docs5.zip"), "gen3");

    WriteFile(dir / "Docs1.zip", "old1");
    WriteFile(dir / "Docs2.zip", "old2");
    RenumberGenerations(base, ext, 5, 2);
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"Docs1.zip", "Docs2.zip"}));
    EXPECT_EQ(ReadFile(dir / "Docs1.zip"), "gen2");
    EXPECT_EQ(ReadFile(dir / "Docs2.zip"), "gen3");
}

TEST_F(BackupScripts, ModifyRenumbersWhereTheGenerationsLie) {
    TempDir dir, elsewhere;
    TBackupSet set = DocsSet(dir.Path());
    fs::create_directories(BackupsFolder().toStdString());
    ASSERT_TRUE(SaveBackupScript(BackupScriptPath("Docs"), set));
    for (int k = 1; k <= 3; ++k)
        WriteFile(dir / ("Docs" + std::to_string(k) + ".zip"), "gen" + std::to_string(k));
    TfmManageBackup manager;
    ASSERT_EQ(Sets(manager).count(), 1);
    Sets(manager).item(0)->setSelected(true);
    // The editor gets five generations and another folder; the old ones move where they are.
    QTimer::singleShot(0, [&] {
        auto* editor = qobject_cast<TfmBackupEditor*>(QApplication::activeModalWidget());
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->windowTitle(), "Edit Backup Set");
        EXPECT_FALSE(Find<QLineEdit>(*editor, "edBackupSetName")->isEnabled());
        EXPECT_EQ(editor->findChild<QLineEdit*>("edGenerations")->text(), "3");
        Find<QSpinBox>(*editor, "udGenerations")->setValue(5);
        Find<QLineEdit>(*editor, "rxdeBackupFolder")->setText(Q(elsewhere.Path()));
        Find<QPushButton>(*editor, "buSave")->click();
    });
    manager.ModifyClick();
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"Docs3.zip", "Docs4.zip", "Docs5.zip"}));
    const TBackupSet saved = *ParseBackupScript(LoadBackupScript(BackupScriptPath("Docs")));
    EXPECT_EQ(saved.Generations, 5);
    EXPECT_EQ(saved.Folder, Q(elsewhere.Path()));
}

TEST_F(BackupScripts, EditorRefusesNamesThatAreNoFileNames) {
    FPrompter.Prompter().Answers = {mrOk, mrOk, mrOk, mrOk};
    for (const char* name : {"a/b", "..", "x|y", "\"q\""}) {
        TfmBackupEditor editor;
        Find<QLineEdit>(editor, "edBackupSetName")->setText(name);
        Find<QLineEdit>(editor, "rxdeBackupFolder")->setText("/tmp");
        editor.AddFolder("/tmp/");
        editor.AddFolder("/tmp");
        EXPECT_EQ(Find<QListWidget>(editor, "lbFiles")->count(), 1);
        EXPECT_EQ(RunModal(editor, {[&] { Find<QPushButton>(editor, "buSave")->click(); }}), StillOpen)
            << name;
    }
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 4u);
    EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text,
              "The Backup Set Name you entered is invalid. You cannot\r\nuse the following characters: <, >, "
              "|, \", \\");
}

TEST_F(BackupScripts, RemovingASetDeletesOnlyItsOwnArchives) {
    TempDir home;
    fs::create_directories(BackupsFolder().toStdString());
    // Two sets share a folder with the user's own files.
    TBackupSet docs = DocsSet(home.Path()), mail = DocsSet(home.Path());
    mail.Name = "Mail";
    ASSERT_TRUE(SaveBackupScript(BackupScriptPath("Docs"), docs));
    ASSERT_TRUE(SaveBackupScript(BackupScriptPath("Mail"), mail));
    for (const char* name : {"Docs.zip", "Docs1.zip", "Docs3.zip", "Mail1.zip", "Docs.txt", "thesis.odt"})
        WriteFile(home / name, name);
    fs::create_directories(home.Path() / "sub");
    TfmManageBackup manager;
    ASSERT_EQ(Sets(manager).count(), 2);
    Sets(manager).item(0)->setSelected(true); // "Docs", sorted first
    FPrompter.Prompter().Answers = {mrYes, mrYes};
    manager.RemoveClick();
    // The question names what goes, not the whole folder.
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 2u);
    EXPECT_EQ(FPrompter.Prompter().Prompts[1].Text,
              "Do you want Quillar to automatically delete the backups of\r\nthis backup set ?\r\n\r\n"
              "  Docs.zip\r\n  Docs1.zip\r\n  Docs3.zip\r\n\r\nFolder: " +
                  Q(home.Path()) +
                  "\r\n\r\nOther files in this folder are kept; the folder is deleted\r\nonly when nothing "
                  "else is left in it.");
    EXPECT_EQ(FolderNames(home.Path()),
              (std::vector<std::string>{"Docs.txt", "Mail1.zip", "sub", "thesis.odt"}));
    EXPECT_FALSE(fs::exists(BackupScriptPath("Docs").toStdString()));
    ASSERT_EQ(Sets(manager).count(), 1);

    // A folder that held only the set's archives goes with them.
    TempDir own;
    TBackupSet solo = DocsSet(own.Path() / "solo");
    solo.Name = "Solo";
    fs::create_directories(own.Path() / "solo");
    WriteFile(own.Path() / "solo" / "Solo2.zip", "x");
    ASSERT_TRUE(SaveBackupScript(BackupScriptPath("Solo"), solo));
    manager.ListBackupSets();
    Sets(manager).findItems("Solo", Qt::MatchExactly)[0]->setSelected(true);
    FPrompter.Prompter().Answers = {mrYes, mrYes};
    manager.RemoveClick();
    EXPECT_FALSE(fs::exists(own.Path() / "solo"));
}

TEST_F(BackupScripts, ShortcutRunsTheSetWithTheExactArguments) {
    TempDir dir;
    // A recording program stands in for the program; gio launches the entry as a desktop does.
    const fs::path recorder = dir / "rec";
    WriteFile(recorder,
              "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname \"$0\")/args\"\n");
    fs::permissions(recorder, fs::perms::owner_all);
    const QString script = "/x/My \"Set\" `$HOME` 100% \\ back.zfb";
    ASSERT_TRUE(CreateBackupShortcut(Q(dir.Path()), "Odd", Q(recorder), script));
    const std::string entry = ReadFile(dir / "Odd.desktop");
    EXPECT_NE(
        entry.find("Exec=\"" + recorder.string() +
                   "\" \"-BC\" \"/x/My \\\\\"Set\\\\\" \\\\`\\\\$HOME\\\\` 100%% \\\\\\\\ back.zfb\"\n"),
        std::string::npos)
        << entry;
    const ToolResult run = RunTool({"gio", "launch", (dir / "Odd.desktop").string()});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    for (int i = 0; i < 100 && !fs::exists(dir / "args"); ++i)
        QThread::msleep(50);
    QThread::msleep(100);
    EXPECT_EQ(ReadFile(dir / "args"), "-BC\n" + script.toStdString() + "\n");
}

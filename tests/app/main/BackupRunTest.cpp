// Backup sets run from the Quick Backup menu and the manager of a main window, and by the
// program as a process ("-B", "-BC", "-SYS -MANBAK") in a private home:
// the multi-generation method keeps the newest generations, each a sound zip (unzip -t) that
// holds every file of the source, hidden and extensionless ones included; failures end with a
// non-zero exit status and write nothing.
#include "MainWindowFixture.h"
#include "ProcessRun.h"
#include "SmallDisk.h"
#include "TestSupport.h"

#include "app/common/BackupScript.h"
#include "app/dialogs/ManageBackup.h"

#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include <gtest/gtest.h>
#include <set>
#include <sstream>

using namespace testsupport;

namespace {

class BackupRun : public QuillarProcessTest {
protected:
    std::string Script(const std::string& Body) {
        const fs::path path = FRegistry.Dir() / "data/quillar/Backups/Docs.zfb";
        fs::create_directories(path.parent_path());
        WriteFile(path, Body);
        return path.string();
    }
};

std::string SetScript(const fs::path& Folder, int Method, const std::string& Generations,
                      const std::vector<std::string>& Files) {
    std::string text =
        "BackupSetName=Docs\r\nDescription=\r\nBackupFolder=" + Folder.string() +
        "\r\nArcType=6\r\nCompression=0\r\nStorePathInfo=0\r\nBackupMethod=" + std::to_string(Method) +
        "\r\nGenerations=" + Generations + "\r\n[FilesInBackupSet]\r\n";
    for (const std::string& file : Files)
        text += file + "\r\n";
    return text;
}

std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> lines;
    std::istringstream in(Text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

} // namespace

TEST_F(BackupRun, GenerationsRotateAndHoldEveryFile) {
    TempDir root, save;
    // The set's folder and a file beside it, outside the set, both inside the test's own folder.
    const fs::path src = root / "set";
    const std::vector<std::string> files = {"a.txt", ".hidden", "README", "sub/b.dat", ".dir/c", "sub/a.txt"};
    for (const std::string& file : files) {
        fs::create_directories((src / file).parent_path());
        WriteFile(src / file, TextBytes(3000, static_cast<std::uint32_t>(file.size())));
    }
    WriteFile(root / "outside-the-set.txt", "x");
    // The generations live on a small disk, so that a later run can fail for want of room.
    SmallDisk disk(save / "gens", "128k");
    ASSERT_TRUE(disk.Mounted);
    const std::string script = Script(SetScript(save.Path() / "gens", 3, "3", {src.string() + "/*.*"}));
    for (int run = 1; run <= 4; ++run) {
        WriteFile(src / "a.txt", "run " + std::to_string(run));
        const ToolResult result = Quillar({"-B", script});
        ASSERT_EQ(result.ExitCode, 0) << "run " << run << ": " << result.Err;
    }
    // Generation 1 is the oldest kept: runs 2, 3 and 4; run 1 is gone. Every file of the set is
    // stored under its folder below the set's folder ("a.txt" and "sub/a.txt" both).
    EXPECT_EQ(FolderNames(save.Path() / "gens"),
              (std::vector<std::string>{"Docs1.zip", "Docs2.zip", "Docs3.zip"}));
    std::vector<std::string> sorted = files;
    std::sort(sorted.begin(), sorted.end());
    for (int k = 1; k <= 3; ++k) {
        const std::string zip = (save.Path() / "gens" / ("Docs" + std::to_string(k) + ".zip")).string();
        const ToolResult test = RunTool({"unzip", "-t", zip});
        EXPECT_EQ(test.ExitCode, 0) << zip << "\n" << test.Out;
        std::vector<std::string> names = Lines(RunTool({"unzip", "-Z1", zip}).Out);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, sorted) << zip;
        EXPECT_EQ(RunTool({"unzip", "-p", zip, "a.txt"}).Out, "run " + std::to_string(k + 1));
        EXPECT_EQ(RunTool({"unzip", "-p", zip, "sub/a.txt"}).Out, ReadFile(src / "sub/a.txt"));
    }

    // A run that cannot be written (the disk is full) fails and leaves the generations as they were.
    std::vector<std::string> before;
    for (const std::string& name : FolderNames(save.Path() / "gens"))
        before.push_back(ReadFile(save.Path() / "gens" / name));
    WriteFile(src / "sub/big.bin", RandomBytes(400000));
    const ToolResult failed = Quillar({"-B", script});
    EXPECT_EQ(failed.ExitCode, 1) << failed.Err;
    std::vector<std::string> after;
    for (const std::string& name : FolderNames(save.Path() / "gens"))
        after.push_back(ReadFile(save.Path() / "gens" / name));
    EXPECT_EQ(FolderNames(save.Path() / "gens"),
              (std::vector<std::string>{"Docs1.zip", "Docs2.zip", "Docs3.zip"}));
    EXPECT_TRUE(after == before);
}

TEST_F(BackupRun, FailuresExitNonZeroAndWriteNothing) {
    TempDir src, save;
    WriteFile(src / "a.txt", "a");
    struct Case {
        std::string Script;
        std::string Message;
    } cases[] = {
        {SetScript(save.Path(), 1, "3", {(src / "missing.txt").string(), (src / "nothing" / "*.*").string()}),
         "There are no files to archive for this Backup Set."},
        {SetScript(save.Path(), 4, "3", {(src / "a.txt").string()}), "Invalid backup method."},
        {SetScript(save.Path(), 3, "abc", {(src / "a.txt").string()}), "Backup failed or aborted:"},
        {SetScript(save.Path(), 1, "3", {(src / "a.txt").string()}).substr(0, 150),
         "Backup failed or aborted:"},
    };
    for (const Case& c : cases) {
        const ToolResult result = Quillar({"-B", Script(c.Script)});
        EXPECT_EQ(result.ExitCode, 1) << c.Script;
        EXPECT_NE(result.Err.find(c.Message), std::string::npos) << result.Err;
        EXPECT_TRUE(FolderNames(save.Path()).empty()) << c.Script;
    }
    // -BC reports the success, and an overwrite run replaces the plain backup.
    const std::string script = Script(SetScript(save.Path(), 1, "3", {(src / "a.txt").string()}));
    for (const char* content : {"first", "second"}) {
        WriteFile(src / "a.txt", content);
        const ToolResult result = Quillar({"-BC", script});
        ASSERT_EQ(result.ExitCode, 0) << result.Err;
        EXPECT_NE(result.Err.find("Backup created successfully for backup set: Docs"), std::string::npos);
    }
    EXPECT_EQ(FolderNames(save.Path()), std::vector<std::string>{"Docs.zip"});
    // The ask-for-a-name method takes the offered name when nobody answers.
    const ToolResult asked =
        Quillar({"-B", Script(SetScript(save.Path(), 2, "3", {(src / "a.txt").string()}))});
    EXPECT_EQ(asked.ExitCode, 0) << asked.Err;
    EXPECT_NE(asked.Err.find("Save Backup To ..."), std::string::npos);
    const std::vector<std::string> names = Lines(RunTool({"unzip", "-Z1", (save / "Docs.zip").string()}).Out);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(RunTool({"unzip", "-p", (save / "Docs.zip").string(), names[0]}).Out, "second");

    // The manager from the command line: Run with nothing chosen says so and leaves it open.
    const ToolResult manager = Quillar({"-SYS", "-MANBAK"});
    EXPECT_EQ(manager.ExitCode, 0) << manager.Err;
    EXPECT_NE(manager.Err.find("Manage Backups"), std::string::npos) << manager.Err;
    EXPECT_NE(manager.Err.find("Please check or select at least one backup set"), std::string::npos);
}

namespace {
class BackupMenus : public MainWindowTest {};
} // namespace

TEST_F(BackupMenus, QuickBackupAndManagerRunTheSets) {
    TempDir src, save;
    WriteFile(src / "a.txt", "a");
    fs::create_directories(BackupsFolder().toStdString());
    TBackupSet docs;
    docs.Name = "Docs";
    docs.Folder = QString::fromStdString(save.Str());
    docs.Files = {QString::fromStdString((src / "a.txt").string())};
    TBackupSet empty = docs;
    empty.Name = "Empty";
    empty.Files = {QString::fromStdString((src / "none" / "*.*").string())};
    ASSERT_TRUE(SaveBackupScript(BackupScriptPath("Docs"), docs));
    ASSERT_TRUE(SaveBackupScript(BackupScriptPath("Empty"), empty));

    TfmMain& window = Open();
    QMenu* menu = window.findChild<QMenu*>("miQuickBackup");
    ASSERT_NE(menu, nullptr);
    QStringList items;
    for (QAction* action : menu->actions())
        if (action->isVisible()) items << action->text();
    EXPECT_EQ(items, QStringList({"Docs", "Empty"}));

    FPrompter.Prompter().Answers = {mrOk};
    menu->actions()[1]->trigger();
    ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 1u);
    EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text, "Backup created successfully for backup set: Docs");
    EXPECT_EQ(RunTool({"unzip", "-t", (save / "Docs.zip").string()}).ExitCode, 0);
    // The run's last "Compressing: ..." went with it.
    EXPECT_EQ(window.findChild<QStatusBar*>("dfstbMainStatus")->currentMessage(), "");

    // The manager runs the sets Choose picks in its list; the one without files is named in
    // the errors.
    const auto runFromManager = [&](std::function<void(QListWidget&)> Choose) {
        FPrompter.Prompter().Prompts.clear();
        FPrompter.Prompter().Answers = {mrOk, mrOk};
        QTimer::singleShot(0, [Choose] {
            auto* manager = qobject_cast<TfmManageBackup*>(QApplication::activeModalWidget());
            ASSERT_NE(manager, nullptr);
            Choose(*manager->findChild<QListWidget*>("clbBackupSets"));
            manager->findChild<QPushButton*>("buRunBackup")->click();
        });
        Action("acManageBackups").trigger();
        ASSERT_EQ(FPrompter.Prompter().Prompts.size(), 2u);
        EXPECT_EQ(FPrompter.Prompter().Prompts[1].Text,
                  "There were errors trying to create following backup sets:\r\n\r\n- Empty\r\n");
    };
    // Both sets checked: both run.
    runFromManager([](QListWidget& List) {
        for (int i = 0; i < List.count(); ++i)
            List.item(i)->setCheckState(Qt::Checked);
    });
    EXPECT_EQ(FPrompter.Prompter().Prompts[0].Text, "There are no files to archive for this Backup Set.");
    EXPECT_EQ(FolderNames(save.Path()), std::vector<std::string>{"Docs.zip"});
    // Nothing checked: the one selected set runs. A set is selected alone, so what runs is
    // never less than what the list shows selected.
    runFromManager([](QListWidget& List) {
        QTest::mouseClick(List.viewport(), Qt::LeftButton, {}, List.visualItemRect(List.item(0)).center());
        QTest::mouseClick(List.viewport(), Qt::LeftButton, Qt::ControlModifier,
                          List.visualItemRect(List.item(1)).center());
        EXPECT_EQ(List.selectedItems().size(), 1);
    });
}

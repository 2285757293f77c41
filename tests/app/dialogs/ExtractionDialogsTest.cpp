#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ExtractDlg.h"
#include "ui/RegComboBox.h"
#include "app/dialogs/GetPassword.h"
#include "app/dialogs/OverwriteDlg.h"
#include "app/dialogs/Password.h"
#include "app/dialogs/RenameFile.h"
#include "platform/Registry.h"

#include "DialogDriver.h"
#include "RegistrySandbox.h"
#include "ScriptedPrompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <fstream>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

void Click(QDialog& Dialog, const char* Button) {
    Find<QPushButton>(Dialog, Button)->click();
}

} // namespace

TEST(ExtractDlg, DestinationIsCheckedCompletedAndRemembered) {
    RegistrySandbox sandbox;
    ScriptedPrompterGuard guard;
    guard.Prompter().DefaultsAllowed = true;
    struct Case {
        QString Typed;
        int Result;
        QString Destination;
    };
    const std::vector<Case> cases = {
        {"", StillOpen, ""},
        {"unpacked", mrOk, QDir::currentPath() + "/unpacked"},
        {"/tmp/out dir", mrOk, "/tmp/out dir"},
        {"a/b", mrOk, "a/b"},
    };
    for (const Case& c : cases) {
        guard.Prompter().Prompts.clear();
        TfmExtractDlg dialog;
        EXPECT_EQ(Find<QCheckBox>(dialog, "ckRestoreFolders")->isChecked(), true);
        EXPECT_EQ(Find<QCheckBox>(dialog, "ckDateAttribute")->isChecked(), false);
        auto* box = Find<QComboBox>(dialog, "cbDestination");
        const int result = RunModal(dialog, {[&] {
                                        box->setCurrentText(c.Typed);
                                        Click(dialog, "bbExtract");
                                    }});
        EXPECT_EQ(result, c.Result) << c.Typed.toStdString();
        if (c.Result == mrOk)
            EXPECT_EQ(box->currentText(), c.Destination);
        else
            ASSERT_EQ(guard.Prompter().Prompts.size(), 1u);
    }
    // The history, newest first, for the next dialog.
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Quillar\\MRUExtract"));
    EXPECT_EQ(HistoryEntry(reg, reg.GetValueNames().front()), "a/b");
    // A folder picked in the tree becomes the destination.
    TempDir picked;
    TfmExtractDlg next;
    auto* tree = Find<QTreeView>(next, "dfstvExplorer");
    auto* model = qobject_cast<QFileSystemModel*>(tree->model());
    ASSERT_NE(model, nullptr);
    tree->setCurrentIndex(model->index(QString::fromStdString(picked.Str())));
    EXPECT_EQ(Find<QComboBox>(next, "cbDestination")->currentText(), QString::fromStdString(picked.Str()));
    EXPECT_EQ(RunModal(next, {[&] { Click(next, "bbCancel"); }}), mrCancel);
    EXPECT_EQ(Find<QComboBox>(next, "cbDestination")->count(), 3);
}

TEST(OverwriteDlg, EveryButtonGivesItsResult) {
    const std::vector<std::pair<const char*, int>> buttons = {
        {"bbYes", 6}, {"bbYesAll", 21}, {"bbNo", 7}, {"bbNoAll", 22}, {"bbCancel", 2}};
    for (const auto& [name, result] : buttons) {
        TfmOverwriteDlg dialog;
        EXPECT_EQ(RunModal(dialog, {[&, n = name] { Click(dialog, n); }}), result) << name;
    }
}

// Rename asks for a name in the existing file's folder; names that lead elsewhere or onto another
// file are refused and the dialog stays, as it does when the prompt is cancelled.
TEST(OverwriteDlg, RenameTakesOnlyANewNameInTheSameFolder) {
    TempDir dir;
    std::ofstream(dir / "report.txt") << "old";
    std::ofstream(dir / "taken.txt") << "other";
    ScriptedPrompterGuard guard;
    guard.Prompter().DefaultsAllowed = true; // the refusals are messages with one button
    struct Case {
        std::optional<QString> Answer;
        int Result;
        int Messages;
    };
    const std::vector<Case> cases = {
        {std::nullopt, StillOpen, 0}, {"../evil.txt", StillOpen, 1},
        {"sub/x.txt", StillOpen, 1},  {"..", StillOpen, 1},
        {"", StillOpen, 1},           {"taken.txt", StillOpen, 1},
        {"report.txt", StillOpen, 1}, {"report (2).txt", 23, 0},
    };
    for (const Case& c : cases) {
        auto& prompter = guard.Prompter();
        prompter.Prompts.clear();
        prompter.Inputs = {c.Answer};
        TfmOverwriteDlg dialog;
        dialog.FileName = QString::fromStdString((dir / "report.txt").string());
        EXPECT_EQ(RunModal(dialog, {[&] { Click(dialog, "bbRename"); }}), c.Result)
            << c.Answer.value_or("<cancel>").toStdString();
        EXPECT_EQ(prompter.Prompts.size(), std::size_t(c.Messages));
        EXPECT_EQ(prompter.InputPrompts.back(), "Rename File: Please enter a different file name.");
        if (c.Result == 23)
            EXPECT_EQ(dialog.NewFileName, QString::fromStdString((dir / "report (2).txt").string()));
        else
            EXPECT_TRUE(dialog.NewFileName.isEmpty());
    }
}

TEST(RenameFile, RefusesEmptyAndUnchangedNames) {
    ScriptedPrompterGuard guard;
    struct Case {
        QString Typed;
        const char* Button;
        int Result;
    };
    const std::vector<Case> cases = {{"", "buRename", StillOpen},  {"Data.txt", "buRename", StillOpen},
                                     {"data.txt", "buRename", 21}, {"other.txt", "buRename", 21},
                                     {"Data.txt", "buSkip", 22},   {"Data.txt", "buSkipAll", 23}};
    for (const Case& c : cases) {
        guard.Prompter().Answers = {mrOk};
        TfmRenameFile dialog;
        dialog.ExistingName = "Data.txt";
        Find<QLineEdit>(dialog, "edFileName")->setText(c.Typed);
        EXPECT_EQ(RunModal(dialog, {[&] { Click(dialog, c.Button); }}), c.Result) << c.Typed.toStdString();
        EXPECT_EQ(guard.Prompter().Answers.empty(), c.Result == StillOpen);
    }
}

TEST(PasswordDialogs, MismatchClearsBothBoxesAndTheMaskIsShared) {
    RegistrySandbox sandbox;
    ScriptedPrompterGuard guard;
    CurrentArchivePassword() = "secret";
    {
        TfmPassword dialog; // unmasked on a first run
        EXPECT_FALSE(Find<QCheckBox>(dialog, "ckMask")->isChecked());
        auto* password = Find<QLineEdit>(dialog, "edPassword");
        auto* verify = Find<QLineEdit>(dialog, "edVerify");
        const int result = RunModal(dialog, {[&] {
                                        EXPECT_EQ(password->text(), "secret");
                                        EXPECT_FALSE(verify->isVisible());
                                        Find<QCheckBox>(dialog, "ckMask")->click();
                                        EXPECT_TRUE(verify->isVisible());
                                        password->setText("one");
                                        verify->setText("two");
                                        guard.Prompter().Answers = {mrOk};
                                        Click(dialog, "buOK");
                                        EXPECT_EQ(password->text(), "");
                                        EXPECT_EQ(verify->text(), "");
                                    }});
        EXPECT_EQ(result, StillOpen);
        EXPECT_EQ(guard.Prompter().Prompts.at(0).Text,
                  "The passwords you entered did not match. \r\nPlease enter them again.");
    }
    {
        TfmGetPassword dialog; // takes the mask the other dialog left
        auto* mask = Find<QCheckBox>(dialog, "ckMask");
        auto* password = Find<QLineEdit>(dialog, "edPassword");
        EXPECT_TRUE(mask->isChecked());
        EXPECT_EQ(password->echoMode(), QLineEdit::Password);
        guard.Prompter().Answers = {mrOk};
        const int result = RunModal(dialog, {[&] { Click(dialog, "buOK"); },
                                             [&] {
                                                 mask->click();
                                                 password->setText("pw");
                                                 Click(dialog, "buOK");
                                             }});
        EXPECT_EQ(result, mrOk);
        EXPECT_EQ(guard.Prompter().Prompts.back().Text, "You did not enter a password.");
    }
    TfmPassword unmasked; // unmasked again: typed once, no verification
    EXPECT_FALSE(Find<QCheckBox>(unmasked, "ckMask")->isChecked());
    EXPECT_EQ(RunModal(unmasked, {[&] {
                           Find<QLineEdit>(unmasked, "edPassword")->setText("new");
                           Click(unmasked, "buOK");
                       }}),
              mrOk);
    CurrentArchivePassword().clear();
}

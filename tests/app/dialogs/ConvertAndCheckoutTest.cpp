#include "ToolChecks.h"
#include "app/dialogs/Checkout.h"
#include "app/dialogs/ConvertArc.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/UUEncode.h"

#include "DialogDriver.h"
#include "RegistrySandbox.h"
#include "ScriptedPrompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <filesystem>
#include <gtest/gtest.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// The user enters the output box (the offscreen window is never active, so its focus changes
// send no events of their own).
void EnterOutput(QDialog& Dialog) {
    QFocusEvent event(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(Find<QLineEdit>(Dialog, "rxfedOutput"), &event);
}

} // namespace

TEST(ConvertArc, OutputNameFollowsTheFormat) {
    TfmConvertArc dialog;
    auto* input = Find<QLineEdit>(dialog, "rxfedInput");
    auto* output = Find<QLineEdit>(dialog, "rxfedOutput");
    auto* format = Find<QComboBox>(dialog, "cbFormat");
    auto* verify = Find<QCheckBox>(dialog, "ckVerify");
    EXPECT_EQ(format->currentText(), "Zip");
    EXPECT_FALSE(verify->isChecked());
    RunModal(dialog, {[&] {
                 input->setText("/data/in.v2/a.lzh");
                 EnterOutput(dialog);
                 EXPECT_EQ(output->text(), "/data/in.v2/a.zip");
                 const std::vector<std::tuple<int, QString, QString, bool>> formats = {
                     {0, "/data/in.v2/a.bh", "/data/in.v2/a.bh", true},
                     {1, "/data/in.v2/a.cab", "/data/in.v2/a.cab", false},
                     {2, "/data/in.v2/a.tar", "/data/in.v2/a.tar.gz", true},
                     {5, "/data/in.v2/a.lzh", "/data/in.v2/a.lzh", true},
                     {6, "/data/in.v2/a.tar", "/data/in.v2/a.tar", true},
                 };
                 for (const auto& [index, name, target, verifiable] : formats) {
                     format->setCurrentIndex(index);
                     EXPECT_EQ(output->text(), name);
                     EXPECT_EQ(dialog.TargetName(), target);
                     EXPECT_EQ(verify->isEnabled(), verifiable) << index;
                 }
                 output->setText("/data/noext");
                 format->setCurrentIndex(7);
                 EXPECT_EQ(output->text(), "/data/noext.zip");
             }});
}

// The converter's output may never be its input, by any path: it is refused before the question.
// A replace answered Yes leaves the old output to the converter, which replaces it once the new
// archive is whole.
TEST(ConvertArc, ChecksNamesAndReplacesOnlyAnotherFile) {
    ScriptedPrompterGuard guard;
    TempDir dir;
    WriteFile(dir / "a.zip", "zip");
    WriteFile(dir / "a.tar.gz", "tgz");
    WriteFile(dir / "b.tar.gz", "old");
    fs::create_symlink(dir / "a.zip", dir / "link.zip");
    struct Case {
        const char* Name;
        fs::path Input;
        QString Output;
        int Format;
        std::deque<int> Answers;
        int Result;
        const char* Message; // the start of the one message shown, or nullptr
    };
    const std::vector<Case> cases = {
        {"same name", dir / "a.zip", Q(dir / "a.zip"), 7, {mrOk}, StillOpen, "Please select"},
        {"other path", dir / "a.zip", Q(dir / "." / "a.zip"), 7, {mrOk}, StillOpen, "Please select"},
        {"link to it", dir / "a.zip", Q(dir / "link.zip"), 7, {mrOk}, StillOpen, "Please select"},
        {"gz of the input", dir / "a.tar.gz", Q(dir / "a.tar"), 2, {mrOk}, StillOpen, "Please select"},
        {"no output", dir / "a.zip", "", 7, {mrOk}, StillOpen, "You must enter both"},
        {"no input", "", Q(dir / "x.zip"), 7, {mrOk}, StillOpen, "You must enter both"},
        {"new", dir / "a.zip", Q(dir / "new.lha"), 4, {}, mrOk, nullptr},
        {"keep old", dir / "a.zip", Q(dir / "b.tar"), 2, {mrNo}, StillOpen, "The output filename"},
        {"replace old", dir / "a.zip", Q(dir / "b.tar"), 2, {mrYes}, mrOk, "The output filename"},
    };
    for (const Case& c : cases) {
        auto& prompter = guard.Prompter();
        prompter.Prompts.clear();
        prompter.Answers = c.Answers;
        TfmConvertArc dialog;
        Find<QComboBox>(dialog, "cbFormat")->setCurrentIndex(c.Format);
        // Typed once the dialog shows: entering the empty output box would fill it.
        const int result = RunModal(dialog, {[&] {
                                        Find<QLineEdit>(dialog, "rxfedInput")->setText(Q(c.Input));
                                        Find<QLineEdit>(dialog, "rxfedOutput")->setText(c.Output);
                                        Find<QPushButton>(dialog, "buConvert")->click();
                                    }});
        EXPECT_EQ(result, c.Result) << c.Name;
        ASSERT_EQ(prompter.Prompts.size(), c.Message ? 1u : 0u) << c.Name;
        if (c.Message) {
            EXPECT_TRUE(prompter.Prompts[0].Text.startsWith(c.Message)) << c.Name;
        }
    }
    EXPECT_TRUE(fs::exists(dir / "a.zip"));
    EXPECT_TRUE(fs::exists(dir / "a.tar.gz"));
    EXPECT_EQ(ReadFile(dir / "b.tar.gz"), "old");
}

TEST(ConvertArc, DeleteOriginalIsConfirmed) {
    ScriptedPrompterGuard guard;
    TfmConvertArc dialog;
    auto* remove = Find<QCheckBox>(dialog, "ckDeleteOrg");
    guard.Prompter().Answers = {mrNo, mrYes};
    remove->click();
    EXPECT_FALSE(remove->isChecked());
    remove->click();
    EXPECT_TRUE(remove->isChecked());
    remove->click(); // unchecking asks nothing
    EXPECT_FALSE(remove->isChecked());
    EXPECT_EQ(guard.Prompter().Prompts.size(), 2u);
}

TEST(UUEncode, NamesMethodAndOverwrite) {
    ScriptedPrompterGuard guard;
    TempDir dir;
    WriteFile(dir / "in.bin", "data");
    WriteFile(dir / "in.xxe", "old");
    TfmUUEncode dialog;
    auto* output = Find<QLineEdit>(dialog, "rxfedOutput");
    Find<QLineEdit>(dialog, "rxfedInput")->setText(Q(dir / "in.bin"));
    guard.Prompter().Answers = {mrOk, mrNo, mrYes};
    const int result = RunModal(dialog, {[&] {
                                             EXPECT_EQ(dialog.focusWidget(), output); // an input is set
                                             EnterOutput(dialog);
                                             EXPECT_EQ(output->text(), Q(dir / "in.uue"));
                                             Find<QRadioButton>(dialog, "rbXXEncode")->setChecked(true);
                                             EXPECT_EQ(output->text(), Q(dir / "in.xxe"));
                                             EXPECT_EQ(dialog.EncodeIndex(), 1);
                                             output->setText(Q(dir / "." / "in.bin"));
                                             Find<QPushButton>(dialog, "buOK")->click(); // the input: refused
                                             output->setText(Q(dir / "in.xxe"));
                                             Find<QPushButton>(dialog, "buOK")->click(); // exists: No
                                             EXPECT_TRUE(dialog.isVisible());
                                         },
                                         [&] { Find<QPushButton>(dialog, "buOK")->click(); }});
    EXPECT_EQ(result, mrOk);
    EXPECT_EQ(guard.Prompter().Prompts.size(), 3u);
}

// A check-out empties its folder and group later, so targets whose removal would reach the root,
// the whole home folder or beyond the folder named are refused before anything is asked.
TEST(Checkout, RefusesTargetsWhoseRemovalWouldReachTooFar) {
    RegistrySandbox sandbox;
    ScriptedPrompterGuard guard;
    TempDir dir;
    EnvGuard home("HOME", dir.Str().c_str());
    const fs::path existing = dir / "existing";
    fs::create_directories(existing);
    struct Case {
        QString Folder;
        QString Group;
        std::deque<int> Answers;
        int Result;
    };
    const std::vector<Case> cases = {
        {"/", "Group", {mrOk}, StillOpen},
        {"/.", "Group", {mrOk}, StillOpen},
        {Q(dir.Path()), "Group", {mrOk}, StillOpen},
        {Q(dir.Path()) + "/", "Group", {mrOk}, StillOpen},
        {Q(dir / "x" / ".." / "y"), "Group", {mrOk}, StillOpen},
        {Q(dir / "new"), "..", {mrOk}, StillOpen},
        {Q(dir / "new"), "a/b", {mrOk}, StillOpen},
        {Q(dir / "new"), "", {mrOk}, StillOpen},
        {Q(dir / "new"), "Group", {}, mrOk},
        {Q(existing), "Group", {mrNo}, StillOpen},
        {Q(existing), "Group", {mrYes}, mrOk},
    };
    for (const Case& c : cases) {
        guard.Prompter().Answers = c.Answers;
        TfmCheckout dialog;
        EXPECT_EQ(Find<QSpinBox>(dialog, "edMaxIcons")->value(), 50);
        Find<QLineEdit>(dialog, "edFolder")->setText(c.Folder);
        Find<QLineEdit>(dialog, "edGroupName")->setText(c.Group);
        EXPECT_EQ(RunModal(dialog, {[&] { Find<QPushButton>(dialog, "buOK")->click(); }}), c.Result)
            << c.Folder.toStdString() << " " << c.Group.toStdString();
        EXPECT_TRUE(guard.Prompter().Answers.empty()) << c.Folder.toStdString();
    }
}

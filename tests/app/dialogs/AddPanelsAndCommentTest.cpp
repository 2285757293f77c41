#include "app/dialogs/AddBottom.h"
#include "app/dialogs/AddOptionsBottom.h"
#include "app/dialogs/Comment.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Password.h"
#include "engine/formats/zip/krvZip.h"
#include "ui/LmOpenDlg.h"

#include "DialogDriver.h"
#include "RegistrySandbox.h"
#include "ScriptedPrompter.h"
#include "ZipBuilder.h"
#include "ZipInspect.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// Answers the set-password dialog that Button opens with Password and OK.
void ChoosePassword(QPushButton& Button, const QString& Password) {
    QTimer::singleShot(0, [Password] {
        auto* dialog = qobject_cast<TfmPassword*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        Find<QCheckBox>(*dialog, "ckMask")->setChecked(false);
        Find<QLineEdit>(*dialog, "edPassword")->setText(Password);
        Find<QPushButton>(*dialog, "buOK")->click();
    });
    Button.click();
}

// Runs Dialog with the add panel docked under it and Step inside the run.
void RunAddDialog(TLmOpenDialog& Dialog, std::function<void()> Step) {
    Dialog.DlgParams.SetBottomFormName("fmAddBottom");
    QTimer::singleShot(0, &Dialog, [&Dialog, Step] {
        Step();
        if (Dialog.isVisible()) Dialog.Press(1);
    });
    Dialog.Execute();
}

} // namespace

TEST(AddPanels, PasswordCaptionFollowsTheArchivePassword) {
    RegistrySandbox sandbox;
    CurrentArchivePassword().clear();
    TfmAddBottom add;
    TfmAddOptionsBottom options;
    EXPECT_EQ(Find<QComboBox>(options, "cbCompression")->currentText(), "Maximum");
    EXPECT_EQ(Find<QComboBox>(add, "cbAction")->count(), 3);
    ChoosePassword(*Find<QPushButton>(add, "buPassword"), "pw");
    EXPECT_EQ(CurrentArchivePassword(), "pw");
    EXPECT_EQ(Find<QPushButton>(add, "buPassword")->text(), "&Protected");
    options.show(); // the other panel shows the password on its next show
    EXPECT_EQ(Find<QPushButton>(options, "buPassword")->text(), "&Protected");
    ChoosePassword(*Find<QPushButton>(options, "buPassword"), "");
    EXPECT_EQ(Find<QPushButton>(options, "buPassword")->text(), "&Password");
    CurrentArchivePassword().clear();
}

TEST(AddPanels, WildcardsCloseTheDialogWithThePatterns) {
    ScriptedPrompterGuard guard;
    guard.Prompter().DefaultsAllowed = true;
    TempDir dir;
    TfmAddBottom panel;
    TLmOpenDialog dialog;
    dialog.InitialDir = QString::fromStdString(dir.Str());
    RunAddDialog(dialog, [&] {
        Find<QPushButton>(panel, "buWildcards")->click(); // nothing typed: a message, the dialog stays
        EXPECT_TRUE(dialog.isVisible());
        dialog.findChild<QLineEdit*>("fileNameEdit")->setText("*.txt *.doc");
        Find<QPushButton>(panel, "buWildcards")->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    ASSERT_EQ(guard.Prompter().Prompts.size(), 1u);
    EXPECT_TRUE(panel.UseWildcards);
    EXPECT_EQ(panel.Wildcards, "*.txt *.doc");
    EXPECT_EQ(panel.WildcardFolder, QString::fromStdString(dir.Str()) + "/");
    EXPECT_EQ(panel.parentWidget(), nullptr);
}

// The batch tool's add-files dialog: quoted names typed in the name box are each taken, and
// its button keeps its caption once a folder is entered.
TEST(AddPanels, QuotedNamesAreEachChosenAndTheAddButtonKeepsItsCaption) {
    TempDir dir;
    for (const char* name : {"bz1.zip", "bz2.zip", "bz3.zip", "sub/inner.zip"})
        WriteFile(dir / name, "x");
    const QString folder = QString::fromStdString(dir.Str());
    QTimer::singleShot(0, [&] {
        auto* dialog = TLmCustomOpenDialog::Current();
        ASSERT_NE(dialog, nullptr);
        dialog->setDirectory(folder);
        auto* edit = Find<QLineEdit>(*dialog, "fileNameEdit");
        auto* ok = Find<QDialogButtonBox>(*dialog, "buttonBox")->button(QDialogButtonBox::Open);
        edit->setFocus();
        QTest::keyClicks(edit, "sub");
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(dialog->directory().absolutePath(), folder + "/sub");
        EXPECT_EQ(ok->text(), "&Add");
        dialog->setDirectory(folder);
        QTest::keyClicks(edit, R"("bz1.zip" "bz2.zip" "bz3.zip")");
        EXPECT_EQ(ok->text(), "&Add");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_EQ(ChooseFilesToAdd(nullptr),
              QStringList({folder + "/bz1.zip", folder + "/bz2.zip", folder + "/bz3.zip"}));
}

// Save, Clear and Close against a real archive: what the editor passes to the writer is what the
// archive holds once the comments are written back.
TEST(Comment, SaveClearAndCloseReachTheArchive) {
    ScriptedPrompterGuard guard;
    TempDir dir;
    const auto path = dir / "a.zip";
    TZipSpec spec;
    spec.Add("a.txt", "a");
    spec.Comment = "old note";
    WriteFile(path, MakeStoredZip(spec));
    struct Case {
        const char* Name;
        std::function<void(TfmComment&)> Steps;
        std::deque<int> Answers;
        std::string Stored;
    };
    const std::vector<Case> cases = {
        {"save",
         [](TfmComment& D) {
             Find<QPlainTextEdit>(D, "meComment")->setPlainText("new note"),
                 Find<QPushButton>(D, "bbSave")->click(), Find<QPushButton>(D, "buClose")->click();
         },
         {},
         "new note"},
        {"close and save",
         [](TfmComment& D) {
             Find<QPlainTextEdit>(D, "meComment")->setPlainText("asked"),
                 Find<QPushButton>(D, "buClose")->click();
         },
         {mrYes},
         "asked"},
        {"close unsaved",
         [](TfmComment& D) {
             Find<QPlainTextEdit>(D, "meComment")->setPlainText("dropped"),
                 Find<QPushButton>(D, "buClose")->click();
         },
         {mrNo},
         "old note"},
        // Clear writes the empty comment at once, even when the next edit is not saved.
        {"clear",
         [](TfmComment& D) {
             Find<QPushButton>(D, "buClear")->click(),
                 Find<QPlainTextEdit>(D, "meComment")->setPlainText("x"),
                 Find<QPushButton>(D, "buClose")->click();
         },
         {mrYes, mrNo},
         ""},
        {"clear refused",
         [](TfmComment& D) {
             Find<QPushButton>(D, "buClear")->click(), Find<QPushButton>(D, "buClose")->click();
         },
         {mrNo},
         "old note"},
    };
    for (const Case& c : cases) {
        WriteFile(path, MakeStoredZip(spec));
        guard.Prompter().Answers = c.Answers;
        TZip zip;
        zip.SetArchiveFile(path.string());
        ASSERT_EQ(zip.OpenComments(), 1);
        TfmComment dialog(zip);
        const auto& old = zip.GetArchiveComment();
        Find<QPlainTextEdit>(dialog, "meComment")
            ->setPlainText(QString::fromUtf8(reinterpret_cast<const char*>(old.data()), old.size()));
        EXPECT_EQ(RunModal(dialog, {[&] {
                               EXPECT_FALSE(Find<QPushButton>(dialog, "bbSave")->isEnabled());
                               c.Steps(dialog);
                           }}),
                  mrOk)
            << c.Name;
        EXPECT_TRUE(guard.Prompter().Answers.empty()) << c.Name;
        zip.SaveComments();
        const ZipContents contents = InspectZip(path);
        EXPECT_EQ(std::string(contents.Comment.begin(), contents.Comment.end()), c.Stored) << c.Name;
    }
}

TEST(Comment, TakesNoMoreThanTheFieldHolds) {
    TZip zip;
    TfmComment dialog(zip);
    Find<QPlainTextEdit>(dialog, "meComment")->setPlainText(QString(70000, 'x'));
    EXPECT_EQ(Find<QPlainTextEdit>(dialog, "meComment")->toPlainText().toUtf8().size(), MaxCommentBytes);
    Find<QPlainTextEdit>(dialog, "meComment")->setPlainText(QString(40000, QChar(0x00e9))); // two bytes each
    EXPECT_EQ(Find<QPlainTextEdit>(dialog, "meComment")->toPlainText().size(), MaxCommentBytes / 2);
}

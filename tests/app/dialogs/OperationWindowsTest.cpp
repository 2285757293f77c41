#include "app/dialogs/AssociateDlg.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Find.h"
#include "app/dialogs/GetPassword.h"
#include "app/dialogs/Progress.h"
#include "app/dialogs/ViewOutput.h"
#include "app/dialogs/ViewerSelection.h"

#include "DialogDriver.h"
#include "RegistrySandbox.h"
#include "ScriptedPrompter.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

using namespace testsupport;

// In whole-process runs a dialog takes its default answer at once; one that its default button
// leaves open is cancelled.
TEST(QuestionDialogs, AutomaticRunsTakeTheDefaultAnswer) {
    RegistrySandbox sandbox;
    ScriptedPrompterGuard guard;
    guard.Prompter().DefaultsAllowed = true;
    EnvGuard automatic("QUILLAR_PROMPTER", "auto");
    TfmViewerSelection viewer;
    EXPECT_EQ(ShowModal(viewer), mrAssociatedProgram);
    TfmAssociateDlg associate;
    EXPECT_EQ(ShowModal(associate), mrYes);
    TfmFind find; // its default button closes it with the mask it has
    EXPECT_EQ(ShowModal(find), mrOk);
    TfmGetPassword password; // no password typed: it stays open, so it is cancelled
    EXPECT_EQ(ShowModal(password), mrCancel);
}

TEST(Progress, OpensFreshAndCancelOnlyMarksTheRun) {
    ScriptedPrompterGuard guard;
    TfmProgress progress;
    auto* cancel = Find<QPushButton>(progress, "buCancel");
    for (int run = 0; run < 2; ++run) { // the window is reused: every show starts afresh
        progress.show();
        EXPECT_FALSE(progress.isModal());
        EXPECT_EQ(Find<QProgressBar>(progress, "pbTotal")->value(), 1);
        EXPECT_EQ(Find<QLabel>(progress, "laTotal")->text(), "1%");
        EXPECT_EQ(Find<QLabel>(progress, "laCurrent")->text(), "0%");
        EXPECT_FALSE(progress.Cancelled);
        EXPECT_TRUE(cancel->isEnabled());
        guard.Prompter().Answers = {mrNo, mrYes};
        cancel->click();
        EXPECT_FALSE(progress.Cancelled);
        cancel->click();
        EXPECT_TRUE(progress.Cancelled);
        EXPECT_EQ(cancel->text(), "Wait ...");
        EXPECT_FALSE(cancel->isEnabled());
        EXPECT_TRUE(progress.isVisible()); // the operation's end closes it
        // Brought to the front during a run, it lets waiting events run before it returns.
        bool ran = false;
        QMetaObject::invokeMethod(
            &progress, [&ran] { ran = true; }, Qt::QueuedConnection);
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&progress, &activate);
        EXPECT_TRUE(ran);
        progress.hide();
    }
}

// A run's progress and log lines reach a window only while it shows (or when it is shown or
// read): the first progress of a run and its end always come through, the latest values win.
TEST(Progress, HiddenWindowsTakeProgressAndLinesWithoutPaintingThem) {
    TfmProgress progress;
    progress.show();
    EXPECT_TRUE(progress.Advance(40, 20)) << "a run's first progress lets events run";
    EXPECT_EQ(Find<QLabel>(progress, "laTotal")->text(), "20%");
    progress.hide();
    progress.Advance(70, 99);
    EXPECT_TRUE(progress.Advance(100, 100)) << "the end always comes through";
    // ... once: a run can stay at its end for thousands of entries.
    int ticks = 0;
    for (int i = 0; i < 1000; ++i)
        ticks += progress.Advance(i % 100, 100) ? 1 : 0;
    EXPECT_LT(ticks, 500);
    EXPECT_EQ(Find<QLabel>(progress, "laTotal")->text(), "20%") << "a hidden window is not painted";
    progress.show();
    EXPECT_EQ(Find<QLabel>(progress, "laTotal")->text(), "1%") << "a new run starts afresh";
    progress.hide();

    TfmViewOutput output;
    auto* memo = Find<QPlainTextEdit>(output, "meOutput");
    output.AppendLine("first");
    output.AppendLine(QString());
    output.AppendLine("third");
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_EQ(output.Text(), "first\n\nthird");
    output.AppendLine("fourth");
    output.show();
    EXPECT_EQ(memo->toPlainText(), "first\n\nthird\nfourth");
    output.AppendLine("waits");
    output.Clear();
    EXPECT_TRUE(output.Text().isEmpty());

    // A long log gathered while hidden (a test of many entries) comes back whole and in order.
    output.hide();
    QStringList lines;
    for (int i = 0; i < 10000; ++i)
        lines << QStringLiteral("> Testing: f%1.txt ... Passed").arg(i);
    for (const QString& line : lines)
        output.AppendLine(line);
    EXPECT_TRUE(output.Text() == lines.join('\n'));
}

TEST(ViewOutput, CopiesTheSelectionOnly) {
    TfmViewOutput dialog;
    auto* memo = Find<QPlainTextEdit>(dialog, "meOutput");
    memo->setPlainText("first line\nsecond line");
    QGuiApplication::clipboard()->setText("before");
    Find<QPushButton>(dialog, "buCopy")->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
    memo->selectAll();
    Find<QPushButton>(dialog, "buCopy")->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "first line\nsecond line");
}

TEST(Find, SizesAreWholeKilobytesThatFit64Bits) {
    const std::vector<std::pair<QString, std::optional<std::int64_t>>> cases = {
        {"12", 12288},
        {" 7 ", 7168},
        {"0", 0},
        {"4294967296", std::int64_t(4294967296) * 1024}, // 4 TiB: beyond 32 bits
        {"9007199254740991", std::int64_t(9007199254740991) * 1024},
        {"9007199254740992", std::nullopt}, // its bytes leave 64 bits
        {"12k", std::nullopt},
        {"1.5", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, bytes] : cases)
        EXPECT_EQ(TfmFind::SizeBytes(text), bytes) << text.toStdString();
}

TEST(Find, ChoicesEnableTheirFieldsAndAWrongSizeKeepsTheDialog) {
    RegistrySandbox sandbox;
    ScriptedPrompterGuard guard;
    TfmFind dialog;
    auto* mask = Find<QComboBox>(dialog, "rcbFilename");
    auto* size = Find<QLineEdit>(dialog, "edSizeRange");
    auto* start = Find<QDateEdit>(dialog, "dtpStart");
    auto* end = Find<QDateEdit>(dialog, "dtpEnd");
    EXPECT_EQ(mask->currentText(), "*.*");
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(size->isEnabled());
    Find<QRadioButton>(dialog, "rbDateBetween")->setChecked(true);
    EXPECT_TRUE(start->isEnabled() && end->isEnabled() && Find<QLabel>(dialog, "laAnd")->isEnabled());
    Find<QRadioButton>(dialog, "rbSizeRange")->setChecked(true);
    EXPECT_TRUE(size->isEnabled() && Find<QComboBox>(dialog, "cbSizeRange")->isEnabled());
    Find<QRadioButton>(dialog, "rbDateAny")->setChecked(true);
    EXPECT_FALSE(end->isEnabled());

    // The end date starts from the start date the first time only.
    start->setDate(QDate(2020, 5, 1));
    QFocusEvent enter(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(end, &enter);
    EXPECT_EQ(end->date(), QDate(2020, 5, 1));
    end->setDate(QDate(2021, 1, 1));
    QApplication::sendEvent(end, &enter);
    EXPECT_EQ(end->date(), QDate(2021, 1, 1));

    guard.Prompter().Answers = {mrOk};
    const int result =
        RunModal(dialog, {[&] {
                     mask->setCurrentText(""); // an empty mask is accepted
                     size->setText("10 KB");
                     Find<QPushButton>(dialog, "buFind")->click();
                     EXPECT_EQ(guard.Prompter().Prompts.at(0).Text, "You did not enter a valid file size.");
                     size->setText("10");
                     Find<QPushButton>(dialog, "buFind")->click();
                 }});
    EXPECT_EQ(result, mrOk);
}

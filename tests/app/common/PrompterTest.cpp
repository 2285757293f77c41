#include "app/common/Prompter.h"

#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// Answers the next message box by clicking the button with Text, or the default button when
// Text is empty, or with Escape when Text is "Esc".
void AnswerNextBox(const QString& Text) {
    QTimer::singleShot(0, [Text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no message box";
            return;
        }
        if (Text == "Esc") {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(box, &escape);
            return;
        }
        for (QAbstractButton* button : box->buttons()) {
            if (Text.isEmpty() ? button == static_cast<QAbstractButton*>(box->defaultButton())
                               : button->text().remove('&') == Text) {
                button->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << Text.toStdString();
        box->reject();
    });
}

} // namespace

// The default answer, as the message box shows it, as the automatic prompter takes it, and the
// result of each button.
TEST(Prompter, AnswersByButton) {
    struct Case {
        TMsgDlgButtons Buttons;
        int DefaultResult;
        QString Click; // "" = the default button
        int Expected;
    };
    const std::vector<Case> cases = {
        {mbOK, mrNone, "", mrOk},
        {mbYes | mbNo, mrNone, "", mrYes},
        {mbYes | mbNo, mrNo, "", mrNo},
        {mbYes | mbNo | mbCancel, mrNone, "Esc", mrCancel},
        {mbCancel | mbOK, mrNone, "", mrOk}, // the order on screen, not the order given
        {mbRetry | mbCancel, mrNone, "Cancel", mrCancel},
        {mbYes | mbNo | mbAll | mbNoToAll, mrNone, "All", mrAll},
        {mbYes | mbNo | mbYesToAll | mbNoToAll, mrNone, "Yes to All", mrYesToAll},
        {mbAbort | mbRetry | mbIgnore, mrIgnore, "", mrIgnore},
    };
    const std::unique_ptr<TPrompter> boxes = [] {
        EnvGuard mode("QUILLAR_PROMPTER", nullptr);
        return MakeDefaultPrompter();
    }();
    for (const Case& c : cases) {
        const TPrompt prompt{"Caption", "Question", mtConfirmation, c.Buttons, c.DefaultResult};
        AnswerNextBox(c.Click);
        EXPECT_EQ(boxes->Ask(prompt), c.Expected) << c.Click.toStdString();
        if (c.Click.isEmpty()) {
            EXPECT_EQ(prompt.DefaultAnswer(), c.Expected);
        }
    }
}

// With QUILLAR_PROMPTER=auto nothing waits: the default is taken and the prompt is told on
// standard error, its "\r\n" as line breaks.
TEST(Prompter, AutomaticPrompterTellsAndTakesTheDefault) {
    EnvGuard mode("QUILLAR_PROMPTER", "auto");
    auto previous = TPrompter::Install(nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageDlg("Overwrite?\r\nIt exists.", mtConfirmation, mbYes | mbNo | mbCancel, mrNo), mrNo);
    EXPECT_EQ(MessageDlg("Done.", mtInformation, mbOK, mrNone, "Finished"), mrOk);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Quillar: Overwrite?\nIt exists.\nFinished: Done.\n");
    TPrompter::Install(std::move(previous));
}

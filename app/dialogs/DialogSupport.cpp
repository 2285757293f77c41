#include "app/dialogs/DialogSupport.h"

#include "app/common/Prompter.h"
#include "app/common/SettingValues.h"
#include "ui/LmMessages.h"
#include "ui/LmOpenDlg.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The file dialogs' own messages (a file in use, the places bar's questions) go through the
// prompter like every other message of the program, so that they are answered the same way.
[[maybe_unused]] const bool DialogSetMessagesThroughPrompter = [] {
    SetLmMessageHandler([](QWidget*, const QString& Caption, const QString& Text, TLmMessageKind Kind) {
        const bool risky = Kind == TLmMessageKind::RiskyQuestion;
        const bool question = risky || Kind == TLmMessageKind::Question;
        const TMsgDlgType type = question                        ? mtConfirmation
                                 : Kind == TLmMessageKind::Error ? mtError
                                                                 : mtWarning;
        return MessageDlg(Text, type, question ? mbYes | mbNo : mbOK, risky ? mrNo : mrNone, Caption) ==
               mrYes;
    });
    return true;
}();

} // namespace

bool AutoAnswerDialogs() {
    const char* mode = std::getenv("QUILLAR_PROMPTER");
    return mode && std::strcmp(mode, "auto") == 0;
}

int ShowModal(QDialog& Dialog) {
    if (AutoAnswerDialogs()) {
        std::fprintf(stderr, "%s\n", Dialog.windowTitle().toUtf8().constData());
        // The dialog's message texts (its wrapped labels) follow its caption, as a question's do.
        for (const QLabel* label : Dialog.findChildren<QLabel*>()) {
            if (label->wordWrap() && !label->text().isEmpty())
                std::fprintf(stderr, "%s\n", label->text().toUtf8().constData());
        }
        QTimer::singleShot(0, &Dialog, [&Dialog] {
            for (QPushButton* button : Dialog.findChildren<QPushButton*>()) {
                if (button->isDefault() && button->isVisible() && button->isEnabled()) {
                    button->click();
                    break;
                }
            }
            if (Dialog.isVisible()) Dialog.done(mrCancel);
        });
    }
    return Dialog.exec();
}

void HidePlacesBar(QFileDialog& Dialog) {
    if (auto* bar = Dialog.findChild<QWidget*>(QStringLiteral("sidebar"))) bar->hide();
}

bool ExecuteFileDialog(TLmCustomOpenDialog& Dialog) {
    // The program's file dialogs show no places bar, neither ours nor the desktop's.
    Dialog.PlacesBar.Visible = false;
    if (AutoAnswerDialogs()) {
        std::fprintf(stderr, "%s\n", Dialog.Title.toUtf8().constData());
        QTimer::singleShot(0, &Dialog, [&Dialog] {
            Dialog.Press(1);
            // A name the dialog does not take (it opened a folder instead) is a cancel.
            if (Dialog.isVisible()) Dialog.Press(2);
        });
    }
    return Dialog.Execute();
}

QStringList ChooseFilesToAdd(QWidget* Parent, const QString& Filter) {
    TLmOpenDialog dialog(Parent);
    dialog.Title = QStringLiteral("Select Files to Add");
    dialog.Filter = Filter;
    dialog.DlgItemsCaptions.OK = QStringLiteral("&Add");
    dialog.Options.AllowMultiSelect = true;
    dialog.Options.FileMustExist = true;
    dialog.Options.ShowHidden = true;
    if (!ExecuteFileDialog(dialog)) return {};
    QStringList files = dialog.Files.isEmpty() ? QStringList{dialog.FileName} : dialog.Files;
    files.removeAll(QString());
    return files;
}

void CloseWith(QAbstractButton* Button, QDialog* Dialog, int Result) {
    QObject::connect(Button, &QAbstractButton::clicked, Dialog, [Dialog, Result] { Dialog->done(Result); });
}

void ConnectHelp(QAbstractButton* Button, const QString& Topic) {
    QObject::connect(Button, &QAbstractButton::clicked, Button, [Topic] { ShowHelpPage(Topic); });
}

QString& CurrentFolder() {
    static QString folder = QDir::currentPath();
    return folder;
}

bool ReadMaskPassword() {
    return ReadSettingBool("Others", "MaskPassword");
}

void WriteMaskPassword(bool Masked) {
    WriteSettingBool("Others", "MaskPassword", Masked);
}

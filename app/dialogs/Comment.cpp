#include "app/dialogs/Comment.h"

#include "app/dialogs/DialogSupport.h"
#include "app/common/Prompter.h"
#include "engine/formats/zip/krvZip.h"
#include "ui_Comment.h"

#include <QShowEvent>
#include <QSignalBlocker>
#include <QTextCursor>

TfmComment::TfmComment(TZip& Archive, QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TfmComment>()), FArchive(Archive) {
    ui->setupUi(this);
    connect(ui->meComment, &QPlainTextEdit::textChanged, this, &TfmComment::TextChanged);
    connect(ui->bbSave, &QPushButton::clicked, this, &TfmComment::SaveClick);
    connect(ui->buClear, &QPushButton::clicked, this, &TfmComment::ClearClick);
    connect(ui->buClose, &QPushButton::clicked, this, &TfmComment::CloseClick);
    ConnectHelp(ui->buHelp, "Hlp_Viewing_or");
}

TfmComment::~TfmComment() = default;

void TfmComment::showEvent(QShowEvent* Event) {
    // The text the dialog opens with is the saved one.
    if (!Event->spontaneous() && !FShown) {
        FShown = true;
        FSavedText = ui->meComment->toPlainText();
        ui->bbSave->setEnabled(false);
    }
    QDialog::showEvent(Event);
}

void TfmComment::reject() {
    CloseClick();
}

void TfmComment::TextChanged() {
    QString text = ui->meComment->toPlainText();
    if (text.toUtf8().size() > MaxCommentBytes) {
        while (text.toUtf8().size() > MaxCommentBytes)
            text.chop(text.size() > 1 && text.back().isLowSurrogate() ? 2 : 1);
        const QSignalBlocker block(ui->meComment);
        ui->meComment->setPlainText(text);
        ui->meComment->moveCursor(QTextCursor::End);
    }
    if (FShown) ui->bbSave->setEnabled(Changed());
}

bool TfmComment::Changed() const {
    return ui->meComment->toPlainText() != FSavedText;
}

void TfmComment::SaveClick() {
    const QByteArray bytes = ui->meComment->toPlainText().toUtf8();
    FArchive.SetArchiveComment(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    FSavedText = ui->meComment->toPlainText();
    ui->bbSave->setEnabled(false);
}

void TfmComment::ClearClick() {
    if (MessageDlg("Are you sure you want to clear the archive comment ?", mtConfirmation, mbYes | mbNo) !=
        mrYes)
        return;
    const QSignalBlocker block(ui->meComment);
    ui->meComment->clear();
    FSavedText.clear();
    ui->bbSave->setEnabled(false);
    FArchive.SetArchiveComment("", 0);
}

void TfmComment::CloseClick() {
    if (Changed() && MessageDlg("You have made changes to the archive comment. Would you like to save it ?",
                                mtConfirmation, mbYes | mbNo) == mrYes)
        SaveClick();
    done(mrOk);
}

void TfmComment::SetText(const QString& Text) {
    ui->meComment->setPlainText(Text);
}

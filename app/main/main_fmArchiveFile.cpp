// The commands on the open archive's file as a whole: mail it, move, copy or rename it, delete
// it. A move or copy replaces a file of the chosen name only once the archive is complete
// there; a move to another file system deletes the original only after its copy was read back.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/FileUtils.h"
#include "app/common/Prompter.h"
#include "app/dialogs/FileNameFields.h"
#include "app/ops/OpMail.h"
#include "engine/read/krvKorva.h"
#include "platform/FileMove.h"

#include <QFile>
#include <QFileInfo>

void TfmMain::MailArchiveCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists()) return;
    TMailOptions options;
    options.Archive = QString::fromStdString(krvKorva->ArchiveFile());
    const TMailResult result = Mail(options, *MakeObserver(true));
    if (result.Failure != TMailFailure::None) MessageDlg(MailFailureText(result), mtError, mbOK);
}

void TfmMain::MoveArchiveCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists() || !ExitCheckoutCheck()) return;
    const QString archive = QString::fromStdString(krvKorva->ArchiveFile());
    QString target = archive;
    if (!AskSaveName(QStringLiteral("Move to ..."), target, {}, true)) return;
    target = QFileInfo(target).absoluteFilePath();
    if (SameFile(archive, target)) return;
    // The file of that name is replaced by the rename itself, never deleted beforehand.
    if (!MoveFileVerified(archive.toStdString(), target.toStdString())) {
        MessageDlg(QStringLiteral("The archive could not be moved to ") + target, mtError, mbOK);
        return;
    }
    DisplayArchive(target);
    MessageDlg(QStringLiteral("Archive has been successfully moved."), mtInformation, mbOK);
}

void TfmMain::CopyArchiveCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists() || !ExitCheckoutCheck()) return;
    const QString archive = QString::fromStdString(krvKorva->ArchiveFile());
    QString target = archive;
    if (!AskSaveName(QStringLiteral("Copy to ..."), target, {}, true)) return;
    target = QFileInfo(target).absoluteFilePath();
    if (!SameFile(archive, target) && CopyFileVerified(archive.toStdString(), target.toStdString()))
        MessageDlg(QStringLiteral("File copied successfully."), mtInformation, mbOK);
    else
        MessageDlg(QStringLiteral("File copy failed."), mtError, mbOK);
}

void TfmMain::RenameArchiveCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists() || !ExitCheckoutCheck()) return;
    const QFileInfo archive(QString::fromStdString(krvKorva->ArchiveFile()));
    QString answer = archive.completeBaseName();
    if (!InputQuery(QStringLiteral("Rename Archive"),
                    QStringLiteral("Please enter a new filename WITHOUT any extensions :"), answer) ||
        answer.isEmpty())
        return;
    if (!QFileInfo(answer).suffix().isEmpty()) {
        MessageDlg(
            QStringLiteral("You entered a file extension. Please try again\r\nwithout entering any file "
                           "extensions."),
            mtError, mbOK);
        return;
    }
    // A name, not a path: the archive stays in its folder.
    if (!IsValidFileName(answer.toStdString(), true)) {
        MessageDlg(answer + QStringLiteral(" cannot be used as a file name."), mtError, mbOK);
        return;
    }
    QString target = archive.absolutePath() + QLatin1Char('/') + answer;
    if (!archive.suffix().isEmpty()) target += QLatin1Char('.') + archive.suffix();
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
        MessageDlg(
            QStringLiteral("The new filename you entered already exist. Please \rtry again with a different "
                           "filename."),
            mtError, mbOK);
        return;
    }
    if (std::rename(archive.absoluteFilePath().toLocal8Bit().constData(), target.toLocal8Bit().constData()) !=
        0) {
        MessageDlg(QStringLiteral("The archive could not be renamed to ") + target, mtError, mbOK);
        return;
    }
    DisplayArchive(target);
}

void TfmMain::DeleteArchiveCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists() || !ExitCheckoutCheck()) return;
    if (MessageDlg(QStringLiteral("Are you sure you want to delete the currently opened archive file ?"),
                   mtConfirmation, mbYes | mbNo) == mrNo)
        return;
    DeleteArchive(QString::fromStdString(krvKorva->ArchiveFile()));
}

bool TfmMain::DeleteArchive(const QString& Path) {
    const std::string archive = krvKorva->ArchiveFile();
    krvKorva->SetArchiveFile("");
    if (QFile::remove(Path)) {
        MessageDlg(QStringLiteral("File has been successfully deleted."), mtInformation, mbOK);
        CloseArchive();
        return true;
    }
    krvKorva->SetArchiveFile(archive);
    MessageDlg(QStringLiteral("Deletion failed. The file may be missing or read-only."), mtError, mbOK);
    return false;
}

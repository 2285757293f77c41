// The questions of every operation, asked through the program's dialogs and its prompter.
#include "app/dialogs/DialogObserver.h"

#include "app/common/Prompter.h"
#include "app/common/QtStrings.h"
#include "app/common/QuestionTexts.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/GetPassword.h"
#include "app/dialogs/OverwriteDlg.h"
#include "app/dialogs/RenameFile.h"
#include "engine/core/EngineHost.h"
#include "ui/LmSaveDlg.h"

#include <QFileInfo>
#include <QLocale>
#include <cstdio>

namespace {

// A size in the disk prompts: with thousands separators, "not available" when unknown.
QString SizeText(std::int64_t Size) {
    if (Size < 0) return QStringLiteral("not available");
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale.toString(static_cast<qlonglong>(Size));
}

} // namespace

TOverwriteAnswer TDialogObserver::AskOverwrite(const QString& Existing, std::int64_t IncomingSize,
                                               TDateTime IncomingDate, QString& NewName) {
    const QFileInfo existing(Existing);
    TfmOverwriteDlg dialog(DialogParent());
    // Not every reader knows the entry's date when it asks; an unknown one is left out.
    dialog.SetFiles(Existing, IncomingFileText(existing.fileName(), IncomingSize, IncomingDate));
    switch (ShowModal(dialog)) {
    case mrYes:
        return TOverwriteAnswer::Yes;
    case mrOverwriteYesToAll:
        return TOverwriteAnswer::YesToAll;
    case mrOverwriteNoToAll:
        return TOverwriteAnswer::NoToAll;
    case mrOverwriteRename:
        // The dialog takes only a plain name that is free in the same folder.
        if (IsPlainFileName(QFileInfo(dialog.NewFileName).fileName()) &&
            QFileInfo(dialog.NewFileName).absolutePath() == existing.absolutePath()) {
            NewName = dialog.NewFileName;
            return TOverwriteAnswer::Rename;
        }
        return TOverwriteAnswer::No;
    case mrCancel:
        return TOverwriteAnswer::Cancel;
    default:
        return TOverwriteAnswer::No;
    }
}

bool TDialogObserver::AskPassword(const QString& FileName, std::string& Password) {
    if (!CurrentArchivePassword().isEmpty()) {
        Password = CurrentArchivePassword().toStdString();
        return true;
    }
    TfmGetPassword dialog(DialogParent());
    dialog.SetFileName(QFileInfo(FileName).fileName());
    // Asked again for the entry whose password did not fit: the dialog says so.
    dialog.SetRejected(!FRejected.isEmpty() && FRejected == FileName);
    FRejected.clear();
    if (ShowModal(dialog) != mrOk) return false;
    Password = dialog.Password().toStdString();
    CurrentArchivePassword() = Str(Password);
    return true;
}

void TDialogObserver::PasswordRejected(const QString& FileName) {
    CurrentArchivePassword().clear();
    FRejected = FileName;
}

bool TDialogObserver::AskNextVolume(std::string& VolumeName, const std::string& VolumeID) {
    const QString name = QFileInfo(Str(VolumeName)).fileName();
    QString answer = Str(VolumeName);
    if (!InputQuery(name + QStringLiteral(" - Volume ID: ") + Str(VolumeID),
                    QStringLiteral("Please enter the full path to ") + name + QLatin1Char(':'), answer))
        return false;
    VolumeName = answer.toStdString();
    return true;
}

bool TDialogObserver::AskDisk(const QString& Text) {
    EngineHost::Pump();
    const bool ok = MessageDlg(Text, mtInformation, mbOK | mbCancel) == mrOk;
    EngineHost::Pump();
    return ok;
}

bool TDialogObserver::AskSaveName(const QString& Title, QString& FileName, const QString& Filter,
                                  int FilterIndex, bool OverwritePrompt) {
    if (AutoAnswerDialogs()) {
        // The default answer is the name offered.
        std::fprintf(stderr, "%s: %s [OK]\n", Title.toLocal8Bit().constData(),
                     FileName.toLocal8Bit().constData());
        return true;
    }
    TLmSaveDialog dialog(DialogParent());
    dialog.PlacesBar.Visible = false; // the program's file dialogs show no places bar
    dialog.Title = Title;
    dialog.Filter = Filter;
    dialog.FilterIndex = FilterIndex;
    dialog.InitialDir = QFileInfo(FileName).absolutePath();
    dialog.FileName = FileName;
    dialog.Options.OverwritePrompt = OverwritePrompt;
    if (!dialog.Execute() || dialog.FileName.isEmpty()) return false;
    FileName = dialog.FileName;
    return true;
}

bool TDialogObserver::Confirm(const QString& Text) {
    return MessageDlg(Text, mtConfirmation, mbYes | mbNo) == mrYes;
}

bool TDialogObserver::AskNestedTar(const QString& FileName, bool Testing) {
    if (Testing)
        return MessageDlg(QStringLiteral("File: ") + FileName + QStringLiteral("\r\r") +
                              QStringLiteral(
                                  "Compressed file is a TAR archive. Decompress and verify this archive ?"),
                          mtInformation, mbYes | mbNo) == mrYes;
    return MessageDlg(
               QStringLiteral("Found Nested Tar File.\r\rFile: ") + FileName +
                   QStringLiteral("\rCompressed file is a tar archive.\r\rDecompress the tar archive?"),
               mtConfirmation, mbYes | mbNo) == mrYes;
}

bool TDialogObserver::AskCorruptHeader() {
    return MessageDlg(QStringLiteral("Header error : Missing or corrupted.\r\rDo you want to continue ?"),
                      mtConfirmation, mbYes | mbNo) == mrYes;
}

TReplaceAnswer TDialogObserver::AskReplace(const std::string& FileName, const std::string& NewFileName,
                                           TDateTime Date, TDateTime NewDate, std::int64_t FileSize,
                                           std::int64_t NewFileSize) {
    const QString text =
        ReplaceQuestionText(Str(FileName), FileSize, Date, Str(NewFileName), NewFileSize, NewDate);
    // Help shows the page on replacing a file; the question stays.
    switch (MessageDlg(text, mtConfirmation, mbYes | mbNo | mbNoToAll | mbYesToAll, mrNone, {},
                       QStringLiteral("Hlp_Overwrite_Dialog"))) {
    case mrYes:
        return TReplaceAnswer::Yes;
    case mrNoToAll:
        return TReplaceAnswer::NoToAll;
    case mrYesToAll:
        return TReplaceAnswer::YesToAll;
    default:
        return TReplaceAnswer::No;
    }
}

bool IsSoundEntryName(const QString& Name) {
    bool sound = !Name.startsWith(QLatin1Char('/'));
    for (const QString& part : Name.split(QLatin1Char('/')))
        sound = sound && IsPlainFileName(part);
    return sound;
}

TDupeAnswer TDialogObserver::AskRenameDupe(const std::string& FileName, std::string& NewName) {
    EngineHost::Pump();
    TfmRenameFile dialog(DialogParent());
    dialog.SetName(Str(FileName));
    switch (ShowModal(dialog)) {
    case mrDupeRename: {
        // The new name of an entry keeps it inside the archive's folders: no "..", no empty part.
        const QString name = dialog.Name();
        if (!IsSoundEntryName(name)) return TDupeAnswer::Skip;
        NewName = name.toStdString();
        return TDupeAnswer::Rename;
    }
    case mrDupeSkipAll:
        return TDupeAnswer::SkipAll;
    default:
        return TDupeAnswer::Skip;
    }
}

bool TDialogObserver::AskWriteProtectedArchive(const std::string& FileName) {
    return MessageDlg(Str(FileName) + QStringLiteral(" is Read Only, System File, or Hidden File ...\r\r") +
                          QStringLiteral("Write to this file ?"),
                      mtConfirmation, mbYes | mbNo) == mrYes;
}

int TDialogObserver::AskOutputExists(const std::string& FileName) {
    return MessageDlg(
        Str(FileName) + QStringLiteral("\r\rFile already exist.\r\rWould you like to overwrite this file ?"),
        mtConfirmation, mbYes | mbNo | mbCancel | mbIgnore);
}

bool TDialogObserver::AskInsertDisk(const std::string& VolumeName, bool AllowSpanning) {
    if (AllowSpanning)
        return MessageDlg(QStringLiteral("Please insert disk number ") + Str(VolumeName), mtInformation,
                          mbOK | mbCancel) == mrOk;
    MessageDlg(
        QStringLiteral("Quillar is unable to complete this operation \r\ndue to insufficient disk space."),
        mtError, mbOK);
    return false;
}

bool TDialogObserver::AskDiskError(bool WriteProtected) {
    if (!WriteProtected) {
        MessageDlg(QStringLiteral(
                       "Error writing to disk. The disk may have bad \r\nsectors or drive may be faulty."),
                   mtError, mbOK);
        return false;
    }
    return MessageDlg(QStringLiteral("Your disk seems to be write protected. Please unprotect \r\nyour disk "
                                     "and click \"OK\" to continue, or click \"Cancel\" \r\nto abort."),
                      mtError, mbOK | mbCancel) == mrOk;
}

bool TDialogObserver::AskClearDisk(const std::string& Drive, std::int64_t RequiredSpace,
                                   std::int64_t FreeSpace, std::int64_t DiskCapacity) {
    if (RequiredSpace > DiskCapacity) {
        MessageDlg(QStringLiteral("Diskette capacity error."), mtError, mbOK);
        return false;
    }
    if (RequiredSpace <= FreeSpace) return true;
    const QStringList lines = {
        QStringLiteral("Drive ") + Str(Drive).toUpper(),
        QStringLiteral("Required space: ") + SizeText(RequiredSpace),
        QStringLiteral("Free space    : ") + SizeText(FreeSpace),
        QStringLiteral("Disk capacity : ") + SizeText(DiskCapacity),
        QString(),
        QStringLiteral("Your diskette is full. Please insert an empty diskette, then"),
        QStringLiteral("click OK to proceed. Click Cancel if you want to abort."),
    };
    return MessageDlg(lines.join(QStringLiteral("\r\n")), mtInformation, mbOK | mbCancel) == mrOk;
}

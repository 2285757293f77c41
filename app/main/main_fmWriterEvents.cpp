// The writers' events in the main window: the progress window from activation to deactivation
// (none for a delete), the status bar, and the questions of an add: replace, duplicate name,
// read-only archive, existing output, disks of a spanned zip.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Prompter.h"
#include "app/dialogs/QtStrings.h"
#include "app/dialogs/RenameFile.h"
#include "app/main/QuestionTexts.h"
#include "engine/core/EngineHost.h"
#include "engine/write/krvZip.h"
#include "ui_RenameFile.h"

#include <QLineEdit>
#include <QLocale>
#include <QStatusBar>

namespace {

// A size in the disk prompts: with thousands separators, "not available" when unknown.
QString SizeText(std::int64_t Size) {
    if (Size < 0) return QStringLiteral("not available");
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale.toString(static_cast<qlonglong>(Size));
}

// The zip writer asks for an empty disk of a spanned set.
void ClearDisk(const std::string& Drive, std::int64_t RequiredSpace, std::int64_t FreeSpace,
               std::int64_t DiskCapacity, bool& Cancel) {
    if (RequiredSpace > DiskCapacity) {
        MessageDlg(QStringLiteral("Diskette capacity error."), mtError, mbOK);
    } else if (RequiredSpace > FreeSpace) {
        const QStringList lines = {
            QStringLiteral("Drive ") + Str(Drive).toUpper(),
            QStringLiteral("Required space: ") + SizeText(RequiredSpace),
            QStringLiteral("Free space    : ") + SizeText(FreeSpace),
            QStringLiteral("Disk capacity : ") + SizeText(DiskCapacity),
            QString(),
            QStringLiteral("Your diskette is full. Please insert an empty diskette, then"),
            QStringLiteral("click OK to proceed. Click Cancel if you want to abort."),
        };
        if (MessageDlg(lines.join(QStringLiteral("\r\n")), mtInformation, mbOK | mbCancel) == mrOk)
            Cancel = false;
    } else {
        Cancel = false;
    }
}

} // namespace

void TfmMain::BindWriter(TCompBase& Writer) {
    BindEngineEvents(Writer);
    Writer.OnActivate = [this](TZipCommon&) {
        StartProgress();
        ApplicationBusy();
    };
    Writer.OnDeactivate = [this](TZipCommon&) {
        EndProgress();
        ApplicationWaiting();
        // The totals follow the list as the writer leaves it.
        if (ArchiveOpen()) DisplayTotals(false);
        EngineHost::Pump();
    };
    Writer.OnBegin = [this](TZipCommon& Sender, const std::string& FileName, int, bool&) {
        if (static_cast<TCompBase&>(Sender).Switch == swDelete)
            ShowStatusText(QStringLiteral("Deleting: "), Str(FileName), 47);
        else
            ShowStatusText(QStringLiteral("Compressing: "), Str(FileName), 68);
    };
    Writer.OnDeleteFile = [this](TZipCommon&, const std::string& FileName, int, int) {
        ShowStatusText(QStringLiteral("Deleting: "), Str(FileName), 47);
    };
    Writer.OnEnd = [this](TZipCommon&, const std::string&, bool) {
        if (FInteractive) ui->dfstbMainStatus->clearMessage();
    };
    Writer.OnRecurseDir = [this](TZipCommon&, const std::string& Directory) {
        ShowStatusText(QStringLiteral("Scanning Directory: "), Str(Directory), 98);
        EngineHost::Pump();
    };
    Writer.OnFileScanStatus = [this](TZipCommon&, const std::string& FileName, int Count, double) {
        if (!FInteractive) return;
        ui->dfstbMainStatus->showMessage(QString::number(Count) + QLatin1Char(' ') + Str(FileName));
        ui->dfstbMainStatus->repaint();
        EngineHost::Pump();
    };
    Writer.OnReplaceFile = [this](TZipCommon& Sender, const std::string& FileName,
                                  const std::string& NewFileName, TDateTime Date, TDateTime NewDate,
                                  std::int64_t FileSize, std::int64_t NewFileSize, int, int, bool& Replace) {
        krvZipReplaceFile(static_cast<TCompBase&>(Sender), FileName, NewFileName, Date, NewDate, FileSize,
                          NewFileSize, Replace);
    };
    Writer.OnRenameDupeFile = [this](TZipCommon&, const std::string& FileName, std::string& NewFileName,
                                     bool& Rename) { krvZipRenameDupeFile(FileName, NewFileName, Rename); };
    Writer.OnNonWriteableArchive = [](TZipCommon&, const std::string& FileName, bool& Write) {
        Write =
            MessageDlg(Str(FileName) + QStringLiteral(" is Read Only, System File, or Hidden File ...\r\r") +
                           QStringLiteral("Write to this file ?"),
                       mtConfirmation, mbYes | mbNo) == mrYes;
    };
    Writer.OnInsertDisk = [this](TZipCommon&, const std::string& VolumeName, bool& Cancel) {
        if (AllowSpanning) {
            if (MessageDlg(QStringLiteral("Please insert disk number ") + Str(VolumeName), mtInformation,
                           mbOK | mbCancel) == mrOk) {
                Cancel = false;
                return;
            }
        } else {
            EndProgress();
            MessageDlg(
                QStringLiteral("Quillar is unable to complete this operation \r\ndue to insufficient disk "
                               "space."),
                mtError, mbOK);
        }
        Cancel = true;
        Aborted = true;
    };
    Writer.OnDiskInDrvErr = [](TZipCommon&, bool& Cancel) {
        MessageDlg(QStringLiteral(
                       "Error writing to disk. The disk may have bad \r\nsectors or drive may be faulty."),
                   mtError, mbOK);
        Cancel = true;
    };
    Writer.OnDiskWriteProtectErr = [](TZipCommon&, bool& Cancel) {
        Cancel =
            MessageDlg(QStringLiteral("Your disk seems to be write protected. Please unprotect \r\nyour disk "
                                      "and click \"OK\" to continue, or click \"Cancel\" \r\nto abort."),
                       mtError, mbOK | mbCancel) != mrOk;
    };
    if (auto* zip = dynamic_cast<TZip*>(&Writer)) {
        zip->OnClearDisk = [](TZipCommon&, const std::string& Drive, std::int64_t RequiredSpace,
                              std::int64_t FreeSpace, std::int64_t TotalSpace, bool& Cancel) {
            ClearDisk(Drive, RequiredSpace, FreeSpace, TotalSpace, Cancel);
        };
    }
    Writer.TZipCommon::OnFileExists = [this](TZipCommon& Sender, const std::string& FileName, TDateTime,
                                             TOverwriteMode& OverwriteMode) {
        krvGZipFileExists(Sender, FileName, OverwriteMode);
    };
}

TCompBase* TfmMain::WriterFor(TOutArcType Type) {
    CurrentReader = nullptr;
    CurrentWriter = nullptr;
    std::unique_ptr<TCompBase> writer = CreateWriter(Type);
    if (!writer) return nullptr;
    FWriter = std::move(writer);
    BindWriter(*FWriter);
    CurrentWriter = FWriter.get();
    return FWriter.get();
}

void TfmMain::krvZipReplaceFile(TCompBase&, const std::string& FileName, const std::string& NewFileName,
                                TDateTime Date, TDateTime NewDate, std::int64_t FileSize,
                                std::int64_t NewFileSize, bool& Replace) {
    if (ReplaceAll != 0) {
        Replace = ReplaceAll > 0;
        return;
    }
    const QString text =
        ReplaceQuestionText(Str(FileName), FileSize, Date, Str(NewFileName), NewFileSize, NewDate);
    switch (MessageDlg(text, mtConfirmation, mbYes | mbNo | mbNoToAll | mbYesToAll, mrNone, {},
                       QStringLiteral("Hlp_Overwrite_Dialog"))) {
    case mrYes:
        Replace = true;
        break;
    case mrNoToAll:
        Replace = false;
        ReplaceAll = -1;
        break;
    case mrYesToAll:
        Replace = true;
        ReplaceAll = 1;
        break;
    default:
        Replace = false;
        break;
    }
}

void TfmMain::krvZipRenameDupeFile(const std::string& FileName, std::string& NewFileName, bool& Rename) {
    EngineHost::Pump();
    Rename = false;
    if (SkipAllDupes) return;
    TfmRenameFile dialog(this);
    dialog.ui->edFileName->setText(Str(FileName));
    dialog.ExistingName = Str(FileName);
    switch (ShowModal(dialog)) {
    case mrDupeRename: {
        // The new name of an entry keeps it inside the archive's folders: no "..", no empty part.
        const QString name = dialog.ui->edFileName->text();
        const QStringList parts = name.split(QLatin1Char('/'));
        bool sound = !name.startsWith(QLatin1Char('/'));
        for (const QString& part : parts)
            sound = sound && IsPlainFileName(part);
        if (sound) {
            NewFileName = name.toStdString();
            Rename = true;
        }
        break;
    }
    case mrDupeSkipAll:
        SkipAllDupes = true;
        break;
    default:
        break;
    }
}

void TfmMain::krvGZipFileExists(TZipCommon& Sender, const std::string& FileName,
                                TOverwriteMode& OverwriteMode) {
    switch (MessageDlg(Str(FileName) +
                           QStringLiteral("\r\rFile already exist.\r\rWould you like to overwrite this "
                                          "file ?"),
                       mtConfirmation, mbYes | mbNo | mbCancel | mbIgnore)) {
    case mrCancel:
        OverwriteMode = omSkip;
        Sender.SetCancel(true);
        break;
    case mrIgnore:
        Sender.ConfirmOverwrites = false;
        break;
    case mrYes:
        OverwriteMode = omOverwrite;
        break;
    default:
        OverwriteMode = omSkip;
        break;
    }
}

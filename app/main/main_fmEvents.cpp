// The handlers that every engine component of the window shares: the progress window and the
// status bar, the engine's questions (overwrite, password, next volume, disks, nested tar,
// replace, duplicate name, read-only archive) answered through the dialogs, and the output log
// into which every engine error goes.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/GetPassword.h"
#include "app/dialogs/OverwriteDlg.h"
#include "app/dialogs/Progress.h"
#include "app/dialogs/Prompter.h"
#include "app/dialogs/QtStrings.h"
#include "app/dialogs/ViewOutput.h"
#include "app/main/QuestionTexts.h"
#include "app/main/StatusLed.h"
#include "engine/core/EngineHost.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvUnBase.h"
#include "engine/read/krvKorva.h"
#include "engine/read/krvReaders.h"
#include "ui_GetPassword.h"
#include "ui_OverwriteDlg.h"
#include "ui_Progress.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace {

// The class of an engine component as the log names it (TUnZip, TLha ...).
QString ClassName(const TZipCommon& Component) {
    const char* mangled = typeid(Component).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                std::free);
    return QString::fromLatin1(status == 0 && name ? name.get() : mangled);
}

QString FilePart(const std::string& Path) {
    return QFileInfo(Str(Path)).fileName();
}

} // namespace

void TfmMain::CreateOperationForms() {
    fmProgress = new TfmProgress(this);
    fmProgress->setWindowModality(Qt::NonModal);
    fmViewOutput = new TfmViewOutput(this);
    connect(ui->acViewLastOutput, &QAction::triggered, this, [this] { fmViewOutput->show(); });
}

QString TfmMain::OutputLog() const {
    return fmViewOutput->Text();
}

void TfmMain::ClearOutput() {
    fmViewOutput->Clear();
}

void TfmMain::AppendOutput(const QString& Line) {
    fmViewOutput->AppendLine(Line);
}

void TfmMain::ResetRunFlags() {
    BadPassword = false;
    CrcError = false;
    DiskFull = false;
    WriteFailed = false;
    Aborted = false;
    ClearOutput();
}

void TfmMain::StartProgress() {
    if (CurrentWriter && static_cast<TCompBase*>(CurrentWriter)->Switch == swDelete) return;
    Aborted = false;
    ui->dfstbMainStatus->clearMessage();
    fmProgress->ui->buCancel->setEnabled(true);
    fmProgress->Cancelled = false;
    setEnabled(false);
    // Only the progress window answers while the work runs.
    fmProgress->setEnabled(true);
    fmProgress->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TfmMain::EndProgress() {
    if (CurrentWriter && static_cast<TCompBase*>(CurrentWriter)->Switch == swDelete) return;
    if (!fmProgress->isVisible() && isEnabled()) return;
    fmProgress->hide();
    EngineHost::Pump();
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    ClearAbortingMessage();
}

void TfmMain::ShowStatusText(const QString& Prefix, const QString& Name, int Reserved) {
    if (!FInteractive) return;
    QStatusBar* bar = ui->dfstbMainStatus;
    const int width = std::max(bar->width() - Reserved, 40);
    // Painted when the progress handler next lets the event loop run, not once per entry.
    bar->showMessage(Prefix + bar->fontMetrics().elidedText(Name, Qt::ElideMiddle, width));
}

bool TfmMain::GetPassword(const QString& FileName, std::string& Password) {
    TfmGetPassword dialog(this);
    dialog.ui->laFileName->setText(FileName);
    if (ShowModal(dialog) != mrOk) return false;
    Password = dialog.ui->edPassword->text().toStdString();
    return true;
}

// ---- binding ---------------------------------------------------------------------------------

void TfmMain::BindEngineEvents(TZipCommon& Component) {
    Component.OnError = [this](TZipCommon& Sender, const std::string& FileName,
                               const std::string& ExtendedMsg, const std::string& VolumeID,
                               int ECode) { krvKorvaError(Sender, FileName, ExtendedMsg, VolumeID, ECode); };
    Component.OnProgress = [this](TZipCommon& Sender, std::uint8_t ByFile, std::uint8_t ByArchive) {
        krvUnZipProgress(Sender, ByFile, ByArchive);
    };
    Component.OnGetPassword = [this](TZipCommon& Sender, const std::string& FileName, std::string& Password,
                                     bool& TryAgain) {
        krvUnZipGetPassword(Sender, FileName, Password, TryAgain);
    };
    Component.OnNextVolume = [this](TZipCommon& Sender, std::string& VolumeName, const std::string& VolumeID,
                                    bool Exists, bool& Cancel) {
        krvKorvaNextVolume(Sender, VolumeName, VolumeID, Exists, Cancel);
    };
    Component.OnCorruptZipHeader = [this](TZipCommon& Sender, THeaderTypeState HeadFlag, bool& Cancel) {
        if (HeadFlag & (htCentral | htEnding)) return;
        if (MessageDlg(QStringLiteral("Header error : Missing or corrupted.\r\rDo you want to continue ?"),
                       mtConfirmation, mbYes | mbNo) == mrYes)
            Cancel = false;
        else
            Sender.SetCancel(true);
    };
    auto disk = [](const QString& Text, bool& Cancel) {
        EngineHost::Pump();
        if (MessageDlg(Text, mtInformation, mbOK | mbCancel) == mrOk) Cancel = false;
        EngineHost::Pump();
    };
    Component.OnGetZipFirstDisk = [disk](TZipCommon&, bool& Cancel) {
        disk(QStringLiteral("Please insert the FIRST disk of this archive set."), Cancel);
    };
    Component.OnGetZipLastDisk = [disk](TZipCommon&, bool& Cancel) {
        disk(QStringLiteral("Please insert the LAST disk of this archive set."), Cancel);
    };
    Component.OnGetZipNextDisk = [disk](TZipCommon&, const std::string& VolumeName, bool& Cancel) {
        disk(QStringLiteral("Please insert disk number ") + Str(VolumeName), Cancel);
    };
    Component.OnNestedTarFile = [this](TZipCommon&, const std::string& FileName, bool& doUnTar) {
        krvUnGZIPNestedTarFile(FileName, doUnTar);
    };
}

void TfmMain::BindReader(TUnBase& Reader) {
    BindEngineEvents(Reader);
    Reader.OnBegin = [this](TZipCommon&, const std::string& FileName, int, bool&) {
        ShowStatusText(QStringLiteral("Extracting: "), Str(FileName), 55);
    };
    Reader.OnEnd = [this](TZipCommon& Sender, const std::string& FileName, bool CrcPass) {
        if (!CrcPass) krvKorvaError(Sender, FileName, "0", "", ecFileFailsCRCCheck);
    };
    Reader.OnFileExists = [this](TZipCommon& Sender, const std::string& FileName, std::string& NewFileName,
                                 TOverwriteMode& OverwriteMode) {
        krvUnZipFileExists(Sender, FileName, NewFileName, OverwriteMode);
    };
}

TUnBase* TfmMain::ReaderFor(TArcType Type) {
    CurrentWriter = nullptr;
    std::unique_ptr<TUnBase> reader = CreateReader(Type);
    if (!reader) return nullptr;
    FReader = std::move(reader);
    BindReader(*FReader);
    CurrentReader = FReader.get();
    return FReader.get();
}

// ---- the handlers ----------------------------------------------------------------------------

void TfmMain::krvUnZipProgress(TZipCommon&, int ProgressByFile, int ProgressByArchive) {
    // The progress window paints and the event loop runs at most every few milliseconds; Cancel
    // is read on every event.
    if (fmProgress->Advance(ProgressByFile, ProgressByArchive)) EngineHost::Pump();
    if (fmProgress->Cancelled) {
        fmProgress->Cancelled = false;
        if (CurrentWriter || CurrentReader) {
            CancelTask();
            Aborted = true;
        }
    }
    if (ProgressByArchive >= 100) fmProgress->ui->buCancel->setEnabled(false);
}

void TfmMain::krvKorvaError(TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                            const std::string&, int ECode) {
    if (ECode == ecFileFailsCRCCheck) CrcError = true;
    if (ECode == ecDiskFull) DiskFull = true;
    if (ECode == ecErrorWritingToFile) WriteFailed = true;
    if (ECode == ecInvalidPassword) {
        BadPassword = true;
        CurrentArchivePassword().clear();
    }
    if (ECode == ecUserCanceled) Aborted = true;
    if (FListing && FInteractive && ECode != ecUserCanceled) {
        // The errors of a listing are also shown together when it ends.
        QString text = Str(FileName);
        if (!ExtendedMsg.empty()) text += QStringLiteral(" (") + Str(ExtendedMsg) + QLatin1Char(')');
        FListErrors << text + QStringLiteral(": ") + QString::fromLatin1(ErrorText(ECode));
    }
    // Each error adds its entry to the log of the operation; the operation clears it when it
    // starts, so several failures of one run are all kept.
    AppendOutput(QStringLiteral(":: ERROR - ") + ClassName(Sender).toUpper() + QStringLiteral(" ::"));
    AppendOutput(QStringLiteral("Archive  : ") + Str(Sender.ArchiveFile()));
    AppendOutput(QStringLiteral("Filename : ") + FilePart(FileName));
    AppendOutput(QStringLiteral("Error No : ") + QString::number(ECode));
    AppendOutput(QStringLiteral("Message  : ") + QString::fromLatin1(ErrorText(ECode)));
    AppendOutput(QStringLiteral("Details  : ") + Str(ExtendedMsg));
    AppendOutput(QString());
    AppendOutput(QString());
}

void TfmMain::krvUnZipFileExists(TZipCommon& Sender, const std::string& FileName, std::string& NewFileName,
                                 TOverwriteMode& OverwriteMode) {
    const QFileInfo existing(Str(FileName));
    TfmOverwriteDlg dialog(this);
    dialog.ui->laReplaceFilename->setText(
        dialog.ui->laReplaceFilename->fontMetrics().elidedText(
            existing.filePath(), Qt::ElideMiddle, std::max(dialog.ui->laReplaceFilename->width() - 1, 200)) +
        QLatin1Char('\n') + QString::number(existing.size()) + QStringLiteral(" bytes, ") +
        existing.lastModified().toString(QStringLiteral("MM-dd-yy hh:mm")));
    // Not every reader knows the entry's date when it asks; an unknown one is left out.
    dialog.ui->laWithName->setText(
        IncomingFileText(existing.fileName(), Sender.UnpackedSize, Sender.FileDate));
    dialog.FileName = existing.filePath();
    auto* reader = static_cast<TUnBase*>(&Sender);
    switch (ShowModal(dialog)) {
    case mrYes:
        OverwriteMode = omOverwrite;
        break;
    case mrOverwriteYesToAll:
        OverwriteMode = omOverwrite;
        reader->ConfirmOverwrites = false;
        break;
    case mrOverwriteNoToAll:
        OverwriteMode = omSkip;
        reader->ConfirmOverwrites = false;
        break;
    case mrOverwriteRename:
        // The dialog takes only a plain name that is free in the same folder.
        if (IsPlainFileName(QFileInfo(dialog.NewFileName).fileName()) &&
            QFileInfo(dialog.NewFileName).absolutePath() == existing.absolutePath()) {
            NewFileName = dialog.NewFileName.toStdString();
            OverwriteMode = omOverwrite;
        } else {
            OverwriteMode = omSkip;
        }
        break;
    case mrCancel:
        // Cancel leaves this file as it is and ends the run.
        NewFileName = FileName;
        OverwriteMode = omSkip;
        Sender.SetCancel(true);
        break;
    default:
        OverwriteMode = omSkip;
        break;
    }
}

void TfmMain::krvUnGZIPNestedTarFile(const std::string& FileName, bool& doUnTar) {
    if (MessageDlg(QStringLiteral("Found Nested Tar File.\r\rFile: ") + Str(FileName) +
                       QStringLiteral("\rCompressed file is a tar archive.\r\rDecompress the tar archive?"),
                   mtConfirmation, mbYes | mbNo) == mrYes)
        doUnTar = true;
}

void TfmMain::krvUnZipGetPassword(TZipCommon&, const std::string& FileName, std::string& Password,
                                  bool& TryAgain) {
    if (!CurrentArchivePassword().isEmpty()) {
        Password = CurrentArchivePassword().toStdString();
        return;
    }
    if (GetPassword(FilePart(FileName), Password)) {
        CurrentArchivePassword() = Str(Password);
        BadPassword = false;
    } else {
        TryAgain = false;
    }
}

void TfmMain::krvKorvaNextVolume(TZipCommon& Sender, std::string& VolumeName, const std::string& VolumeID,
                                 bool Exists, bool& Cancel) {
    Cancel = false;
    if (Exists) return;
    const QString name = FilePart(VolumeName);
    QString answer = Str(VolumeName);
    if (InputQuery(name + QStringLiteral(" - Volume ID: ") + Str(VolumeID),
                   QStringLiteral("Please enter the full path to ") + name + QLatin1Char(':'), answer)) {
        VolumeName = answer.toStdString();
    } else {
        Cancel = true;
        Sender.SetCancel(true);
    }
}

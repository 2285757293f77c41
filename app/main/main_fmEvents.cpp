// The window's side of the operations: its observer (the progress window, the status bar and
// the output log into which every engine error goes; the questions through the dialogs), the
// commands held off while one runs, and the handlers of the components the window still drives
// itself (the lister, the converter, the comment and encoder writers).
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/Prompter.h"
#include "app/common/QtStrings.h"
#include "app/common/QuestionTexts.h"
#include "app/dialogs/DialogObserver.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/GetPassword.h"
#include "app/dialogs/OverwriteDlg.h"
#include "app/dialogs/Progress.h"
#include "app/dialogs/ViewOutput.h"
#include "app/main/StatusLed.h"
#include "app/ops/OpRun.h"
#include "engine/core/EngineHost.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvUnBase.h"
#include "engine/read/krvKorva.h"
#include "engine/read/krvReaders.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <cstdlib>
#include <memory>

namespace {

QString FilePart(const std::string& Path) {
    return QFileInfo(Str(Path)).fileName();
}

} // namespace

class TWindowObserver : public TDialogObserver {
public:
    TWindowObserver(TfmMain& Main, bool Quiet) : FMain(Main), FQuiet(Quiet) {}
    // The operation is over: the entry it last named leaves the status bar, which shows its
    // panels again (a text put there since, such as a cancel notice, stays).
    ~TWindowObserver() override { FMain.ClearStatusText(FShown); }
    QWidget* DialogParent() const override { return &FMain; }
    void Started() override {
        if (!FQuiet) FMain.StartProgress();
    }
    void Finished() override {
        if (!FQuiet) FMain.EndProgress();
    }
    bool Progress(int ByFile, int ByArchive) override { return FMain.ShowProgress(ByFile, ByArchive); }
    void Status(const QString& Prefix, const QString& Name) override {
        FShown = FMain.ShowStatusText(Prefix, Name, 55);
    }
    void Log(const QString& Line) override { FMain.AppendOutput(Line); }
    void LogProgress(const QString& Line) override { FMain.AppendOutput(Line); }

private:
    TfmMain& FMain;
    bool FQuiet;
    QString FShown;
};

std::unique_ptr<TDialogObserver> TfmMain::MakeObserver(bool Quiet) {
    return std::make_unique<TWindowObserver>(*this, Quiet);
}

void TfmMain::SuspendCommands(bool Suspend) {
    if (Suspend) {
        FOperationRunning = true;
        FCancelRequested = false;
        for (QAction* action : findChildren<QAction*>())
            if (action != ui->acCancelTask && action->isEnabled()) {
                action->setEnabled(false);
                FSuspendedActions.push_back(action);
            }
    } else {
        FOperationRunning = false;
        for (QAction* action : FSuspendedActions)
            action->setEnabled(true);
        FSuspendedActions.clear();
    }
}

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

void TfmMain::StartProgress() {
    SuspendCommands(true);
    ui->dfstbMainStatus->clearMessage();
    fmProgress->SetCancelEnabled(true);
    fmProgress->Cancelled = false;
    setEnabled(false);
    // Only the progress window answers while the work runs.
    fmProgress->setEnabled(true);
    fmProgress->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TfmMain::EndProgress() {
    SuspendCommands(false);
    if (!fmProgress->isVisible() && isEnabled()) return;
    fmProgress->hide();
    EngineHost::Pump();
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    ClearAbortingMessage();
}

QString TfmMain::ShowStatusText(const QString& Prefix, const QString& Name, int Reserved) {
    QStatusBar* bar = ui->dfstbMainStatus;
    const int width = std::max(bar->width() - Reserved, 40);
    // Painted when the progress handler next lets the event loop run, not once per entry.
    bar->showMessage(Prefix + bar->fontMetrics().elidedText(Name, Qt::ElideMiddle, width));
    return bar->currentMessage();
}

void TfmMain::ClearStatusText(const QString& Shown) {
    if (!Shown.isEmpty() && ui->dfstbMainStatus->currentMessage() == Shown)
        ui->dfstbMainStatus->clearMessage();
}

bool TfmMain::GetPassword(const QString& FileName, std::string& Password) {
    TfmGetPassword dialog(this);
    dialog.SetFileName(FileName);
    if (ShowModal(dialog) != mrOk) return false;
    Password = dialog.Password().toStdString();
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

// ---- the handlers ----------------------------------------------------------------------------

void TfmMain::krvUnZipProgress(TZipCommon& Sender, int ProgressByFile, int ProgressByArchive) {
    if (ShowProgress(ProgressByFile, ProgressByArchive)) Sender.SetCancel(true);
}

bool TfmMain::ShowProgress(int ProgressByFile, int ProgressByArchive) {
    // The progress window paints and the event loop runs at most every few milliseconds; Cancel
    // is read on every event.
    if (fmProgress->Advance(ProgressByFile, ProgressByArchive)) EngineHost::Pump();
    const bool cancel = FCancelRequested || fmProgress->Cancelled;
    fmProgress->Cancelled = false;
    FCancelRequested = false;
    if (cancel) {
        CancelTask();
    }
    if (ProgressByArchive >= 100) fmProgress->SetCancelEnabled(false);
    return cancel;
}

void TfmMain::krvKorvaError(TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                            const std::string&, int ECode) {
    if (ECode == ecInvalidPassword) CurrentArchivePassword().clear();
    if (FListing && ECode != ecUserCanceled) {
        // The errors of a listing are also shown together when it ends.
        QString text = Str(FileName);
        if (!ExtendedMsg.empty()) text += QStringLiteral(" (") + Str(ExtendedMsg) + QLatin1Char(')');
        FListErrors << text + QStringLiteral(": ") + QString::fromLatin1(ErrorText(ECode));
    }
    // Each error adds its entry to the log of the operation; the operation clears it when it
    // starts, so several failures of one run are all kept.
    for (const QString& line : ErrorLogLines(Sender, FileName, ExtendedMsg, ECode))
        AppendOutput(line);
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

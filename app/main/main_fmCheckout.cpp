// Check-out (the archive extracted into a folder of its own, with a program group of
// launchers to its files, both removed again by the check-out question), install and the virus
// scan. The scanner is started with an argument list, never through a shell, in the folder it
// scans; its exit status is its verdict.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/AppSettings.h"
#include "app/common/FileUtils.h"
#include "app/common/Prompter.h"
#include "app/common/QtStrings.h"
#include "app/dialogs/Checkout.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/OpReport.h"
#include "app/main/ArchiveModel.h"
#include "app/main/StatusLed.h"
#include "app/ops/OpCheckout.h"
#include "engine/read/krvKorva.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStatusBar>
#include <cstdio>
#include <memory>

bool TfmMain::ExitCheckoutCheck() {
    if (!CheckOutActive) return true;
    const QString folder = Str(CheckOutFolder);
    const QString group = QFileInfo(Str(CheckOutGroup)).fileName();
    // Files the check-out did not write (put there or changed since) are named, and only the
    // named ones are deleted with it; No is the default.
    const QStringList foreign = FilesNotWritten(folder, CheckOutWritten);
    const int answer = MessageDlg(QStringLiteral("Do you want to delete the Check Out folder \"") + folder +
                                      QStringLiteral("\" and the \r\nprogram group \"") + group +
                                      QStringLiteral("\" ?") + NamedFilesText(foreign),
                                  mtConfirmation, mbYes | mbNo | mbCancel, mrNo);
    if (answer == mrCancel) return false;
    if (answer == mrYes && !RemoveCheckout(folder, Str(CheckOutGroup), CheckOutWritten, NamedFiles(foreign)))
        MessageDlg(QStringLiteral("Quillar was unable to delete the program group \"") + group +
                       QLatin1Char('"'),
                   mtError, mbOK);
    CheckOutActive = false;
    CheckOutWritten.clear();
    return true;
}

void TfmMain::CheckOutCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists() || !ExitCheckoutCheck()) return;
    const QFileInfo archive(Str(krvKorva->ArchiveFile()));
    const QString name = archive.completeBaseName();
    const TAppSettings& settings = AppSettings();
    TfmCheckout dialog(this);
    dialog.SetChoices(settings.CheckoutBaseFolder.empty()
                          ? archive.absolutePath() + QLatin1Char('/') + name
                          : Str(AddBackslash(settings.CheckoutBaseFolder)) + name,
                      name, VirusScannerConfigured(false));
    if (ShowModal(dialog) != mrOk) return;
    TCheckoutOptions options = dialog.Options();
    options.Archive = archive.absoluteFilePath();
    for (int row = 0; row < std::min(options.MaxIcons, FModel->rowCount()); ++row) {
        const TItemData& item = FModel->Item(row);
        options.Entries << Str(StripLeadingBackslash(FModel->Folder(item)) + item.Name);
    }
    ClearOutput();
    const TCheckoutResult result = Checkout(options, *MakeObserver());
    if (result.Refusal != TCheckoutRefusal::None) {
        MessageDlg(CheckoutRefusalText(result.Refusal), mtWarning, mbOK);
        return;
    }
    CheckOutActive = true;
    CheckOutFolder =
        (QDir::cleanPath(QFileInfo(options.Folder).absoluteFilePath()) + QLatin1Char('/')).toStdString();
    CheckOutGroup = options.Group.toStdString();
    CheckOutWritten = result.Written;
    // Entries that did not come out are said before the folder opens.
    if (result.Extraction.HadFailures()) MessageDlg(ExtractSummary(result.Extraction), mtError, mbOK);
    LaunchProgram(QStringLiteral("xdg-open"), {options.Group});
    if (result.Scanned) ReportScan(result.Verdict, result.ScanStatus);
}

void TfmMain::InstallCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists() || !ExitCheckoutCheck() || FInstallProgram.empty()) return;
    // The setup programs looked for are Windows programs, which cannot run on this system.
    MessageDlg(Str(FInstallProgram) + QStringLiteral(" is a Windows setup program and cannot run on this "
                                                     "system.\r\nExtract the archive to install its files "
                                                     "yourself."),
               mtInformation, mbOK);
}

// ---- virus scan ------------------------------------------------------------------------------

bool TfmMain::VirusScannerConfigured(bool Tell) {
    if (::VirusScannerConfigured()) return true;
    if (Tell) MessageDlg(ScanVerdictText(TScanVerdict::NotConfigured, 0), mtInformation, mbOK);
    return false;
}

bool TfmMain::CmdVirusScan(const QString& ArchiveName) {
    if (ArchiveName.isEmpty() || !VirusScannerConfigured(true)) return false;
    ClearOutput();
    SetLedColor(Qt::red);
    // The scan's last status stays up while its verdict is shown.
    const TScanResult result = ScanAndReport(ArchiveName, *MakeObserver(), [this](const TScanResult& Scan) {
        SetLedColor(Scan.Extraction.HadFailures() ? TStatusLed::FailedColor() : QColor(Qt::green));
    });
    ui->dfstbMainStatus->clearMessage();
    return result.Verdict == TScanVerdict::Clean;
}

// Check-out (the archive extracted into a folder of its own, with a program group of
// launchers to its files, both removed again by the check-out question), install and the virus
// scan. The scanner is started with an argument list, never through a shell, in the folder it
// scans; its exit status is its verdict.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/AppSettings.h"
#include "app/dialogs/Checkout.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileUtils.h"
#include "app/dialogs/Prompter.h"
#include "app/dialogs/QtStrings.h"
#include "app/dialogs/ShellUtils.h"
#include "app/main/ArchiveModel.h"
#include "app/main/RunFolder.h"
#include "app/ops/OpReport.h"
#include "app/ops/OpVirusScan.h"
#include "engine/core/krvUnBase.h"
#include "engine/read/krvKorva.h"
#include "platform/FileReplace.h"
#include "platform/Process.h"
#include "platform/Shell.h"
#include "platform/ShellLink.h"
#include "ui_Checkout.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSpinBox>
#include <QStatusBar>
#include <cstdio>
#include <memory>

namespace {

// A group folder is only ever one made in the applications menu's folder.
bool SafeGroup(const QString& Group) {
    const QString programs = Str(SpecialFolderPath(sfPrograms));
    const QFileInfo info(Group);
    return !programs.isEmpty() && QDir::cleanPath(info.absolutePath()) == QDir::cleanPath(programs) &&
           IsValidFileName(info.fileName().toStdString(), true);
}

} // namespace

bool TfmMain::ExitCheckoutCheck() {
    if (!CheckOutActive) return true;
    const QString folder = Str(CheckOutFolder);
    const QString group = QFileInfo(Str(CheckOutGroup)).fileName();
    const int answer =
        MessageDlg(QStringLiteral("Do you want to delete the Check Out folder \"") + folder +
                       QStringLiteral("\" and the \r\nprogram group \"") + group + QStringLiteral("\" ?"),
                   mtConfirmation, mbYes | mbNo | mbCancel);
    if (answer == mrCancel) return false;
    if (answer == mrYes) {
        if (SafeGroup(Str(CheckOutGroup)) && QFileInfo::exists(Str(CheckOutGroup)) &&
            !ShellDeleteFiles(CheckOutGroup))
            MessageDlg(QStringLiteral("Quillar was unable to delete the program group \"") + group +
                           QLatin1Char('"'),
                       mtError, mbOK);
        if (TfmCheckout::SafeTarget(folder)) DeleteFolderTree(CheckOutFolder);
    }
    CheckOutActive = false;
    return true;
}

void TfmMain::CheckOutCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists() || !ExitCheckoutCheck()) return;
    const QFileInfo archive(Str(krvKorva->ArchiveFile()));
    const QString name = archive.completeBaseName();
    const TAppSettings& settings = AppSettings();
    TfmCheckout dialog(this);
    Ui::TfmCheckout& d = *dialog.ui;
    d.edFolder->setText(settings.CheckoutBaseFolder.empty()
                            ? archive.absolutePath() + QLatin1Char('/') + name
                            : Str(AddBackslash(settings.CheckoutBaseFolder)) + name);
    d.edGroupName->setText(name);
    if (!VirusScannerConfigured(false)) {
        d.ckVirusScan->setChecked(false);
        d.ckVirusScan->setEnabled(false);
    }
    if (ShowModal(dialog) != mrOk) return;
    const QString folder = QDir::cleanPath(QFileInfo(d.edFolder->text()).absoluteFilePath());
    const QString group = dialog.GroupFolder();
    // The folder is emptied first: it may not be the root, the home folder, nor hold the archive.
    const QString real = QFileInfo(folder).exists() ? QFileInfo(folder).canonicalFilePath() : folder;
    if (!TfmCheckout::SafeTarget(folder) || !SafeGroup(group) ||
        archive.canonicalFilePath().startsWith(real + QLatin1Char('/'))) {
        MessageDlg(QStringLiteral("The folder or group name you specified cannot be used for a check out.\r\n"
                                  "Please choose another one."),
                   mtWarning, mbOK);
        return;
    }
    CheckOutActive = true;
    CheckOutFolder = (folder + QLatin1Char('/')).toStdString();
    CheckOutGroup = group.toStdString();
    if (QFileInfo::exists(folder)) DeleteFolderTree(folder.toStdString());
    if (QFileInfo::exists(group)) DeleteFolderTree(CheckOutGroup);
    TExtractOptions options;
    options.Archive = archive.absoluteFilePath();
    options.Folder = folder;
    options.RestoreFileAttr = false;
    options.ConfirmOverwrites = false;
    RunExtraction(options, false);

    MakeFolders(CheckOutGroup, 0755);
    const int rows = std::min(d.edMaxIcons->value(), FModel->rowCount());
    const QString root = Str(CheckOutFolder);
    for (int row = 0; row < rows; ++row) {
        const TItemData& item = FModel->Item(row);
        const QString entry = Str(item.Name);
        if (d.ckCreateIcons->isChecked() && !GetOpenCommand(item.Name) &&
            !entry.endsWith(QLatin1String(".exe")))
            continue;
        const QString target =
            QDir::cleanPath(root + Str(StripLeadingBackslash(FModel->Folder(item))) + entry);
        // A launcher points only into the check-out folder.
        if (!target.startsWith(root)) continue;
        CreateShellLink(CheckOutGroup, item.Name, target.toStdString(), "");
    }
    LaunchProgram(QStringLiteral("xdg-open"), {group});
    if (d.ckVirusScan->isChecked()) ScanFolder(folder);
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
    const std::unique_ptr<TOpObserver> observer = MakeObserver();
    const TScanResult result = VirusScan(ArchiveName, *observer);
    const bool clean = ReportScan(result.Verdict, result.Status);
    if (FInteractive) ui->dfstbMainStatus->clearMessage();
    SetLedColor(Qt::green);
    return clean;
}

bool TfmMain::ScanFolder(const QString& Folder) {
    ClearOutput();
    int status = 0;
    return ReportScan(::ScanFolder(Folder, *MakeObserver(), status), status);
}

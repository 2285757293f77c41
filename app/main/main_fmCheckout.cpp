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

// The exit status of clamscan and the scanners that follow its convention.
constexpr int ScanClean = 0;
constexpr int ScanVirusFound = 1;

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
    CmdExtract(archive.absoluteFilePath(), folder, true, false, true, false, true, false);

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
    const TAppSettings& settings = AppSettings();
    if (settings.AVProduct != 0 && !settings.VirusScanner.empty()) return true;
    if (Tell)
        MessageDlg(
            QStringLiteral("You need to configure a virus scanner before you can\r\nuse this feature. To "
                           "configure a virus scanner, look\r\nunder the following menu item:\r\n\r\n"
                           "Options > Configuration > Program Locations"),
            mtInformation, mbOK);
    return false;
}

bool TfmMain::CmdVirusScan(const QString& ArchiveName) {
    if (ArchiveName.isEmpty() || !VirusScannerConfigured(true)) return false;
    CurrentWriter = nullptr;
    TKorva detector;
    detector.SetArchiveFile(QFileInfo(ArchiveName).absoluteFilePath().toStdString());
    TRunFolder temp;
    if (temp.Path.empty()) {
        MessageDlg(QStringLiteral("Unable to create the temporary directory. \r\nVirus scan aborted."),
                   mtError, mbOK);
        return false;
    }
    TUnBase* reader = UnknownArcTypes.Contains(detector.ArcType()) ? nullptr : ReaderFor(detector.ArcType());
    if (!reader) {
        MessageDlg(QStringLiteral("Extraction is not supported for this file type."), mtInformation, mbOK);
        return false;
    }
    ResetRunFlags();
    reader->SetArchiveFile(detector.ArchiveFile());
    reader->SetExtractDir(temp.Path);
    reader->UseStoredDirs = true;
    reader->DateAttribute = daFileDate;
    reader->ConfirmOverwrites = false;
    reader->OverwriteMode = omOverwrite;
    reader->RestoreFileAttr = false;
    reader->CreateStoredDirs = true;
    reader->FileSpec = {"*.*"};
    reader->RecurseDirs = true;
    RunExtract(*reader);
    bool clean = false;
    if (reader->Cancel() || Aborted) {
        MessageDlg(QStringLiteral("Virus scan cancelled."), mtInformation, mbOK);
    } else {
        if (FInteractive) ui->dfstbMainStatus->showMessage(QStringLiteral("Scanning for virus ..."));
        clean = ScanFolder(Str(temp.Path));
        if (FInteractive) ui->dfstbMainStatus->showMessage(QStringLiteral("Finished scanning"));
        // Entries that could not be extracted were not scanned.
        if (clean && (reader->FilesFailed > 0 || CrcError || BadPassword)) {
            MessageDlg(
                QStringLiteral("Some files of this archive could not be extracted and were not scanned; "
                               "the output log names them."),
                mtWarning, mbOK);
            clean = false;
        }
    }
    if (FInteractive) {
        ui->dfstbMainStatus->clearMessage();
        SetLedColor(Qt::green);
    }
    return clean;
}

bool TfmMain::ScanFolder(const QString& Folder) {
    const TAppSettings& settings = AppSettings();
    std::vector<std::string> argv = {settings.VirusScanner};
    if (!settings.Parameters.empty()) {
        // "*.*" names the files to scan: the folder (no shell expands a wildcard here). The scanner
        // runs in the folder, so "." names it too.
        for (const std::string& part : SplitCommandLine(settings.Parameters))
            argv.push_back(
                Str(part).replace(QStringLiteral("*.*"), Folder, Qt::CaseInsensitive).toStdString());
    } else {
        std::vector<std::string> files;
        ListFolderFiles(Folder.toStdString(), files);
        argv.insert(argv.end(), files.begin(), files.end());
    }
    // The scanner's report goes to the output window.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> report(std::tmpfile(), std::fclose);
    pid_t pid = 0;
    if (!SpawnProcess(argv, Folder.toStdString(), pid, report ? fileno(report.get()) : -1)) {
        MessageDlg(QStringLiteral("The virus scanner could not be started:\r\n") +
                       Str(settings.VirusScanner) + QStringLiteral("\r\nThe files were not scanned."),
                   mtError, mbOK);
        return false;
    }
    const int status = WaitForProcess(pid, 50, [] { QApplication::processEvents(); });
    ClearOutput();
    if (report) {
        std::rewind(report.get());
        QByteArray text;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, report.get())) > 0;)
            text.append(buffer, static_cast<qsizetype>(n));
        for (const QString& line : QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            AppendOutput(line);
    }
    if (status == ScanClean) {
        MessageDlg(QStringLiteral("Virus scan completed."), mtInformation, mbOK);
        return true;
    }
    if (status == ScanVirusFound)
        MessageDlg(
            QStringLiteral("The virus scanner found a virus in the scanned files.\r\nThe output window "
                           "shows its report."),
            mtWarning, mbOK);
    else
        MessageDlg(
            QStringLiteral("The virus scanner ended with an error (exit status %1).\r\nThe files were not "
                           "scanned.")
                .arg(status),
            mtError, mbOK);
    return false;
}

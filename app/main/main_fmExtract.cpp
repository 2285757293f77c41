// Taking entries out of the archive: the Extract command with its options dialog, the workers
// CmdExtract (a whole archive) and CmdExtractSelected (the selected rows), and the view command,
// which extracts the selected rows into a private temporary folder and opens them.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/AppSettings.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ExtractDlg.h"
#include "app/dialogs/FileNameFields.h"
#include "app/dialogs/FileUtils.h"
#include "app/dialogs/ProcessUtils.h"
#include "app/dialogs/Prompter.h"
#include "app/dialogs/SettingValues.h"
#include "app/dialogs/ShellUtils.h"
#include "app/dialogs/ViewerSelection.h"
#include "app/main/ArchiveModel.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvMatchSpec.h"
#include "engine/core/krvUnBase.h"
#include "engine/read/krvKorva.h"
#include "engine/read/krvZipRun.h"
#include "ui_ExtractDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRadioButton>
#include <QStatusBar>

namespace {

QString CountText(int Extracted) {
    return QStringLiteral("Files Extracted: ") + QString::number(Extracted);
}

bool MakeFolder(const QString& Folder) {
    return !Folder.isEmpty() && QDir().mkpath(Folder) && QFileInfo(Folder).isDir();
}

// A file that may run when the desktop opens it: a launcher, one stored with execute bits, or
// one that starts as a script or a program does (extraction in the view folder drops the bits).
bool MayRun(const QFileInfo& File, std::uint32_t ExternalAttr) {
    if (File.suffix().compare(QLatin1String("desktop"), Qt::CaseInsensitive) == 0) return true;
    if (File.isExecutable() || ((ExternalAttr >> 16) & 0111) != 0) return true;
    QFile file(File.filePath());
    if (!file.open(QIODevice::ReadOnly)) return true;
    const QByteArray head = file.read(4);
    return head.startsWith("#!") || head == QByteArray("\x7f"
                                                       "ELF",
                                                       4);
}

} // namespace

std::vector<std::string> TfmMain::SelectedEntryMasks() const {
    std::vector<std::string> masks;
    for (const QModelIndex& index : ui->dfelvArchiveView->selectionModel()->selectedRows()) {
        const TItemData& item = FModel->Item(index.row());
        masks.push_back(ExactNameMask(FModel->Folder(item) + item.Name));
    }
    return masks;
}

bool TfmMain::LastExtractSucceeded() const {
    const auto* reader = static_cast<const TUnBase*>(CurrentReader);
    return reader && !reader->Cancel() && reader->FilesFailed == 0 && reader->ErrorsReported == 0 &&
           !Aborted && !BadPassword && !CrcError && !DiskFull && !WriteFailed;
}

void TfmMain::ShowExtractResult(const TUnBase& Reader) {
    const QString count = CountText(FExtracted);
    if (Reader.Cancel() || Aborted) {
        MessageDlg(QStringLiteral("Extraction cancelled.\r\n\r\n") + count, mtInformation, mbOK);
    } else if (BadPassword) {
        MessageDlg(QStringLiteral("Invalid password error. One or more encrypted \r\nfiles were not "
                                  "extracted.\r\n\r\n") +
                       count,
                   mtError, mbOK);
    } else if (CrcError) {
        MessageDlg(QStringLiteral("CRC error detected. The extracted files may be corrupted.\r\n\r\n") +
                       count,
                   mtError, mbOK);
    } else if (DiskFull) {
        MessageDlg(QStringLiteral("Extraction stopped: the disk is full.\r\n\r\n") + count, mtError, mbOK);
    } else if (Reader.FilesFailed > 0 || Reader.ErrorsReported > 0 || WriteFailed) {
        MessageDlg(QStringLiteral("Some files could not be extracted; the output log names them.\r\n\r\n") +
                       count + QStringLiteral("\r\nFiles Failed: ") + QString::number(Reader.FilesFailed),
                   mtError, mbOK);
    } else if (AppSettings().ConfirmDecompress) {
        MessageDlg(QStringLiteral("Extraction completed.\r") + count, mtInformation, mbOK);
    }
}

void TfmMain::RunExtract(TUnBase& Reader) {
    // The light first: showing the progress window may already let the user cancel.
    SetLedColor(Qt::red);
    StartProgress();
    Reader.VolumeID.clear();
    FExtracted = Reader.Extract();
    Reader.RecurseDirs = true;
    EndProgress();
}

void TfmMain::ExtractCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists()) return;
    ResetRunFlags();
    TfmExtractDlg dialog(this);
    Ui::TfmExtractDlg& d = *dialog.ui;
    const QString archive = QString::fromStdString(krvKorva->ArchiveFile());
    const bool hasSelection = ui->dfelvArchiveView->selectionModel()->hasSelection();
    if (!hasSelection) {
        d.rbAllFiles->setChecked(true);
        d.rgFiles->setEnabled(false);
    } else {
        d.rbSelectedFiles->setChecked(true);
    }
    const TAppSettings& settings = AppSettings();
    const QString lastPath = QString::fromStdString(ReadSettingString("Folders", "ExtractLastPath"));
    QString destination;
    if (settings.ExtractLast && !lastPath.isEmpty())
        destination = lastPath;
    else if (settings.ExtractSame)
        destination = QFileInfo(archive).absolutePath();
    // The tree starts at the archive's folder until an extraction has run, then stays where the
    // user left it; a default extraction folder places tree and destination there.
    if (!FReader || FExtractTreeFolder.isEmpty())
        dialog.SetTreeFolder(QFileInfo(archive).absolutePath());
    else
        dialog.SetTreeFolder(FExtractTreeFolder);
    if (destination.isEmpty() && QFileInfo(QString::fromStdString(settings.ExtractFolder)).isDir()) {
        destination = QString::fromStdString(settings.ExtractFolder);
        dialog.SetTreeFolder(destination);
    }
    if (!destination.isEmpty()) d.cbDestination->setCurrentText(destination);
    const int answer = ShowModal(dialog);
    FExtractTreeFolder = dialog.TreeFolder();
    if (answer != mrOk) return;
    const bool selected = d.rbSelectedFiles->isChecked();
    if (selected && !hasSelection) return;
    const QString folder = TfmExtractDlg::DestinationFolder(d.cbDestination->currentText());
    if (!MakeFolder(folder)) {
        MessageDlg(QStringLiteral("Unable to create the directory. Extraction aborted."), mtError, mbOK);
        return;
    }
    if (settings.ExtractLast && !OnFloppy(folder))
        WriteSettingString("Folders", "ExtractLastPath", folder.toStdString());
    TUnBase* reader = ReaderFor(krvKorva->ArcType());
    if (!reader) {
        MessageDlg(QStringLiteral("Extraction is not supported for this file type."), mtInformation, mbOK);
        return;
    }
    reader->SetArchiveFile(krvKorva->ArchiveFile());
    reader->Passwords.clear();
    reader->SetExtractDir(folder.toStdString());
    reader->UseStoredDirs = d.ckRestoreFolders->isChecked();
    reader->DateAttribute = d.ckDateAttribute->isChecked() ? daFileDate : daSysDate;
    reader->ConfirmOverwrites = d.ckConfirmOverwrites->isChecked();
    if (!reader->ConfirmOverwrites) reader->OverwriteMode = omOverwrite;
    reader->RestoreFileAttr = d.ckRestoreAttributes->isChecked();
    reader->CreateStoredDirs = d.ckCreateDirectories->isChecked();
    if (selected) {
        reader->RecurseDirs = false;
        reader->FileSpec = FModel->rowCount() == 0 ? krvKorva->FileSpec : SelectedEntryMasks();
    } else {
        reader->RecurseDirs = true;
        reader->FileSpec = krvKorva->FileSpec;
    }
    RunExtract(*reader);
    ShowExtractResult(*reader);
    if (FInteractive) ui->dfstbMainStatus->clearMessage();
    SetLedColor(Qt::green);
}

bool TfmMain::CmdExtract(const QString& ArchiveName, const QString& Folder, bool UseStoredDirs,
                         bool RestoreFileAttr, bool UseFileDate, bool ConfirmOverwrites,
                         bool CreateStoredDirs, bool ShowResult) {
    CurrentWriter = nullptr;
    // A lister of its own: the list keeps showing the archive the window's lister holds.
    TKorva detector;
    detector.SetArchiveFile(QFileInfo(ArchiveName).absoluteFilePath().toStdString());
    if (!MakeFolder(Folder)) {
        MessageDlg(QStringLiteral("Unable to create directory. Extraction aborted."), mtError, mbOK);
        return false;
    }
    ResetRunFlags();
    if (AppSettings().ExtractLast && !OnFloppy(Folder))
        WriteSettingString("Folders", "ExtractLastPath", Folder.toStdString());
    TUnBase* reader = UnknownArcTypes.Contains(detector.ArcType()) ? nullptr : ReaderFor(detector.ArcType());
    if (!reader) {
        MessageDlg(QStringLiteral("Extraction is not supported for this file type.\n\r") + ArchiveName,
                   mtInformation, mbOK);
        return false;
    }
    reader->SetArchiveFile(detector.ArchiveFile());
    reader->SetExtractDir(Folder.toStdString());
    reader->UseStoredDirs = UseStoredDirs;
    reader->RestoreFileAttr = RestoreFileAttr;
    reader->DateAttribute = UseFileDate ? daFileDate : daSysDate;
    reader->ConfirmOverwrites = ConfirmOverwrites;
    if (!ConfirmOverwrites) reader->OverwriteMode = omOverwrite;
    reader->CreateStoredDirs = CreateStoredDirs;
    reader->FileSpec = {"*.*"};
    reader->RecurseDirs = true;
    RunExtract(*reader);
    if (ShowResult) ShowExtractResult(*reader);
    if (FInteractive) {
        ui->dfstbMainStatus->clearMessage();
        SetLedColor(Qt::green);
    }
    return true;
}

bool TfmMain::CmdExtractSelected(const QString& Folder, bool UseStoredDirs, bool CreateStoredDirs,
                                 bool ConfirmOverwrites, bool UseFileDate, bool RestoreFileAttr) {
    if (krvKorva->ArchiveFile().empty()) return false;
    CurrentWriter = nullptr;
    if (!MakeFolder(Folder)) {
        MessageDlg(QStringLiteral("Unable to create directory. Extraction aborted."), mtError, mbOK);
        return false;
    }
    ResetRunFlags();
    TUnBase* reader = ReaderFor(krvKorva->ArcType());
    if (!reader) {
        MessageDlg(QStringLiteral("Extraction is not supported for this file type."), mtInformation, mbOK);
        return false;
    }
    reader->SetArchiveFile(krvKorva->ArchiveFile());
    reader->SetExtractDir(Folder.toStdString());
    reader->UseStoredDirs = UseStoredDirs;
    reader->CreateStoredDirs = CreateStoredDirs;
    reader->ConfirmOverwrites = ConfirmOverwrites;
    if (!ConfirmOverwrites) reader->OverwriteMode = omOverwrite;
    reader->DateAttribute = UseFileDate ? daFileDate : daSysDate;
    reader->RestoreFileAttr = RestoreFileAttr;
    reader->RecurseDirs = false;
    reader->FileSpec = SelectedEntryMasks();
    raise();
    RunExtract(*reader);
    if (FInteractive) {
        ui->dfstbMainStatus->clearMessage();
        SetLedColor(Qt::green);
    }
    return reader->FilesFailed == 0 && !reader->Cancel();
}

void TfmMain::ViewSelected() {
    if (krvKorva->ArchiveFile().empty() || !CheckArchiveExists()) return;
    const QModelIndexList rows = ui->dfelvArchiveView->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        MessageDlg(QStringLiteral("No file selected. Please select one or \r\nmore files before viewing."),
                   mtInformation, mbOK);
        return;
    }
    const TAppSettings& settings = AppSettings();
    int mode = settings.ViewerType;
    if (mode == 3) {
        TfmViewerSelection question(this);
        const int answer = ShowModal(question);
        if (answer == mrCancel) return;
        mode = answer == mrExternalViewer ? 1 : 0;
    }
    // A folder of its own inside the run-from-archive component's folder, made with the
    // first view; the component removes its folder with every view in it when the window goes.
    if (!krvZipRun) {
        krvZipRun = std::make_unique<TZipRun>();
        krvZipRun->ExecutionMethod = emExecuteNoWait;
    }
    const std::string temp = CreateTempFolder(krvZipRun->TempFolder(), "view");
    if (krvZipRun->TempFolder().empty() || temp.empty()) {
        MessageDlg(QStringLiteral("Unable to create a temporary folder for viewing."), mtError, mbOK);
        return;
    }
    krvZipRun->SetArchiveFile(krvKorva->ArchiveFile());
    FViewFolders.push_back(temp);
    const QString folder = QString::fromStdString(AddBackslash(temp));
    CmdExtractSelected(folder, true, true, false, false, false);
    const QString root = QFileInfo(folder).canonicalFilePath() + QLatin1Char('/');
    for (const QModelIndex& index : rows) {
        const TItemData& item = FModel->Item(index.row());
        const QString path =
            folder + QString::fromStdString(StripLeadingBackslash(FModel->Folder(item)) + item.Name);
        const QFileInfo info(path);
        // Only a regular file that really lies in the private folder is opened.
        if (!info.isFile() || info.isSymLink() || !info.canonicalFilePath().startsWith(root)) continue;
        const bool runnable = MayRun(info, item.ExternalAttr);
        if (runnable &&
            MessageDlg(info.fileName() +
                           QStringLiteral(" is a program or a launcher and may run when opened.\r\n"
                                          "Open it anyway ?"),
                       mtWarning, mbYes | mbNo, mrNo) != mrYes)
            continue;
        const bool external = mode == 1 || (mode == 2 && !GetOpenCommand(path.toStdString()));
        if (external)
            LaunchProgram(QString::fromStdString(settings.DefaultViewer), {info.filePath()});
        else
            LaunchProgram(QStringLiteral("xdg-open"), {info.filePath()});
    }
}

bool TfmMain::LaunchProgram(const QString& Program, const QStringList& Arguments) {
    if (OnLaunch) return OnLaunch(Program, Arguments);
    // A missing program or desktop application is named, not left to fail unseen.
    if (const QString missing = MissingLauncher(Program, Arguments); !missing.isEmpty()) {
        MessageDlg(missing, mtError, mbOK);
        return false;
    }
    return QProcess::startDetached(Program, Arguments);
}

// Taking entries out of the archive: the Extract command with its options dialog, the window's
// run of the extraction operation (a whole archive or the selected rows), and the view command,
// which extracts the selected rows into a private temporary folder and opens them.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/AppSettings.h"
#include "app/common/FileUtils.h"
#include "app/common/ProcessUtils.h"
#include "app/common/Prompter.h"
#include "app/common/SettingValues.h"
#include "app/common/ShellUtils.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ExtractDlg.h"
#include "app/dialogs/FileNameFields.h"
#include "app/dialogs/OpReport.h"
#include "app/dialogs/ViewerSelection.h"
#include "app/main/ArchiveModel.h"
#include "app/main/StatusLed.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvMatchSpec.h"
#include "engine/core/krvUnBase.h"
#include "engine/read/krvKorva.h"
#include "engine/read/krvZipRun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStatusBar>

namespace {

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

TExtractResult TfmMain::RunExtraction(const TExtractOptions& Options, bool ShowResult) {
    ClearOutput();
    // The light first: showing the progress window may already let the user cancel.
    SetLedColor(Qt::red);
    const TExtractResult result = ExtractAndReport(Options, *MakeObserver(), ShowResult);
    ui->dfstbMainStatus->clearMessage();
    SetLedColor(result.HadFailures() ? TStatusLed::FailedColor() : QColor(Qt::green));
    return result;
}

TExtractOptions TfmMain::SelectedExtraction(const QString& Folder) const {
    TExtractOptions options;
    options.Archive = QString::fromStdString(krvKorva->ArchiveFile());
    options.Folder = Folder;
    options.RecurseDirs = false;
    options.FileSpec = SelectedEntryMasks();
    return options;
}

std::vector<std::string> TfmMain::SelectedEntryMasks() const {
    std::vector<std::string> masks;
    for (const QModelIndex& index : ui->dfelvArchiveView->selectionModel()->selectedRows()) {
        const TItemData& item = FModel->Item(index.row());
        masks.push_back(ExactNameMask(FModel->Folder(item) + item.Name));
    }
    return masks;
}

void TfmMain::ExtractCommand() {
    if (!ArchiveOpen() || !CheckArchiveExists()) return;
    TfmExtractDlg dialog(this);
    const QString archive = QString::fromStdString(krvKorva->ArchiveFile());
    const bool hasSelection = ui->dfelvArchiveView->selectionModel()->hasSelection();
    dialog.SetSelection(hasSelection);
    const TAppSettings& settings = AppSettings();
    const QString lastPath = QString::fromStdString(ReadSettingString("Folders", "ExtractLastPath"));
    QString destination;
    if (settings.ExtractLast && !lastPath.isEmpty())
        destination = lastPath;
    else if (settings.ExtractSame)
        destination = QFileInfo(archive).absolutePath();
    // The tree starts at the archive's folder until an extraction has run, then stays where the
    // user left it; a default extraction folder places tree and destination there.
    if (!FExtractedOnce || FExtractTreeFolder.isEmpty())
        dialog.SetTreeFolder(QFileInfo(archive).absolutePath());
    else
        dialog.SetTreeFolder(FExtractTreeFolder);
    if (destination.isEmpty() && QFileInfo(QString::fromStdString(settings.ExtractFolder)).isDir()) {
        destination = QString::fromStdString(settings.ExtractFolder);
        dialog.SetTreeFolder(destination);
    }
    if (!destination.isEmpty()) dialog.SetDestination(destination);
    const int answer = ShowModal(dialog);
    FExtractTreeFolder = dialog.TreeFolder();
    if (answer != mrOk) return;
    const bool selected = dialog.SelectedFiles();
    if (selected && !hasSelection) return;
    FExtractedOnce = true;
    TExtractOptions options = dialog.Options();
    options.Archive = archive;
    if (selected) {
        options.RecurseDirs = false;
        options.FileSpec = FModel->rowCount() == 0 ? krvKorva->FileSpec : SelectedEntryMasks();
    } else {
        options.FileSpec = krvKorva->FileSpec;
    }
    RunExtraction(options, true);
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
    TExtractOptions options = SelectedExtraction(folder);
    options.ConfirmOverwrites = false;
    options.UseFileDate = false;
    options.RestoreFileAttr = false;
    raise();
    RunExtraction(options, false);
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
    return LaunchDetached(Program, Arguments);
}

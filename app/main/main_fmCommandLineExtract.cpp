// The command line's extraction switches: one archive or many, into a folder the switch names
// or one the extract dialog asks for. A run succeeds when every entry of every archive came out
// whole; the summary of a run over many archives counts the archives that did.
#include "app/main/main_fm.h"

#include "app/dialogs/AppSettings.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ExtractDlg.h"
#include "app/dialogs/FileUtils.h"
#include "app/dialogs/Prompter.h"
#include "app/dialogs/SettingValues.h"
#include "ui_ExtractDlg.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QRadioButton>

QString TfmMain::FolderWithoutExt(const QString& ArchiveName) {
    const QFileInfo archive(QFileInfo(ArchiveName).absoluteFilePath());
    // A name without extension would give the archive's own path: its "_" folder instead.
    if (archive.suffix().isEmpty() || archive.completeBaseName().isEmpty())
        return QString::fromStdString(MakeNameExtFolder(archive.filePath().toStdString()));
    return archive.absolutePath() + QLatin1Char('/') + archive.completeBaseName();
}

bool TfmMain::ExtractWith(const QString& ArchiveName, const QString& Folder,
                          const TCmdExtractOptions& Options, bool* Cancelled) {
    TExtractOptions options;
    options.Archive = ArchiveName;
    options.Folder = QFileInfo(Folder).absoluteFilePath();
    options.UseStoredDirs = Options.UseStoredDirs;
    options.RestoreFileAttr = Options.RestoreFileAttr;
    options.UseFileDate = Options.UseFileDate;
    options.ConfirmOverwrites = Options.ConfirmOverwrites;
    options.CreateStoredDirs = Options.CreateStoredDirs;
    const TExtractResult result = RunExtraction(options, Options.ShowResult);
    if (Cancelled) *Cancelled = result.Cancelled;
    return result.Succeeded();
}

int TfmMain::CmdLineExtract(const QString& ArchiveName, const QString& Folder) {
    return ExitCode(ExtractWith(ArchiveName, Folder, TCmdExtractOptions{}));
}

int TfmMain::ExtractAll(const QStringList& Archives, const std::function<QString(const QString&)>& FolderOf,
                        const TCmdExtractOptions& Options) {
    int extracted = 0;
    for (const QString& archive : Archives) {
        bool cancelled = false;
        if (ExtractWith(archive, FolderOf(archive), Options, &cancelled)) ++extracted;
        if (cancelled) break;
    }
    if (AppSettings().ConfirmDecompress)
        MessageDlg(QStringLiteral("Multiple archive extraction completed.\rArchives Extracted: ") +
                       QString::number(extracted),
                   mtInformation, mbOK);
    return ExitCode(extracted == Archives.size());
}

int TfmMain::CmdLineExtractEach(const QStringList& Archives,
                                const std::function<QString(const QString&)>& FolderOf) {
    TCmdExtractOptions options;
    options.ShowResult = false;
    return ExtractAll(Archives, FolderOf, options);
}

int TfmMain::CmdLineExtractAsked(const QStringList& Archives, const QString& Folder, bool Multiple,
                                 bool OwnFolders) {
    if (Archives.isEmpty()) return ExitSuccess;
    TfmExtractDlg dialog(this);
    Ui::TfmExtractDlg& d = *dialog.ui;
    d.rbAllFiles->setChecked(true);
    d.rgFiles->setEnabled(false);
    const QString first = QFileInfo(Archives.front()).absoluteFilePath();
    QString tree = QFileInfo(first).absolutePath();
    QString destination;
    if (!Folder.isEmpty()) {
        tree = destination = QFileInfo(Folder).absoluteFilePath();
    } else {
        const TAppSettings& settings = AppSettings();
        const QString lastPath = QString::fromStdString(ReadSettingString("Folders", "ExtractLastPath"));
        if (settings.ExtractLast && !lastPath.isEmpty())
            destination = lastPath;
        else if (settings.ExtractSame)
            destination = tree;
        else if (QFileInfo(QString::fromStdString(settings.ExtractFolder)).isDir())
            destination = QString::fromStdString(settings.ExtractFolder);
    }
    if (auto* folders = qobject_cast<QFileSystemModel*>(d.dfstvExplorer->model()))
        d.dfstvExplorer->setCurrentIndex(folders->index(tree));
    d.cbDestination->setCurrentText(destination);
    if (ShowModal(dialog) != mrOk) return ExitFailure;

    const QString chosen = TfmExtractDlg::DestinationFolder(d.cbDestination->currentText());
    TCmdExtractOptions options{d.ckRestoreFolders->isChecked(),    d.ckRestoreAttributes->isChecked(),
                               d.ckDateAttribute->isChecked(),     d.ckConfirmOverwrites->isChecked(),
                               d.ckCreateDirectories->isChecked(), true};
    // One archive asked for by itself ends with its own result; many with the summary.
    if (!Multiple) return ExitCode(ExtractWith(first, chosen, options));
    options.ShowResult = false;
    return ExtractAll(
        Archives,
        [&chosen, OwnFolders](const QString& Archive) {
            if (!OwnFolders) return chosen;
            return FolderJoin(chosen, QString::fromStdString(
                                          MakeNameExtFolder(QFileInfo(Archive).fileName().toStdString())));
        },
        options);
}

// Backup sets: running a set (its archive name by the set's method, the rotation of earlier
// generations, the packing by the add operation), the Quick Backup menu and the backup manager. The
// backups that were there before stay as they were until the new one is written: the one to be
// replaced steps aside under a private name, and a failed run puts everything back.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/BackupScript.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileUtils.h"
#include "app/dialogs/ManageBackup.h"
#include "app/dialogs/Prompter.h"
#include "app/dialogs/SetAside.h"
#include "app/main/WriterChoice.h"
#include "engine/read/krvKorva.h"
#include "ui/LmSaveDlg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

namespace {

// The files the set's entries name: each existing file, and every file in the tree of a folder
// entry; each once.
std::set<std::string> GatherFiles(const QStringList& Entries) {
    std::set<std::string> files;
    for (const QString& entry : Entries) {
        if (entry.contains(QStringLiteral("*.*"))) {
            std::vector<std::string> inFolder;
            ListFolderFiles(QFileInfo(entry).absolutePath().toStdString(), inFolder);
            files.insert(inFolder.begin(), inFolder.end());
        } else if (QFileInfo(entry).isFile()) {
            files.insert(QFileInfo(entry).absoluteFilePath().toStdString());
        }
    }
    return files;
}

QString SkippedText(const QString& Head, const QString& File) {
    return Head + QStringLiteral("\r\n\r\n") + File + QStringLiteral("\r\n\r\n") +
           QStringLiteral("Backup set skipped.");
}

const QString DeletingError = QStringLiteral("Error deleting the existing backup file:");

} // namespace

void TfmMain::ConnectBackupActions() {
    connect(ui->acManageBackups, &QAction::triggered, this, &TfmMain::ManageBackupsCommand);
}

bool TfmMain::ValidateBackupScript(const QStringList& Lines) {
    return CheckBackupScript(Lines);
}

bool TfmMain::ExecuteBackup(const QString& ScriptPath) {
    const QStringList lines = LoadBackupScript(ScriptPath);
    if (!ValidateBackupScript(lines)) return false;
    const TBackupSet set = *ParseBackupScript(lines);
    QString target = BackupTarget(set);
    QDir().mkpath(set.Folder);

    const std::size_t expected = GatherFiles(set.Files).size();
    if (expected == 0) {
        MessageDlg(QStringLiteral("There are no files to archive for this Backup Set."), mtError, mbOK);
        return false;
    }

    // What was moved to make room, undone in reverse when the new backup is not written.
    QString aside, asideOf;
    std::vector<std::pair<QString, QString>> moved; // (from, to)
    const auto undo = [&] {
        for (auto it = moved.rbegin(); it != moved.rend(); ++it)
            QFile::rename(it->second, it->first);
        if (!aside.isEmpty()) QFile::rename(aside, asideOf);
    };
    const auto stepAside = [&](const QString& File, const QString& Head) {
        if (!QFileInfo::exists(File)) return true;
        aside = SetFileAside(File);
        if (aside.isEmpty()) {
            MessageDlg(SkippedText(Head, File), mtError, mbOK);
            return false;
        }
        asideOf = File;
        return true;
    };
    switch (set.Method) {
    case 1:
        if (!stepAside(target, DeletingError)) return false;
        break;
    case 2: {
        TLmSaveDialog apsdNew(this);
        apsdNew.FileName = target;
        apsdNew.Title = QStringLiteral("Save Backup To ...");
        apsdNew.Filter = QString::fromLatin1(NewArchiveFilter);
        apsdNew.FilterIndex = set.ArcType >= 0 && set.ArcType <= 6 ? set.ArcType + 1 : 7;
        // Unattended runs take the dialog's default answer: the name it offers.
        if (!ExecuteFileDialog(apsdNew) || apsdNew.FileName.isEmpty()) return false;
        // The name the archive will be written under (".zip" added to a bare name).
        target = QString::fromStdString(
            NewArchiveName(QFileInfo(apsdNew.FileName).absoluteFilePath().toStdString()));
        if (!stepAside(target, QStringLiteral("Error overwriting the existing backup file:"))) return false;
        break;
    }
    case 3: {
        if (!stepAside(GenerationFile(set, 1), DeletingError)) return false;
        for (int k = 2; k <= set.Generations; ++k) {
            const QString from = GenerationFile(set, k), to = GenerationFile(set, k - 1);
            if (!QFileInfo::exists(from)) continue;
            if (QFileInfo::exists(to) || !QFile::rename(from, to)) {
                undo();
                MessageDlg(SkippedText(DeletingError, from), mtError, mbOK);
                return false;
            }
            moved.emplace_back(from, to);
        }
        target = GenerationFile(set, set.Generations);
        break;
    }
    default:
        MessageDlg(QStringLiteral("Invalid backup method."), mtError, mbOK);
        return false;
    }

    const QString shown = FInteractive ? QString::fromStdString(krvKorva->ArchiveFile()) : QString();
    TAddOptions options;
    options.Archive = target;
    options.Files = set.Files;
    options.Compression = set.Compression;
    options.StoredDirNames = set.StorePathInfo == 0 ? sdExplorer_Auto : sdAbsoluteNoDrv;
    const TAddResult result = RunAdd(options, false);
    const int count = result.Done;
    // A backup counts only when the archive was written whole, with every file in it.
    bool written = count > 0 && result.Good() && result.Written && QFileInfo(target).isFile();
    if (written && static_cast<std::size_t>(count) < expected) {
        // Files that were passed over (two of one stored name, say) would be missing silently.
        MessageDlg(
            QStringLiteral("Not every file of this Backup Set could be stored in the backup:\r\n\r\n") +
                QString::number(count) + QStringLiteral(" of ") + QString::number(expected) +
                QStringLiteral(" files were stored. The earlier backups were kept."),
            mtError, mbOK);
        written = false;
    }
    if (count > 0 && FInteractive) CloseArchive();
    if (written) {
        if (!aside.isEmpty()) QFile::remove(aside);
    } else {
        // Whatever lies at the target now was made by this run: the file it replaces was moved.
        if (QFileInfo(target).isFile()) QFile::remove(target);
        undo();
    }
    if (!shown.isEmpty() && QFileInfo(shown).isFile()) DisplayArchive(shown);
    return written;
}

void TfmMain::GenerateBackupMenu() {
    std::vector<std::string> scripts;
    FindFilesRecursive(BackupsFolder().toStdString(), "*.zfb", scripts);
    std::sort(scripts.begin(), scripts.end());
    const QList<QAction*> items = ui->miQuickBackup->actions();
    for (QAction* item : items)
        if (item != ui->miNoBackupsConfigured) {
            ui->miQuickBackup->removeAction(item);
            item->deleteLater();
        }
    ui->miNoBackupsConfigured->setEnabled(false);
    ui->miNoBackupsConfigured->setVisible(scripts.empty());
    for (const std::string& script : scripts) {
        QAction* item =
            ui->miQuickBackup->addAction(QFileInfo(QString::fromStdString(script)).completeBaseName());
        connect(item, &QAction::triggered, this, [this, item] { QuickBackupSelect(item); });
    }
}

void TfmMain::QuickBackupSelect(QAction* Sender) {
    if (!ExitCheckoutCheck()) return;
    const QString name = Sender->text();
    if (ExecuteBackup(BackupScriptPath(name)))
        MessageDlg(QStringLiteral("Backup created successfully for backup set: ") + name, mtInformation,
                   mbOK);
    else
        MessageDlg(QStringLiteral("Backup failed or aborted."), mtError, mbOK);
}

void TfmMain::ManageBackupsCommand() {
    if (!ExitCheckoutCheck()) return;
    TfmManageBackup manager(this);
    manager.OnLaunch = [this](const QString& Program, const QStringList& Arguments) {
        return LaunchProgram(Program, Arguments);
    };
    if (ShowModal(manager) == mrRunBackup) {
        QString succeeded, failed;
        for (const QString& name : manager.SetsToRun())
            (ExecuteBackup(BackupScriptPath(name)) ? succeeded : failed) +=
                QStringLiteral("- ") + name + "\r\n";
        if (!failed.isEmpty())
            MessageDlg(QStringLiteral("There were errors trying to create following backup sets:\r\n\r\n") +
                           failed,
                       mtError, mbOK);
        else
            MessageDlg(QStringLiteral("Backups created successfully for:\r\n\r\n") + succeeded, mtInformation,
                       mbOK);
    }
    if (FInteractive) GenerateBackupMenu();
}

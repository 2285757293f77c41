// Backup sets in the window: a set's run (the backup operation of app/ops) with its messages,
// the Quick Backup menu and the backup manager.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/BackupScript.h"
#include "app/common/FileUtils.h"
#include "app/common/Prompter.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/ManageBackup.h"
#include "app/dialogs/OpReport.h"
#include "app/ops/OpBackup.h"
#include "engine/read/krvKorva.h"

#include <QFileInfo>
#include <algorithm>
#include <string>
#include <vector>

void TfmMain::ConnectBackupActions() {
    connect(ui->acManageBackups, &QAction::triggered, this, &TfmMain::ManageBackupsCommand);
}

bool TfmMain::ExecuteBackup(const QString& ScriptPath) {
    const QString shown = QString::fromStdString(krvKorva->ArchiveFile());
    ClearOutput();
    raise();
    ApplicationBusy();
    const TBackupResult result = RunBackup({ScriptPath}, *MakeObserver());
    ApplicationWaiting(result.WentWrong() || !result.Problem.isEmpty());
    const bool done = ReportBackup(result);
    if (!shown.isEmpty() && QFileInfo(shown).isFile()) DisplayArchive(shown);
    return done;
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
    if (ShowModal(manager) == mrRunBackup)
        RunBackupSets(manager.SetsToRun(),
                      [this](const QString& Name) { return ExecuteBackup(BackupScriptPath(Name)); });
    GenerateBackupMenu();
}

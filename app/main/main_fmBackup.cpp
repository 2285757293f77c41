// Backup sets: running a set, the Quick Backup menu and the backup manager.
// Until its work lands, each command here tells the user it is not available.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/Prompter.h"

void TfmMain::ConnectBackupActions() {
    connect(ui->acManageBackups, &QAction::triggered, this, &TfmMain::CommandNotAvailable);
}

bool TfmMain::ValidateBackupScript(const QStringList&) {
    return false;
}
bool TfmMain::ExecuteBackup(const QString&) {
    MessageDlg(QStringLiteral("Backup sets are not available in this version."), mtError, mbOK);
    return false;
}
void TfmMain::GenerateBackupMenu() {}
void TfmMain::ManageBackupsCommand() {}

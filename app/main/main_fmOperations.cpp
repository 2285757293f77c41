// The operations on the archive as a whole (mail, move, copy, rename, delete, properties, comment, test,
// repair, convert, virus scan, self-extractor, uuencode, check-out, install) and their workers shared with
// the command line. Until its work lands, each command here tells the user it is not available.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/Prompter.h"

void TfmMain::ConnectOperationActions() {
    for (QAction* action :
         {ui->acMoveArchive, ui->acCopyArchive, ui->acRenameArchive, ui->acDeleteArchive, ui->acProperties,
          ui->acMailArchive, ui->acTest, ui->acVirusScan, ui->acCheckOut, ui->acInstall, ui->acMakeSFX,
          ui->acConvert, ui->acRepair, ui->acUUencode, ui->acViewComment, ui->acHomepage, ui->acAbout})
        connect(action, &QAction::triggered, this, &TfmMain::CommandNotAvailable);
}

namespace {
bool NotYet() {
    MessageDlg(QStringLiteral("This operation is not available in this version."), mtError, mbOK);
    return false;
}
} // namespace

bool TfmMain::ExitCheckoutCheck() {
    return true;
}
bool TfmMain::CmdTest(const QString&) {
    return NotYet();
}
bool TfmMain::CmdRepair(const QString&) {
    return NotYet();
}
bool TfmMain::CmdConvert(const QString&) {
    return NotYet();
}
bool TfmMain::CmdVirusScan(const QString&) {
    return NotYet();
}
bool TfmMain::CmdMakeSFX(const QString&, const QString&) {
    return NotYet();
}
bool TfmMain::CmdMailFiles(const QString&, const QStringList&) {
    return NotYet();
}
bool TfmMain::CmdMakeSFXFromFiles(const QString&, const QStringList&) {
    return NotYet();
}
void TfmMain::AboutCommand() {
    NotYet();
}

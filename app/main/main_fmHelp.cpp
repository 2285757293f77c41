// The help commands: the help pages opened with the desktop's browser.
// Until its work lands, each command here tells the user it is not available.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

void TfmMain::ConnectHelpActions() {
    for (QAction* action : {ui->acHelpContents, ui->acHelpSearch, ui->acHelpUsage, ui->acHelpTutorial,
                            ui->acHelpTips, ui->acHelpFAQ, ui->acLicenseAgreement})
        connect(action, &QAction::triggered, this, &TfmMain::CommandNotAvailable);
}

// The wizard command: the step-by-step wizard shown modally.
// Until its work lands, each command here tells the user it is not available.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/Prompter.h"

void TfmMain::ConnectWizardActions() {
    connect(ui->acWizard, &QAction::triggered, this, &TfmMain::CommandNotAvailable);
}

void TfmMain::WizardCommand() {
    MessageDlg(QStringLiteral("The wizard is not available in this version."), mtError, mbOK);
}

// The batch commands: one handler for the seven operations over many archives.
// Until its work lands, each command here tells the user it is not available.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

void TfmMain::ConnectBatchActions() {
    for (QAction* action : {ui->acBatchTest, ui->acBatchVirusScan, ui->acBatchMakeSFX, ui->acBatchConvert,
                            ui->acBatchExtract, ui->acBatchCreate, ui->acBatchAdd})
        connect(action, &QAction::triggered, this, &TfmMain::CommandNotAvailable);
}

void TfmMain::BatchCommand(int) {}

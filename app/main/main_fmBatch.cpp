// The batch commands: one handler for the seven operations over many archives.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/Batch.h"
#include "app/dialogs/DialogSupport.h"
#include "engine/read/krvKorva.h"

#include <QFileInfo>

void TfmMain::ConnectBatchActions() {
    const std::pair<QAction*, int> actions[] = {
        {ui->acBatchTest, boTest},       {ui->acBatchVirusScan, boVirusScan}, {ui->acBatchMakeSFX, boMakeExe},
        {ui->acBatchConvert, boConvert}, {ui->acBatchExtract, boExtract},     {ui->acBatchCreate, boCreate},
        {ui->acBatchAdd, boAdd}};
    for (const auto& [action, tag] : actions)
        connect(action, &QAction::triggered, this, [this, tag] { BatchCommand(tag); });
}

void TfmMain::BatchCommand(int Tag) {
    if (!ExitCheckoutCheck()) return;
    if (Tag == boVirusScan && !VirusScannerConfigured(true)) return;
    {
        TfmBatch fmBatch(this);
        fmBatch.SetupBatchOperation(Tag);
        ShowModal(fmBatch);
    }
    // The open archive may be one the files were added to.
    if (Tag == boAdd && ArchiveOpen() && QFileInfo(QString::fromStdString(krvKorva->ArchiveFile())).isFile())
        RefreshList(QString::fromStdString(krvKorva->ArchiveFile()));
}

// The integrity test of an archive and the repair of a damaged zip, from the menu and from the
// command line ("-T", "-R"); both write their log into the output window.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/Prompter.h"
#include "app/common/QtStrings.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/OpReport.h"
#include "app/dialogs/ViewOutput.h"
#include "app/ops/OpRepair.h"
#include "app/ops/OpTest.h"
#include "engine/core/krvErrorCodes.h"

#include <QFileInfo>
#include <QStatusBar>

// ---- test ------------------------------------------------------------------------------------

bool TfmMain::CmdTest(const QString& ArchiveName) {
    ClearOutput();
    ui->dfstbMainStatus->clearMessage();
    ApplicationBusy();
    const std::unique_ptr<TOpObserver> observer = MakeObserver();
    const TOpResult result = Test({ArchiveName}, *observer);
    if (result.Cancelled)
        ui->dfstbMainStatus->showMessage(QStringLiteral("Testing Canceled ..."));
    else
        ui->dfstbMainStatus->clearMessage();
    ApplicationWaiting();
    return ReportTest(result, [this]() -> TfmViewOutput& { return *fmViewOutput; });
}

// ---- repair ----------------------------------------------------------------------------------

bool TfmMain::CmdRepair(const QString& ZipName) {
    TRepairOptions options;
    options.Source = QFileInfo(ZipName).absoluteFilePath();
    options.Target = RepairTarget(options.Source);
    if (!AskSaveName(QStringLiteral("Save Repaired File As ..."), options.Target,
                     QStringLiteral("Zip Archives (*.zip)|*.zip"), true))
        return false;
    ClearOutput();
    ApplicationBusy();
    const TRepairResult result = Repair(options, *MakeObserver(true));
    ApplicationWaiting();
    return ReportRepair(result, *fmViewOutput);
}

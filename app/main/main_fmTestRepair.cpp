// The integrity test of an archive and the repair of a damaged zip, from the menu and from the
// command line ("-T", "-R"); both write their log into the output window.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/OpReport.h"
#include "app/dialogs/ViewOutput.h"

#include <QStatusBar>

// ---- test ------------------------------------------------------------------------------------

bool TfmMain::CmdTest(const QString& ArchiveName) {
    ClearOutput();
    ui->dfstbMainStatus->clearMessage();
    ApplicationBusy();
    return TestAndReport(
        ArchiveName, *MakeObserver(), [this]() -> TfmViewOutput& { return *fmViewOutput; },
        [this](const TOpResult& Result) {
            if (Result.Cancelled)
                ui->dfstbMainStatus->showMessage(QStringLiteral("Testing Canceled ..."));
            else
                ui->dfstbMainStatus->clearMessage();
            ApplicationWaiting(Result.HadFailures());
        });
}

// ---- repair ----------------------------------------------------------------------------------

bool TfmMain::CmdRepair(const QString& ZipName) {
    return RepairAndReport(
        ZipName, *MakeObserver(true), *fmViewOutput,
        [this] {
            ClearOutput();
            ApplicationBusy();
        },
        [this](const TRepairResult& Result) { ApplicationWaiting(Result.HadFailures()); });
}

// The window's side of converting an archive and making a self-extractor of a zip: the dialogs
// around the operations of app/ops and their messages (OpReport).
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/QtStrings.h"
#include "app/dialogs/OpReport.h"
#include "engine/read/krvKorva.h"

#include <QStatusBar>

// ---- convert ---------------------------------------------------------------------------------

bool TfmMain::CmdConvert(const QString& ArchiveName) {
    return ConvertAndReport(
        ArchiveName, *MakeObserver(),
        [this] {
            ClearOutput();
            ApplicationBusy();
            ui->dfstbMainStatus->clearMessage();
            raise();
        },
        [this](const TConvertOptions& Options, const TConvertResult& Result) {
            ui->dfstbMainStatus->clearMessage();
            if (Result.OriginalDeleted && Options.Input == Str(krvKorva->ArchiveFile())) {
                CloseArchive();
                DisplayArchive(Result.Target);
            }
            ApplicationWaiting(
                Result.HadFailures() || Result.DeleteFailed ||
                (Result.Refusal == TConvertRefusal::None && !Result.Cancelled && !Result.Converted));
        });
}

// ---- self-extractor --------------------------------------------------------------------------

bool TfmMain::CmdMakeSFX(const QString& ArchiveName, const QString& Target) {
    return MakeSfxAndReport(
        ArchiveName, Target, *MakeObserver(true),
        [this] {
            raise();
            ApplicationBusy();
        },
        [this] { ApplicationWaiting(); });
}

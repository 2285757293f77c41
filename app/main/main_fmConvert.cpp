// The window's side of converting an archive and making a self-extractor of a zip: the dialogs
// around the operations of app/ops and their messages (OpReport).
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/QtStrings.h"
#include "app/dialogs/OpReport.h"
#include "app/main/StatusLed.h"
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
    bool started = false;
    const bool made = MakeSfxAndReport(
        ArchiveName, Target, *MakeObserver(true),
        [this, &started] {
            started = true;
            raise();
            ApplicationBusy();
        },
        [this] { ApplicationWaiting(); });
    // A self-extractor that was not made leaves the light amber.
    if (started && !made) SetLedColor(TStatusLed::FailedColor());
    return made;
}

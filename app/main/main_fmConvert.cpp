// The window's side of converting an archive and making a self-extractor of a zip: the dialogs
// around the operations of app/ops and their messages (OpReport).
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Prompter.h"
#include "app/dialogs/QtStrings.h"
#include "app/ops/OpReport.h"
#include "engine/read/krvKorva.h"

#include <QStatusBar>

// ---- convert ---------------------------------------------------------------------------------

bool TfmMain::CmdConvert(const QString& ArchiveName) {
    return ConvertAndReport(
        ArchiveName, *MakeObserver(),
        [this] {
            ClearOutput();
            if (FInteractive) {
                ApplicationBusy();
                ui->dfstbMainStatus->clearMessage();
            }
            raise();
        },
        [this](const TConvertOptions& Options, const TConvertResult& Result) {
            if (FInteractive) {
                ui->dfstbMainStatus->clearMessage();
                ApplicationWaiting();
            }
            if (Result.OriginalDeleted && FInteractive && Options.Input == Str(krvKorva->ArchiveFile())) {
                CloseArchive();
                DisplayArchive(Result.Target);
            }
        });
}

// ---- self-extractor --------------------------------------------------------------------------

bool TfmMain::CmdMakeSFX(const QString& ArchiveName, const QString& Target) {
    return MakeSfxAndReport(
        ArchiveName, Target, *MakeObserver(true),
        [this] {
            raise();
            if (FInteractive) ApplicationBusy();
        },
        [this] {
            if (FInteractive) ApplicationWaiting();
        });
}

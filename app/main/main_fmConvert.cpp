// The window's side of converting an archive and making a self-extractor of a zip: the dialogs
// around the operations of app/ops and their messages (OpReport).
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/FileUtils.h"
#include "app/common/Prompter.h"
#include "app/common/QtStrings.h"
#include "app/dialogs/ConvertArc.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/OpReport.h"
#include "app/ops/OpConvert.h"
#include "app/ops/OpMakeSfx.h"
#include "engine/core/krvGbls.h"
#include "engine/read/krvKorva.h"

#include <QFileInfo>
#include <QStatusBar>

// ---- convert ---------------------------------------------------------------------------------

bool TfmMain::CmdConvert(const QString& ArchiveName) {
    TfmConvertArc dialog(this);
    if (!ArchiveName.isEmpty()) dialog.SetArchive(ArchiveName);
    if (ShowModal(dialog) != mrOk) return false;
    const TConvertOptions options = dialog.Options();
    ClearOutput();
    ApplicationBusy();
    ui->dfstbMainStatus->clearMessage();
    raise();
    const TConvertResult result = Convert(options, *MakeObserver());
    ui->dfstbMainStatus->clearMessage();
    ApplicationWaiting();
    if (result.OriginalDeleted && options.Input == Str(krvKorva->ArchiveFile())) {
        CloseArchive();
        DisplayArchive(result.Target);
    }
    return ReportConvert(result);
}

// ---- self-extractor --------------------------------------------------------------------------

bool TfmMain::CmdMakeSFX(const QString& ArchiveName, const QString& Target) {
    TMakeSfxOptions options;
    options.Archive = QFileInfo(ArchiveName).absoluteFilePath();
    options.Target = Target;
    if (options.Target.isEmpty()) {
        options.Target = Str(ReplaceFileExt(options.Archive.toStdString(), ".exe"));
        // No overwrite prompt here: the operation asks when the file exists.
        if (!AskSaveName(QStringLiteral("Save EXE As ..."), options.Target, {}, false)) return false;
    }
    raise();
    ApplicationBusy();
    const TMakeSfxResult result = MakeSfx(options, *MakeObserver(true));
    ApplicationWaiting();
    return ReportMakeSfx(result);
}

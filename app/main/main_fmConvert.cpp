// The window's side of converting an archive, making a self-extractor of a zip, and the command
// line's zip-and-go switches ("-C", "-X", "-M", "-AX"): the dialogs and the messages around the
// operations of app/ops.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/cli/CommandLine.h"
#include "app/dialogs/ConvertArc.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileUtils.h"
#include "app/dialogs/Prompter.h"
#include "app/dialogs/QtStrings.h"
#include "app/ops/OpConvert.h"
#include "app/ops/OpMail.h"
#include "app/ops/OpMakeSfx.h"
#include "app/ops/OpPack.h"
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
    if (FInteractive) {
        ApplicationBusy();
        ui->dfstbMainStatus->clearMessage();
    }
    raise();
    const TConvertResult result = Convert(options, *MakeObserver());
    if (FInteractive) {
        ui->dfstbMainStatus->clearMessage();
        ApplicationWaiting();
    }
    if (result.Refusal != TConvertRefusal::None) {
        MessageDlg(ConvertRefusalText(result.Refusal), mtWarning, mbOK);
        return false;
    }
    for (const TOpFailure& failure : result.Failures)
        MessageDlg(ConvertFailureText(failure), mtError, mbOK);
    if (result.OriginalDeleted && FInteractive && options.Input == Str(krvKorva->ArchiveFile())) {
        CloseArchive();
        DisplayArchive(result.Target);
    }
    if (result.DeleteFailed) MessageDlg(ConvertDeleteFailedText(), mtError, mbOK);
    MessageDlg(ConvertEndText(result.Converted), mtInformation, mbOK);
    return result.Converted && !result.DeleteFailed;
}

// ---- self-extractor --------------------------------------------------------------------------

bool TfmMain::ReportMakeSfx(const TMakeSfxResult& Result) {
    for (const TOpFailure& failure : Result.Failures)
        MessageDlg(SfxFailureText(failure), mtError, mbOK);
    if (!Result.Made) return false;
    MessageDlg(SfxMadeText(Result.Target), mtInformation, mbOK);
    return true;
}

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
    if (FInteractive) ApplicationBusy();
    const TMakeSfxResult result = MakeSfx(options, *MakeObserver(true));
    if (FInteractive) ApplicationWaiting();
    return ReportMakeSfx(result);
}

// ---- the command line's zip-and-go switches --------------------------------------------------

bool TfmMain::CmdMailFiles(const QString& Name, const QStringList& Files) {
    TMailOptions options;
    options.Name = Name;
    options.Files = ExpandFolderArguments(Files);
    options.StoredDirNames = CommandLinePathRule(options.Files);
    ClearOutput();
    const TMailResult result = Mail(options, *MakeObserver());
    if (result.Failure == TMailFailure::None) return true;
    MessageDlg(MailFailureText(result), mtError, mbOK);
    return false;
}

bool TfmMain::CmdMakeSFXFromFiles(const QString& Name, const QStringList& Files) {
    TMakeSfxFromFilesOptions options;
    options.Name = Name;
    options.Files = ExpandFolderArguments(Files);
    options.StoredDirNames = CommandLinePathRule(options.Files);
    ClearOutput();
    const TMakeSfxResult result = MakeSfxFromFiles(options, *MakeObserver());
    if (result.NothingPacked) {
        MessageDlg(PackFailureText(result.Packing, result.NoTempFolder), mtError, mbOK);
        return false;
    }
    return ReportMakeSfx(result);
}

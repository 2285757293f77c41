// The messages around an operation that the window and the command line share.
#include "app/dialogs/OpReport.h"

#include "app/common/AppSettings.h"
#include "app/common/Prompter.h"
#include "app/common/QtStrings.h"
#include "app/common/SettingValues.h"
#include "app/dialogs/ConvertArc.h"
#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/FileNameFields.h"
#include "app/dialogs/ViewOutput.h"
#include "app/ops/OpPack.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"

#include <QFileInfo>

void NoteExtractFolder(const TExtractOptions& Options) {
    if (AppSettings().ExtractLast && !OnFloppy(Options.Folder) &&
        Options.FileSpec == std::vector<std::string>{"*.*"})
        WriteSettingString("Folders", "ExtractLastPath", Options.Folder.toStdString());
}

void ReportExtraction(const TExtractOptions& Options, const TExtractResult& Result, bool ShowResult) {
    if (Result.Refusal != TExtractRefusal::None) {
        MessageDlg(RefusalText(Result.Refusal) + (Result.Refusal == TExtractRefusal::Unsupported
                                                      ? QStringLiteral("\n\r") + Options.Archive
                                                  : Result.RefusalDetail.isEmpty()
                                                      ? QString()
                                                      : QStringLiteral("\r\n\r\n") + Result.RefusalDetail),
                   Result.Refusal == TExtractRefusal::NoFolder ? mtError : mtInformation, mbOK);
    } else if (ShowResult && (!Result.Succeeded() || AppSettings().ConfirmDecompress)) {
        MessageDlg(ExtractSummary(Result), Result.Succeeded() || Result.Cancelled ? mtInformation : mtError,
                   mbOK);
    }
}

TExtractResult ExtractAndReport(const TExtractOptions& Options, TOpObserver& Observer, bool ShowResult) {
    NoteExtractFolder(Options);
    const TExtractResult result = Extract(Options, Observer);
    ReportExtraction(Options, result, ShowResult);
    return result;
}

void NoteAddFolder(const TAddOptions& Options) {
    if (AppSettings().AddLast && !Options.Files.isEmpty() && !OnFloppy(Options.Files.front()))
        WriteSettingString(
            "Folders", "AddLastPath",
            (QFileInfo(Options.Files.front()).absolutePath() + QLatin1Char('/')).toStdString());
}

bool ReportAddResult(const TAddResult& Result, bool NewArchive) {
    if (Result.Refusal != TAddRefusal::None) {
        MessageDlg(AddRefusalText(Result.Refusal),
                   Result.Refusal == TAddRefusal::NotAddable ? mtInformation : mtError, mbOK);
        return false;
    }
    if (Result.Cancelled) {
        MessageDlg(QStringLiteral("Archiving operation cancelled."), mtError, mbOK);
        return false;
    }
    if (Result.Count(TOpCause::DiskFull) > 0) {
        MessageDlg(QStringLiteral("Error creating archive. Disk full."), mtError, mbOK);
        return false;
    }
    if (!Result.Written && (NewArchive || Result.Failed > 0)) {
        MessageDlg(QStringLiteral("The archive was not written; the output log says why."), mtError, mbOK);
        return false;
    }
    // Files that did not go in leave no success behind, even when the others did.
    if (Result.HadFailures()) {
        MessageDlg(QStringLiteral("Some files could not be added; the output log names them.\r\n\r\n") +
                       QStringLiteral("Files Compressed: ") + QString::number(Result.Done) +
                       QStringLiteral("\r\nFiles Failed: ") +
                       QString::number(Result.Failed + Result.Refused) + CauseLines(Result),
                   mtError, mbOK);
        return false;
    }
    return true;
}

void ReportAddedCount(const TAddResult& Result) {
    if (Result.Done > 0 && AppSettings().ConfirmCompress)
        MessageDlg(QStringLiteral("Files Compressed: ") + QString::number(Result.Done), mtInformation, mbOK);
}

TAddResult AddAndReport(const TAddOptions& Options, TOpObserver& Observer, bool ShowResult, bool NewArchive,
                        const std::function<void(const TAddResult&)>& Ended) {
    NoteAddFolder(Options);
    const TAddResult result = Add(Options, Observer);
    if (Ended) Ended(result);
    if (result.Refusal != TAddRefusal::NoFiles && ReportAddResult(result, NewArchive) && ShowResult)
        ReportAddedCount(result);
    return result;
}

bool TestAndReport(const QString& ArchiveName, TOpObserver& Observer,
                   const std::function<TfmViewOutput&()>& OutputWindow,
                   const std::function<void(const TOpResult&)>& Ended) {
    const TOpResult Result = Test({ArchiveName}, Observer);
    if (Ended) Ended(Result);
    if (!Result.Started) {
        MessageDlg(QString::fromLatin1(ErrorText(ecInvalidArchiveType)) + QStringLiteral("\r\n\r\n") +
                       ArchiveName,
                   mtError, mbOK);
        return false;
    }
    // A cancelled run proves nothing either.
    if (!Result.Succeeded()) {
        TfmViewOutput& Output = OutputWindow();
        if (Result.Cancelled)
            Observer.Log(QStringLiteral("> Testing Canceled ..."));
        else
            Observer.Log(
                QStringLiteral("> Entries passed: %1, failed: %2").arg(Result.Done).arg(Result.Failed) +
                CauseLines(Result).replace(QStringLiteral("\r\n"), QStringLiteral("; ")));
        ShowModal(Output);
        return false;
    }
    MessageDlg(QStringLiteral("No errors were found in this archive file."), mtInformation, mbOK);
    return true;
}

namespace {

// The kind of message box of a scan's verdict.
TMsgDlgType VerdictType(TScanVerdict Verdict) {
    switch (Verdict) {
    case TScanVerdict::Clean:
    case TScanVerdict::Cancelled:
    case TScanVerdict::Unsupported:
    case TScanVerdict::NotConfigured:
        return mtInformation;
    case TScanVerdict::VirusFound:
    case TScanVerdict::Incomplete:
        return mtWarning;
    default:
        return mtError;
    }
}

} // namespace

bool ReportScan(TScanVerdict Verdict, int Status) {
    MessageDlg(ScanVerdictText(Verdict, Status), VerdictType(Verdict), mbOK);
    return Verdict == TScanVerdict::Clean;
}

TScanResult ScanAndReport(const QString& Archive, TOpObserver& Observer,
                          const std::function<void(const TScanResult&)>& Ended) {
    const TScanResult result = VirusScan(Archive, Observer);
    if (Ended) Ended(result);
    ReportScan(result.Verdict, result.Status);
    return result;
}

bool ConvertAndReport(const QString& ArchiveName, TDialogObserver& Observer,
                      const std::function<void()>& Starting,
                      const std::function<void(const TConvertOptions&, const TConvertResult&)>& Ended) {
    TfmConvertArc dialog(Observer.DialogParent());
    if (!ArchiveName.isEmpty()) dialog.SetArchive(ArchiveName);
    if (ShowModal(dialog) != mrOk) return false;
    const TConvertOptions options = dialog.Options();
    if (Starting) Starting();
    const TConvertResult result = Convert(options, Observer);
    if (Ended) Ended(options, result);
    return ReportConvert(result);
}

bool ReportConvert(const TConvertResult& Result) {
    if (Result.Refusal != TConvertRefusal::None) {
        MessageDlg(ConvertRefusalText(Result.Refusal), mtWarning, mbOK);
        return false;
    }
    for (const TOpFailure& failure : Result.Failures)
        MessageDlg(ConvertFailureText(failure, Result.Input), mtError, mbOK);
    if (Result.DeleteFailed) MessageDlg(ConvertDeleteFailedText(), mtError, mbOK);
    MessageDlg(ConvertEndText(Result.Converted), mtInformation, mbOK);
    return Result.Converted && !Result.DeleteFailed;
}

bool RepairAndReport(const QString& ZipName, TDialogObserver& Observer, TfmViewOutput& Output,
                     const std::function<void()>& Starting,
                     const std::function<void(const TRepairResult&)>& Ended) {
    TRepairOptions options;
    options.Source = QFileInfo(ZipName).absoluteFilePath();
    options.Target = RepairTarget(options.Source);
    if (!Observer.AskSaveName(QStringLiteral("Save Repaired File As ..."), options.Target,
                              QStringLiteral("Zip Archives (*.zip)|*.zip"), 1, true))
        return false;
    if (Starting) Starting();
    const TRepairResult Result = Repair(options, Observer);
    if (Ended) Ended(Result);
    if (Result.Refusal != TRepairRefusal::None) {
        MessageDlg(RepairRefusalText(Result.Refusal), mtError, mbOK);
        return false;
    }
    ShowModal(Output);
    return Result.Repaired();
}

bool ReportComment(const TOpResult& Result, bool Saving) {
    for (const TOpFailure& failure : Result.Failures)
        MessageDlg(CommentFailureText(failure, Saving), mtError, mbOK);
    return Result.Failures.empty();
}

bool ReportMakeSfx(const TMakeSfxResult& Result) {
    for (const TOpFailure& failure : Result.Failures)
        MessageDlg(SfxFailureText(failure), mtError, mbOK);
    if (!Result.Made) return false;
    MessageDlg(SfxMadeText(Result.Target), mtInformation, mbOK);
    return true;
}

bool MakeSfxAndReport(const QString& Archive, const QString& Target, TDialogObserver& Observer,
                      const std::function<void()>& Starting, const std::function<void()>& Ended) {
    TMakeSfxOptions options;
    options.Archive = QFileInfo(Archive).absoluteFilePath();
    options.Target = Target;
    if (options.Target.isEmpty()) {
        options.Target = Str(ReplaceFileExt(options.Archive.toStdString(), ".exe"));
        // No overwrite prompt here: the operation asks when the file exists.
        if (!Observer.AskSaveName(QStringLiteral("Save EXE As ..."), options.Target, {}, 1, false))
            return false;
    }
    if (Starting) Starting();
    const TMakeSfxResult result = MakeSfx(options, Observer);
    if (Ended) Ended();
    return ReportMakeSfx(result);
}

bool ReportMakeSfxFromFiles(const TMakeSfxResult& Result) {
    if (Result.NothingPacked) {
        MessageDlg(PackFailureText(Result.Packing, Result.NoTempFolder), mtError, mbOK);
        return false;
    }
    return ReportMakeSfx(Result);
}

bool ReportMail(const TMailResult& Result) {
    if (Result.Failure == TMailFailure::None) return true;
    MessageDlg(MailFailureText(Result), mtError, mbOK);
    return false;
}

bool ReportBackup(const TBackupResult& Result) {
    // The add's own messages first (a full disk, a cancel ...), then what the set says.
    if (Result.Packed && Result.Refusal != TAddRefusal::NoFiles) ReportAddResult(Result, false);
    if (!Result.Problem.isEmpty()) MessageDlg(Result.Problem, mtError, mbOK);
    return Result.BackedUp;
}

void RunBackupSets(const QStringList& Names, const std::function<bool(const QString& Name)>& Run) {
    QString succeeded, failed;
    for (const QString& name : Names)
        (Run(name) ? succeeded : failed) += QStringLiteral("- ") + name + "\r\n";
    if (!failed.isEmpty())
        MessageDlg(QStringLiteral("There were errors trying to create following backup sets:\r\n\r\n") +
                       failed,
                   mtError, mbOK);
    else
        MessageDlg(QStringLiteral("Backups created successfully for:\r\n\r\n") + succeeded, mtInformation,
                   mbOK);
}

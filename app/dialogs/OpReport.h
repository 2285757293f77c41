// What the window and the command line say around an operation, the same for both: the folder
// remembered for the next dialog before it runs, the message boxes after it (through the
// prompter, so QUILLAR_PROMPTER=auto answers them).
#pragma once

#include "app/dialogs/DialogObserver.h"
#include "app/ops/OpAdd.h"
#include "app/ops/OpBackup.h"
#include "app/ops/OpComment.h"
#include "app/ops/OpConvert.h"
#include "app/ops/OpExtract.h"
#include "app/ops/OpMail.h"
#include "app/ops/OpMakeSfx.h"
#include "app/ops/OpRepair.h"
#include "app/ops/OpTest.h"
#include "app/ops/OpVirusScan.h"

#include <QStringList>
#include <functional>

class TfmViewOutput;

// The destination of a whole-archive extraction, for the extract dialog's "last folder".
void NoteExtractFolder(const TExtractOptions& Options);
// A refused start always says why; the summary when ShowResult and the settings ask for it,
// or when the extraction did not succeed.
void ReportExtraction(const TExtractOptions& Options, const TExtractResult& Result, bool ShowResult);
// An extraction as the window, the command line and the wizard run it: the folder noted, the
// run, its report.
TExtractResult ExtractAndReport(const TExtractOptions& Options, TOpObserver& Observer, bool ShowResult);

// The folder of the first file, for the add dialog's "last folder".
void NoteAddFolder(const TAddOptions& Options);
// A refusal, a cancel, a full disk, an archive not written, files that failed; true when none
// of them happened.
bool ReportAddResult(const TAddResult& Result, bool NewArchive);
// "Files Compressed: n" when files went in and the settings ask for it.
void ReportAddedCount(const TAddResult& Result);
// An add as the window, the command line and the wizard run it: the folder noted, the run,
// Ended (the caller's status back, the archive shown), the report, and the count when
// ShowResult. A run that found none of its files is left to the caller to report.
TAddResult AddAndReport(const TAddOptions& Options, TOpObserver& Observer, bool ShowResult, bool NewArchive,
                        const std::function<void(const TAddResult&)>& Ended = {});

// The test of an archive as the window and the command line run it: the test, Ended (the
// caller puts its status back), then the verdict: not started, failed (its summary line logged
// through Observer, then Output shown) or clean. True when clean. Output gives the window, made
// only when a failure shows it.
bool TestAndReport(const QString& ArchiveName, TOpObserver& Observer,
                   const std::function<TfmViewOutput&()>& Output,
                   const std::function<void(const TOpResult&)>& Ended = {});

// The verdict of a virus scan in its message box; true when clean.
bool ReportScan(TScanVerdict Verdict, int Status);
// A virus scan as the window and the command line run it: the scan, Ended, its verdict.
TScanResult ScanAndReport(const QString& Archive, TOpObserver& Observer,
                          const std::function<void(const TScanResult&)>& Ended = {});

// A conversion: the refusal, each failure, a failed deletion of the original, the end; true when
// the archive was converted and nothing that was to go stayed.
bool ReportConvert(const TConvertResult& Result);
// A conversion as the window and the command line run it: the convert dialog (ArchiveName
// offered; false when cancelled), Starting, the run, Ended, the report.
bool ConvertAndReport(const QString& ArchiveName, TDialogObserver& Observer,
                      const std::function<void()>& Starting,
                      const std::function<void(const TConvertOptions&, const TConvertResult&)>& Ended);
// The repair of a damaged zip as the window and the command line run it: the name of the
// repaired zip asked (false when the user declines), Starting (the caller clears its log), the
// repair, Ended, then the refusal or its log in Output (shown). True when every entry found was
// recovered.
bool RepairAndReport(const QString& ZipName, TDialogObserver& Observer, TfmViewOutput& Output,
                     const std::function<void()>& Starting,
                     const std::function<void(const TRepairResult&)>& Ended);
// A self-extractor: each failure, and the program made; true when made. ...FromFiles first says
// when none of the files could be zipped.
bool ReportMakeSfx(const TMakeSfxResult& Result);
// A self-extractor of an archive as the window and the command line make it: the program's
// name asked when Target is empty (false when declined), the run between Starting and Ended,
// the report.
bool MakeSfxAndReport(const QString& Archive, const QString& Target, TDialogObserver& Observer,
                      const std::function<void()>& Starting, const std::function<void()>& Ended);
bool ReportMakeSfxFromFiles(const TMakeSfxResult& Result);
// An archive comment not read (Saving false) or not written: each failure; true when none.
bool ReportComment(const TOpResult& Result, bool Saving);
// Files mailed: the failure, if any; true when the mail program took the message.
bool ReportMail(const TMailResult& Result);
// A backup set's run: the add's own messages, then the set's problem; true when backed up.
bool ReportBackup(const TBackupResult& Result);
// Runs each set of Names (Run: true when backed up) and says which failed, or that all did.
void RunBackupSets(const QStringList& Names, const std::function<bool(const QString& Name)>& Run);

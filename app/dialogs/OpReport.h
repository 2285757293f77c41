// What the window and the command line say around an operation, the same for both: the folder
// remembered for the next dialog before it runs, the message boxes after it (through the
// prompter, so QUILLAR_PROMPTER=auto answers them).
#pragma once

#include "app/ops/OpAdd.h"
#include "app/ops/OpBackup.h"
#include "app/ops/OpComment.h"
#include "app/ops/OpConvert.h"
#include "app/ops/OpExtract.h"
#include "app/ops/OpMail.h"
#include "app/ops/OpMakeSfx.h"
#include "app/ops/OpRepair.h"
#include "app/ops/OpVirusScan.h"

#include <QStringList>
#include <functional>

class TfmViewOutput;

// The destination of a whole-archive extraction, for the extract dialog's "last folder".
void NoteExtractFolder(const TExtractOptions& Options);
// A refused start always says why; the summary when ShowResult and the settings ask for it,
// or when the extraction did not succeed.
void ReportExtraction(const TExtractOptions& Options, const TExtractResult& Result, bool ShowResult);

// The folder of the first file, for the add dialog's "last folder".
void NoteAddFolder(const TAddOptions& Options);
// A refusal, a cancel, a full disk, an archive not written; true when none of them happened.
bool ReportAddResult(const TAddResult& Result, bool NewArchive);
// "Files Compressed: n" when files went in and the settings ask for it.
void ReportAddedCount(const TAddResult& Result);

// A test run: not started, failed (its summary line appended to Output, which is shown) or
// clean; true when clean. Output gives the window, made only when a failure shows it.
bool ReportTest(const TOpResult& Result, const std::function<TfmViewOutput&()>& Output);

// The verdict of a virus scan in its message box; true when clean.
bool ReportScan(TScanVerdict Verdict, int Status);

// A conversion: the refusal, each failure, a failed deletion of the original, the end; true when
// the archive was converted and nothing that was to go stayed.
bool ReportConvert(const TConvertResult& Result);
// A repair: the refusal, else its log in Output (shown); true when repaired.
bool ReportRepair(const TRepairResult& Result, TfmViewOutput& Output);
// A self-extractor: each failure, and the program made; true when made. ...FromFiles first says
// when none of the files could be zipped.
bool ReportMakeSfx(const TMakeSfxResult& Result);
bool ReportMakeSfxFromFiles(const TMakeSfxResult& Result);
// An archive comment not read (Saving false) or not written: each failure; true when none.
bool ReportComment(const TOpResult& Result, bool Saving);
// Files mailed: the failure, if any; true when the mail program took the message.
bool ReportMail(const TMailResult& Result);
// A backup set's run: the add's own messages, then the set's problem; true when backed up.
bool ReportBackup(const TBackupResult& Result);
// Runs each set of Names (Run: true when backed up) and says which failed, or that all did.
void RunBackupSets(const QStringList& Names, const std::function<bool(const QString& Name)>& Run);

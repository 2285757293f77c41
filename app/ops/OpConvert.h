// Converting an archive to another format: every entry extracted into a private folder,
// written into the new archive, optionally read back. An existing output is replaced only once
// the new archive is whole (the caller has asked about it); the original is deleted only after
// its copy was read back.
#pragma once

#include "app/ops/OpObserver.h"
#include "app/ops/OpResult.h"
#include "engine/write/krvWriters.h"

#include <QString>

struct TConvertOptions {
    QString Input;
    // The new archive; for a tar.gz the tar's name (".gz" is added).
    QString Output;
    TOutArcType Type = tyZip;
    bool Verify = false;
    // The original goes once the new archive is written (and read back, for every type the
    // tester reads).
    bool DeleteOriginal = false;
};

enum class TConvertRefusal { None, SameFile };

struct TConvertResult : TOpResult {
    TConvertRefusal Refusal = TConvertRefusal::None;
    QString Input;          // the archive converted, as a full path
    QString Target;         // the file written (the Output, with ".gz" for a tar.gz)
    bool Converted = false; // the target was written (and read back when asked) whole
    bool OriginalDeleted = false;
    bool DeleteFailed = false; // the original was to go but could not be deleted
};

// The file a conversion of Options writes.
QString ConvertTarget(const TConvertOptions& Options);
// Each stage goes to the log and the status; errors to the log and the result's failures.
TConvertResult Convert(const TConvertOptions& Options, TOpObserver& Observer);
// The messages the callers show: the refusal, a failed deletion, the end of the run.
QString ConvertRefusalText(TConvertRefusal Refusal);
QString ConvertDeleteFailedText();
QString ConvertEndText(bool Converted);
// The message box text of one failure of a conversion.
QString ConvertFailureText(const TOpFailure& Failure, const QString& Input = {});

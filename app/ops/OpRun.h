// The engine side of one operation: binds a component's events to the caller's observer and
// gathers the result. Errors are written to the log (one block per error) and counted against
// the entry they belong to; an entry that comes out whole in the end (after a wrong password,
// the right one) is done, not failed. The questions' "to all" answers live here, for the run.
#pragma once

#include "app/ops/OpObserver.h"
#include "app/ops/OpResult.h"

#include <QStringList>
#include <string>
#include <vector>

class TZipCommon;
class TUnBase;
class TCompBase;
class TZipCheck;

class TOpRun {
public:
    TOpRun(TOpObserver& Observer, TOpResult& Result) : FObserver(Observer), FResult(Result) {}
    TOpRun(const TOpRun&) = delete;
    TOpRun& operator=(const TOpRun&) = delete;

    // Errors, progress, passwords, volumes, disks, damaged headers, nested tar files.
    void BindCommon(TZipCommon& Component);
    // ... and each entry's begin and verdict, existing outputs (StatusPrefix before the name).
    void BindReader(TUnBase& Reader, const QString& StatusPrefix = QStringLiteral("Extracting: "));
    // The tester: its verdicts; only failed entries reach the log.
    void BindTester(TZipCheck& Tester);
    // ... and the writers' questions.
    void BindWriter(TCompBase& Writer);
    // An entry's begin and verdict, for components whose entry events have other names (the
    // converter's extraction): the same rule as a bound reader's.
    void EntryBegun(const std::string& FileName);
    void EntryEnded(const std::string& FileName, bool Passed) { EntryEnd(FileName, Passed); }
    // The errors that no entry's verdict took are counted, once per entry; EngineFailed, the
    // engine's own count of failed entries, makes up for entries that left neither.
    void Finish(int EngineFailed = 0);

    // A writer that runs out of room may ask for another disk.
    bool AllowSpanning = true;
    // The folders the extraction's directory entries made (kept when TrackFolders is set).
    bool TrackFolders = false;
    const std::vector<std::string>& MadeFolders() const { return FMadeFolders; }
    // Errors reported during the run (every one, whatever entry).
    int Errors() const { return FErrors; }

private:
    void Error(TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg, int ECode);
    void EntryEnd(const std::string& FileName, bool Passed);
    // Counts the pending errors of every entry but Except.
    void Flush(const std::string& Except = {});
    // Whether an error of FileName waits in the current stretch.
    bool HasPending(const std::string& FileName) const;
    // Whether any error waits in the current stretch.
    bool StretchHasErrors() const;
    // A verdict or a begin closes the stretch of the run its errors were reported in.
    void NextStretch(bool Begun);

    // An error with the stretch of the run it came in: the errors of one entry are those of
    // the stretch that entry's begin opened (its earlier attempts carried along), so an entry
    // that reported its error and never began (a link that is not made) is not taken for the
    // next entry of its name.
    struct TPending {
        TOpFailure Failure;
        int Stretch = 0;
    };

    TOpObserver& FObserver;
    TOpResult& FResult;
    std::vector<TPending> FPending; // errors without a verdict yet
    std::vector<std::string> FMadeFolders;
    std::string FBegun; // the name of the reader's last begun entry
    int FStretch = 0;
    bool FOpen = false; // the current stretch began with FBegun's begin
    int FErrors = 0;
    int FReplaceAll = 0; // 1 yes to all, -1 no to all
    bool FSkipAllDupes = false;
};

// The log's block for one engine error: the component's class, the archive, the entry, the
// code, its text and the details.
QStringList ErrorLogLines(const TZipCommon& Sender, const std::string& FileName,
                          const std::string& ExtendedMsg, int ECode);

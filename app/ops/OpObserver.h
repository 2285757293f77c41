// The one channel between an operation and whoever started it: progress, the entry being
// worked on, log lines, and the engine's questions. This base asks no one: every Yes/No
// question takes its default answer (the first button's, as QUILLAR_PROMPTER=auto takes it),
// and what needs a person's input or hands (a password, a volume's path, a disk, a new name)
// is cancelled. The callers that ask through the program's dialogs derive from
// TDialogObserver (app/dialogs) and override only what they show differently: the window its
// progress window, status bar and output log, the batch tool its bars, the command line its
// progress window and standard error.
#pragma once

#include "engine/core/krvZipCommon.h"

#include <QString>
#include <cstdint>
#include <string>

// The answers of the overwrite question of an extraction.
enum class TOverwriteAnswer { Yes, No, YesToAll, NoToAll, Rename, Cancel };
// The answers of the writers' replace and duplicate-name questions.
enum class TReplaceAnswer { Yes, No, YesToAll, NoToAll };
enum class TDupeAnswer { Rename, Skip, SkipAll };

class TOpObserver {
public:
    virtual ~TOpObserver() = default;

    // ---- what the caller shows ----
    // The engine starts and ends its work (a progress window shows between the two).
    virtual void Started() {}
    virtual void Finished() {}
    // Percent of the entry and of the whole run; true asks the run to stop.
    virtual bool Progress(int ByFile, int ByArchive);
    // The entry being worked on, after Prefix ("Extracting: ").
    virtual void Status(const QString& Prefix, const QString& Name);
    // A line of the operation's log (errors, failed entries, a scanner's report).
    virtual void Log(const QString& Line);
    // A line of the log that tells how the work goes (a converter's stages and entries): the
    // output window keeps it, a command line that prints only errors does not print it.
    virtual void LogProgress(const QString& Line) { Log(Line); }

    // ---- questions ----
    // An existing file would be replaced by an entry of IncomingSize bytes (IncomingDate 0:
    // unknown). Rename puts the new name (a plain name in the same folder) into NewName.
    virtual TOverwriteAnswer AskOverwrite(const QString& Existing, std::int64_t IncomingSize,
                                          TDateTime IncomingDate, QString& NewName);
    // The password of an enciphered entry; false when the user cancels.
    virtual bool AskPassword(const QString& FileName, std::string& Password);
    // The password that was offered for FileName did not fit.
    virtual void PasswordRejected(const QString& FileName);
    // A missing volume of a set: its path; false cancels.
    virtual bool AskNextVolume(std::string& VolumeName, const std::string& VolumeID);
    // A disk of a spanned set; Text says which. False cancels.
    virtual bool AskDisk(const QString& Text);
    // The name to save an operation's output under, FileName offered (and its folder shown);
    // Filter's entry FilterIndex (from 1) chosen. False when the user cancels.
    virtual bool AskSaveName(const QString& Title, QString& FileName, const QString& Filter,
                             int FilterIndex = 1, bool OverwritePrompt = false);
    // A plain Yes/No question of an operation (Text says what it asks); true for Yes.
    virtual bool Confirm(const QString& Text);
    // A gzip file holds a tar archive: unpack it too?
    virtual bool AskNestedTar(const QString& FileName, bool Testing);
    // A damaged local header: read on?
    virtual bool AskCorruptHeader();
    // A writer would replace entry FileName by NewFileName.
    virtual TReplaceAnswer AskReplace(const std::string& FileName, const std::string& NewFileName,
                                      TDateTime Date, TDateTime NewDate, std::int64_t FileSize,
                                      std::int64_t NewFileSize);
    // A writer meets an entry of the same name: rename the existing entry to NewName?
    virtual TDupeAnswer AskRenameDupe(const std::string& FileName, std::string& NewName);
    // The archive is read-only, hidden or a system file: write to it anyway?
    virtual bool AskWriteProtectedArchive(const std::string& FileName);
    // The output of a gzip writer or an encoder exists: mrYes, mrNo, mrCancel or mrIgnore.
    virtual int AskOutputExists(const std::string& FileName);
    // The next disk of a spanned zip being written (AllowSpanning false: there is no room and
    // no spanning allowed); false cancels.
    virtual bool AskInsertDisk(const std::string& VolumeName, bool AllowSpanning);
    // The zip writer's disk errors; true retries.
    virtual bool AskDiskError(bool WriteProtected);
    // The zip writer's disk is too small for what remains; false cancels.
    virtual bool AskClearDisk(const std::string& Drive, std::int64_t RequiredSpace, std::int64_t FreeSpace,
                              std::int64_t DiskCapacity);
};

// The observer of the callers that have someone to ask: the engine's questions through the
// program's dialogs and its prompter (so QUILLAR_PROMPTER=auto answers them at once). The
// window, the command line and the batch tool derive from it.
#pragma once

#include "app/ops/OpObserver.h"

class QWidget;

// A new name for an entry keeps it inside the archive's folders: not absolute, no "..", no
// empty part.
bool IsSoundEntryName(const QString& Name);

class TDialogObserver : public TOpObserver {
public:
    // The parent of the question dialogs (none: top level).
    virtual QWidget* DialogParent() const { return nullptr; }

    TOverwriteAnswer AskOverwrite(const QString& Existing, std::int64_t IncomingSize, TDateTime IncomingDate,
                                  QString& NewName) override;
    bool AskPassword(const QString& FileName, std::string& Password) override;
    void PasswordRejected(const QString& FileName) override;
    bool AskNextVolume(std::string& VolumeName, const std::string& VolumeID) override;
    bool AskDisk(const QString& Text) override;
    bool AskSaveName(const QString& Title, QString& FileName, const QString& Filter, int FilterIndex = 1,
                     bool OverwritePrompt = false) override;
    bool Confirm(const QString& Text) override;
    bool AskNestedTar(const QString& FileName, bool Testing) override;
    bool AskCorruptHeader() override;
    TReplaceAnswer AskReplace(const std::string& FileName, const std::string& NewFileName, TDateTime Date,
                              TDateTime NewDate, std::int64_t FileSize, std::int64_t NewFileSize) override;
    TDupeAnswer AskRenameDupe(const std::string& FileName, std::string& NewName) override;
    bool AskWriteProtectedArchive(const std::string& FileName) override;
    int AskOutputExists(const std::string& FileName) override;
    bool AskInsertDisk(const std::string& VolumeName, bool AllowSpanning) override;
    bool AskDiskError(bool WriteProtected) override;
    bool AskClearDisk(const std::string& Drive, std::int64_t RequiredSpace, std::int64_t FreeSpace,
                      std::int64_t DiskCapacity) override;

private:
    QString FRejected; // the entry whose password did not fit, until it is asked for again
};

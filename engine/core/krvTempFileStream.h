// The output stream of every archive writer, and of extracted files that replace existing
// ones. Created with fmCreate it writes into a new temporary file beside the target (same
// folder, so the final step is an atomic rename); Commit() puts it in place of the target,
// keeping the old file's permission bits. A stream destroyed without Commit removes its
// temporary file and leaves the target as it was, and so does a SIGINT or SIGTERM once the host
// has called InstallTemporaryCleanupOnSignals. Created with any other mode it opens the named
// file directly. Reads report progress to the owning component.
#pragma once

#include "engine/core/krvStreams.h"
#include "platform/TemporaryCleanup.h"

#include <cstdint>
#include <string>

class TZipCommon;

class TTempFileStream : public TFileStream32 {
public:
    // Mode fmCreate: a temporary file "krv??????" in FileName's folder (a symbolic link as
    // FileName is followed: its target is what Commit replaces). A FileName ending in '/'
    // names a folder: the temporary file is a scratch file there with no target, which Commit
    // refuses. Any other mode: FileName is opened with that mode. Failure shows in Status().
    TTempFileStream(TZipCommon* Owner, std::uint16_t Mode, const std::string& FileName);
    // A temporary file in the open folder DirFd (duplicated, not taken) for the entry Name of
    // that folder, as extraction uses it: nothing on the way is followed as a symbolic link,
    // and Commit replaces Name itself, never what a link named Name points to. DirPath only
    // names the folder in OpenName() and FinalName().
    TTempFileStream(TZipCommon* Owner, int DirFd, const std::string& DirPath, const std::string& Name);
    ~TTempFileStream() override;

    std::uint8_t Status() const { return FStatus; }
    bool IsTemporary() const { return FIsTemporary; }
    // The target name (empty for a directly opened file and a scratch file).
    const std::string& FinalName() const { return FFinalName; }
    // The name really opened: the temporary file, or the named file.
    const std::string& OpenName() const { return FOpenName; }
    std::uint16_t Mode() const { return FMode; }
    bool Committed() const { return FCommitted; }

    // Reads, takes the requested count off the owner's bytes still to do and reports progress.
    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    // As TStream32::CopyFrom, in chunks of at most CopyChunkSize bytes.
    std::int64_t CopyFrom(TStream32& Source, const bool* CancelFlag, TProgressEvent Progress,
                          std::int64_t Count);

    // Flushes the temporary file to disk, gives it the target's permission bits (a new file:
    // 0666 less the umask; set-user and set-group bits never) and renames it over the target.
    // A failure removes the temporary file, leaves the target untouched and raises:
    // EWriteError (code 25160 for a full disk, else 25136) when the data could not be made
    // durable, E_RAISE 25235 (after the owner's OnError) when the target cannot be replaced.
    // The cancel flag is not looked at here. Nothing to do for a directly opened file.
    void Commit();
    // Closes and removes the temporary file now; the target stays as it was.
    void Discard();

    static constexpr std::int64_t CopyChunkSize = 100000;

private:
    void CreateTemporary(const std::string& Prefix);
    void RemoveTemporary();

    TZipCommon* FOwner;
    std::uint16_t FMode;
    std::uint8_t FStatus = fsOpenOk;
    bool FIsTemporary = false;
    bool FCommitted = false;
    int FDirFd = -1;         // folder of the temporary file and the target
    std::string FTempLeaf;   // name of the temporary file in that folder
    std::string FTargetLeaf; // name of the target in that folder
    // Removes the temporary file on SIGINT and SIGTERM while it exists.
    TTemporaryRegistration FRegistration;
    std::string FFinalName;
    std::string FOpenName;
};

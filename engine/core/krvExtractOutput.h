// The file a reader writes one extracted entry into. Nothing on the way is followed as a
// symbolic link (folders below the destination are entered with O_NOFOLLOW, the file is
// created with O_NOFOLLOW), and nothing replaces an existing file before the entry has been
// decoded and verified: a name that exists already is written as a temporary sibling and
// renamed over it by Commit(); a new name is created exclusively and removed again when the
// entry fails. Destroying an output that was not committed leaves the target as it was.
#pragma once

#include "engine/core/krvFileIo.h"
#include "engine/core/krvStreams.h"
#include "platform/TemporaryCleanup.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

class TZipCommon;

// The permission bits of a new file when the archive gives none: 0666 less the process's mask.
mode_t DefaultOutputMode();

// An open output folder, shared by the outputs (and their temporary registrations) that go
// into it; closed when the last of them lets go.
using TOutputFolder = std::shared_ptr<const TUniqueFd>;

// The folder that the last output went into, kept open: the files of one folder follow each
// other in most archives, and each would otherwise enter every folder from the destination
// down again.
class TOutputFolderCache {
public:
    // The open folder of FileName (entered as OpenParentOf does) and its last part in Leaf;
    // nullptr with errno set on failure.
    TOutputFolder ParentOf(TZipCommon& Owner, const std::string& FileName, std::string& Leaf);
    // Whether a file created in the last folder ParentOf gave gets the mode it is created with
    // less the process's mask: the folder has no default ACL. Looked up once per folder.
    bool PlainModes();
    void Clear();

private:
    std::string FFolder;
    TOutputFolder FDir;
    std::optional<bool> FPlainModes;
};

class TExtractOutput {
public:
    // Opens the output for FileName (below Owner's ExtractDir, whose missing folders are
    // made). A failure is reported through Owner (25235 "Error opening file") and gives
    // nullptr.
    static std::unique_ptr<TExtractOutput> Create(TZipCommon& Owner, const std::string& FileName,
                                                  TOutputFolderCache* Folders = nullptr);
    // The output for FileName only when no file of that name exists: created at once, so that a
    // new name needs no look first, or, with Unnamed, that unnamed file (written already) given
    // the name. Nullptr (errno set, EEXIST when the name is taken) otherwise; nothing is
    // reported, and Unnamed is kept. Mode, when the file's final permission bits are known, is
    // given to the new file at once where the folder keeps it as it is (no SetMode call is
    // then made for it); else the file is private until it is closed.
    static std::unique_ptr<TExtractOutput> CreateNew(TZipCommon& Owner, const std::string& FileName,
                                                     TOutputFolderCache& Folders,
                                                     TUniqueFd* Unnamed = nullptr,
                                                     std::optional<mode_t> Mode = std::nullopt);
    // Opens the existing FileName for writing at its end (an entry continued from the
    // previous volume). Such an output has nothing to commit or undo.
    static std::unique_ptr<TExtractOutput> Append(TZipCommon& Owner, const std::string& FileName);

    TExtractOutput(const TExtractOutput&) = delete;
    TExtractOutput& operator=(const TExtractOutput&) = delete;
    ~TExtractOutput();

    TFileStream32& Stream() { return *FStream; }
    const std::string& FileName() const { return FFileName; }
    // True when the output will replace a file that existed when it was opened.
    bool Replaces() const { return FReplaces; }
    bool Closed() const { return !FStream; }

    // Gives the file its modification (and access) time and its permission bits; both apply
    // to the file as it is put in place. Set-user and set-group bits are never given.
    void SetTimes(std::time_t ModTime);
    void SetMode(mode_t Mode);
    // Writes what is pending to the file and closes it; a replacing output is made durable
    // first. False (errno set) when the data may not have reached the file.
    bool Close();
    // Puts a closed output in place of its target. False (errno set) when it could not be;
    // the new data are then removed and the target is left as it was.
    bool Commit();
    // Removes what was written; the target stays as it was.
    void Discard();

private:
    TExtractOutput() = default;
    bool OpenAt(TZipCommon& Owner, const std::string& FileName, TOutputFolderCache* Folders, bool NewOnly,
                TUniqueFd* Unnamed = nullptr, std::optional<mode_t> Mode = std::nullopt);

    std::unique_ptr<TFileStream32> FStream;
    TOutputFolder FDir;      // the folder of the target
    std::string FLeaf;       // the target's name in that folder
    std::string FWriteLeaf;  // the name written: the target's, or a temporary sibling's
    std::string FFileName;   // the target's full name
    bool FReplaces = false;  // written as a sibling, renamed over the target by Commit
    bool FAppending = false; // writes into the existing target itself
    bool FDone = false;      // committed or discarded
    bool FHasTimes = false;
    bool FModeSet = false;
    std::time_t FModTime = 0;
    std::optional<mode_t> FCreatedMode; // the file's permission bits as created, when known
    // Removes what is written (a temporary sibling, or a new file not yet whole) on SIGINT and
    // SIGTERM.
    TTemporaryRegistration FSibling;
    // Keeps the temporary sibling's lock after its stream is closed, until it is renamed.
    TUniqueFd FSiblingLock;
};

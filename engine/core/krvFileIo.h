// Thin wrappers over the operating system's file calls, as the engine uses them to create
// and open its output files. Output is never opened through a symbolic link: below the
// destination folder every folder is entered with O_NOFOLLOW and the file itself is opened
// with O_NOFOLLOW; set-user and set-group bits are never given to a created file.
#pragma once

#include "engine/core/krvStreams.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class TZipCommon;

// An open file descriptor that is closed when it goes out of scope.
class TUniqueFd {
public:
    TUniqueFd() = default;
    explicit TUniqueFd(int Fd) : FFd(Fd) {}
    TUniqueFd(TUniqueFd&& Other) noexcept : FFd(Other.Release()) {}
    TUniqueFd& operator=(TUniqueFd&& Other) noexcept;
    TUniqueFd(const TUniqueFd&) = delete;
    TUniqueFd& operator=(const TUniqueFd&) = delete;
    ~TUniqueFd();

    int Get() const { return FFd; }
    int Release();
    explicit operator bool() const { return FFd >= 0; }

private:
    int FFd = -1;
};

// Opens Name for reading only (close-on-exec); the descriptor is invalid when it cannot be opened.
TUniqueFd OpenForReading(const std::string& Name);

// Reads up to Count bytes at Pos, repeating short reads; fewer only at the end of the file or
// on an error. Returns how many were read.
std::int64_t ReadFileAt(int Fd, std::int64_t Pos, void* Buffer, std::int64_t Count);

// The process's file-creation mask, read without changing it.
mode_t CurrentUmask();

// Creates a new file "<Prefix>XXXXXX" (six random letters and digits) in the folder DirFd,
// exclusively, mode 0600. Returns the descriptor (-1 with errno set) and the name in Leaf.
// The descriptor holds an exclusive flock on the file while it (or a duplicate) stays open:
// a temporary that nobody holds locked was left by a run that did not end.
int CreateTempFileAt(int DirFd, const std::string& Prefix, std::string& Leaf);

// Removes the files "<Prefix>XXXXXX" of this user in the folder Dir that no process holds
// locked, calling Removed with each one's path.
void RemoveAbandonedTemporaries(const std::string& Dir, const std::string& Prefix,
                                const std::function<void(const std::string&)>& Removed);

// Creates a new folder "<Prefix>XXXXXX" in the folder Dir with mkdtemp, mode 0700. Returns
// its path, or an empty string with errno set.
std::string CreateTempFolder(const std::string& Dir, const std::string& Prefix);

// Opens Root (created with its parents when Create and missing), then each of Parts below
// it as a folder without following symbolic links, creating missing ones when Create.
// Returns the descriptor of the last folder, or -1 with errno set.
int OpenDirBeneath(const std::string& Root, const std::vector<std::string>& Parts, bool Create);

// Splits FileName into the folder descriptor it lies in (entered without following links
// below Sender's ExtractDir when FileName lies under it) and its last part. -1 on failure.
int OpenParentOf(const TZipCommon& Sender, const std::string& FileName, bool CreateDirs, std::string& Leaf);

// Opens FileName with Flags (O_NOFOLLOW and O_CLOEXEC are always added); a failure is
// reported through Sender's ReportError as 25235 "Error opening file" and gives nullptr.
std::unique_ptr<TFileStream32> OpenFileCommon(TZipCommon& Sender, const std::string& FileName, int Flags,
                                              bool CreateDirs);
// A new output file for writing: replacing an existing file when Overwrite, else only when
// none exists. Missing folders below the destination are created.
std::unique_ptr<TFileStream32> CreateOutputFile(TZipCommon& Sender, const std::string& FileName,
                                                bool Overwrite);
// An existing output file made writable and opened for writing at its end.
std::unique_ptr<TFileStream32> OpenOutputForAppend(TZipCommon& Sender, const std::string& FileName);

// The current position of Stream.
std::int64_t GetFilePos(TStream32& Stream);
// True when the seek succeeded.
bool SeekFile(TStream32& Stream, std::int64_t Offset, TSeekOrigin Origin);
// The file's size, 0 when it cannot be had. (The whole 64-bit size.)
std::int64_t GetFileSize32(TStream32& Stream);
// The time of the file as a packed DOS date-time of the local time: Which 0 the status
// change (there is no creation time to ask), 1 the last write, 2 the last access. 0 when
// the file cannot be asked.
std::uint32_t GetFileDosDate(TStream32& Stream, int Which);

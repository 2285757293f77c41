#include "engine/core/krvTempFileStream.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvZipCommon.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr const char* TempPrefix = "krv";

// FileName with a symbolic link in its last part resolved, so that the link stays and its
// target is replaced.
std::string ResolveTarget(const std::string& FileName) {
    struct stat st {};
    if (::lstat(FileName.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return FileName;
    char* resolved = ::realpath(FileName.c_str(), nullptr);
    if (!resolved) return FileName;
    std::string result(resolved);
    std::free(resolved);
    return result;
}

std::string JoinDir(const std::string& Dir, const std::string& Leaf) {
    if (Dir.empty()) return Leaf;
    return Dir.back() == '/' ? Dir + Leaf : Dir + '/' + Leaf;
}

} // namespace

TTempFileStream::TTempFileStream(TZipCommon* Owner, std::uint16_t Mode, const std::string& FileName)
    : TFileStream32(-1), FOwner(Owner), FMode(Mode) {
    if (Mode != fmCreate) {
        FOpenName = FileName;
        TFileStream32 opened(FileName, Mode, FStatus);
        Handle = std::exchange(opened.Handle, -1);
        return;
    }
    FIsTemporary = true;
    const bool scratch = !FileName.empty() && FileName.back() == '/';
    if (!scratch) FFinalName = FileName;
    const std::string target = scratch ? FileName : ResolveTarget(FileName);
    const std::size_t slash = target.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    FTargetLeaf = slash == std::string::npos ? target : target.substr(slash + 1);
    FDirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (FDirFd < 0 || (FTargetLeaf.empty() && !scratch)) {
        FStatus = fsCreateFailed;
        return;
    }
    CreateTemporary(TempPrefix);
    if (Handle >= 0) FOpenName = JoinDir(dir, FTempLeaf);
}

TTempFileStream::TTempFileStream(TZipCommon* Owner, int DirFd, const std::string& DirPath,
                                 const std::string& Name)
    : TFileStream32(-1), FOwner(Owner), FMode(fmCreate), FIsTemporary(true), FTargetLeaf(Name) {
    FFinalName = JoinDir(DirPath, Name);
    FDirFd = ::fcntl(DirFd, F_DUPFD_CLOEXEC, 0);
    if (FDirFd < 0 || Name.empty() || Name == "." || Name == ".." || Name.find('/') != std::string::npos) {
        FStatus = fsCreateFailed;
        return;
    }
    CreateTemporary(TempPrefix);
    if (Handle >= 0) FOpenName = JoinDir(DirPath, FTempLeaf);
}

void TTempFileStream::CreateTemporary(const std::string& Prefix) {
    const TCleanupSignalsHeld held;
    Handle = CreateTempFileAt(FDirFd, Prefix, FTempLeaf);
    if (Handle < 0) {
        FTempLeaf.clear();
        FStatus = fsCreateFailed;
        return;
    }
    FRegistration = TTemporaryRegistration(FDirFd, FTempLeaf);
}

TTempFileStream::~TTempFileStream() {
    if (FIsTemporary && !FCommitted) RemoveTemporary();
    if (FDirFd >= 0) ::close(FDirFd);
}

void TTempFileStream::RemoveTemporary() {
    // Removed while its descriptor still holds the lock, so no other run takes it meanwhile.
    if (!FTempLeaf.empty() && FDirFd >= 0) ::unlinkat(FDirFd, FTempLeaf.c_str(), 0);
    Close();
    FRegistration.Release();
    FTempLeaf.clear();
}

void TTempFileStream::Discard() {
    if (FIsTemporary && !FCommitted) RemoveTemporary();
}

std::int64_t TTempFileStream::Read(void* Buffer, std::int64_t Count) {
    const std::int64_t n = TFileStream32::Read(Buffer, Count);
    if (FOwner) {
        FOwner->BytesToDo -= static_cast<double>(Count);
        FOwner->StreamProgress(*this);
    }
    return n;
}

std::int64_t TTempFileStream::CopyFrom(TStream32& Source, const bool* CancelFlag, TProgressEvent Progress,
                                       std::int64_t Count) {
    return TStream32::CopyFrom(Source, CancelFlag, std::move(Progress), Count, CopyChunkSize);
}

void TTempFileStream::Commit() {
    if (!FIsTemporary || FCommitted) return;
    if (Handle < 0 || FTempLeaf.empty() || FTargetLeaf.empty()) {
        RemoveTemporary();
        throw EWriteError(ecErrorWritingToFile);
    }
    auto failWrite = [this]() {
        const bool full = errno == ENOSPC || errno == EDQUOT;
        RemoveTemporary();
        throw EWriteError(full ? ecDiskFull : ecErrorWritingToFile);
    };
    // The data reach the disk before the name does.
    if (::fsync(Handle) != 0) failWrite();

    struct stat old {};
    mode_t mode = 0666 & ~CurrentUmask();
    if (::fstatat(FDirFd, FTargetLeaf.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode)) {
        mode = old.st_mode & 01777; // never set-user or set-group
        // Keep the owner where allowed; a failure leaves the file ours, which is not an error.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            ::fchown(Handle, old.st_uid, old.st_gid) != 0) {
        }
    }
    if (::fchmod(Handle, mode) != 0) failWrite();

    // Renamed while the descriptor still holds the temporary's lock: an unlocked temporary is
    // one that its maker left behind. The data reached the disk above, so closing afterwards
    // has nothing left to report.
    if (::renameat(FDirFd, FTempLeaf.c_str(), FDirFd, FTargetLeaf.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        RemoveTemporary();
        if (FOwner) FOwner->ReportError(FFinalName, reason, "0", ecErrorOpeningFile);
        throw E_RAISE(ecErrorOpeningFile);
    }
    FCommitted = true;
    FRegistration.Release();
    FTempLeaf.clear();
    Close();
    // The new name itself is made durable too; a failure here cannot undo the rename.
    ::fsync(FDirFd);
}

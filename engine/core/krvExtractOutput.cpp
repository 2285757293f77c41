#include "engine/core/krvExtractOutput.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvFileIo.h"
#include "engine/core/krvZipCommon.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

// The mask is read once: reading it costs a file read on this platform.
mode_t DefaultOutputMode() {
    static const mode_t mode = 0666 & ~CurrentUmask();
    return mode;
}

namespace {

// Gives the unnamed file Unnamed the name Leaf in the folder DirFd, as an exclusive create would
// (EEXIST when the name is taken). Returns its descriptor, now owned by the caller; -1 with errno
// set, Unnamed kept.
int LinkUnnamed(TUniqueFd& Unnamed, int DirFd, const std::string& Leaf) {
    // By the descriptor itself where the process may (it needs the right to search any folder):
    // no path through /proc to look up. Refused once (ENOENT), the /proc path from then on.
    static std::atomic<bool> byDescriptor{true};
    if (byDescriptor.load(std::memory_order_relaxed)) {
        if (::linkat(Unnamed.Get(), "", DirFd, Leaf.c_str(), AT_EMPTY_PATH) == 0) return Unnamed.Release();
        if (errno != ENOENT) return -1;
        byDescriptor.store(false, std::memory_order_relaxed);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(Unnamed.Get());
    if (::linkat(AT_FDCWD, path.c_str(), DirFd, Leaf.c_str(), AT_SYMLINK_FOLLOW) != 0) return -1;
    return Unnamed.Release();
}

} // namespace

TOutputFolder TOutputFolderCache::ParentOf(TZipCommon& Owner, const std::string& FileName,
                                           std::string& Leaf) {
    const std::size_t slash = FileName.find_last_of('/');
    const std::string_view folder(FileName.data(), slash == std::string::npos ? 0 : slash + 1);
    if (FDir && folder == FFolder) {
        Leaf = FileName.substr(folder.size());
        if (!Leaf.empty() && Leaf != "." && Leaf != "..") return FDir;
    }
    Clear();
    const int fd = OpenParentOf(Owner, FileName, true, Leaf);
    if (fd < 0) return nullptr;
    FDir = std::make_shared<const TUniqueFd>(fd);
    FFolder = folder;
    return FDir;
}

bool TOutputFolderCache::PlainModes() {
    if (!FDir) return false;
    if (!FPlainModes) {
        // No default ACL, or a file system without ACLs: the mask alone applies.
        const bool none = ::fgetxattr(FDir->Get(), "system.posix_acl_default", nullptr, 0) < 0 &&
                          (errno == ENODATA || errno == EOPNOTSUPP);
        FPlainModes = none;
    }
    return *FPlainModes;
}

void TOutputFolderCache::Clear() {
    FDir.reset();
    FFolder.clear();
    FPlainModes.reset();
}

std::unique_ptr<TExtractOutput> TExtractOutput::Create(TZipCommon& Owner, const std::string& FileName,
                                                       TOutputFolderCache* Folders) {
    std::unique_ptr<TExtractOutput> out(new TExtractOutput);
    if (!out->OpenAt(Owner, FileName, Folders, false)) {
        Owner.ReportError(FileName, std::strerror(errno), "0", ecErrorOpeningFile);
        return nullptr;
    }
    return out;
}

std::unique_ptr<TExtractOutput> TExtractOutput::CreateNew(TZipCommon& Owner, const std::string& FileName,
                                                          TOutputFolderCache& Folders, TUniqueFd* Unnamed,
                                                          std::optional<mode_t> Mode) {
    std::unique_ptr<TExtractOutput> out(new TExtractOutput);
    if (!out->OpenAt(Owner, FileName, &Folders, true, Unnamed, Mode)) {
        const int error = errno;
        out.reset();
        errno = error;
        return nullptr;
    }
    return out;
}

std::unique_ptr<TExtractOutput> TExtractOutput::Append(TZipCommon& Owner, const std::string& FileName) {
    auto stream = OpenOutputForAppend(Owner, FileName);
    if (!stream) return nullptr;
    std::unique_ptr<TExtractOutput> out(new TExtractOutput);
    out->FStream = std::move(stream);
    out->FFileName = FileName;
    out->FAppending = true;
    return out;
}

bool TExtractOutput::OpenAt(TZipCommon& Owner, const std::string& FileName, TOutputFolderCache* Folders,
                            bool NewOnly, TUniqueFd* Unnamed, std::optional<mode_t> Mode) {
    FFileName = FileName;
    if (Folders) {
        FDir = Folders->ParentOf(Owner, FileName, FLeaf);
    } else {
        const int fd = OpenParentOf(Owner, FileName, true, FLeaf);
        if (fd >= 0) FDir = std::make_shared<const TUniqueFd>(fd);
    }
    if (!FDir) return false;
    const int dirFd = FDir->Get();
    constexpr int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    // Bits the mask cannot take away again come out as given.
    if (Mode && !Unnamed && (*Mode & ~DefaultOutputMode() & 0777) == 0 && Folders && Folders->PlainModes())
        FCreatedMode = *Mode & 0777;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int error = 0;
        {
            // A new file is registered until it is whole: a signal leaves no half of it. Most
            // names are new, so the file is created before anything is asked of the folder.
            const TCleanupSignalsHeld held;
            const int fd = Unnamed
                               ? LinkUnnamed(*Unnamed, dirFd, FLeaf)
                               : ::openat(dirFd, FLeaf.c_str(), flags, FCreatedMode ? *FCreatedMode : 0600);
            if (fd >= 0) {
                FWriteLeaf = FLeaf;
                FSibling = TTemporaryRegistration(dirFd, FWriteLeaf, FDir);
                FStream = std::make_unique<TFileStream32>(fd);
                return true;
            }
            error = errno;
        }
        errno = error;
        if (error != EEXIST || NewOnly) return false;
        struct stat st {};
        if (::fstatat(dirFd, FLeaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            // Removed by someone else meanwhile: made new after all.
            if (errno == ENOENT) continue;
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        // The name exists (a file, or a link, which is replaced and never followed): the entry
        // is written beside it.
        FReplaces = true;
        FCreatedMode.reset();
        const TCleanupSignalsHeld held;
        const int fd = CreateTempFileAt(dirFd, "krv", FWriteLeaf);
        if (fd < 0) return false;
        FSiblingLock = TUniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
        FSibling = TTemporaryRegistration(dirFd, FWriteLeaf, FDir);
        FStream = std::make_unique<TFileStream32>(fd);
        return true;
    }
    return false;
}

TExtractOutput::~TExtractOutput() {
    if (!FDone) Discard();
}

void TExtractOutput::SetTimes(std::time_t ModTime) {
    FModTime = ModTime;
    FHasTimes = true;
}

void TExtractOutput::SetMode(mode_t Mode) {
    if (FStream && FCreatedMode != (Mode & 01777)) ::fchmod(FStream->Handle, Mode & 01777);
    FModeSet = true;
}

bool TExtractOutput::Close() {
    if (!FStream) return true;
    bool ok = true;
    int error = 0;
    const int fd = FStream->Handle;
    if (!FModeSet && !FAppending && FCreatedMode != DefaultOutputMode() &&
        ::fchmod(fd, DefaultOutputMode()) != 0) {
        ok = false;
        error = errno;
    }
    if (FHasTimes) {
        const timespec times[2] = {{FModTime, 0}, {FModTime, 0}};
        ::futimens(fd, times);
    }
    // A file that replaces another reaches the disk before its name does.
    if (ok && FReplaces && ::fsync(fd) != 0) {
        ok = false;
        error = errno;
    }
    if (!FStream->Close() && ok) {
        ok = false;
        error = errno;
    }
    FStream.reset();
    if (!ok) errno = error;
    return ok;
}

bool TExtractOutput::Commit() {
    if (FDone) return true;
    if (FStream && !Close()) {
        const int error = errno;
        Discard();
        errno = error;
        return false;
    }
    if (!FReplaces) {
        // A new file is the target already: ending its registration is one step, so a signal
        // finds it either registered or not.
        FDone = true;
        FSibling.Release();
        return true;
    }
    // Once the name is the target's, a signal must find it no longer registered.
    const TCleanupSignalsHeld held;
    if (::renameat(FDir->Get(), FWriteLeaf.c_str(), FDir->Get(), FLeaf.c_str()) != 0) {
        const int error = errno;
        Discard();
        errno = error;
        return false;
    }
    FDone = true;
    FSibling.Release();
    FSiblingLock = TUniqueFd();
    return true;
}

void TExtractOutput::Discard() {
    if (FDone) return;
    FDone = true;
    FStream.reset();
    if (FAppending || FWriteLeaf.empty() || !FDir) return;
    ::unlinkat(FDir->Get(), FWriteLeaf.c_str(), 0);
    FSibling.Release();
    FSiblingLock = TUniqueFd();
}

#include "platform/FileAttributes.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool IsDotOrDotDot(std::string_view Name) {
    return Name == "." || Name == "..";
}

// The last component of a path, without trailing separators.
std::string_view LastComponent(std::string_view Path) {
    while (Path.size() > 1 && Path.back() == '/')
        Path.remove_suffix(1);
    std::size_t slash = Path.rfind('/');
    return slash == std::string_view::npos ? Path : Path.substr(slash + 1);
}

} // namespace

bool IsPlainFileOrDir(const struct stat& St) {
    return S_ISREG(St.st_mode) || S_ISDIR(St.st_mode);
}

std::uint32_t AttributesFromStat(const struct stat& St, std::string_view Name) {
    std::uint32_t attr = 0;
    if (S_ISDIR(St.st_mode))
        attr |= faDirectory;
    else if (S_ISREG(St.st_mode))
        attr |= faArchive;
    else
        attr |= faSysFile;
    if ((St.st_mode & S_IWUSR) == 0) attr |= faReadOnly;
    if (!Name.empty() && Name.front() == '.' && !IsDotOrDotDot(Name)) attr |= faHidden;
    return attr;
}

bool StatEntryAt(int DirFd, const char* Name, struct stat& St) {
    if (fstatat(DirFd, Name, &St, 0) == 0) return true;
    return fstatat(DirFd, Name, &St, AT_SYMLINK_NOFOLLOW) == 0;
}

std::uint32_t FileAttributesOf(const std::string& Path) {
    struct stat st {};
    if (Path.empty() || !StatEntryAt(AT_FDCWD, Path.c_str(), st)) return faInvalid;
    return AttributesFromStat(st, LastComponent(Path));
}

int TDirWalk::Fd() const {
    return FDir ? dirfd(FDir.get()) : -1;
}

void TDirWalk::Close() {
    FDir.reset();
    FError = 0;
}

bool TDirWalk::Adopt(int Fd) {
    Close();
    if (Fd < 0) {
        FError = errno;
        return false;
    }
    // O_DIRECTORY and O_NONBLOCK make sure that nothing but a folder is ever opened: a FIFO
    // that took a folder's place is refused instead of waiting for a writer.
    int failure = 0;
    if (fstat(Fd, &FStat) != 0)
        failure = errno;
    else if (!S_ISDIR(FStat.st_mode))
        failure = ENOTDIR;
    if (failure != 0) {
        FError = failure;
        close(Fd);
        return false;
    }
    DIR* dir = fdopendir(Fd);
    if (!dir) {
        FError = errno;
        close(Fd);
        return false;
    }
    FDir.reset(dir);
    FError = 0;
    return true;
}

bool TDirWalk::Open(const std::string& Path) {
    return Adopt(open(Path.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
}

bool TDirWalk::OpenAt(const TDirWalk& Parent, const std::string& Name) {
    if (!Parent.IsOpen()) {
        Close();
        FError = EBADF;
        return false;
    }
    return Adopt(openat(Parent.Fd(), Name.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
}

bool TDirWalk::Next(TDirEntry& Entry) {
    if (!FDir) return false;
    for (;;) {
        errno = 0;
        const dirent* ent = readdir(FDir.get());
        if (!ent) {
            FError = errno;
            return false;
        }
        if (IsDotOrDotDot(ent->d_name)) continue;
        // An entry that vanished since the folder was read, or whose status this user may not
        // read, is passed over.
        if (!StatEntryAt(dirfd(FDir.get()), ent->d_name, Entry.Stat)) {
            if (errno != ENOENT) ++FUnreadable;
            continue;
        }
        Entry.Name = ent->d_name;
        Entry.Attr = AttributesFromStat(Entry.Stat, Entry.Name);
        return true;
    }
}

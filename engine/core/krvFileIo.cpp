#include "engine/core/krvFileIo.h"

#include "engine/core/krvDates.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvZipCommon.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <string_view>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

TUniqueFd& TUniqueFd::operator=(TUniqueFd&& Other) noexcept {
    if (this != &Other) {
        if (FFd >= 0) ::close(FFd);
        FFd = Other.Release();
    }
    return *this;
}

TUniqueFd::~TUniqueFd() {
    if (FFd >= 0) ::close(FFd);
}

int TUniqueFd::Release() {
    return std::exchange(FFd, -1);
}

TUniqueFd OpenForReading(const std::string& Name) {
    return TUniqueFd(::open(Name.c_str(), O_RDONLY | O_CLOEXEC));
}

std::int64_t ReadFileAt(int Fd, std::int64_t Pos, void* Buffer, std::int64_t Count) {
    auto* p = static_cast<std::uint8_t*>(Buffer);
    std::int64_t done = 0;
    for (ssize_t n; done < Count && (n = ::pread(Fd, p + done, static_cast<std::size_t>(Count - done),
                                                 static_cast<off_t>(Pos + done))) > 0;)
        done += n;
    return done;
}

mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    // Older kernels do not show it: read it by setting it back at once.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

int CreateTempFileAt(int DirFd, const std::string& Prefix, std::string& Leaf) {
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return -1;
        Leaf = Prefix;
        for (unsigned char r : random)
            Leaf += Letters[r % (sizeof Letters - 1)];
        const int fd =
            ::openat(DirFd, Leaf.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno != EEXIST) return fd;
            continue;
        }
        // Locked before anything is written. A clean-up that took the lock first has removed
        // the name: another one is made. A file system without locks leaves it unlocked,
        // and then no clean-up can lock it either.
        int locked = 0;
        while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        struct stat own {
        }, named{};
        if (locked != 0 ||
            (::fstat(fd, &own) == 0 && ::fstatat(DirFd, Leaf.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
             own.st_dev == named.st_dev && own.st_ino == named.st_ino))
            return fd;
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

void RemoveAbandonedTemporaries(const std::string& Dir, const std::string& Prefix,
                                const std::function<void(const std::string&)>& Removed) {
    const TUniqueFd dir(::open(Dir.empty() ? "." : Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return;
    const int listFd = ::fcntl(dir.Get(), F_DUPFD_CLOEXEC, 0);
    if (listFd < 0) return;
    DIR* list = ::fdopendir(listFd);
    if (!list) {
        ::close(listFd);
        return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(list, ::closedir);
    const auto isLetter = [](char C) { return std::isalnum(static_cast<unsigned char>(C)) != 0; };
    while (const dirent* entry = ::readdir(list)) {
        const std::string_view name(entry->d_name);
        if (name.size() != Prefix.size() + 6 || name.substr(0, Prefix.size()) != Prefix ||
            !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(Prefix.size()), name.end(), isLetter))
            continue;
        struct stat st {};
        if (::fstatat(dir.Get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid())
            continue;
        const TUniqueFd file(
            ::openat(dir.Get(), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!file || ::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) continue;
        // Still the file that was locked: removed while the lock keeps its maker from using it.
        struct stat held {};
        if (::fstat(file.Get(), &held) != 0 ||
            ::fstatat(dir.Get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || held.st_dev != st.st_dev ||
            held.st_ino != st.st_ino)
            continue;
        if (::unlinkat(dir.Get(), entry->d_name, 0) == 0 && Removed)
            Removed((Dir.empty() || Dir.back() == '/' ? Dir : Dir + '/') + entry->d_name);
    }
}

std::string CreateTempFolder(const std::string& Dir, const std::string& Prefix) {
    std::string name = (Dir.empty() || Dir.back() == '/' ? Dir : Dir + '/') + Prefix + "XXXXXX";
    if (!::mkdtemp(name.data())) return {};
    return name;
}

namespace {

bool MakeDirs(const std::string& Dir) {
    if (Dir.empty()) return false;
    struct stat st {};
    if (::stat(Dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::size_t slash = Dir.find_last_of('/', Dir.size() > 1 ? Dir.size() - 2 : 0);
    if (slash != std::string::npos && slash > 0) MakeDirs(Dir.substr(0, slash));
    return ::mkdir(Dir.c_str(), 0777) == 0 || errno == EEXIST;
}

// The parts of a relative '/'-separated path.
std::vector<std::string> SplitLocal(const std::string& Path) {
    std::vector<std::string> parts;
    std::string part;
    for (std::size_t i = 0; i <= Path.size(); ++i) {
        if (i < Path.size() && Path[i] != '/') {
            part += Path[i];
        } else {
            if (!part.empty() && part != ".") parts.push_back(part);
            part.clear();
        }
    }
    return parts;
}

} // namespace

int OpenDirBeneath(const std::string& Root, const std::vector<std::string>& Parts, bool Create) {
    const std::string root = Root.empty() ? "." : Root;
    TUniqueFd dir(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir && errno == ENOENT && Create && MakeDirs(root))
        dir = TUniqueFd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return -1;
    for (const std::string& part : Parts) {
        if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos) {
            errno = EINVAL;
            return -1;
        }
        constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = ::openat(dir.Get(), part.c_str(), flags);
        if (next < 0 && errno == ENOENT && Create) {
            if (::mkdirat(dir.Get(), part.c_str(), 0777) != 0 && errno != EEXIST) return -1;
            next = ::openat(dir.Get(), part.c_str(), flags);
        }
        // A symbolic link in the way gives ELOOP (or ENOTDIR): refused.
        if (next < 0) return -1;
        dir = TUniqueFd(next);
    }
    return dir.Release();
}

int OpenParentOf(const TZipCommon& Sender, const std::string& FileName, bool CreateDirs, std::string& Leaf) {
    const std::size_t slash = FileName.find_last_of('/');
    Leaf = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
    if (Leaf.empty() || Leaf == "." || Leaf == "..") {
        errno = EISDIR;
        return -1;
    }
    const std::string folder = slash == std::string::npos ? std::string() : FileName.substr(0, slash + 1);
    const std::string& root = Sender.ExtractDir();
    if (!root.empty() && folder.compare(0, root.size(), root) == 0)
        return OpenDirBeneath(root, SplitLocal(folder.substr(root.size())), CreateDirs);
    // Not below the destination (a writer's own file): only the last part is guarded.
    return OpenDirBeneath(folder.empty() ? std::string(".") : folder, {}, CreateDirs);
}

std::unique_ptr<TFileStream32> OpenFileCommon(TZipCommon& Sender, const std::string& FileName, int Flags,
                                              bool CreateDirs) {
    std::string leaf;
    TUniqueFd dir(OpenParentOf(Sender, FileName, CreateDirs, leaf));
    int fd = -1;
    if (dir) fd = ::openat(dir.Get(), leaf.c_str(), Flags | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            fd = -1;
            errno = EISDIR;
        }
    }
    if (fd < 0) {
        Sender.ReportError(FileName, std::strerror(errno), "0", ecErrorOpeningFile);
        return nullptr;
    }
    return std::make_unique<TFileStream32>(fd);
}

std::unique_ptr<TFileStream32> CreateOutputFile(TZipCommon& Sender, const std::string& FileName,
                                                bool Overwrite) {
    return OpenFileCommon(Sender, FileName, O_WRONLY | O_CREAT | (Overwrite ? O_TRUNC : O_EXCL), true);
}

std::unique_ptr<TFileStream32> OpenOutputForAppend(TZipCommon& Sender, const std::string& FileName) {
    std::string leaf;
    TUniqueFd dir(OpenParentOf(Sender, FileName, true, leaf));
    struct stat st {};
    // "Normal attributes": an existing read-only file is made writable by its owner.
    if (dir && ::fstatat(dir.Get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        !(st.st_mode & S_IWUSR))
        ::fchmodat(dir.Get(), leaf.c_str(), (st.st_mode | S_IWUSR) & 0777, 0);
    auto stream = OpenFileCommon(Sender, FileName, O_WRONLY, false);
    if (stream && stream->Seek(0, soEnd) < 0) return nullptr;
    return stream;
}

std::int64_t GetFilePos(TStream32& Stream) {
    return Stream.Seek(0, soCurrent);
}

bool SeekFile(TStream32& Stream, std::int64_t Offset, TSeekOrigin Origin) {
    return Stream.Seek(Offset, Origin) >= 0;
}

std::int64_t GetFileSize32(TStream32& Stream) {
    const std::int64_t size = Stream.GetSize();
    return size < 0 ? 0 : size;
}

std::uint32_t GetFileDosDate(TStream32& Stream, int Which) {
    auto* handle = dynamic_cast<THandleStream32*>(&Stream);
    struct stat st {};
    if (!handle || ::fstat(handle->Handle, &st) != 0) return 0;
    switch (Which) {
    case 0:
        return FileTimeToDosTime(st.st_ctime);
    case 1:
        return FileTimeToDosTime(st.st_mtime);
    case 2:
        return FileTimeToDosTime(st.st_atime);
    default:
        return 0;
    }
}

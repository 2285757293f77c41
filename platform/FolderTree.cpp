#include "platform/FolderTree.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct TDirCloser {
    void operator()(DIR* Dir) const { ::closedir(Dir); }
};

bool RemoveAt(int DirFd, const std::string& Name);

// Deletes every entry of the open folder Fd (which the function takes over).
bool EmptyFolder(int Fd) {
    const std::unique_ptr<DIR, TDirCloser> dir(::fdopendir(Fd));
    if (!dir) {
        ::close(Fd);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    bool ok = true;
    for (const std::string& name : names)
        ok = RemoveAt(::dirfd(dir.get()), name) && ok;
    return ok;
}

bool RemoveAt(int DirFd, const std::string& Name) {
    struct stat st {};
    if (::fstatat(DirFd, Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlinkat(DirFd, Name.c_str(), 0) == 0 || errno == ENOENT;
    const int fd = ::openat(DirFd, Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        // Swapped for a link or a file meanwhile: that goes by itself.
        return (errno == ELOOP || errno == ENOTDIR) && ::unlinkat(DirFd, Name.c_str(), 0) == 0;
    }
    const bool emptied = EmptyFolder(fd);
    return ::unlinkat(DirFd, Name.c_str(), AT_REMOVEDIR) == 0 && emptied;
}

} // namespace

bool RemoveTree(const std::string& Path) {
    std::string path = Path;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const std::size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    if (leaf.empty() || leaf == "." || leaf == "..") return false;
    const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) return false;
    const bool gone = RemoveAt(parentFd, leaf);
    ::close(parentFd);
    return gone;
}

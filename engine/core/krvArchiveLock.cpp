#include "engine/core/krvArchiveLock.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::string FolderOf(const std::string& Path) {
    const std::size_t slash = Path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : Path.substr(0, slash);
}

bool SameFile(const struct stat& A, const struct stat& B) {
    return A.st_dev == B.st_dev && A.st_ino == B.st_ino;
}

} // namespace

TArchiveLock::~TArchiveLock() {
    Release();
}

void TArchiveLock::Release() {
    if (FFd >= 0) ::close(FFd); // closing the last descriptor lets the lock go
    FFd = -1;
}

bool TArchiveLock::Acquire(const std::string& Archive, const std::function<void()>& Waiting,
                           const std::function<bool()>& Stop) {
    Release();
    bool told = false;
    for (;;) {
        // The archive itself, or its folder while there is no archive of the name.
        bool onFolder = false;
        int fd = ::open(Archive.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 && errno == ENOENT) {
            onFolder = true;
            fd = ::open(FolderOf(Archive).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        }
        if (fd < 0) return true; // nothing to lock with: the job reports what it cannot open
        for (;;) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) break;
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) {
                ::close(fd);
                return true;
            }
            if (!told && Waiting) Waiting();
            told = true;
            if (Stop && Stop()) {
                ::close(fd);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // The holder may have put a new archive under the name (or made the first one) while
        // this run waited: the lock counts only on what the name holds now.
        struct stat held {
        }, named{};
        const bool nowNamed = ::stat(Archive.c_str(), &named) == 0;
        const bool fits = onFolder ? !nowNamed : ::fstat(fd, &held) == 0 && nowNamed && SameFile(held, named);
        if (fits) {
            FFd = fd;
            return true;
        }
        ::close(fd);
    }
}

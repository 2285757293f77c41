#include "platform/FileMove.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A descriptor closed when it goes.
struct TFd {
    int Fd = -1;
    explicit TFd(int Value) : Fd(Value) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() {
        if (Fd >= 0) ::close(Fd);
    }
};

bool WriteAll(int Fd, const char* Data, std::size_t Size) {
    while (Size > 0) {
        const ssize_t n = ::write(Fd, Data, Size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        Data += n;
        Size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Up to Size bytes; fewer only at the end of the file; -1 on an error.
ssize_t ReadFull(int Fd, char* Data, std::size_t Size) {
    std::size_t done = 0;
    while (done < Size) {
        const ssize_t n = ::read(Fd, Data + done, Size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool SameContents(int A, int B) {
    if (::lseek(A, 0, SEEK_SET) != 0 || ::lseek(B, 0, SEEK_SET) != 0) return false;
    std::vector<char> a(1 << 16), b(1 << 16);
    for (;;) {
        const ssize_t na = ReadFull(A, a.data(), a.size());
        const ssize_t nb = ReadFull(B, b.data(), b.size());
        if (na < 0 || nb < 0 || na != nb) return false;
        if (na == 0) return true;
        if (std::memcmp(a.data(), b.data(), static_cast<std::size_t>(na)) != 0) return false;
    }
}

} // namespace

bool CopyFileVerified(const std::string& From, const std::string& To) {
    const TFd in(::open(From.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.Fd < 0 || ::fstat(in.Fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const std::size_t slash = To.rfind('/');
    std::string temp =
        (slash == std::string::npos ? std::string() : To.substr(0, slash + 1)) + ".quillar-copy-XXXXXX";
    const TFd out(::mkstemp(temp.data()));
    if (out.Fd < 0) return false;
    bool good = true;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ReadFull(in.Fd, buffer.data(), buffer.size());
        if (n < 0 || (n > 0 && !WriteAll(out.Fd, buffer.data(), static_cast<std::size_t>(n)))) {
            good = false;
            break;
        }
        if (n == 0) break;
    }
    // What reached the disk is read back before it takes the name.
    good = good && ::fsync(out.Fd) == 0 && SameContents(in.Fd, out.Fd) &&
           ::fchmod(out.Fd, st.st_mode & 0777) == 0 && ::rename(temp.c_str(), To.c_str()) == 0;
    if (!good) ::unlink(temp.c_str());
    return good;
}

bool MoveFileVerified(const std::string& From, const std::string& To) {
    struct stat st {};
    if (::lstat(From.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (::rename(From.c_str(), To.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    if (!CopyFileVerified(From, To)) return false;
    return ::unlink(From.c_str()) == 0;
}

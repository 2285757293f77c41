#include "platform/RegistryStore.h"

#include "platform/RegistryText.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A descriptor closed on destruction.
class TFd {
public:
    explicit TFd(int Fd) : FFd(Fd) {}
    ~TFd() {
        if (FFd >= 0) ::close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

const char* RootFileBase(TRegRoot Root) {
    switch (Root) {
    case TRegRoot::LocalMachine:
        return "machine.reg";
    case TRegRoot::ClassesRoot:
        return "classes.reg";
    default:
        return "user.reg";
    }
}

bool MakeFolders(const std::string& Path) {
    for (std::size_t slash = Path.find('/', 1);; slash = Path.find('/', slash + 1)) {
        const std::string part = Path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The whole file; an empty text when it does not exist, nullopt when it cannot be read.
std::optional<std::string> ReadWhole(const std::string& FileName) {
    TFd fd(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return errno == ENOENT ? std::optional<std::string>(std::string()) : std::nullopt;
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got == 0) return text;
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

bool WriteAll(int Fd, const std::string& Text) {
    std::size_t done = 0;
    while (done < Text.size()) {
        const ssize_t put = ::write(Fd, Text.data() + done, Text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// Writes Text to a sibling temporary file and renames it onto FileName.
bool ReplaceFile(const std::string& FileName, const std::string& Text) {
    std::string temp = FileName + ".XXXXXX";
    const int raw = ::mkostemp(temp.data(), O_CLOEXEC);
    if (raw < 0) return false;
    bool ok;
    {
        TFd fd(raw);
        ok = ::fchmod(fd.Get(), 0600) == 0 && WriteAll(fd.Get(), Text) && ::fsync(fd.Get()) == 0;
    }
    ok = ok && ::rename(temp.c_str(), FileName.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

} // namespace

const char* RegRootName(TRegRoot Root) {
    switch (Root) {
    case TRegRoot::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    case TRegRoot::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    default:
        return "HKEY_CURRENT_USER";
    }
}

std::string RegistryFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') return std::string(config) + "/quillar";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/quillar";
}

std::string RegistryFileName(TRegRoot Root) {
    return RegistryFolder() + '/' + RootFileBase(Root);
}

TRegKeyNode LoadRegistryRoot(TRegRoot Root) {
    const auto text = ReadWhole(RegistryFileName(Root));
    if (!text) return {};
    return ParseRegistryText(*text, RegRootName(Root)).Root;
}

bool UpdateRegistryRoot(TRegRoot Root, const std::function<bool(TRegKeyNode&)>& Change) {
    const std::string folder = RegistryFolder();
    if (!MakeFolders(folder)) return false;
    const std::string fileName = RegistryFileName(Root);
    TFd lock(::open((fileName + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.Get() < 0) return false;
    int locked;
    do {
        locked = ::flock(lock.Get(), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) return false;
    // The lock goes with the descriptor.
    const auto text = ReadWhole(fileName);
    if (!text) return false; // never overwrite what could not be read
    TRegParseResult parsed = ParseRegistryText(*text, RegRootName(Root));
    if (!Change(parsed.Root)) return false;
    if (parsed.BadLines > 0 && !ReplaceFile(fileName + ".damaged", *text)) return false;
    return ReplaceFile(fileName, FormatRegistryText(parsed.Root, RegRootName(Root)));
}

bool RegistryRootWritable(TRegRoot Root) {
    const std::string fileName = RegistryFileName(Root);
    if (::access(fileName.c_str(), F_OK) == 0) return ::access(fileName.c_str(), W_OK) == 0;
    // No file yet: the nearest folder that exists decides; a file on the way makes it impossible.
    std::string folder = RegistryFolder();
    while (!folder.empty() && ::access(folder.c_str(), F_OK) != 0)
        folder.resize(folder.rfind('/'));
    const char* existing = folder.empty() ? "/" : folder.c_str();
    struct stat st {};
    return ::stat(existing, &st) == 0 && S_ISDIR(st.st_mode) && ::access(existing, W_OK) == 0;
}

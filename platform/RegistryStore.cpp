#include "platform/RegistryStore.h"

#include "platform/FileReplace.h"
#include "platform/RegistryText.h"
#include "platform/XdgFolders.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
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
    return XdgConfigHome() + "/quillar";
}

std::string RegistryFileName(TRegRoot Root) {
    return RegistryFolder() + '/' + RootFileBase(Root);
}

namespace {

// The last text read from a root's file and its tree: a root read again unchanged (the common
// case: a start-up reads a few hundred values) is neither parsed nor read again. The file is
// looked at (stat) on every read; it is taken as unchanged only when it is the same file (device
// and inode: writes put a new file in place) of the same size and change times, and when those
// times lie well before the moment it was read. A file changed within a tick of the file
// system's clock can keep its times, so one read soon after a change is never trusted.
struct TParsedRoot {
    std::string FileName;
    std::string Text;
    std::shared_ptr<const TRegKeyNode> Tree;
    struct stat Stat {};
    bool Settled = false; // Stat identifies Text
};

std::mutex ParsedRootsMutex;
TParsedRoot ParsedRoots[3];

// How long before a read a file's last change must lie for its times to tell it apart from any
// later change: several ticks of the clock file systems stamp times with, or two seconds where
// they keep whole seconds only.
std::int64_t SettledNanoseconds(const struct stat& St) {
    return St.st_mtim.tv_nsec == 0 && St.st_ctim.tv_nsec == 0 ? 2'000'000'000 : 100'000'000;
}

std::int64_t Nanoseconds(const timespec& Time) {
    return static_cast<std::int64_t>(Time.tv_sec) * 1'000'000'000 + Time.tv_nsec;
}

bool SameFile(const struct stat& A, const struct stat& B) {
    return A.st_dev == B.st_dev && A.st_ino == B.st_ino && A.st_size == B.st_size &&
           Nanoseconds(A.st_mtim) == Nanoseconds(B.st_mtim) &&
           Nanoseconds(A.st_ctim) == Nanoseconds(B.st_ctim);
}

} // namespace

std::shared_ptr<const TRegKeyNode> LoadRegistryRoot(TRegRoot Root) {
    const std::string fileName = RegistryFileName(Root);
    struct stat before {};
    const bool statted = ::stat(fileName.c_str(), &before) == 0;
    TParsedRoot& last = ParsedRoots[static_cast<int>(Root)];
    if (statted) {
        const std::lock_guard lock(ParsedRootsMutex);
        if (last.Tree && last.Settled && last.FileName == fileName && SameFile(last.Stat, before))
            return last.Tree;
    }
    timespec readAt{};
    ::clock_gettime(CLOCK_REALTIME, &readAt);
    std::optional<std::string> text = ReadWholeFile(fileName);
    if (!text) return std::make_shared<const TRegKeyNode>();
    const std::lock_guard lock(ParsedRootsMutex);
    if (!last.Tree || last.FileName != fileName || last.Text != *text) {
        auto tree = std::make_shared<const TRegKeyNode>(ParseRegistryText(*text, RegRootName(Root)).Root);
        last.FileName = fileName;
        last.Text = std::move(*text);
        last.Tree = std::move(tree);
    }
    // The times looked at before the read name what was read only when no change can have
    // come in the same tick of the file system's clock.
    last.Stat = before;
    const std::int64_t settledBefore = Nanoseconds(readAt) - SettledNanoseconds(before);
    last.Settled =
        statted && Nanoseconds(before.st_ctim) < settledBefore && Nanoseconds(before.st_mtim) < settledBefore;
    return last.Tree;
}

bool UpdateRegistryRoot(TRegRoot Root, const std::function<bool(TRegKeyNode&)>& Change) {
    const std::string folder = RegistryFolder();
    if (!MakeFolders(folder, 0700)) return false;
    const std::string fileName = RegistryFileName(Root);
    TFd lock(::open((fileName + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.Get() < 0) return false;
    int locked;
    do {
        locked = ::flock(lock.Get(), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) return false;
    // The lock goes with the descriptor.
    const auto text = ReadWholeFile(fileName);
    if (!text) return false; // never overwrite what could not be read
    TRegParseResult parsed = ParseRegistryText(*text, RegRootName(Root));
    if (!Change(parsed.Root)) return false;
    if (parsed.BadLines > 0 && !ReplaceFile(fileName + ".damaged", *text, 0600)) return false;
    const std::string changed = FormatRegistryText(parsed.Root, RegRootName(Root));
    // A change that leaves the text as it is (a value written again unchanged: the autostart
    // command at every start) costs no new file and no flush to the disk.
    if (changed == *text) return true;
    return ReplaceFile(fileName, changed, 0600);
}

namespace {

// True when Path is a regular file this process may write, or is missing from a folder it may
// write to.
bool MayWriteFile(const std::string& Path) {
    struct stat st {};
    if (::lstat(Path.c_str(), &st) == 0) return S_ISREG(st.st_mode) && ::access(Path.c_str(), W_OK) == 0;
    // Missing: the nearest folder that exists decides; a file on the way makes it impossible.
    std::string folder = Path.substr(0, Path.rfind('/'));
    while (!folder.empty() && ::access(folder.c_str(), F_OK) != 0)
        folder.resize(folder.rfind('/'));
    const char* existing = folder.empty() ? "/" : folder.c_str();
    return ::stat(existing, &st) == 0 && S_ISDIR(st.st_mode) && ::access(existing, W_OK) == 0;
}

} // namespace

bool RegistryRootWritable(TRegRoot Root) {
    // A change needs its lock file as well as the file.
    const std::string fileName = RegistryFileName(Root);
    return MayWriteFile(fileName) && MayWriteFile(fileName + ".lock");
}

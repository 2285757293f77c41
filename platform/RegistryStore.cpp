#include "platform/RegistryStore.h"

#include "platform/FileReplace.h"
#include "platform/RegistryText.h"
#include "platform/XdgFolders.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <mutex>
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
// case: a start-up reads a few hundred values) is not parsed again. The file is still read
// every time, so a reader sees what the file holds now.
struct TParsedRoot {
    std::string FileName;
    std::string Text;
    std::shared_ptr<const TRegKeyNode> Tree;
};

std::mutex ParsedRootsMutex;
TParsedRoot ParsedRoots[3];

} // namespace

std::shared_ptr<const TRegKeyNode> LoadRegistryRoot(TRegRoot Root) {
    const std::string fileName = RegistryFileName(Root);
    std::optional<std::string> text = ReadWholeFile(fileName);
    if (!text) return std::make_shared<const TRegKeyNode>();
    const std::lock_guard lock(ParsedRootsMutex);
    TParsedRoot& last = ParsedRoots[static_cast<int>(Root)];
    if (!last.Tree || last.FileName != fileName || last.Text != *text) {
        auto tree = std::make_shared<const TRegKeyNode>(ParseRegistryText(*text, RegRootName(Root)).Root);
        last = {fileName, std::move(*text), std::move(tree)};
    }
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

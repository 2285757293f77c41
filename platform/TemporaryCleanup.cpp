#include "platform/TemporaryCleanup.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");

constexpr std::size_t MaxRegisteredTemporaries = 64;

enum TSlotState : int { ssFree, ssBusy, ssReady };

struct TSlot {
    std::atomic<int> State{ssFree};
    int DirFd = -1;
    bool OwnsFd = true; // else the registration's keeper holds it open
    bool Folder = false;
    char Leaf[256] = {};
};

TSlot Slots[MaxRegisteredTemporaries];

// Threads between making a temporary and registering it (under a TCleanupSignalsHeld). The
// signal is held back in those threads only: a handler that runs in another one waits for
// them, so that what they make is registered before it looks.
std::atomic<int> Creating{0};

// The holds the calling thread is in. A handler that runs in such a thread leaves the signal to
// the end of the hold (Deferred): holding back by the signal mask would cost two calls per file.
// Initial-exec, so that the handler reads it without the allocation a first access may make.
thread_local std::atomic<int> HeldHere __attribute__((tls_model("initial-exec"))){0};
std::atomic<int> Deferred{0};

void RemoveTemporariesAndReraise(int Signal);

void InstallHandler(int Signal) {
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndReraise;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    ::sigaction(Signal, &action, nullptr);
}

// Folders deeper than this below a registered one are left (a temporary tree is shallow).
constexpr int MaxTreeDepth = 24;

// Removes the folder Leaf of DirFd with everything in it, by calls a signal handler may make.
// Removing names while reading the folder can hide others from the reading: it is read again
// until it is empty or a pass removes nothing. True when the folder is gone.
bool RemoveTreeAt(int DirFd, const char* Leaf, int Depth) {
    if (::unlinkat(DirFd, Leaf, AT_REMOVEDIR) == 0 || errno == ENOENT) return true;
    if (Depth > MaxTreeDepth) return false;
    const int fd = ::openat(DirFd, Leaf, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    bool gone = false;
    for (bool removed = true; removed && !gone;) {
        removed = false;
        if (::lseek(fd, 0, SEEK_SET) != 0) break;
        alignas(dirent64) char buffer[2048];
        for (ssize_t n; (n = ::getdents64(fd, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
                at += entry->d_reclen;
                const char* name = entry->d_name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
                if (entry->d_type != DT_DIR && ::unlinkat(fd, name, 0) == 0) {
                    removed = true;
                    continue;
                }
                if ((entry->d_type == DT_DIR || errno == EISDIR) && RemoveTreeAt(fd, name, Depth + 1))
                    removed = true;
            }
        }
        gone = ::unlinkat(DirFd, Leaf, AT_REMOVEDIR) == 0;
    }
    ::close(fd);
    return gone;
}

void RemoveTemporariesAndReraise(int Signal) {
    const int savedErrno = errno;
    if (HeldHere.load() > 0) {
        // This thread is making a temporary: the end of its hold removes it and ends the process.
        // The handler stays, so that another signal meanwhile waits as well.
        int none = 0;
        Deferred.compare_exchange_strong(none, Signal);
        InstallHandler(Signal);
        errno = savedErrno;
        return;
    }
    // At most about a second: a registration takes microseconds.
    for (int wait = 0; wait < 1000 && Creating.load(std::memory_order_acquire) > 0; ++wait) {
        const timespec millisecond{0, 1000000};
        ::nanosleep(&millisecond, nullptr);
    }
    for (TSlot& slot : Slots) {
        if (slot.State.load(std::memory_order_acquire) != ssReady) continue;
        if (slot.Folder)
            RemoveTreeAt(slot.DirFd, slot.Leaf, 0);
        else
            ::unlinkat(slot.DirFd, slot.Leaf, 0);
    }
    // The handler was installed with SA_RESETHAND: the default action ends the process once the
    // signal, blocked while the handler runs, is delivered on return.
    ::raise(Signal);
    errno = savedErrno;
}

} // namespace

TTemporaryRegistration::TTemporaryRegistration(int DirFd, const std::string& Leaf, bool Folder) {
    if (Leaf.empty() || Leaf.size() >= sizeof(TSlot::Leaf)) return;
    for (std::size_t i = 0; i < MaxRegisteredTemporaries; ++i) {
        TSlot& slot = Slots[i];
        int expected = ssFree;
        if (!slot.State.compare_exchange_strong(expected, ssBusy, std::memory_order_acquire)) continue;
        slot.DirFd = ::fcntl(DirFd, F_DUPFD_CLOEXEC, 0);
        if (slot.DirFd < 0) {
            slot.State.store(ssFree, std::memory_order_release);
            return;
        }
        slot.OwnsFd = true;
        std::memcpy(slot.Leaf, Leaf.c_str(), Leaf.size() + 1);
        slot.Folder = Folder;
        slot.State.store(ssReady, std::memory_order_release);
        FSlot = static_cast<int>(i);
        return;
    }
}

TTemporaryRegistration::TTemporaryRegistration(int DirFd, const std::string& Leaf,
                                               std::shared_ptr<const void> DirKeeper) {
    if (DirFd < 0 || Leaf.empty() || Leaf.size() >= sizeof(TSlot::Leaf)) return;
    for (std::size_t i = 0; i < MaxRegisteredTemporaries; ++i) {
        TSlot& slot = Slots[i];
        int expected = ssFree;
        if (!slot.State.compare_exchange_strong(expected, ssBusy, std::memory_order_acquire)) continue;
        slot.DirFd = DirFd;
        slot.OwnsFd = false;
        std::memcpy(slot.Leaf, Leaf.c_str(), Leaf.size() + 1);
        slot.Folder = false;
        FDirKeeper = std::move(DirKeeper);
        slot.State.store(ssReady, std::memory_order_release);
        FSlot = static_cast<int>(i);
        return;
    }
}

TTemporaryRegistration::TTemporaryRegistration(TTemporaryRegistration&& Other) noexcept
    : FSlot(std::exchange(Other.FSlot, -1)), FDirKeeper(std::move(Other.FDirKeeper)) {}

TTemporaryRegistration& TTemporaryRegistration::operator=(TTemporaryRegistration&& Other) noexcept {
    if (this != &Other) {
        Release();
        FSlot = std::exchange(Other.FSlot, -1);
        FDirKeeper = std::move(Other.FDirKeeper);
    }
    return *this;
}

TTemporaryRegistration::~TTemporaryRegistration() {
    Release();
}

void TTemporaryRegistration::Release() {
    if (FSlot < 0) return;
    TSlot& slot = Slots[FSlot];
    slot.State.store(ssBusy, std::memory_order_release);
    if (slot.OwnsFd) ::close(slot.DirFd);
    slot.DirFd = -1;
    slot.State.store(ssFree, std::memory_order_release);
    FSlot = -1;
    // The folder may be closed only once no handler can find it registered.
    FDirKeeper.reset();
}

TCleanupSignalsHeld::TCleanupSignalsHeld() {
    HeldHere.fetch_add(1);
    Creating.fetch_add(1, std::memory_order_acq_rel);
}

TCleanupSignalsHeld::~TCleanupSignalsHeld() {
    Creating.fetch_sub(1, std::memory_order_acq_rel);
    if (HeldHere.fetch_sub(1) != 1 || Deferred.load() == 0) return;
    // A signal came during the hold: what the handler would have done, with both signals held
    // back until the one that came ends the process by its default action.
    const int signal = Deferred.exchange(0);
    if (signal == 0) return;
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &held, nullptr);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    RemoveTemporariesAndReraise(signal);
    ::pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
}

void InstallTemporaryCleanupOnSignals() {
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        InstallHandler(signal);
    }
}

#include "platform/TemporaryCleanup.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
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
    char Leaf[256] = {};
};

TSlot Slots[MaxRegisteredTemporaries];

void RemoveTemporariesAndReraise(int Signal) {
    const int savedErrno = errno;
    for (TSlot& slot : Slots)
        if (slot.State.load(std::memory_order_acquire) == ssReady) ::unlinkat(slot.DirFd, slot.Leaf, 0);
    // The handler was installed with SA_RESETHAND: the default action ends the process once the
    // signal, blocked while the handler runs, is delivered on return.
    ::raise(Signal);
    errno = savedErrno;
}

} // namespace

TTemporaryRegistration::TTemporaryRegistration(int DirFd, const std::string& Leaf) {
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
        std::memcpy(slot.Leaf, Leaf.c_str(), Leaf.size() + 1);
        slot.State.store(ssReady, std::memory_order_release);
        FSlot = static_cast<int>(i);
        return;
    }
}

TTemporaryRegistration::TTemporaryRegistration(TTemporaryRegistration&& Other) noexcept
    : FSlot(std::exchange(Other.FSlot, -1)) {}

TTemporaryRegistration& TTemporaryRegistration::operator=(TTemporaryRegistration&& Other) noexcept {
    if (this != &Other) {
        Release();
        FSlot = std::exchange(Other.FSlot, -1);
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
    ::close(slot.DirFd);
    slot.DirFd = -1;
    slot.State.store(ssFree, std::memory_order_release);
    FSlot = -1;
}

TCleanupSignalsHeld::TCleanupSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &held, &FPrevious);
}

TCleanupSignalsHeld::~TCleanupSignalsHeld() {
    ::pthread_sigmask(SIG_SETMASK, &FPrevious, nullptr);
}

void InstallTemporaryCleanupOnSignals() {
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = RemoveTemporariesAndReraise;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaddset(&action.sa_mask, SIGINT);
        sigaddset(&action.sa_mask, SIGTERM);
        ::sigaction(signal, &action, nullptr);
    }
}

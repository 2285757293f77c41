#include "engine/core/EngineHost.h"

#include <chrono>
#include <future>
#include <thread>
#include <utility>

namespace {

std::unique_ptr<EngineHost>& InstalledHost() {
    static std::unique_ptr<EngineHost> host = std::make_unique<EngineHost>();
    return host;
}

bool pumping = false;
std::thread::id hostThread; // the thread that installed the host

// How often RunWhilePumping looks whether the host is due to run.
constexpr std::chrono::milliseconds WorkWaitStep{5};

} // namespace

EngineHost& EngineHost::Current() {
    return *InstalledHost();
}

std::unique_ptr<EngineHost> EngineHost::Install(std::unique_ptr<EngineHost> Host) {
    if (!Host) Host = std::make_unique<EngineHost>();
    hostThread = std::this_thread::get_id();
    return std::exchange(InstalledHost(), std::move(Host));
}

void EngineHost::Pump() {
    if (pumping) return;
    pumping = true;
    struct TReset {
        ~TReset() { pumping = false; }
    } reset;
    Current().DoPump();
    // The interval counts work from here, not the time the host took.
    Current().FSinceLastPump.Start();
}

void EngineHost::PumpIfDue() {
    const TkrvTimer& since = Current().FSinceLastPump;
    if (since.Running() && since.RunningMilliseconds() < PumpIntervalMs) return;
    Pump();
}

bool EngineHost::Pumping() {
    return pumping;
}

void EngineHost::RunWhilePumping(const std::function<void()>& Work) {
    if (pumping || !Current().HasEventLoop() || std::this_thread::get_id() != hostThread) {
        Work();
        return;
    }
    std::future<void> done = std::async(std::launch::async, Work);
    while (done.wait_for(WorkWaitStep) == std::future_status::timeout)
        PumpIfDue();
    done.get();
}

void EngineHost::WaitPumping(std::unique_lock<std::mutex>& Lock, std::condition_variable& Changed,
                             const std::function<bool()>& Ready) {
    if (pumping || !Current().HasEventLoop() || std::this_thread::get_id() != hostThread) {
        Changed.wait(Lock, Ready);
        return;
    }
    while (!Changed.wait_for(Lock, WorkWaitStep, Ready)) {
        Lock.unlock();
        PumpIfDue();
        Lock.lock();
    }
}

int EngineHost::Ask(const std::string& Text, TAskButtons Buttons) {
    Pump();
    return Current().DoAsk(Text, Buttons);
}

bool EngineHost::MoveToTrash(const std::string& Path) {
    return Current().DoMoveToTrash(Path);
}

std::string EngineHost::FileTypeName(const std::string& Path) {
    return Current().DoFileTypeName(Path);
}

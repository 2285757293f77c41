#include "engine/core/krvTimer.h"

#include <chrono>
#include <utility>

namespace {

std::uint64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

TkrvTimer::TkrvTimer() : FTicks(SteadyMilliseconds) {}

TkrvTimer::TkrvTimer(TTickSource Ticks) : FTicks(std::move(Ticks)) {
    if (!FTicks) FTicks = SteadyMilliseconds;
}

void TkrvTimer::SetTickSource(TTickSource Ticks) {
    FTicks = Ticks ? std::move(Ticks) : TTickSource(SteadyMilliseconds);
}

void TkrvTimer::Start() {
    FElapsed = 0;
    FPauseDepth = 0;
    FStart = FTicks();
    FRunning = true;
}

void TkrvTimer::Stop() {
    if (!FRunning) return;
    // A timer stopped while paused does not count the pause.
    const std::uint64_t now = FPauseDepth > 0 ? FPauseTick : FTicks();
    FElapsed = static_cast<float>(static_cast<double>(now - FStart) / 1000.0);
    FRunning = false;
    FPauseDepth = 0;
}

std::uint64_t TkrvTimer::RunningMilliseconds() const {
    if (!FRunning) return 0;
    return (FPauseDepth > 0 ? FPauseTick : FTicks()) - FStart;
}

void TkrvTimer::Pause() {
    if (!FRunning) return;
    if (FPauseDepth++ == 0) FPauseTick = FTicks();
}

void TkrvTimer::Resume() {
    if (!FRunning || FPauseDepth == 0) return;
    if (--FPauseDepth == 0) FStart += FTicks() - FPauseTick;
}

// The elapsed-time timer of a reader or writer run. Time spent in questions to the user
// (passwords, overwrites, errors) is paused out. The tick source can be replaced, so the
// arithmetic can be checked without waiting.
#pragma once

#include <cstdint>
#include <functional>

class TkrvTimer {
public:
    // Milliseconds from an arbitrary, steadily increasing origin.
    using TTickSource = std::function<std::uint64_t()>;

    TkrvTimer();
    explicit TkrvTimer(TTickSource Ticks);

    // Elapsed := 0 and the run starts now.
    void Start();
    // When running: Elapsed := seconds since Start (less pauses); the timer stops.
    void Stop();
    // When running: remembers when the pause began. Pauses nest: only the outermost
    // Pause/Resume pair counts.
    void Pause();
    // When running and paused: the pause is taken out of the elapsed time.
    void Resume();

    bool Running() const { return FRunning; }
    // While running: milliseconds since Start, less pauses; 0 when stopped.
    std::uint64_t RunningMilliseconds() const;
    bool Paused() const { return FPauseDepth > 0; }
    float Elapsed() const { return FElapsed; }

    void SetTickSource(TTickSource Ticks);

private:
    TTickSource FTicks;
    std::uint64_t FStart = 0;
    std::uint64_t FPauseTick = 0;
    int FPauseDepth = 0;
    bool FRunning = false;
    float FElapsed = 0;
};

// Pauses a timer for its own lifetime: time spent in a question to the user is not counted,
// however the question ends.
class TkrvTimerPause {
public:
    explicit TkrvTimerPause(TkrvTimer& Timer) : FTimer(Timer) { FTimer.Pause(); }
    ~TkrvTimerPause() { FTimer.Resume(); }
    TkrvTimerPause(const TkrvTimerPause&) = delete;
    TkrvTimerPause& operator=(const TkrvTimerPause&) = delete;

private:
    TkrvTimer& FTimer;
};

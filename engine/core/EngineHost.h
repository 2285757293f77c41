// The one seam from the engine to the program that hosts it: letting the host's event
// loop run during long work, asking the engine's few questions, moving files to the trash
// and naming file types. The default host does nothing and answers No; the application
// installs its own.
#pragma once

#include "engine/core/krvTimer.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

// Buttons offered by EngineHost::Ask.
enum TAskButtons { abOK, abOKCancel, abYesNo, abYesNoCancel, abRetryCancel };

// Answers of EngineHost::Ask (the usual modal results).
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrRetry = 4;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;

class EngineHost {
public:
    virtual ~EngineHost() = default;

    // Lets the host process pending events once. Re-entrant calls are ignored. For the points
    // that must let the host run: a job's start and end, and every question (Ask).
    static void Pump();
    // The pump of the per-block and per-entry points of long work: the host runs only when
    // PumpIntervalMs of work have passed since it last ran, so a job of many small pieces
    // does not spend its time in the host's event loop.
    static void PumpIfDue();
    static constexpr std::uint64_t PumpIntervalMs = 5;
    // True while the host is processing events from inside Pump(): a job started then is refused.
    static bool Pumping();
    // Runs Work, a long piece of work that touches nothing the host's events touch, and lets the
    // host run every few milliseconds until it is done: on another thread when called on the
    // thread that installed a host with an event loop, else at once on the calling thread (a
    // worker, a host without events, a call from inside Pump). An exception of Work is passed on.
    static void RunWhilePumping(const std::function<void()>& Work);
    // Waits on Changed (Lock held) until Ready() is true. On the thread that installed a host
    // with an event loop the host runs every few milliseconds meanwhile, so a job waiting for its
    // workers keeps the window answering; elsewhere it simply waits.
    static void WaitPumping(std::unique_lock<std::mutex>& Lock, std::condition_variable& Changed,
                            const std::function<bool()>& Ready);

    // Lets the host run, then asks.
    static int Ask(const std::string& Text, TAskButtons Buttons);
    static bool MoveToTrash(const std::string& Path);
    static std::string FileTypeName(const std::string& Path);

    // Installs the process-wide host; nullptr restores the default. Returns the previous one.
    static std::unique_ptr<EngineHost> Install(std::unique_ptr<EngineHost> Host);
    static EngineHost& Current();

    // The clock PumpIfDue measures work with, in milliseconds (empty: the steady clock).
    void SetPumpClock(TkrvTimer::TTickSource Ticks) { FSinceLastPump.SetTickSource(std::move(Ticks)); }

protected:
    // Whether DoPump runs an event loop that should keep turning during long work.
    virtual bool HasEventLoop() const { return false; }
    virtual void DoPump() {}
    virtual int DoAsk(const std::string& /*Text*/, TAskButtons /*Buttons*/) { return mrNo; }
    virtual bool DoMoveToTrash(const std::string& /*Path*/) { return false; }
    virtual std::string DoFileTypeName(const std::string& /*Path*/) { return {}; }

private:
    TkrvTimer FSinceLastPump; // started when the host last ran
};

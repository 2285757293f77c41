// Work done ahead on worker threads for the entries a job will come to in order. The job takes
// each result at the point where it would have done the work itself, so its events, questions
// and output are those of a one-thread run; workers never raise events. At most Window results
// are held at a time, so memory stays bounded by the workers' count; or, when the jobs say what
// each result holds, as many as fit in a budget of bytes (many small results ahead while the job
// spends long on a large entry of its own).
#pragma once

#include "engine/core/EngineHost.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// The threads a job uses: Requested, or one per core the process may run on when 0.
unsigned JobThreads(unsigned Requested);

template <class TResult> class TOrderedPrefetch {
public:
    // The work of one job, given its number; made once per worker, so that each has its own state.
    using TWork = std::function<TResult(int Index)>;
    using TMakeWork = std::function<TWork()>;

    // Indexes: the jobs in the order the job takes them (rising). MakeWork runs here, once per
    // worker: a failure to make one ends the caller, never a worker. Costs, when given: the bytes
    // the result of each job holds; results are then held ahead while Threads of them or
    // Budget bytes are not passed.
    TOrderedPrefetch(std::vector<int> Indexes, const TMakeWork& MakeWork, unsigned Threads,
                     const std::vector<std::int64_t>& Costs = {}, std::int64_t Budget = 0)
        : FIndexes(std::move(Indexes)), FSlots(FIndexes.size()) {
        const unsigned threads = std::max(1U, Threads);
        FWindow = threads;
        if (Costs.size() == FIndexes.size() && Budget > 0) {
            FBudget = Budget;
            FHeld.resize(Costs.size() + 1);
            for (std::size_t i = 0; i < Costs.size(); ++i)
                FHeld[i + 1] = FHeld[i] + Costs[i];
        }
        std::vector<TWork> works;
        for (unsigned t = 0; t < threads && t < FSlots.size(); ++t)
            works.push_back(MakeWork());
        for (TWork& work : works)
            FWorkers.emplace_back([this, w = std::move(work)] { Work(w); });
    }
    ~TOrderedPrefetch() {
        Stop();
        for (std::thread& worker : FWorkers)
            worker.join();
    }
    TOrderedPrefetch(const TOrderedPrefetch&) = delete;
    TOrderedPrefetch& operator=(const TOrderedPrefetch&) = delete;

    // The result for Index into Out, waiting for it; false when Index has no job or the work
    // failed. Results of earlier jobs not taken are dropped.
    bool Take(int Index, TResult& Out) {
        const auto at = std::lower_bound(FIndexes.begin(), FIndexes.end(), Index);
        if (at == FIndexes.end() || *at != Index) return false;
        const auto pos = static_cast<std::size_t>(at - FIndexes.begin());
        std::unique_lock lock(FLock);
        for (std::size_t i = FConsumed; i < pos; ++i)
            FSlots[i].Result.reset();
        FConsumed = std::max(FConsumed, pos);
        FNext = std::max(FNext, pos);
        WakeIdleWorkerToRefill();
        // The host runs while the job waits, as it would while the job did the work itself.
        FWaitedSlot = pos;
        EngineHost::WaitPumping(lock, FResultReady, [&] { return FSlots[pos].Done || FStop; });
        FWaitedSlot = NoSlot;
        if (!FSlots[pos].Done || !FSlots[pos].Result) return false;
        FConsumed = std::max(FConsumed, pos + 1);
        WakeIdleWorkerToRefill();
        Out = std::move(*FSlots[pos].Result);
        FSlots[pos].Result.reset();
        return true;
    }
    // Workers stop after the job in hand.
    void Stop() {
        const std::lock_guard lock(FLock);
        FStop = true;
        FWorkReady.notify_all();
        FResultReady.notify_all();
    }

private:
    struct TSlot {
        bool Done = false;
        std::optional<TResult> Result;
    };

    void Work(const TWork& DoWork) {
        std::unique_lock lock(FLock);
        for (;;) {
            ++FIdle;
            FWorkReady.wait(lock, [this] { return FStop || (FNext < FSlots.size() && MayStart()); });
            --FIdle;
            if (FStop) return;
            const std::size_t mine = FNext++;
            const int index = FIndexes[mine];
            // Another worker may start the slot after this one.
            WakeIdleWorker();
            lock.unlock();
            std::optional<TResult> result;
            try {
                result = DoWork(index);
            } catch (const std::exception&) {
                // Out of memory, say: the job does this work itself.
            }
            lock.lock();
            // A result the job has passed over meanwhile is not kept.
            if (mine >= FConsumed) FSlots[mine].Result = std::move(result);
            FSlots[mine].Done = true;
            if (FWaitedSlot == mine) FResultReady.notify_one();
        }
    }

    // Wakes one idle worker when a slot may start (called with the lock held). Each wakes the
    // next in turn, so a thread that frees one slot wakes one worker, not every one of them.
    void WakeIdleWorker() {
        if (FIdle > 0 && !FStop && FNext < FSlots.size() && MayStart()) FWorkReady.notify_one();
    }

    // WakeIdleWorker as the job takes results: with a budget, only once a quarter of it is free
    // again (or the job is close behind the workers), so that a worker, once woken, starts many
    // small slots in a row instead of one for each result taken.
    void WakeIdleWorkerToRefill() {
        if (FBudget > 0 && FNext >= FConsumed + FWindow && FNext < FSlots.size() &&
            FHeld[FNext] - FHeld[FConsumed] > FBudget - FBudget / 4)
            return;
        WakeIdleWorker();
    }

    // Whether the next slot may start: it is within the window, or its result and those held
    // ahead of the job fit in the budget.
    bool MayStart() const {
        return FNext < FConsumed + FWindow || (FBudget > 0 && FHeld[FNext + 1] - FHeld[FConsumed] <= FBudget);
    }

    std::vector<int> FIndexes;
    std::vector<TSlot> FSlots;
    std::size_t FNext = 0;           // the next slot a worker takes
    std::size_t FConsumed = 0;       // slots before this one were taken or dropped
    std::size_t FWindow = 1;         // slots that may be started ahead of FConsumed
    std::int64_t FBudget = 0;        // bytes of results that may be held ahead (0: the window only)
    std::vector<std::int64_t> FHeld; // the costs of the slots before each slot, summed
    static constexpr std::size_t NoSlot = static_cast<std::size_t>(-1);
    std::size_t FWaitedSlot = NoSlot; // the slot the job waits for
    unsigned FIdle = 0;               // workers waiting for a slot to start
    bool FStop = false;
    std::mutex FLock;
    std::condition_variable FWorkReady;   // workers wait here for a slot to start
    std::condition_variable FResultReady; // the job waits here for its slot
    std::vector<std::thread> FWorkers;
};

#include "engine/formats/tar/krvTarCopy.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvKernelCopy.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

class TParallelKernelCopy::TWork {
public:
    TWork(int In, int Out, std::int64_t OutStart, std::int64_t Size, std::int64_t Step, unsigned Threads)
        : FIn(In), FOut(Out), FOutStart(OutStart), FSize(Size), FStep(Step),
          FState(static_cast<std::size_t>((Size + Step - 1) / Step), Pending) {
        for (unsigned i = 0; i < Threads; ++i)
            FThreads.emplace_back([this] { Run(); });
    }
    ~TWork() {
        {
            const std::lock_guard lock(FLock);
            FStop = true;
        }
        for (std::thread& t : FThreads)
            t.join();
    }
    TWork(const TWork&) = delete;
    TWork& operator=(const TWork&) = delete;

    bool Copied(std::size_t Index) {
        if (Index >= FState.size()) return false;
        std::unique_lock lock(FLock);
        EngineHost::WaitPumping(lock, FDone, [&] { return FState[Index] != Pending; });
        return FState[Index] == Whole;
    }

private:
    enum : std::uint8_t { Pending, Whole, Short };

    void Run() {
        std::unique_lock lock(FLock);
        while (!FStop && FNext < FState.size()) {
            const std::size_t index = FNext++;
            lock.unlock();
            const bool whole = CopyStep(index);
            lock.lock();
            FState[index] = whole ? Whole : Short;
            // Nothing after a step that failed is begun: the writer takes over there.
            if (!whole) FStop = true;
            FDone.notify_all();
        }
        // Steps no worker will begin are left to the writer.
        for (std::size_t i = FNext; i < FState.size(); ++i)
            if (FState[i] == Pending) FState[i] = Short;
        FNext = FState.size();
        FDone.notify_all();
    }

    bool CopyStep(std::size_t Index) {
        std::int64_t in = static_cast<std::int64_t>(Index) * FStep;
        std::int64_t out = FOutStart + in;
        std::int64_t left = std::min(FStep, FSize - in);
        while (left > 0) {
            const std::int64_t n = KernelCopyAt(FIn, &in, FOut, &out, left);
            if (n <= 0) return false;
            left -= n;
        }
        return true;
    }

    int FIn, FOut;
    std::int64_t FOutStart, FSize, FStep;
    std::vector<std::uint8_t> FState;
    std::size_t FNext = 0;
    bool FStop = false;
    std::mutex FLock;
    std::condition_variable FDone;
    std::vector<std::thread> FThreads;
};

TParallelKernelCopy::TParallelKernelCopy(int In, int Out, std::int64_t OutStart, std::int64_t Size,
                                         std::int64_t Step, unsigned Threads)
    : FWork(std::make_unique<TWork>(In, Out, OutStart, Size, Step, Threads)) {}

TParallelKernelCopy::~TParallelKernelCopy() = default;

bool TParallelKernelCopy::Copied(std::size_t Index) {
    return FWork->Copied(Index);
}

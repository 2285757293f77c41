// Files deflated ahead on worker threads while a writer adds the files before them in order.
// Workers only read and deflate; the writer takes each result at the point where it would
// have read and deflated the file itself, so its events, questions, errors and output bytes
// are those of a one-thread run. Memory stays bounded: at most Window results are held.
#pragma once

#include "engine/core/krvCodecStreams.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// A file a writer will add: its place in the writer's list and its path.
struct TPrefetchJob {
    int Index = 0;
    std::string Path;
};

// What a worker read and made of a file.
struct TPrefetched {
    bool Ok = false; // read whole and deflated
    // The file as read: the writer uses the result only for the very same file.
    std::uint64_t Device = 0, Inode = 0;
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;
    std::uint32_t Crc = 0;
    std::vector<std::uint8_t> Packed;
};

class TDeflatePrefetch {
public:
    // The largest file deflated ahead: a worker holds one file and the result of another at
    // the most, 16 MiB a thread.
    static constexpr std::int64_t MaxFileSize = std::int64_t{8} << 20;

    // Jobs in the order the writer takes them (rising Index).
    TDeflatePrefetch(std::vector<TPrefetchJob> Jobs, TDeflateType Level, unsigned Threads);
    ~TDeflatePrefetch();
    TDeflatePrefetch(const TDeflatePrefetch&) = delete;
    TDeflatePrefetch& operator=(const TDeflatePrefetch&) = delete;

    // The result for the file at Index, waiting for it; no value when Index has no job. Results
    // of earlier jobs not taken are dropped.
    std::optional<TPrefetched> Take(int Index);
    // Workers stop after the file in hand (a cancel, the end of the writer's run).
    void Stop();

    // The identity of an open file as TPrefetched records it.
    static bool Identify(int Fd, TPrefetched& Result);

private:
    enum class TState : std::uint8_t { Waiting, Running, Done };
    struct TSlot {
        TPrefetchJob Job;
        TState State = TState::Waiting;
        TPrefetched Result;
    };

    void Work(TWholeDeflater& Deflater);
    static TPrefetched Deflate(const std::string& Path, TWholeDeflater& Deflater);

    std::vector<TSlot> FSlots;
    std::size_t FNext = 0;     // the next slot a worker takes
    std::size_t FConsumed = 0; // slots before this one were taken or dropped
    std::size_t FWindow = 1;   // slots that may be started ahead of FConsumed
    bool FStop = false;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::vector<std::unique_ptr<TWholeDeflater>> FDeflaters; // one per worker
    std::vector<std::thread> FWorkers;
};

// The threads a job uses: Requested, or one per core when 0.
unsigned JobThreads(unsigned Requested);

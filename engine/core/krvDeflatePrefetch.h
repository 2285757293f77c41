// Files deflated ahead on worker threads while a writer adds the files before them in order
// (TOrderedPrefetch): workers only read and deflate, and the writer uses a result only for the
// very file it opened itself.
#pragma once

#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvOrderedPrefetch.h"

#include <cstdint>
#include <string>
#include <vector>

// What a worker read and made of a file.
struct TPrefetched {
    bool Ok = false; // read whole and deflated
    // The file as read: the writer uses the result only for the very same file.
    std::uint64_t Device = 0, Inode = 0;
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;
    std::uint32_t Crc = 0;
    std::vector<std::uint8_t> Packed;

    // The identity of an open file; false when it is not a regular file.
    static bool Identify(int Fd, TPrefetched& Result);
};

// The largest file deflated ahead: a worker holds one file and the result of another at the
// most, 16 MiB a thread.
inline constexpr std::int64_t MaxPrefetchFileSize = std::int64_t{8} << 20;

using TDeflatePrefetch = TOrderedPrefetch<TPrefetched>;

// A file a writer will add: its place in the writer's list and its path.
struct TPrefetchJob {
    int Index = 0;
    std::string Path;
};

// Workers that read and deflate the files of Jobs (rising Index; whole files up to
// MaxPrefetchFileSize) at Level.
std::unique_ptr<TDeflatePrefetch> StartDeflatePrefetch(std::vector<TPrefetchJob> Jobs, TDeflateType Level,
                                                       unsigned Threads);

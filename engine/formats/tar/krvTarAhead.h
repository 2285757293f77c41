// Small files read ahead on worker threads while the tar writer writes the files before them
// (TOrderedPrefetch): a worker opens the file the writer would open at its turn, reads it whole
// into its place in the entry it will be written as (after the header's block, with the
// padding), and closes it. The writer fills in the header and writes the entry in one call; a
// file a worker could not read whole is opened by the writer as before, which reports what is
// wrong with it.
#pragma once

#include "engine/core/krvOrderedPrefetch.h"

#include <cstdint>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

struct TTarAhead {
    bool Ok = false;                 // a regular file of 1 to TarAheadLimit bytes, read whole
    struct stat St {};               // the file as it was opened
    std::vector<std::uint8_t> Entry; // a block for the header, the data, the padding
};

// The largest file read ahead: one a tar writer writes with its header in one call.
inline constexpr std::int64_t TarAheadLimit = std::int64_t{64} << 10;

using TTarReadAhead = TOrderedPrefetch<TTarAhead>;

// A file the writer will add: its place in the writer's list, its path and its size when found.
struct TTarAheadJob {
    int Index = 0;
    std::string Path;
    std::int64_t Size = 0;
};

// Workers that read the files of Jobs (rising Index) ahead of the writer.
std::unique_ptr<TTarReadAhead> StartTarReadAhead(const std::vector<TTarAheadJob>& Jobs, unsigned Threads);

// Stored data of file entries copied ahead on worker threads into unnamed files (O_TMPFILE) of
// the destination, while the job names, dates and reports the entries before them. An unnamed
// file is seen by no one: the job gives it its name where it would have created the file itself,
// so the files, events and questions are those of a one-thread run; a file the job never takes
// vanishes with its descriptor. Data held ahead stay within a budget of bytes.
#pragma once

#include "engine/core/krvFileIo.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

template <class TResult> class TOrderedPrefetch;

class TCopyAhead {
public:
    // One entry's data: its number in the job's order, where they lie in the archive file, and
    // their size.
    struct TJob {
        int Index = 0;
        std::int64_t DataPos = 0;
        std::int64_t Size = 0;
    };
    // Files smaller than this are not worth copying ahead.
    static constexpr std::int64_t MinSize = std::int64_t{64} << 10;
    // Jobs in rising Index; the unnamed files are made in Folder (a folder of the destination).
    // Cancel is the job's cancel flag: a copy stops within one step of it.
    TCopyAhead(const std::string& Archive, TUniqueFd Folder, std::vector<TJob> Jobs, unsigned Threads,
               const bool* Cancel);
    ~TCopyAhead();
    TCopyAhead(const TCopyAhead&) = delete;
    TCopyAhead& operator=(const TCopyAhead&) = delete;

    // The unnamed file with the data of the entry Index, waiting for it: invalid when the entry
    // has no job (Error 0) or its copy failed (Error the errno). Files of earlier entries not
    // taken are dropped.
    TUniqueFd Take(int Index, int& Error);

private:
    struct TCopied {
        TUniqueFd File;
        int Error = 0;
    };
    std::shared_ptr<std::atomic<bool>> FStop;
    std::unique_ptr<TOrderedPrefetch<TCopied>> FPrefetch;
};

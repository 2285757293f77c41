#include "engine/core/krvCopyAhead.h"

#include "engine/core/krvKernelCopy.h"
#include "engine/core/krvOrderedPrefetch.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A copy checks for a stop between steps of this many bytes.
constexpr std::int64_t CopyStep = std::int64_t{1} << 20;
// Bytes of copied data that may wait ahead of the job (beyond one file per worker): they are
// output the job writes anyway, so a large file starts well before the job comes to it. Each
// file counts as at least MinCost, which bounds the descriptors held to a few hundred.
constexpr std::int64_t AheadBudget = std::int64_t{256} << 20;
constexpr std::int64_t MinCost = std::int64_t{1} << 20;

// Count bytes from At of From to the end of To: by the kernel, or read and written where it
// cannot copy between these files. 0, or the errno of the failure (EIO for data that end early).
int CopyData(int From, std::int64_t At, int To, std::int64_t Count, const std::atomic<bool>& Stop,
             const bool* Cancel) {
    std::vector<std::uint8_t> buffer;
    std::int64_t in = At;
    while (Count > 0) {
        if (Stop.load(std::memory_order_relaxed) || (Cancel && *Cancel)) return ECANCELED;
        const auto step = static_cast<std::size_t>(std::min(Count, CopyStep));
        std::int64_t n = -1;
        if (buffer.empty()) {
            n = KernelCopyAt(From, &in, To, nullptr, static_cast<std::int64_t>(step));
            if (n == KernelCopyRefused) {
                buffer.resize(CopyStep);
                continue;
            }
        } else {
            n = ::pread(From, buffer.data(), step, static_cast<off_t>(in));
            for (ssize_t done = 0, w = 0; n > 0 && done < n; done += w) {
                w = ::write(To, buffer.data() + done, static_cast<std::size_t>(n - done));
                if (w < 0 && errno != EINTR) return errno;
                w = std::max<ssize_t>(w, 0);
            }
            if (n > 0) in += n;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        Count -= n;
    }
    return 0;
}

} // namespace

TCopyAhead::TCopyAhead(const std::string& Archive, TUniqueFd Folder, std::vector<TJob> Jobs, unsigned Threads,
                       const bool* Cancel)
    : FStop(std::make_shared<std::atomic<bool>>(false)) {
    std::vector<int> indexes;
    std::vector<std::int64_t> costs;
    for (const TJob& job : Jobs) {
        indexes.push_back(job.Index);
        costs.push_back(std::max(job.Size, MinCost));
    }
    auto jobs = std::make_shared<const std::vector<TJob>>(std::move(Jobs));
    auto folder = std::make_shared<const TUniqueFd>(std::move(Folder));
    auto archive = std::make_shared<const TUniqueFd>(OpenForReading(Archive));
    auto makeWork = [jobs, folder, archive, stop = FStop, Cancel]() -> TOrderedPrefetch<TCopied>::TWork {
        return [jobs, folder, archive, stop, Cancel](int Index) {
            const TJob& job = *std::lower_bound(jobs->begin(), jobs->end(), Index,
                                                [](const TJob& J, int I) { return J.Index < I; });
            TCopied copied;
            TUniqueFd file(::openat(folder->Get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
            if (!*archive || !file) {
                copied.Error = *archive ? errno : EBADF;
                return copied;
            }
            copied.Error = CopyData(archive->Get(), job.DataPos, file.Get(), job.Size, *stop, Cancel);
            if (copied.Error == 0) copied.File = std::move(file);
            return copied;
        };
    };
    FPrefetch = std::make_unique<TOrderedPrefetch<TCopied>>(std::move(indexes), makeWork, Threads, costs,
                                                            AheadBudget);
}

TCopyAhead::~TCopyAhead() {
    // The copies in hand stop within a step; the files not taken go with their descriptors.
    FStop->store(true);
    FPrefetch.reset();
}

TUniqueFd TCopyAhead::Take(int Index, int& Error) {
    Error = 0;
    TCopied copied;
    if (!FPrefetch->Take(Index, copied)) return {};
    Error = copied.Error;
    return std::move(copied.File);
}

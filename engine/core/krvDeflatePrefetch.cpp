#include "engine/core/krvDeflatePrefetch.h"

#include "engine/core/krvCrc.h"

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

unsigned JobThreads(unsigned Requested) {
    if (Requested > 0) return Requested;
    // The cores this process may run on (taskset, cgroups' cpusets), not the machine's: one
    // allowed core means one thread and one thread's memory.
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) return std::max(1, CPU_COUNT(&allowed));
    return std::max(1U, std::thread::hardware_concurrency());
}

bool TPrefetched::Identify(int Fd, TPrefetched& Result) {
    struct stat st {};
    if (::fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    Result.Device = st.st_dev;
    Result.Inode = st.st_ino;
    Result.Size = st.st_size;
    Result.ModifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

namespace {

TPrefetched DeflateFile(const std::string& Path, TWholeDeflater& Deflater) {
    TPrefetched result;
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return result;
    std::vector<std::uint8_t> plain;
    bool whole = TPrefetched::Identify(fd, result) && result.Size <= MaxPrefetchFileSize;
    if (whole) {
        // One byte more than the file had tells that it changed while it was read.
        plain.resize(static_cast<std::size_t>(result.Size + 1));
        std::int64_t n = 0;
        for (ssize_t r; n < std::ssize(plain) && (r = ::read(fd, plain.data() + n, plain.size() - n)) > 0;)
            n += r;
        whole = n == result.Size;
        plain.resize(static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!whole) return result;
    std::uint32_t crc = 0xFFFFFFFFU;
    UpdateCrc32Buf(plain.data(), std::ssize(plain), crc);
    result.Crc = crc ^ 0xFFFFFFFFU;
    result.Packed.resize(static_cast<std::size_t>(Deflater.Bound(std::ssize(plain))));
    result.Packed.resize(static_cast<std::size_t>(Deflater.Deflate(plain, result.Packed)));
    result.Ok = !result.Packed.empty();
    return result;
}

} // namespace

std::unique_ptr<TDeflatePrefetch> StartDeflatePrefetch(std::vector<TPrefetchJob> Jobs, TDeflateType Level,
                                                       unsigned Threads) {
    std::vector<int> indexes;
    for (const TPrefetchJob& job : Jobs)
        indexes.push_back(job.Index);
    auto jobs = std::make_shared<const std::vector<TPrefetchJob>>(std::move(Jobs));
    auto makeWork = [jobs, Level]() -> TDeflatePrefetch::TWork {
        auto deflater = std::make_shared<TWholeDeflater>(Level);
        return [jobs, deflater](int Index) {
            const auto job = std::lower_bound(jobs->begin(), jobs->end(), Index,
                                              [](const TPrefetchJob& J, int I) { return J.Index < I; });
            return DeflateFile(job->Path, *deflater);
        };
    };
    return std::make_unique<TDeflatePrefetch>(std::move(indexes), makeWork, Threads);
}

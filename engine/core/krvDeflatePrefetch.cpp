#include "engine/core/krvDeflatePrefetch.h"

#include "engine/core/krvCrc.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

unsigned JobThreads(unsigned Requested) {
    if (Requested > 0) return Requested;
    return std::max(1U, std::thread::hardware_concurrency());
}

TDeflatePrefetch::TDeflatePrefetch(std::vector<TPrefetchJob> Jobs, TDeflateType Level, unsigned Threads) {
    FSlots.reserve(Jobs.size());
    for (TPrefetchJob& job : Jobs)
        FSlots.push_back(TSlot{std::move(job), TState::Waiting, {}});
    const unsigned threads = std::max(1U, Threads);
    FWindow = threads;
    // The deflaters are made here, so that a failure to make one ends the writer's run and
    // never a worker.
    for (unsigned t = 0; t < threads && t < FSlots.size(); ++t)
        FDeflaters.push_back(std::make_unique<TWholeDeflater>(Level));
    for (auto& deflater : FDeflaters)
        FWorkers.emplace_back([this, d = deflater.get()] { Work(*d); });
}

TDeflatePrefetch::~TDeflatePrefetch() {
    Stop();
    for (std::thread& worker : FWorkers)
        worker.join();
}

void TDeflatePrefetch::Stop() {
    const std::lock_guard lock(FLock);
    FStop = true;
    FChanged.notify_all();
}

bool TDeflatePrefetch::Identify(int Fd, TPrefetched& Result) {
    struct stat st {};
    if (::fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    Result.Device = st.st_dev;
    Result.Inode = st.st_ino;
    Result.Size = st.st_size;
    Result.ModifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

TPrefetched TDeflatePrefetch::Deflate(const std::string& Path, TWholeDeflater& Deflater) {
    TPrefetched result;
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return result;
    std::vector<std::uint8_t> plain;
    bool whole = Identify(fd, result) && result.Size <= MaxFileSize;
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

void TDeflatePrefetch::Work(TWholeDeflater& Deflater) {
    std::unique_lock lock(FLock);
    for (;;) {
        FChanged.wait(lock,
                      [this] { return FStop || (FNext < FSlots.size() && FNext < FConsumed + FWindow); });
        if (FStop) return;
        const std::size_t mine = FNext++;
        TSlot& slot = FSlots[mine];
        slot.State = TState::Running;
        const std::string path = slot.Job.Path;
        lock.unlock();
        TPrefetched result;
        try {
            result = Deflate(path, Deflater);
        } catch (const std::exception&) {
            // Out of memory: the writer reads and deflates this file itself.
            result = {};
        }
        lock.lock();
        // A result the writer has passed over meanwhile is not kept.
        if (mine >= FConsumed) slot.Result = std::move(result);
        slot.State = TState::Done;
        FChanged.notify_all();
    }
}

std::optional<TPrefetched> TDeflatePrefetch::Take(int Index) {
    const auto at = std::lower_bound(FSlots.begin(), FSlots.end(), Index,
                                     [](const TSlot& Slot, int I) { return Slot.Job.Index < I; });
    if (at == FSlots.end() || at->Job.Index != Index) return std::nullopt;
    const auto pos = static_cast<std::size_t>(at - FSlots.begin());
    std::unique_lock lock(FLock);
    // Results the writer passed over are dropped, and the window moves on.
    for (std::size_t i = FConsumed; i < pos; ++i)
        if (FSlots[i].State == TState::Done) FSlots[i].Result = {};
    FConsumed = std::max(FConsumed, pos);
    FNext = std::max(FNext, pos);
    FChanged.notify_all();
    FChanged.wait(lock, [&] { return FSlots[pos].State == TState::Done || FStop; });
    if (FSlots[pos].State != TState::Done) return std::nullopt;
    FConsumed = std::max(FConsumed, pos + 1);
    FChanged.notify_all();
    return std::move(FSlots[pos].Result);
}

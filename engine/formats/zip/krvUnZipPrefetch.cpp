// Entries inflated ahead on worker threads while the reader extracts the entries before them in
// order: a worker reads an entry's local header and data through a file descriptor of its own
// and inflates them; the reader takes the result where it would have inflated the entry itself,
// only when the data start where it found them.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvFileIo.h"
#include "engine/formats/zip/krvUnZip.h"

namespace {

struct TWorker {
    TUniqueFd Archive;
    TWholeInflater Inflater;
    std::vector<std::uint8_t> Packed; // reused from entry to entry
    explicit TWorker(const std::string& Name) : Archive(OpenForReading(Name)) {}
    bool ReadAt(std::int64_t Pos, void* Buffer, std::int64_t Count) const {
        return ReadFileAt(Archive.Get(), Pos, Buffer, Count) == Count;
    }
};

} // namespace

void TUnZip::StartInflatePrefetch() {
    FInflatePrefetch.reset();
    const unsigned threads = JobThreads(Threads);
    // A test writes nothing: its thread only checksums, and handing whole entries across threads
    // costs more than inflating them there (measured on a 190 MB mixed tree).
    if (threads < 2 || FSpanned || !IsFileOutput()) return;
    // What the workers need of each entry, copied: they never touch the reader.
    struct TJob {
        std::int64_t LocalOffset, Packed, Unpacked;
    };
    auto jobs = std::make_shared<std::vector<TJob>>(FEntries.size());
    std::vector<int> indexes;
    std::vector<std::int64_t> costs;
    for (std::size_t i = 0; i < FEntries.size(); ++i) {
        const TEntryRef& e = FEntries[i];
        if (e.Central.Method != zmDeflated || (e.Central.Flags & zfEncrypted) || e.Overlaps ||
            e.CompressedSize <= 0 || e.CompressedSize > MaxPrefetchFileSize ||
            e.UncompressedSize > MaxPrefetchFileSize)
            continue;
        (*jobs)[i] = {e.LocalOffset, e.CompressedSize, e.UncompressedSize};
        indexes.push_back(static_cast<int>(i));
        costs.push_back(e.UncompressedSize);
    }
    if (indexes.size() < 2) return;
    const std::string archive = ArchiveFile();
    auto makeWork = [jobs, archive]() -> TOrderedPrefetch<TInflated>::TWork {
        auto worker = std::make_shared<TWorker>(archive);
        return [jobs, worker](int Index) {
            const TJob& job = (*jobs)[static_cast<std::size_t>(Index)];
            TInflated result;
            std::uint8_t header[TZipLocalHeader::Size];
            if (!worker->ReadAt(job.LocalOffset, header, sizeof header) || GetU32LE(header) != ZipLocalSig)
                return result;
            const TZipLocalHeader local = TZipLocalHeader::FromBytes(header);
            result.DataStart =
                job.LocalOffset + std::int64_t{TZipLocalHeader::Size} + local.NameLength + local.ExtraLength;
            worker->Packed.resize(static_cast<std::size_t>(job.Packed));
            const std::span<const std::uint8_t> packed(worker->Packed);
            result.Plain.resize(static_cast<std::size_t>(job.Unpacked));
            result.Ok = worker->ReadAt(result.DataStart, worker->Packed.data(), job.Packed) &&
                        worker->Inflater.Inflate(packed, result.Plain);
            if (!result.Ok) result.Plain.clear();
            return result;
        };
    };
    // Small entries go on ahead while the reader inflates a large one itself, within the memory
    // that threads entries of the largest size taken would hold.
    FInflatePrefetch = std::make_unique<TOrderedPrefetch<TInflated>>(std::move(indexes), makeWork, threads,
                                                                     costs, threads * MaxPrefetchFileSize);
}

bool TUnZip::TakeInflated(std::vector<std::uint8_t>& Plain) {
    TInflated ahead;
    if (!FInflatePrefetch || !FInflatePrefetch->Take(FEntryIndex, ahead) || !ahead.Ok ||
        ahead.DataStart != FDataStart)
        return false;
    Plain = std::move(ahead.Plain);
    return true;
}

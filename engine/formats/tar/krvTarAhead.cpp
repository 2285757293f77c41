#include "engine/formats/tar/krvTarAhead.h"

#include "engine/core/krvFileIo.h"
#include "engine/formats/tar/krvTarRecords.h"

#include <algorithm>

namespace {

// Bytes of files held read ahead at a time.
constexpr std::int64_t AheadBudget = std::int64_t{8} << 20;

TTarAhead ReadAhead(const std::string& Path) {
    TTarAhead ahead;
    const TUniqueFd file = OpenForReading(Path);
    if (!file || ::fstat(file.Get(), &ahead.St) != 0 || !S_ISREG(ahead.St.st_mode) || ahead.St.st_size <= 0 ||
        ahead.St.st_size > TarAheadLimit)
        return ahead;
    // Exactly the size it has now, as the writer reads it.
    const std::int64_t size = ahead.St.st_size;
    ahead.Entry.assign(static_cast<std::size_t>(TarBlockSize + size + TarPadding(size)), 0);
    ahead.Ok = ReadFileAt(file.Get(), 0, ahead.Entry.data() + TarBlockSize, size) == size;
    return ahead;
}

} // namespace

std::unique_ptr<TTarReadAhead> StartTarReadAhead(const std::vector<TTarAheadJob>& Jobs, unsigned Threads) {
    std::vector<int> indexes;
    std::vector<std::int64_t> costs;
    auto paths = std::make_shared<std::vector<std::pair<int, std::string>>>();
    for (const TTarAheadJob& job : Jobs) {
        indexes.push_back(job.Index);
        costs.push_back(job.Size);
        paths->emplace_back(job.Index, job.Path);
    }
    return std::make_unique<TTarReadAhead>(
        std::move(indexes),
        [paths] {
            return [paths](int Index) {
                const auto at =
                    std::lower_bound(paths->begin(), paths->end(), std::pair<int, std::string>(Index, {}));
                return ReadAhead(at->second);
            };
        },
        Threads, costs, AheadBudget);
}

// The lister's uuencoded and xxencoded text: one entry per "begin" line, as a text may carry
// several files one after the other.
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/uu/krvUURecords.h"
#include "engine/read/krvKorvaWalk.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr std::int64_t ScanChunk = 1 << 20;
constexpr std::size_t MaxName = 255;
constexpr std::size_t MaxLine = 4096;

class TUueWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        StepSize = 0;                                             // nothing is walked
        std::vector<std::pair<std::int64_t, std::string>> begins; // line position, name
        // Lines are followed across chunks; only those that start with 'b' are kept.
        std::string line;
        std::int64_t linePos = 0;
        bool midLine = false, keep = false;
        for (std::int64_t at = 0; at < End;) {
            const std::string chunk = ReadText(at, std::min(End - at, ScanChunk));
            if (chunk.empty()) break;
            const std::int64_t chunkPos = at;
            at += std::ssize(chunk);
            for (std::size_t p = 0; p < chunk.size();) {
                if (!midLine) {
                    linePos = chunkPos + static_cast<std::int64_t>(p);
                    keep = chunk[p] == 'b';
                    line.clear();
                    midLine = true;
                }
                const void* lf = std::memchr(chunk.data() + p, '\n', chunk.size() - p);
                const std::size_t e =
                    lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - chunk.data()) : chunk.size();
                if (keep && line.size() < MaxLine)
                    line.append(chunk, p, std::min(e - p, MaxLine - line.size()));
                if (!lf) break;
                if (keep) Take(line, linePos, begins);
                midLine = false;
                p = e + 1;
            }
        }
        if (midLine && keep) Take(line, linePos, begins);
        if (begins.empty() && !FDamaged) {
            // Text with no file in it: the lister says so rather than show an empty archive.
            K.ReportError(K.ArchiveFile(), NoBeginText(0), "0", ecBadFileHeader);
            return;
        }
        for (std::size_t i = 0; i < begins.size(); ++i) {
            TKorvaEntry e;
            e.StoredName = begins[i].second;
            e.Always = true;
            e.Date = K.DosDateToDateTime(K.ArchiveDate);
            e.PackedSize = (i + 1 < begins.size() ? begins[i + 1].first : End) - begins[i].first;
            e.UnpackedSize = e.PackedSize;
            e.NoMethodText = true;
            e.InternalAttr = 32;
            e.ExternalAttr = 32;
            Select(e);
        }
    }

    void Step() override { Stop(); }

private:
    bool FDamaged = false;

    void Take(std::string_view Line, std::int64_t Pos,
              std::vector<std::pair<std::int64_t, std::string>>& Begins) {
        if (Line.ends_with('\r')) Line.remove_suffix(1);
        TUUBegin begin;
        if (!ParseUUBeginLine(Line, begin)) {
            // A "begin" line whose mode begins but does not read: a file is lost there.
            if (Line.starts_with("begin ") && Line.size() > 6 && Line[6] >= '0' && Line[6] <= '9') {
                K.ReportError(K.ArchiveFile(),
                              "line at offset " + std::to_string(Pos) + " is a damaged \"begin\" line", "0",
                              ecBadFileHeader);
                FDamaged = true;
            }
            return;
        }
        if (begin.Name.size() > MaxName) begin.Name.resize(MaxName);
        Begins.emplace_back(Pos, std::move(begin.Name));
    }
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeUueWalk(TKorva& Owner) {
    return std::make_unique<TUueWalk>(Owner);
}

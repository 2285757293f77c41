// The lister's uuencoded and xxencoded text: one entry, named by the "begin" line.
#include "engine/core/krvUURecords.h"
#include "engine/read/krvKorvaWalk.h"

#include <algorithm>

namespace {

constexpr std::int64_t ScanSize = 32768;
constexpr std::size_t MaxName = 255;

// The name of the first "begin" line of Text, or empty.
std::string BeginLineName(const std::string& Text) {
    for (std::size_t p = 0; p < Text.size();) {
        const std::size_t lf = std::min(Text.find('\n', p), Text.size());
        std::string_view line(Text.data() + p, lf - p);
        if (line.ends_with('\r')) line.remove_suffix(1);
        std::string name = UUBeginLineName(line);
        if (!name.empty()) {
            if (name.size() > MaxName) name.resize(MaxName);
            return name;
        }
        p = lf + 1;
    }
    return {};
}

class TUueWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        StepSize = 0; // nothing is walked
        TKorvaEntry e;
        e.StoredName = BeginLineName(ReadText(0, std::min(End, ScanSize)));
        if (e.StoredName.empty()) return;
        e.Always = true;
        e.Date = K.DosDateToDateTime(K.ArchiveDate);
        e.PackedSize = End;
        e.UnpackedSize = End;
        e.NoMethodText = true;
        e.InternalAttr = 32;
        e.ExternalAttr = 32;
        Select(e);
    }

    void Step() override { Stop(); }
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeUueWalk(TKorva& Owner) {
    return std::make_unique<TUueWalk>(Owner);
}

// The lister's uuencoded and xxencoded text: one entry, named by the "begin" line.
#include "engine/read/krvKorvaWalk.h"

namespace {

constexpr std::int64_t ScanSize = 32768;
constexpr std::size_t MaxName = 255;

// The name of the "begin" line at the start of Text or after a line feed, or empty.
std::string BeginLineName(const std::string& Text) {
    static const std::string begin = "begin ";
    for (std::size_t p = 0; p < Text.size();) {
        if (Text.compare(p, begin.size(), begin) == 0) {
            const std::size_t mode = p + begin.size();
            const std::size_t blank = Text.find(' ', mode);
            const std::size_t eol = Text.find_first_of("\r\n", mode);
            if (blank != std::string::npos && (eol == std::string::npos || blank < eol)) {
                std::string name =
                    Text.substr(blank + 1, (eol == std::string::npos ? Text.size() : eol) - blank - 1);
                if (name.size() > MaxName) name.resize(MaxName);
                const std::size_t cut = name.find(' ');
                if (cut != std::string::npos) name.resize(cut);
                return name;
            }
        }
        const std::size_t lf = Text.find('\n', p);
        if (lf == std::string::npos) break;
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

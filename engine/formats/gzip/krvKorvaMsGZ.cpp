// The lister's MsGZ walk: a 54-byte file header, an optional folder directory of numbered
// names, then one 29-byte record with its name per entry, in front of its data.
#include "engine/core/krvByteAccess.h"
#include "engine/read/krvKorvaWalk.h"

#include <map>

namespace {

constexpr int MsGZHeader = 54;
constexpr int MsGZRecord = 29;
constexpr int MsGZFolderRecord = 6;
constexpr int MaxFolders = 65536;

class TMsGZWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        const std::int64_t base = K.ArchiveOffset;
        std::uint8_t h[MsGZHeader];
        if (!ReadExact(base, h, MsGZHeader)) return;
        Pos = base + MsGZHeader;
        const std::int64_t dir = GetU32LE(h + 41);
        if (End > dir && dir > 0) {
            std::int64_t p = dir;
            for (int i = 0; i < MaxFolders; ++i) {
                std::uint8_t r[MsGZFolderRecord];
                if (!ReadExact(p, r, MsGZFolderRecord)) return;
                const int length = r[2];
                p += MsGZFolderRecord;
                if (length == 0) break;
                if (length < MsGZFolderRecord) return;
                FFolders[GetU16LE(r)] = ReadText(p, length - MsGZFolderRecord);
                p += length - MsGZFolderRecord;
            }
            Pos = p - 4;
        }
        StepSize = MsGZRecord;
    }

    void Step() override {
        const std::uint8_t* h = Buf.data();
        const std::uint16_t length = GetU16LE(h + 22);
        const int nameLen = h[28];
        if (length == 0) {
            Stop();
            return;
        }
        if (MsGZRecord + nameLen > length) {
            BadHeader();
            return;
        }
        TKorvaEntry e;
        e.RawName = true;
        e.StoredName = ReadText(HeaderPos + MsGZRecord, nameLen);
        if (std::ssize(e.StoredName) != nameLen) {
            Stop();
            return;
        }
        if (!FFolders.empty()) {
            const auto folder = FFolders.find(GetU16LE(h));
            if (folder != FFolders.end()) e.StoredName = folder->second + "/" + e.StoredName;
        }
        e.Date = K.DosDateToDateTime(SwapWords(GetU32LE(h + 14)));
        e.PackedSize = GetU32LE(h + 6);
        e.UnpackedSize = GetU32LE(h + 2);
        e.NoMethodText = true;
        e.ExternalAttr = GetU32LE(h + 18);
        e.InternalAttr = static_cast<std::uint16_t>(e.ExternalAttr);
        e.Offset = GetU32LE(h + 10);
        Pos = HeaderPos + length;
        Select(e);
    }

private:
    std::map<std::uint16_t, std::string> FFolders;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeMsGZWalk(TKorva& Owner) {
    return std::make_unique<TMsGZWalk>(Owner);
}

// The lister's zoo walk: the archive header points at a chain of directory entries, each of
// which points at the next. The chain must lead forward, so a damaged or cyclic chain ends.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvGbls.h"
#include "engine/read/krvKorvaWalk.h"

#include <cstring>

namespace {

constexpr std::uint32_t ZooTag = 0xFDC4A7DC;
constexpr int ZooEntry = 58;
constexpr std::uint16_t ZooSystemUnix = 0;

class TZooWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        Pos = 0;
        StepSize = ZooEntry;
    }

    void Step() override {
        const std::uint8_t* h = Buf.data();
        if (FFirst) {
            FFirst = false;
            // The archive header: the first entry's position and its negated copy.
            const std::uint32_t first = GetU32LE(h + 24);
            if (static_cast<std::uint32_t>(first + GetU32LE(h + 28)) != 0) {
                Stop();
                return;
            }
            const std::uint16_t commentLen = GetU16LE(h + 39);
            if (commentLen > 0) K.FileComment = ReadComment(GetU32LE(h + 35), commentLen);
            Pos = first;
            return;
        }
        const std::uint32_t next = GetU32LE(h + 6);
        if (GetU32LE(h) != ZooTag || next < 1) {
            Stop();
            return;
        }
        const char* field = reinterpret_cast<const char*>(h + 38);
        TKorvaEntry e;
        e.StoredName.assign(field, strnlen(field, 13));
        // Made on Unix: the name is in the system's own encoding, UTF-8.
        e.NameIsUtf8 = MadeOnUnix(h);
        e.Date = K.DosDateToDateTime(SwapWords(GetU32LE(h + 14)));
        e.VersionMadeBy = h[28];
        e.VersionNeeded = h[29];
        e.PackedSize = GetU32LE(h + 24);
        e.UnpackedSize = GetU32LE(h + 20);
        e.CRC = GetU16LE(h + 18);
        e.Method = h[5];
        e.Offset = HeaderPos;
        const std::uint16_t commentLen = GetU16LE(h + 36);
        if (commentLen > 0) K.FileComment = ReadComment(GetU32LE(h + 32), commentLen);
        Pos = next;
        Select(e);
    }

private:
    // The system id follows the long name and the folder in the variable part of a type 2
    // entry, which begins with their lengths.
    bool MadeOnUnix(const std::uint8_t* H) {
        if (H[4] != 2) return false;
        const int nameLen = H[56];
        const int dirLen = H[57];
        std::uint8_t id[2];
        return GetU16LE(H + 51) >= 2 + nameLen + dirLen + 2 &&
               ReadExact(HeaderPos + 58 + nameLen + dirLen, id, 2) && GetU16LE(id) == ZooSystemUnix;
    }

    bool FFirst = true;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeZooWalk(TKorva& Owner) {
    return std::make_unique<TZooWalk>(Owner);
}

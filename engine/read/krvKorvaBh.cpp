// The lister's bh walk: a 37-byte header, the name and an extra field before each entry's
// data; the header's total length says where the data begin.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/read/krvKorvaWalk.h"

namespace {

constexpr std::uint32_t BhSignature = 0x07054842;
constexpr int BhHeader = 37;

class TBhWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        Pos = K.ArchiveOffset;
        StepSize = BhHeader;
    }

    void Step() override {
        const std::uint8_t* h = Buf.data();
        const std::uint16_t total = GetU16LE(h + 4);
        if (GetU32LE(h) != BhSignature || total == 0) {
            Stop();
            return;
        }
        const std::uint16_t nameLen = GetU16LE(h + 33);
        if (total < BhHeader + nameLen) {
            BadHeader();
            return;
        }
        const bool encrypted = (h[9] & 0x01) != 0;
        const std::int64_t packed = GetU32LE(h + 15);
        TKorvaEntry e;
        e.StoredName = ReadText(HeaderPos + BhHeader, nameLen);
        if (std::ssize(e.StoredName) != nameLen) {
            Stop();
            return;
        }
        e.Date = K.DosDateToDateTime(GetU32LE(h + 11));
        e.VersionMadeBy = h[7];
        e.VersionNeeded = h[8];
        e.Encrypted = encrypted;
        e.PackedSize = encrypted && packed >= 12 ? packed - 12 : packed;
        e.UnpackedSize = GetU32LE(h + 19);
        e.CRC = GetU32LE(h + 23);
        e.Method = h[10];
        e.MethodFlags = h[9];
        e.InternalAttr = GetU16LE(h + 27);
        e.ExternalAttr = GetU16LE(h + 27);
        e.IsDirectory = (e.ExternalAttr & 0x10) != 0;
        e.Offset = HeaderPos;
        if (!MoveTo(CheckedSum(HeaderPos, total, packed))) return;
        Select(e);
    }
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeBhWalk(TKorva& Owner) {
    return std::make_unique<TBhWalk>(Owner);
}

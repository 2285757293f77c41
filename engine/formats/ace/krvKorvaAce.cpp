// The lister's ace walk: the main header, then one file header per entry with its data
// behind it. A file split over volumes is followed into the next volume and reported once,
// with the packed sizes of all its parts.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/read/krvKorvaWalk.h"

#include <cstring>

namespace {

constexpr int AceMain = 31;
constexpr int AceFile = 35;
constexpr std::uint8_t AceFileBlock = 1;
constexpr std::uint16_t AceSplitBefore = 0x1000;
constexpr std::uint16_t AceSplitAfter = 0x2000;
constexpr std::uint16_t AcePassword = 0x4000;
constexpr std::uint8_t AceHostUnix = 3;

class TAceWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        std::int64_t first = 0;
        if (!ReadMainHeader(K.ArchiveOffset, first)) {
            K.ReportError(K.ArchiveFile(), "", "0", ecBadFileHeader);
            return;
        }
        Pos = first;
        StepSize = AceFile;
    }

    void Step() override {
        const std::uint8_t* h = Buf.data();
        if (h[4] != AceFileBlock) {
            Stop();
            return;
        }
        const std::int64_t headEnd = HeaderPos + 4 + GetU16LE(h + 2);
        const std::uint16_t flags = GetU16LE(h + 5);
        const std::uint16_t nameSize = GetU16LE(h + 33);
        if (HeaderPos + AceFile + nameSize > headEnd) {
            BadHeader();
            return;
        }
        const std::int64_t packed = GetU32LE(h + 7);
        TKorvaEntry e;
        e.StoredName = ReadText(HeaderPos + AceFile, nameSize);
        if (std::ssize(e.StoredName) != nameSize) {
            Stop();
            return;
        }
        e.Date = K.DosDateToDateTime(GetU32LE(h + 15));
        e.VersionMadeBy = FVersion;
        e.VersionNeeded = FVersion;
        e.UnpackedSize = GetU32LE(h + 11);
        // ace keeps the CRC-32 without its final inversion.
        e.CRC = ~GetU32LE(h + 23);
        e.Encrypted = (flags & AcePassword) != 0;
        e.Method = h[28];
        e.InternalAttr = GetU16LE(h + 19);
        e.ExternalAttr = GetU32LE(h + 19);
        e.IsDirectory = (e.ExternalAttr & 0x10) != 0;
        e.MarkFolder();
        e.HostSystem = FHost;
        // Made on Unix: the name is in the system's own encoding, UTF-8.
        e.NameIsUtf8 = FHost == AceHostUnix;
        e.Offset = HeaderPos;

        if (!(flags & AceSplitBefore)) FPacked = 0;
        if (!CheckedAdd(FPacked, packed, FPacked)) {
            BadHeader();
            return;
        }
        if (!MoveTo(CheckedSum(headEnd, packed))) return;
        if (flags & AceSplitAfter) {
            if (!NextVolume()) return;
            std::int64_t first = 0;
            if (!ReadMainHeader(0, first)) {
                BadHeader();
                return;
            }
            Pos = first;
            return;
        }
        e.PackedSize = FPacked;
        Select(e);
    }

private:
    bool ReadMainHeader(std::int64_t At, std::int64_t& First) {
        std::uint8_t m[AceMain];
        if (!ReadExact(At, m, AceMain) || m[4] != 0 || std::memcmp(m + 7, "**ACE**", 7) != 0) return false;
        FVersion = m[15];
        FHost = m[16];
        First = At + 4 + GetU16LE(m + 2);
        return true;
    }

    std::uint8_t FVersion = 0;
    std::uint8_t FHost = 0;
    std::int64_t FPacked = 0;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeAceWalk(TKorva& Owner) {
    return std::make_unique<TAceWalk>(Owner);
}

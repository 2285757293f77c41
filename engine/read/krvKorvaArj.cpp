// The lister's arj walk: the main header, then one basic header per entry with its data
// behind it; an entry continued on the next volume is followed through the volumes and
// reported once with the sizes of all its parts.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/read/krvKorvaWalk.h"

#include <array>
#include <cstring>

namespace {

constexpr std::uint16_t ArjId = 0xEA60;
constexpr int MaxBasicSize = 2600;
constexpr int MaxExtHeaders = 64;
constexpr std::uint8_t ArjGarbled = 0x01;
constexpr std::uint8_t ArjVolume = 0x04;  // main header: a volume of a set; file: continued on the next
constexpr std::uint8_t ArjExtFile = 0x08; // continued from the previous volume
constexpr int FieldsSize = 34;
constexpr std::uint8_t ArjHostUnix = 2;

class TArjWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        std::int64_t next = 0;
        if (!ReadMainHeader(K.ArchiveOffset, next)) {
            K.ReportError(K.ArchiveFile(), "", "0", ecBadFileHeader);
            return;
        }
        Pos = next;
        StepSize = 4;
    }

    void Step() override {
        const std::uint16_t id = GetU16LE(Buf.data());
        const std::uint16_t basic = GetU16LE(Buf.data() + 2);
        if (id != ArjId || basic == 0) {
            Stop();
            return;
        }
        std::int64_t next = 0;
        if (!ReadFileHeader(HeaderPos, next)) {
            BadHeader();
            return;
        }
        const std::uint8_t* f = FHeader.data();
        const std::uint8_t flags = f[8];
        std::int64_t packed = GetU32LE(f + 16);
        std::int64_t unpacked = GetU32LE(f + 20);
        TKorvaEntry e;
        e.StoredName = FName;
        // arj made on Unix keeps a Unix time.
        e.Date = f[7] == ArjHostUnix ? UnixDateToDateTime(GetU32LE(f + 12))
                                     : K.DosDateToDateTime(GetU32LE(f + 12));
        e.VersionMadeBy = f[5];
        e.VersionNeeded = f[6];
        e.CRC = GetU32LE(f + 24);
        e.Encrypted = (flags & ArjGarbled) != 0;
        e.Method = f[9];
        e.IsDirectory = f[10] == 3;
        e.MarkFolder();
        e.InternalAttr = GetU16LE(f + 30);
        e.ExternalAttr = GetU16LE(f + 30);
        e.HostSystem = f[7];
        e.Offset = HeaderPos;
        const bool fromPrevious = (flags & ArjExtFile) && FVolumeSet;

        // Continued on the next volume: its parts are added up there.
        bool more = (flags & ArjVolume) != 0;
        for (int volumes = 0; more && volumes < 999; ++volumes) {
            if (!NextVolume()) return;
            std::int64_t first = 0;
            if (!ReadMainHeader(0, first) || !ReadFileHeader(first, next)) {
                BadHeader();
                return;
            }
            if (!CheckedAdd(packed, GetU32LE(FHeader.data() + 16), packed) ||
                !CheckedAdd(unpacked, GetU32LE(FHeader.data() + 20), unpacked)) {
                BadHeader();
                return;
            }
            more = (FHeader[8] & ArjVolume) != 0;
        }
        e.PackedSize = packed;
        e.UnpackedSize = unpacked;
        Pos = next;
        if (!fromPrevious) Select(e);
    }

private:
    // The basic header at At into FHeader (padded to the fixed fields) and its name into
    // FName; Next is set after its extended headers and data.
    bool ReadFileHeader(std::int64_t At, std::int64_t& Next) {
        std::int64_t dataPos = 0;
        if (!ReadBasic(At, dataPos)) return false;
        return CheckedAdd(dataPos, GetU32LE(FHeader.data() + 16), Next);
    }

    bool ReadMainHeader(std::int64_t At, std::int64_t& Next) {
        if (!ReadBasic(At, Next)) return false;
        FVolumeSet = (FHeader[8] & ArjVolume) != 0;
        return true;
    }

    // Id, size, the basic header and its name; DataPos is set after the header's CRC and
    // extended headers.
    bool ReadBasic(std::int64_t At, std::int64_t& DataPos) {
        std::uint8_t head[4];
        if (!ReadExact(At, head, 4) || GetU16LE(head) != ArjId) return false;
        const int basic = GetU16LE(head + 2);
        if (basic == 0 || basic > MaxBasicSize) return false;
        FHeader.fill(0);
        std::memcpy(FHeader.data(), head, 4);
        if (!ReadExact(At + 4, FHeader.data() + 4, basic)) return false;
        const int firstSize = FHeader[4];
        if (firstSize > basic) return false;
        const char* name = reinterpret_cast<const char*>(FHeader.data() + 4 + firstSize);
        FName.assign(name, strnlen(name, static_cast<std::size_t>(basic - firstSize)));

        std::int64_t p = At + 4 + basic + 4;
        for (int count = 0; count < MaxExtHeaders; ++count) {
            std::uint8_t size[2];
            if (!ReadExact(p, size, 2)) return false;
            p += 2;
            const std::uint16_t ext = GetU16LE(size);
            if (ext == 0) break;
            if (!CheckedAdd(p, ext + 4, p)) return false;
        }
        DataPos = p;
        return true;
    }

    std::array<std::uint8_t, 4 + MaxBasicSize + FieldsSize> FHeader{};
    std::string FName;
    bool FVolumeSet = false;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeArjWalk(TKorva& Owner) {
    return std::make_unique<TArjWalk>(Owner);
}

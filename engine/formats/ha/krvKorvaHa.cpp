// The lister's ha walk: "HA", the entry count, then per entry a 17-byte header, the path,
// the name, the machine-specific data and the packed data.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvGbls.h"
#include "engine/read/krvKorvaWalk.h"

namespace {

constexpr int HaStep = 18; // one byte before the header, then its 17 bytes
constexpr std::int64_t MaxHaName = 1024;
constexpr int HaDirectory = 14;
constexpr std::uint8_t HaUnixMachine = 2;

class THaWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        std::uint8_t head[4];
        if (!ReadExact(K.ArchiveOffset, head, 4)) return;
        FLeft = GetU16LE(head + 2);
        Pos = K.ArchiveOffset + 3;
        StepSize = HaStep;
    }

    void Step() override {
        if (FLeft == 0) {
            Stop();
            return;
        }
        --FLeft;
        const std::uint8_t* h = Buf.data();
        std::int64_t afterPath = 0;
        std::int64_t afterName = 0;
        bool pathWhole = false;
        bool nameWhole = false;
        std::string path = ReadZText(HeaderPos + HaStep, MaxHaName, afterPath, &pathWhole);
        const std::string name = ReadZText(afterPath, MaxHaName, afterName, &nameWhole);
        // The machine-specific data: its length, then the type of machine that made the entry.
        std::uint8_t mdi[2] = {};
        if (!pathWhole || !nameWhole || !ReadExact(afterName, mdi, 1)) {
            Stop();
            return;
        }
        const std::uint8_t mdiLen = mdi[0];
        const bool madeOnUnix = mdiLen > 0 && ReadExact(afterName + 1, mdi + 1, 1) && mdi[1] == HaUnixMachine;
        const std::int64_t packed = GetU32LE(h + 2);
        const unsigned version = h[1] >> 4;
        const unsigned method = h[1] & 0x0F;
        if (!path.empty()) {
            path = FixPathSlashes(path);
            if (path.back() != '/') path += '/';
        }
        TKorvaEntry e;
        e.StoredName = path + name;
        // Made on Unix: the name is in the system's own encoding, UTF-8.
        e.NameIsUtf8 = madeOnUnix;
        e.IsDirectory = method == HaDirectory;
        e.Date = UnixDateToDateTime(GetU32LE(h + 14));
        e.VersionMadeBy = static_cast<std::uint16_t>(version);
        e.VersionNeeded = static_cast<std::uint16_t>(version);
        e.PackedSize = packed;
        e.UnpackedSize = GetU32LE(h + 6);
        e.CRC = GetU32LE(h + 10);
        e.Method = static_cast<std::uint16_t>(method);
        e.InternalAttr = 32;
        e.ExternalAttr = 32;
        e.Offset = HeaderPos + 1;
        // The next read starts one byte before the next header.
        if (!MoveTo(CheckedSum(afterName, mdiLen, packed))) return;
        Select(e);
    }

private:
    std::uint32_t FLeft = 0;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeHaWalk(TKorva& Owner) {
    return std::make_unique<THaWalk>(Owner);
}

// The lister's gzip walk: a gzip or compress (.Z) file holds one entry. Its name is the
// stored one or the archive's name less its extension; the trailer gives the CRC and the
// unpacked size of the (last) member.
#include "engine/core/krvByteAccess.h"
#include "engine/read/krvKorvaWalk.h"

#include <sys/stat.h>

namespace {

constexpr int GzipHeader = 10;
constexpr std::uint16_t MagicGzip = 0x8B1F;     // 1F 8B
constexpr std::uint16_t MagicGzipOld = 0x9E1F;  // 1F 9E
constexpr std::uint16_t MagicCompress = 0x9D1F; // 1F 9D
constexpr std::uint8_t FlagExtra = 0x04;
constexpr std::uint8_t FlagName = 0x08;
constexpr std::uint8_t FlagEncrypted = 0x20;

std::string BaseNameWithoutExt(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    std::string name = slash == std::string::npos ? Path : Path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

// The archive file's attributes as the engine sees them: archive, and read-only when the
// owner may not write it.
std::uint32_t FileAttributes(const std::string& Path) {
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0) return 0;
    return 0x20 | ((st.st_mode & S_IWUSR) ? 0 : 0x01);
}

class TGzipWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        Pos = K.ArchiveOffset;
        StepSize = GzipHeader;
    }

    void Step() override {
        const std::uint8_t* h = Buf.data();
        const std::uint16_t magic = GetU16LE(h);
        if (!IsGZipSignature(magic)) {
            Stop();
            return;
        }
        const bool gzip = magic == MagicGzip || magic == MagicGzipOld;
        const std::uint8_t flags = h[3];
        const std::int64_t size = End - HeaderPos;
        std::int64_t at = Pos;
        std::int64_t extra = 0;

        TKorvaEntry e;
        e.Always = true;
        e.PackedSize = size - GzipHeader;
        e.UnpackedSize = e.PackedSize;
        e.Date =
            magic == MagicCompress ? K.DosDateToDateTime(K.ArchiveDate) : UnixDateToDateTime(GetU32LE(h + 4));
        if (gzip && (flags & FlagExtra)) {
            std::uint8_t len[2];
            if (ReadExact(at, len, 2)) extra = GetU16LE(len);
            at += 2 + extra;
        }
        std::int64_t afterName = at;
        if (gzip && (flags & FlagName))
            e.StoredName = ReadZText(at, 255, afterName);
        else
            e.StoredName = BaseNameWithoutExt(K.ArchiveFile());

        if (gzip) {
            std::uint8_t t[8];
            if (size >= GzipHeader + 8 && ReadExact(HeaderPos + size - 8, t, 8)) {
                if (t[0] == 0x1F && t[1] == 0x8B && t[2] == 0 && t[3] == 0) {
                    // A name record behind the data: its length, the name, the CRC and size before it.
                    const std::uint32_t l = GetU32LE(t + 4);
                    std::uint8_t r[8];
                    if (std::int64_t{l} + 16 <= size && ReadExact(HeaderPos + size - 16 - l, r, 8)) {
                        e.StoredName = ReadText(HeaderPos + size - 8 - l, l & 0xFF);
                        e.CRC = GetU32LE(r);
                        e.UnpackedSize = GetU32LE(r + 4);
                        extra += (l & 0xFFFF) + 8;
                    }
                } else {
                    e.CRC = GetU32LE(t);
                    e.UnpackedSize = GetU32LE(t + 4);
                }
            }
            e.Encrypted = (flags & FlagEncrypted) != 0;
            e.PackedSize = std::max<std::int64_t>(size - extra - 8, 0);
        } else if (e.UnpackedSize < e.PackedSize) {
            // compress keeps no size: the packed size stands in for it.
            e.UnpackedSize = e.PackedSize;
        }
        e.Method = h[2];
        e.MethodFlags = flags;
        e.Magic = magic;
        e.ExternalAttr = FileAttributes(K.ArchiveFile());
        e.Offset = HeaderPos;
        Stop();
        Select(e);
    }
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeGzipWalk(TKorva& Owner) {
    return std::make_unique<TGzipWalk>(Owner);
}

// The lister's gzip walk: a gzip or compress (.Z) file holds one entry. Its header is read by
// the shared gzip header reader (krvGzipRecords); its name is the stored one (a base name) or
// the archive's name less its extension; the trailer gives the CRC and the unpacked size of
// the (last) member.
#include "engine/core/krvByteAccess.h"
#include "engine/formats/gzip/krvGzipRecords.h"
#include "engine/read/krvKorvaWalk.h"

#include <sys/stat.h>

namespace {

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
        StepSize = static_cast<int>(GzipFixedHeader);
    }

    void Step() override {
        TGzipMember member;
        const TGzipHeaderResult header = ReadGzipHeader(
            [this](std::int64_t At, void* Buffer, std::int64_t Count) { return ReadAt(At, Buffer, Count); },
            HeaderPos, End, member);
        if (header == TGzipHeaderResult::NotGzip) {
            Stop();
            return;
        }
        const std::uint16_t magic = member.Magic;
        const bool gzip = member.IsGzip();
        // The method and flags bytes as they stand (a compress file has its own there).
        const std::uint8_t flags = Buf[3];
        const std::int64_t size = End - HeaderPos;
        std::int64_t extra = member.ExtraLength;

        TKorvaEntry e;
        e.Always = true;
        e.PackedSize = size - GzipFixedHeader;
        e.UnpackedSize = e.PackedSize;
        e.Date =
            magic == CompressMagic ? K.DosDateToDateTime(K.ArchiveDate) : UnixDateToDateTime(member.MTime);
        // Names made on Unix are UTF-8.
        e.StoredName = GzipStoredName(member, K.ArchiveFile());
        e.NameIsUtf8 = true;

        if (gzip) {
            std::uint8_t t[8];
            if (size >= GzipFixedHeader + GzipTrailer && ReadExact(HeaderPos + size - 8, t, 8)) {
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
            e.Encrypted = (flags & GzFlagEncrypted) != 0;
            e.PackedSize = std::max<std::int64_t>(size - extra - 8, 0);
        } else if (e.UnpackedSize < e.PackedSize) {
            // compress keeps no size: the packed size stands in for it.
            e.UnpackedSize = e.PackedSize;
        }
        e.Method = Buf[2];
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

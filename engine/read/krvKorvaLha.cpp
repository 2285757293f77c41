// The lister's lha/lzh walk over header levels 0, 1 and 2. Levels 1 and 2 carry extended
// headers: the file name (type 1) and the folder name (type 2, parts separated by 0xFF).
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvGbls.h"
#include "engine/read/krvKorvaWalk.h"

namespace {

constexpr int LhaFixed = 22;
constexpr int MaxExtHeaders = 1024;

class TLhaWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        Pos = K.ArchiveOffset;
        std::uint8_t first = 0;
        // A first header size of 0: the archive lies behind a 128-byte block.
        if (ReadExact(Pos, &first, 1) && first == 0) Pos += 128;
        StepSize = LhaFixed;
    }

    void Step() override {
        const std::uint8_t* h = Buf.data();
        const int level = h[20];
        if (level > 2) {
            Stop();
            return;
        }
        const std::int64_t headerSize = level == 2 ? GetU16LE(h) : h[0];
        if (headerSize == 0) {
            Stop();
            return;
        }
        const std::int64_t packedField = GetU32LE(h + 7);
        const std::int64_t unpacked = GetU32LE(h + 11);
        std::string name;
        std::uint16_t crc = 0;
        std::int64_t extPos = 0;
        std::int64_t extLimit = 0;
        std::int64_t next = 0;
        std::uint16_t extSize = 0;
        std::uint8_t os = 0;

        if (level < 2) {
            const std::int64_t baseEnd = HeaderPos + headerSize + 2;
            const int nameLen = h[21];
            if (LhaFixed + nameLen + 2 > headerSize + 2 || baseEnd > End) {
                Stop();
                return;
            }
            name = ReadText(HeaderPos + LhaFixed, nameLen);
            std::uint8_t tail[2];
            if (!ReadExact(HeaderPos + LhaFixed + nameLen, tail, 2)) {
                Stop();
                return;
            }
            crc = GetU16LE(tail);
            if (!CheckedAdd(baseEnd, packedField, next)) return BadHeader();
            if (level == 1 && LhaFixed + nameLen + 5 <= headerSize + 2) {
                std::uint8_t more[3];
                if (ReadExact(HeaderPos + LhaFixed + nameLen + 2, more, 1)) os = more[0];
                // The first extended-header size closes the base header.
                if (ReadExact(baseEnd - 2, more, 2)) extSize = GetU16LE(more);
                extPos = baseEnd;
                extLimit = std::min(next, End);
            }
        } else {
            std::uint8_t more[5];
            if (headerSize < 26 || HeaderPos + headerSize > End || !ReadExact(HeaderPos + 21, more, 5)) {
                Stop();
                return;
            }
            crc = GetU16LE(more);
            os = more[2];
            extSize = GetU16LE(more + 3);
            extPos = HeaderPos + 26;
            // Some writers leave extended headers out of the header size.
            extLimit = End;
            const std::optional<std::int64_t> after = CheckedSum(HeaderPos, headerSize, packedField);
            if (!after) return BadHeader();
            next = *after;
        }

        std::string dir;
        std::int64_t extTotal = 0;
        for (int count = 0; extSize != 0 && count < MaxExtHeaders; ++count) {
            if (extSize > End - extPos) {
                // The header is cut off by the archive's end.
                Stop();
                return;
            }
            if (extSize < 3 || extSize > extLimit - extPos) break;
            const std::string ext = ReadText(extPos, extSize);
            if (std::ssize(ext) != extSize) break;
            const std::string data = ext.substr(1, ext.size() - 3);
            if (ext[0] == 1) name = data;
            if (ext[0] == 2) dir = data;
            extTotal += extSize;
            extPos += extSize;
            extSize = GetU16LE(reinterpret_cast<const std::uint8_t*>(ext.data()) + ext.size() - 2);
        }

        // Folders are separated by '\\', '/' or 0xFF.
        name = FixPathSlashes(name);
        if (!dir.empty()) {
            dir = FixPathSlashes(dir);
            if (dir.back() != '/') dir += '/';
            name = dir + name;
        }

        TKorvaEntry e;
        e.StoredName = name;
        e.IsDirectory = h[5] == 'd';
        if (e.IsDirectory && !name.empty() && name.back() != '/') e.StoredName += '/';
        // Level 2 keeps a Unix time; levels 0 and 1 a DOS date-time.
        e.Date = level == 2 ? UnixDateToDateTime(GetU32LE(h + 15)) : K.DosDateToDateTime(GetU32LE(h + 15));
        // Level 1 counts its extended headers in the packed size.
        const std::int64_t packed =
            level == 1 ? std::max<std::int64_t>(packedField - extTotal, 0) : packedField;
        e.PackedSize = std::min(packed, unpacked);
        e.UnpackedSize = unpacked;
        e.CRC = crc;
        e.Method = h[5];
        e.InternalAttr = 32;
        e.ExternalAttr = h[19];
        e.HostSystem = os;
        e.Offset = HeaderPos;
        Pos = next;
        Select(e);
    }
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeLhaWalk(TKorva& Owner) {
    return std::make_unique<TLhaWalk>(Owner);
}

#include "engine/formats/arj/krvArjRecords.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvCrc.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::uint16_t ArjId = 0xEA60;
constexpr int FieldsEnd = 34; // the fixed fields end at offset 34
constexpr int MaxExtHeaders = 64;

bool ReadExact(const TReadAtFunc& Read, std::int64_t At, void* Buffer, std::int64_t Count) {
    return Count >= 0 && Read(At, Buffer, Count) == Count;
}

} // namespace

TArjRead ReadArjHeader(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size, TArjHeader& H) {
    H = TArjHeader{};
    H.HeaderPos = At;
    std::array<std::uint8_t, 4 + ArjMaxBasicSize> b{};
    if (!ReadExact(Read, At, b.data(), 4) || GetU16LE(b.data()) != ArjId) return TArjRead::Bad;
    const int basic = GetU16LE(b.data() + 2);
    if (basic == 0) return TArjRead::End;
    if (basic > ArjMaxBasicSize || !ReadExact(Read, At + 4, b.data() + 4, basic)) return TArjRead::Bad;
    const int firstSize = b[4];
    if (firstSize < FieldsEnd - 4 || firstSize > basic) return TArjRead::Bad;
    H.Version = b[5];
    H.MinVersion = b[6];
    H.Host = b[7];
    H.Flags = b[8];
    H.Method = b[9];
    H.FileType = b[10];
    H.PasswordModifier = b[11];
    H.Time = GetU32LE(b.data() + 12);
    H.PackedSize = GetU32LE(b.data() + 16);
    H.UnpackedSize = GetU32LE(b.data() + 20);
    H.Crc = GetU32LE(b.data() + 24);
    H.AccessMode = GetU16LE(b.data() + 30);
    const char* name = reinterpret_cast<const char*>(b.data() + 4 + firstSize);
    H.Name.assign(name, strnlen(name, static_cast<std::size_t>(basic - firstSize)));

    // The header's CRC, then the extended headers, each with a CRC of its own.
    std::uint8_t stored[4];
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(b.data() + 4, basic, crc);
    H.HeaderDamaged = !ReadExact(Read, At + 4 + basic, stored, 4) || (crc ^ 0xFFFFFFFF) != GetU32LE(stored);
    std::int64_t p = At + 4 + basic + 4;
    for (int count = 0;; ++count) {
        std::uint8_t size[2];
        if (count >= MaxExtHeaders || !ReadExact(Read, p, size, 2)) return TArjRead::Bad;
        p += 2;
        const std::uint16_t ext = GetU16LE(size);
        if (ext == 0) break;
        p += ext + 4;
        if (p > Size) return TArjRead::Bad;
    }
    H.DataPos = p;
    // The main header has no data: its size fields hold times.
    if (H.FileType == ArjMainHeader) H.PackedSize = H.UnpackedSize = 0;
    if (!CheckedAdd(p, H.PackedSize, H.NextPos)) return TArjRead::Bad;
    return TArjRead::Ok;
}

std::int64_t FindArjHeader(const TReadAtFunc& Read, std::int64_t From, std::int64_t Size) {
    return FindHeader(Read, From, Size, "\x60\xEA", 0, [&](std::int64_t At) {
        TArjHeader h;
        return ReadArjHeader(Read, At, Size, h) == TArjRead::Ok && !h.HeaderDamaged && h.NextPos <= Size;
    });
}

std::string ArjNameAt(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size) {
    constexpr std::int64_t maxName = 256;
    std::uint8_t h[5];
    if (!ReadExact(Read, At, h, 5) || GetU16LE(h) != ArjId || h[4] < FieldsEnd - 4) return {};
    // The name ends at its NUL.
    const std::int64_t from = At + 4 + h[4];
    std::string bytes(maxName, '\0');
    bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(Read(from, bytes.data(), maxName), 0)));
    const std::size_t nul = bytes.find('\0');
    return nul == std::string::npos ? std::string()
                                    : NameBytesAt(Read, from, static_cast<std::int64_t>(nul), Size);
}

void FollowArjHeader(const TReadAtFunc& Read, std::int64_t Size, TArjHeader& H) {
    const auto find = [&](std::int64_t From) { return FindArjHeader(Read, From, Size); };
    const auto isNext = [&](std::int64_t At) {
        TArjHeader next;
        const TArjRead r = ReadArjHeader(Read, At, Size, next);
        // An end mark with a whole header or another end mark behind it is a header whose size
        // was damaged to 0; other bytes behind a real end mark are no concern of the archive's.
        const auto endMark = [&] {
            return FindHeader(Read, At + 4, Size, std::string_view("\x60\xEA\0\0", 4), 0,
                              [](std::int64_t) { return true; });
        };
        return r == TArjRead::Ok || (r == TArjRead::End && find(At + 4) < 0 && endMark() < 0);
    };
    FollowHeaders(
        H.DataPos, H.NextPos, Size, isNext, find, [&](std::int64_t At) { return ArjNameAt(Read, At, Size); },
        H);
}

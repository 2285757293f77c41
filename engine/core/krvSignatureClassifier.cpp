// The signature classifier of format detection: what the bytes at one place of a file say,
// for a plain file or for a place inside an executable. Two-byte signatures that ordinary
// text can begin with are only trusted when the header behind them is plausible.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvHeaderDamage.h"
#include "engine/core/krvRegisterKorva.h"

#include <cstring>

namespace {

constexpr std::uint32_t ZooTag = 0xFDC4A7DC;

bool Starts(const std::uint8_t* B, const char* Text) {
    return std::memcmp(B, Text, std::strlen(Text)) == 0;
}

// zoo: the text "ZOO " and the archive tag at offset 20.
bool IsZooHeader(const std::uint8_t* B, std::int64_t N) {
    return N >= 24 && Starts(B, "ZOO ") && GetU32LE(B + 20) == ZooTag;
}

// ha: "HA", a file count, then the first file header: version 2 (or 1) in the high nibble
// and a known method in the low one, a packed size that fits the file, and for stored files
// equal packed and unpacked sizes.
bool IsHaHeader(const std::uint8_t* B, std::int64_t N, std::int64_t Remaining) {
    constexpr std::int64_t minEntry = 21; // fixed fields, empty path, one-letter name, mdi length
    if (N < 4 + 17 || Remaining < 4 + minEntry) return false;
    const std::int64_t count = GetU16LE(B + 2);
    if (count == 0 || count > (Remaining - 4) / minEntry) return false;
    const std::uint8_t type = B[4];
    const unsigned version = type >> 4;
    const unsigned method = type & 0x0F;
    if (version < 1 || version > 2) return false;
    if (method != 0 && method != 1 && method != 2 && method != 14 && method != 15) return false;
    const std::int64_t packed = GetU32LE(B + 5);
    const std::int64_t unpacked = GetU32LE(B + 9);
    if (packed > Remaining - 4 - minEntry) return false;
    return method != 0 || packed == unpacked;
}

// arc: a name of at most 12 characters ended by NUL, and a packed size that fits the file.
bool IsArcHeader(const std::uint8_t* B, std::int64_t N, std::int64_t Remaining) {
    constexpr std::int64_t headerSize = 29;
    if (N < headerSize || B[2] < 0x20) return false;
    const void* nul = std::memchr(B + 2, 0, 13);
    if (!nul) return false;
    for (const std::uint8_t* p = B + 2; p != nul; ++p)
        if (*p < 0x20) return false;
    return GetU32LE(B + 15) <= static_cast<std::uint64_t>(Remaining - headerSize);
}

constexpr std::int64_t ArcSfxStubSize = 7716;

} // namespace

bool PlausibleLhaHeader(const TReadAtFunc& Read, std::int64_t Pos, std::int64_t Size) {
    constexpr int fixed = 22;
    constexpr int level2Min = fixed + 4; // the CRC, the host and the first extended-header size
    std::uint8_t h[2 + 255];
    const std::int64_t got = Read(Pos, h, sizeof h);
    if (got < fixed || h[2] != '-' || h[3] != 'l' || h[6] != '-') return false;
    const int level = h[20];
    if (level == 2) {
        // A 16-bit header size that the file holds, and a first extended header of at least
        // its type and next-size bytes (0: none).
        const std::int64_t size = GetU16LE(h);
        const int ext = got >= level2Min ? GetU16LE(h + 24) : -1;
        return size >= level2Min && Pos + size <= Size && (ext == 0 || ext >= 3);
    }
    // Level 3 begins with its word size, 4, and keeps a 32-bit header size at 24.
    if (level == 3) return GetU16LE(h) == 4 && got >= 28 && Pos + GetU32LE(h + 24) <= Size;
    if (level > 1 || h[0] == 0) return false;
    const int size = h[0];
    // The name and the data CRC (level 1: also the host and an extended-header size) fit.
    if (fixed + h[21] + (level == 1 ? 5 : 2) > size + 2 || got < size + 2) return false;
    unsigned sum = 0;
    for (int i = 2; i < size + 2; ++i)
        sum += h[i];
    return static_cast<std::uint8_t>(sum) == h[1];
}

bool TRegisterKorva::PlausibleEncipheredLocal(TStream32& Stream, std::int64_t Pos) {
    std::array<std::uint8_t, TZipLocalHeader::Size> local{};
    if (ReadAt(Stream, Pos, local.data(), TZipLocalHeader::Size) != TZipLocalHeader::Size) return false;
    DecryptZipHeader(local, zkLocal);
    const TZipLocalHeader h = TZipLocalHeader::FromBytes(local.data());
    return (h.VersionNeeded & 0xFF) <= 99 && h.Method <= 99 && h.NameLength > 0 &&
           Pos + static_cast<std::int64_t>(TZipLocalHeader::Size) + h.NameLength + h.ExtraLength <=
               ArchiveSize;
}

TArcType TRegisterKorva::ClassifySignature(TStream32& Stream, std::int64_t Pos, bool InExe) {
    std::uint8_t b[32] = {};
    const std::int64_t n = ReadAt(Stream, Pos, b, sizeof b);
    if (n < 2) return atNA;
    const std::int64_t remaining = ArchiveSize - Pos;
    auto pick = [InExe](TArcType Exe, TArcType Plain) { return InExe ? Exe : Plain; };
    const std::uint8_t b0 = b[0];
    const std::uint8_t b1 = b[1];

    if (Starts(b, "PKG5")) return atUnknown;
    if (Starts(b, "MSCF")) return pick(atUnsupported, atCab);
    // The arc self-extractor's stub is 7716 bytes long; its archive must really begin there.
    auto arcExeAt7716 = [&]() {
        std::uint8_t h[32] = {};
        const std::int64_t got = ReadAt(Stream, Pos + ArcSfxStubSize, h, sizeof h);
        if (h[0] != 0x1A || !IsArcHeader(h, got, ArchiveSize - Pos - ArcSfxStubSize)) return atNA;
        ArchiveOffset = ArcSfxStubSize;
        return atArcExe;
    };
    if (Starts(b, "\xB7\xDF\x54\x57")) return InExe ? arcExeAt7716() : atArc;
    if (Starts(b, "\x13\x5D\x65\x8C")) return pick(atUnsupported, atMsGZ);
    if (Starts(b, "BH\x05\x07")) return pick(atBhExe, atBh);
    if (Starts(b, "Rar!")) return pick(atRarExe, atRar);
    // lha: "-l", the '-' that closes the method name ("-lh5-", "-lz4-", "-lhd-"), and a header
    // that holds together: text can begin with such bytes too.
    if (b[2] == '-' && b[3] == 'l' && b[6] == '-' &&
        PlausibleLhaHeader(StreamReader(Stream), Pos, ArchiveSize))
        return pick(atLhaExe, atLha);
    if (IsGZipSignature(GetU16LE(b))) return pick(atUnsupported, atGZip);
    if (b0 == 0xB7 && (b1 == 0xDF || b1 == 0x92)) return arcExeAt7716();
    if (b0 == 0x60 && b1 == 0xEA) return pick(atArjExe, atArj);
    if (b0 == 'Z' && b1 == 'O' && IsZooHeader(b, n)) return pick(atUnsupported, atZoo);
    if (b0 == 'H' && b1 == 'A' && IsHaHeader(b, n, remaining)) return pick(atUnsupported, atHA);
    if (b0 == 0x1A) {
        if (b1 == 0x1E || b1 == 0x02) return pick(atUnsupported, atArc);
        if (b1 == 0x08 || b1 == 0x09) return pick(atArcExe, atArc);
        if (b1 == 0x0A || b1 == 0x0B) return pick(atPakExe, atPak);
        // the other arc methods (old stored, packed, squeezed, crunched)
        if (!InExe && b1 >= 0x01 && b1 <= 0x07 && IsArcHeader(b, n, remaining)) return atArc;
    }
    if (b0 == 'P' && (b1 == 'K' || b1 == 'L')) {
        const std::uint8_t b2 = b[2];
        const std::uint8_t b3 = b[3];
        if (b2 == 0x01 && b3 == 0x02) {
            LocateZipDirectory(Stream);
            return atZipMV;
        }
        if (b2 == 0x07 && b3 == 0x08) return atZipMV;
        if ((b2 == 'G' && b3 == '4') || (b2 == 'C' && b3 == 'I')) return atNA;
        // Archives begin with a local header, an empty archive's end record, or the marker of
        // an archive meant for spanning that fitted one disk ("PK00").
        const bool plainStart = b1 == 'K' && ((b2 == 0x03 && b3 == 0x04) || (b2 == 0x05 && b3 == 0x06) ||
                                              (b2 == '0' && b3 == '0'));
        const bool encipheredStart =
            b1 == 'L' && b2 == 0x03 && b3 == 0x04 && PlausibleEncipheredLocal(Stream, Pos);
        if (plainStart || encipheredStart) return pick(atZipExe, atZip);
    }
    return atNA;
}

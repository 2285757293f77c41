// The lister's rar walk, over the block headers of rar 1.5 to 4 and of rar 5. A file split
// over volumes is followed into the next volume and reported once, with the packed sizes
// of all its parts.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvCrc.h"
#include "engine/read/krvKorvaWalk.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr std::uint8_t Rar4Marker[7] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
constexpr std::uint8_t Rar5Marker[8] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};

// rar 1.5 to 4
constexpr int Rar4Block = 32;
constexpr int Rar4MinBlock = 7;
constexpr int Rar4LongBlockSize = 11;
constexpr std::uint8_t Rar4Main = 0x73;
constexpr std::uint8_t Rar4File = 0x74;
constexpr std::uint8_t Rar4Comment = 0x75;
constexpr std::uint8_t Rar4End = 0x7B;
constexpr std::uint16_t Rar4HeadersEncrypted = 0x0080; // main header
constexpr std::uint16_t Rar4SplitBefore = 0x0001;
constexpr std::uint16_t Rar4SplitAfter = 0x0002;
constexpr std::uint16_t Rar4Password = 0x0004;
constexpr std::uint16_t Rar4DirectoryBits = 0x00E0;
constexpr std::uint16_t Rar4LargeSizes = 0x0100;
constexpr std::uint16_t Rar4Unicode = 0x0200;
constexpr std::uint16_t Rar4Skip = 0x4000;
constexpr std::uint16_t Rar4LongBlock = 0x8000;

// rar 5
constexpr int Rar5MinBlock = 7;
constexpr std::int64_t Rar5MaxHeader = 2 * 1024 * 1024;
constexpr std::uint64_t Rar5HasExtra = 0x01;
constexpr std::uint64_t Rar5HasData = 0x02;
constexpr std::uint64_t Rar5SplitBefore = 0x08;
constexpr std::uint64_t Rar5SplitAfter = 0x10;

void AppendUtf8(std::string& Out, std::uint32_t C) {
    if (C < 0x80) {
        Out += static_cast<char>(C);
    } else if (C < 0x800) {
        Out += static_cast<char>(0xC0 | (C >> 6));
        Out += static_cast<char>(0x80 | (C & 0x3F));
    } else if (C < 0x10000) {
        Out += static_cast<char>(0xE0 | (C >> 12));
        Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (C & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (C >> 18));
        Out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (C & 0x3F));
    }
}

std::string Utf16ToUtf8(const std::vector<std::uint16_t>& Units) {
    std::string out;
    for (std::size_t i = 0; i < Units.size(); ++i) {
        std::uint32_t c = Units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < Units.size() && Units[i + 1] >= 0xDC00 &&
            Units[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (Units[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, c);
    }
    return out;
}

// A rar 3 name with the unicode flag: the OEM name, a NUL, then the UTF-16 name coded
// against the OEM one. Without the NUL the whole name is UTF-8.
bool DecodeUnicodeName(const std::string& Stored, std::string& Name) {
    const std::size_t nul = Stored.find('\0');
    if (nul == std::string::npos) {
        Name = Stored;
        return true;
    }
    const auto* plain = reinterpret_cast<const std::uint8_t*>(Stored.data());
    const std::size_t plainLen = nul;
    const std::uint8_t* enc = plain + nul + 1;
    const std::size_t encSize = Stored.size() - nul - 1;
    if (encSize == 0) return false;
    constexpr std::size_t maxUnits = 1024;
    std::vector<std::uint16_t> units;
    std::size_t pos = 0;
    const std::uint8_t high = enc[pos++];
    std::uint8_t flags = 0;
    int flagBits = 0;
    auto plainAt = [&](std::size_t i) -> std::uint8_t { return i < plainLen ? plain[i] : 0; };
    while (pos < encSize && units.size() < maxUnits) {
        if (flagBits == 0) {
            flags = enc[pos++];
            flagBits = 8;
            if (pos >= encSize && (flags >> 6) != 3) break;
        }
        switch (flags >> 6) {
        case 0:
            if (pos >= encSize) return false;
            units.push_back(enc[pos++]);
            break;
        case 1:
            if (pos >= encSize) return false;
            units.push_back(static_cast<std::uint16_t>(enc[pos++] + (high << 8)));
            break;
        case 2:
            if (pos + 1 >= encSize) return false;
            units.push_back(static_cast<std::uint16_t>(enc[pos] | (enc[pos + 1] << 8)));
            pos += 2;
            break;
        default: {
            if (pos >= encSize) return false;
            int length = enc[pos++];
            if (length & 0x80) {
                if (pos >= encSize) return false;
                const std::uint8_t correction = enc[pos++];
                for (length = (length & 0x7F) + 2; length > 0 && units.size() < maxUnits; --length) {
                    const std::size_t i = units.size();
                    units.push_back(
                        static_cast<std::uint16_t>(((plainAt(i) + correction) & 0xFF) + (high << 8)));
                }
            } else {
                for (length += 2; length > 0 && units.size() < maxUnits; --length)
                    units.push_back(plainAt(units.size()));
            }
            break;
        }
        }
        flags = static_cast<std::uint8_t>(flags << 2);
        flagBits -= 2;
    }
    Name = Utf16ToUtf8(units);
    return true;
}

// A rar 5 variable-length number; false when it runs past Size or beyond 64 bits.
bool ReadVInt(const std::uint8_t* P, std::size_t Size, std::size_t& At, std::uint64_t& Value) {
    Value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (At >= Size) return false;
        const std::uint8_t b = P[At++];
        Value |= std::uint64_t{b & 0x7Fu} << shift;
        if (!(b & 0x80)) return true;
    }
    return false;
}

class TRarWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        const std::int64_t base = K.ArchiveOffset;
        std::uint8_t marker[8];
        if (!ReadExact(base, marker, 8)) return;
        if (std::memcmp(marker, Rar5Marker, 8) == 0) {
            FRar5 = true;
            Pos = base + 8;
            StepSize = 1;
            return;
        }
        std::int64_t first = 0;
        if (std::memcmp(marker, Rar4Marker, 7) != 0 || !ReadMainHeader(base, first)) {
            K.ReportError(K.ArchiveFile(), "", "0", ecBadFileHeader);
            return;
        }
        if (FHeadersEncrypted) {
            K.ReportError(K.ArchiveFile(), "", "0", ecPasswordProtected);
            return;
        }
        Pos = first;
        // Each step reads its block itself: a block cut short at the end of the file is
        // damage it reports, where the frame would end the walk quietly.
        StepSize = 1;
    }

    void Step() override {
        if (FRar5)
            Step5();
        else
            Step4();
    }

private:
    // The main header behind the marker at At; First is set after it.
    bool ReadMainHeader(std::int64_t At, std::int64_t& First) {
        std::uint8_t m[13];
        if (!ReadExact(At + 7, m, sizeof m) || m[2] != Rar4Main) return false;
        const std::uint16_t size = GetU16LE(m + 5);
        if (size < 7) return false;
        FHeadersEncrypted = (GetU16LE(m + 3) & Rar4HeadersEncrypted) != 0;
        First = At + 7 + size;
        return true;
    }

    // A rar 4 archive may end without its end block (old versions wrote none): the walk ends
    // well at the end of a block that ends with the file. A block cut off is damage.
    void Step4() {
        std::uint8_t h[Rar4Block] = {};
        if (ReadAt(HeaderPos, h, Rar4Block) < Rar4MinBlock) return Cut();
        const std::uint8_t type = h[2];
        const std::uint16_t flags = GetU16LE(h + 3);
        const std::uint16_t headSize = GetU16LE(h + 5);
        if (headSize < Rar4MinBlock) return Bad("its size is impossible");
        if (headSize > End - HeaderPos) return Cut();
        // Comments of rar 2 may sit in blocks of another layout: their headers are not checked.
        if (type != Rar4Comment && !HeaderCrc4Agrees(headSize, GetU16LE(h))) return Bad("its CRC fails");
        if (type == Rar4End) {
            Stop();
            return;
        }
        if (type == Rar4Comment || !(flags & Rar4LongBlock)) {
            Pos = HeaderPos + headSize;
            return;
        }
        if (headSize < Rar4LongBlockSize) return Bad("its size is impossible");
        const std::int64_t addSize = GetU32LE(h + 7);
        if (type != Rar4File || (flags & Rar4Skip)) {
            Pos = HeaderPos + headSize + addSize;
            if (Pos > End) Cut();
            return;
        }
        const bool large = (flags & Rar4LargeSizes) != 0;
        const std::int64_t nameAt = HeaderPos + Rar4Block + (large ? 8 : 0);
        const std::uint16_t nameSize = GetU16LE(h + 26);
        if (headSize < Rar4Block || nameAt + nameSize > HeaderPos + headSize)
            return Bad("its name runs past its end");
        std::int64_t packed = addSize;
        std::int64_t unpacked = GetU32LE(h + 11);
        if (large) {
            std::uint8_t high[8];
            if (!ReadExact(HeaderPos + Rar4Block, high, 8)) {
                Stop();
                return;
            }
            // A packed size beyond the signed 64-bit range is damage.
            if (GetU32LE(high) > 0x7FFFFFFF) return Bad("its packed size is impossible");
            packed |= std::int64_t{GetU32LE(high)} << 32;
            unpacked |= std::int64_t{GetU32LE(high + 4) & 0x7FFFFFFF} << 32;
        }
        const std::uint8_t host = h[15];
        const std::uint32_t attr = GetU32LE(h + 28);
        const bool isDir = (flags & Rar4DirectoryBits) == Rar4DirectoryBits ||
                           (host == 3 ? (attr & 0x4000) != 0 : (attr & 0x10) != 0);

        TKorvaEntry e;
        const std::string stored = ReadText(nameAt, nameSize);
        if (std::ssize(stored) != nameSize) {
            Stop();
            return;
        }
        if (flags & Rar4Unicode) e.NameIsUtf8 = DecodeUnicodeName(stored, e.StoredName);
        if (!e.NameIsUtf8) {
            e.StoredName = stored.substr(0, stored.find('\0'));
            // Made on Unix: the name is in the system's own encoding, kept as it is.
            e.NameIsUtf8 = host == 3;
        }
        e.IsDirectory = isDir;
        e.MarkFolder();
        e.Date = K.DosDateToDateTime(GetU32LE(h + 20));
        e.VersionMadeBy = h[24];
        e.CRC = GetU32LE(h + 16);
        e.Encrypted = (flags & Rar4Password) != 0;
        e.Method = h[25];
        e.HostSystem = host;
        e.ExternalAttr = host == 3 ? (isDir ? 0x10 : 0x20) : attr;
        e.Offset = HeaderPos;

        FUnpacked = unpacked;
        const std::optional<std::int64_t> next = CheckedSum(HeaderPos, headSize, packed);
        if (!next) return Bad("its packed size is impossible");
        if (!AddPart((flags & Rar4SplitBefore) != 0, packed)) return;
        Pos = *next;
        const std::int64_t blockAt = HeaderPos;
        EndPart(e, (flags & Rar4SplitAfter) != 0 && Pos <= End, [this] {
            std::int64_t first = 0;
            if (!ReadMainHeader(0, first)) K.RaiseError(K.ArchiveFile(), "", "0", ecErrorReadingFile);
            Pos = first;
        });
        // The entry is listed, and the reader names it when it fails.
        if (!VolumeChanged && Pos > End) Cut(blockAt);
    }

    bool HeaderCrc4Agrees(std::uint16_t HeadSize, std::uint16_t Stored) {
        const std::string header = ReadText(HeaderPos + 2, HeadSize - 2);
        std::uint32_t crc = 0xFFFFFFFF;
        UpdateCrc32Buf(header.data(), std::ssize(header), crc);
        return ((crc ^ 0xFFFFFFFF) & 0xFFFF) == Stored;
    }

    // The block at HeaderPos (or At) is damaged: 25110, saying where and how, and the walk ends.
    void Bad(const std::string& How, std::int64_t At = -1) {
        FDamaged = true;
        K.ReportError(K.ArchiveFile(),
                      "block at offset " + std::to_string(At < 0 ? HeaderPos : At) + ": " + How, "0",
                      ecBadFileHeader);
        Stop();
    }
    void Cut(std::int64_t At = -1) { Bad("the archive ends inside it", At); }

    void Step5() {
        // CRC32, the header size, then the header itself.
        std::uint8_t sizeBytes[3];
        const std::int64_t got = ReadAt(HeaderPos + 4, sizeBytes, 3);
        std::size_t at = 0;
        std::uint64_t headerSize = 0;
        if (End - HeaderPos < Rar5MinBlock) return Cut();
        if (!ReadVInt(sizeBytes, static_cast<std::size_t>(got), at, headerSize) || headerSize == 0 ||
            headerSize > static_cast<std::uint64_t>(Rar5MaxHeader))
            return Bad("its size is impossible");
        const std::int64_t headerAt = HeaderPos + 4 + static_cast<std::int64_t>(at);
        const std::string raw = ReadText(headerAt, static_cast<std::int64_t>(headerSize));
        if (raw.size() != headerSize) return Cut();
        std::uint8_t stored[4];
        std::uint32_t crc = 0xFFFFFFFF;
        UpdateCrc32Buf(sizeBytes, static_cast<std::int64_t>(at), crc);
        UpdateCrc32Buf(raw.data(), std::ssize(raw), crc);
        if (!ReadExact(HeaderPos, stored, 4) || (crc ^ 0xFFFFFFFF) != GetU32LE(stored))
            return Bad("its CRC fails");
        const auto* p = reinterpret_cast<const std::uint8_t*>(raw.data());
        const std::size_t size = raw.size();
        std::size_t q = 0;
        std::uint64_t type = 0, flags = 0, extraSize = 0, dataSize = 0;
        if (!ReadVInt(p, size, q, type) || !ReadVInt(p, size, q, flags) ||
            ((flags & Rar5HasExtra) && !ReadVInt(p, size, q, extraSize)) ||
            ((flags & Rar5HasData) && !ReadVInt(p, size, q, dataSize)) || extraSize > size ||
            dataSize > static_cast<std::uint64_t>(INT64_MAX / 2))
            return Bad("its fields run past its end");
        const std::int64_t blockEnd = headerAt + static_cast<std::int64_t>(headerSize);
        Pos = blockEnd + static_cast<std::int64_t>(dataSize);
        switch (type) {
        case 2:
            File5(p, size, q, size - extraSize, flags, static_cast<std::int64_t>(dataSize));
            break;
        case 4: // the headers are enciphered
            K.ReportError(K.ArchiveFile(), "", "0", ecPasswordProtected);
            Stop();
            return;
        case 5:
            Stop();
            return;
        default:
            break;
        }
        // A rar 5 archive ends with its end block: without it, blocks may be lost.
        if (FDamaged || VolumeChanged || Cancelled()) return;
        if (Pos > End)
            Cut();
        else if (Pos == End)
            Bad("the archive ends after it, without its end block");
    }

    void File5(const std::uint8_t* P, std::size_t Size, std::size_t Q, std::size_t ExtraAt,
               std::uint64_t Flags, std::int64_t DataSize) {
        std::uint64_t fileFlags = 0, unpacked = 0, attrs = 0, compression = 0, host = 0, nameLen = 0;
        std::uint32_t mtime = 0, crc = 0;
        if (!ReadVInt(P, ExtraAt, Q, fileFlags) || !ReadVInt(P, ExtraAt, Q, unpacked) ||
            !ReadVInt(P, ExtraAt, Q, attrs))
            return Bad("its fields run past its end");
        if (fileFlags & 0x02) {
            if (Q + 4 > ExtraAt) return Bad("its fields run past its end");
            mtime = GetU32LE(P + Q);
            Q += 4;
        }
        if (fileFlags & 0x04) {
            if (Q + 4 > ExtraAt) return Bad("its fields run past its end");
            crc = GetU32LE(P + Q);
            Q += 4;
        }
        if (!ReadVInt(P, ExtraAt, Q, compression) || !ReadVInt(P, ExtraAt, Q, host) ||
            !ReadVInt(P, ExtraAt, Q, nameLen) || nameLen > ExtraAt - Q)
            return Bad("its fields run past its end");
        TKorvaEntry e;
        e.StoredName.assign(reinterpret_cast<const char*>(P + Q), static_cast<std::size_t>(nameLen));
        e.NameIsUtf8 = true;
        std::int64_t unixTime = (fileFlags & 0x02) ? std::int64_t{mtime} : 0;
        // Extra records: encryption, and the high-precision time.
        for (std::size_t x = ExtraAt; x < Size;) {
            std::uint64_t recSize = 0, recType = 0;
            if (!ReadVInt(P, Size, x, recSize) || recSize == 0 || recSize > Size - x) break;
            const std::size_t recEnd = x + static_cast<std::size_t>(recSize);
            if (ReadVInt(P, recEnd, x, recType)) {
                if (recType == 1) e.Encrypted = true;
                std::uint64_t timeFlags = 0;
                if (recType == 3 && ReadVInt(P, recEnd, x, timeFlags) && (timeFlags & 0x02)) {
                    if ((timeFlags & 0x01) && x + 4 <= recEnd) {
                        unixTime = GetU32LE(P + x);
                    } else if (!(timeFlags & 0x01) && x + 8 <= recEnd) {
                        const std::uint64_t ft = GetU32LE(P + x) | (std::uint64_t{GetU32LE(P + x + 4)} << 32);
                        unixTime = static_cast<std::int64_t>(ft / 10000000) - 11644473600LL;
                    }
                }
            }
            x = recEnd;
        }
        const bool isDir = (fileFlags & 0x01) != 0;
        if (isDir && !e.StoredName.empty() && e.StoredName.back() != '/') e.StoredName += '/';
        e.IsDirectory = isDir;
        e.Date = UnixDateToDateTime(unixTime);
        e.VersionMadeBy = 50;
        e.CRC = crc;
        e.Method = static_cast<std::uint16_t>('0' + ((compression >> 7) & 7));
        e.HostSystem = host == 1 ? 3 : 2;
        e.ExternalAttr = host == 1 ? (isDir ? 0x10 : 0x20) : static_cast<std::uint32_t>(attrs);
        e.Offset = HeaderPos;
        FUnpacked =
            unpacked > static_cast<std::uint64_t>(INT64_MAX) ? 0 : static_cast<std::int64_t>(unpacked);
        if (!AddPart((Flags & Rar5SplitBefore) != 0, DataSize)) return;
        EndPart(e, (Flags & Rar5SplitAfter) != 0, [this] {
            std::uint8_t marker[8];
            if (!ReadExact(0, marker, 8) || std::memcmp(marker, Rar5Marker, 8) != 0)
                K.RaiseError(K.ArchiveFile(), "", "0", ecErrorReadingFile);
            Pos = 8;
        });
    }

    // The packed size of a part: it starts the entry's total, or adds to the parts before it.
    // A total beyond the 64-bit range is damage.
    bool AddPart(bool SplitBefore, std::int64_t Packed) {
        if (!SplitBefore) {
            FPacked = Packed;
            return true;
        }
        if (CheckedAdd(FPacked, Packed, FPacked)) return true;
        Bad("its parts' packed sizes are impossible");
        return false;
    }

    // The end of an entry's part. A part that continues in the next volume moves the walk
    // there (Restart sets Pos to its first header) and the entry is reported with its last
    // part; without a next volume the part at hand is all there is. Otherwise the entry is
    // reported with the packed sizes of all its parts.
    template <typename F> void EndPart(TKorvaEntry& E, bool SplitAfter, F Restart) {
        if (SplitAfter) {
            if (NextVolume()) {
                Restart();
                return;
            }
            E.PackedSize = 0;
            E.NoRatio = true;
        } else {
            E.PackedSize = FPacked;
        }
        E.UnpackedSize = FUnpacked;
        Select(E);
    }

    bool FRar5 = false;
    bool FHeadersEncrypted = false;
    bool FDamaged = false;
    std::int64_t FPacked = 0;
    std::int64_t FUnpacked = 0;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeRarWalk(TKorva& Owner) {
    return std::make_unique<TRarWalk>(Owner);
}

// The 37-byte entry header of bh archives and the reading of one entry's header, name and
// extra field. A bh archive is a plain sequence of entries: header, stored name, extra field,
// packed data (with the 12-byte cipher header in front when enciphered); no directory.
#pragma once

#include "engine/core/krvByteAccess.h"

#include <array>
#include <cstdint>
#include <string>

struct TBhHeader {
    static constexpr int Size = 37;
    static constexpr std::uint32_t Signature = 0x07054842; // "BH" 5 7

    std::uint32_t Sig = Signature;
    std::uint16_t TotalLength = 0; // 37 + name length + extra length
    std::uint8_t HeaderSize = Size;
    std::uint8_t VersionMadeBy = 4;
    std::uint8_t VersionNeeded = 8;
    std::uint8_t Flags = 0; // bit 0 enciphered, bits 1-2 the deflate level as in zip
    std::uint8_t Method = 0;
    std::uint32_t DosDateTime = 0;
    std::uint32_t PackedSize = 0; // the 12-byte cipher header included
    std::uint32_t UnpackedSize = 0;
    std::uint32_t Crc = 0; // CRC-32 of the data
    std::uint16_t Attr = 0;
    std::uint32_t Reserved = 0;
    std::uint16_t NameLength = 0;
    std::uint16_t ExtraLength = 0;

    static TBhHeader FromBytes(const std::uint8_t* P);
    void ToBytes(std::uint8_t* P) const;
    std::array<std::uint8_t, Size> Image() const {
        std::array<std::uint8_t, Size> a{};
        ToBytes(a.data());
        return a;
    }
};

inline constexpr std::uint8_t BhFlagEnciphered = 0x01;
inline constexpr std::uint8_t BhMethodStored = 0;
inline constexpr std::uint8_t BhMethodLzh = 3;
inline constexpr std::uint8_t BhMethodDeflated = 8;

// One entry as found in an archive.
struct TBhEntry {
    TBhHeader Header;
    std::string Name; // as stored
    std::int64_t HeaderPos = 0;
    std::int64_t ExtraPos = 0; // the extra field, right after the name
    std::int64_t DataPos = 0;  // after the extra field
    std::int64_t NextPos = 0;  // after the packed data
};

enum class TBhRead {
    Ok,
    End, // the end of the file, or a header whose total length is 0
    Bad, // no signature, or lengths that do not fit the header or the file
};

// Reads the entry at At of an archive of Size bytes. The next entry lies behind the name,
// the extra field and the packed data.
TBhRead ReadBhEntry(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size, TBhEntry& Entry);

// The bh entry header and the walk over an archive's entries: the one reading (and making)
// of bh headers that the lister, the reader and the writer share.
//
// A bh archive is a plain sequence of entries, each a 37-byte header, the stored name, an
// extra field and the packed data; little-endian:
//
//   0  signature "BH" 05 07          4  total header length, 37 + name + extra (0 ends)
//   6  fixed header size, 37         7  version of the writer   8  version needed
//   9  flags: bit 0 enciphered, bit 3 the cipher check byte comes from the time, bits 1-2
//      the deflate level as in zip  10  method: 0 stored, 1 LZH (13 dictionary bits),
//      2 and 8 deflate, 3 LZH (15 dictionary bits)
//   11 packed DOS date-time          15 packed size (the 12-byte cipher header included)
//   19 unpacked size                 23 CRC-32         27 DOS attributes (0x10 folder)
//   29 reserved, 0                   33 name length    35 extra length
//
// Names are stored with '/' between folders, in the DOS code page (437) when every character
// has a place there, else in UTF-8. An enciphered entry's data begin with the 12-byte header
// of the traditional zip cipher.
#pragma once

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvHeaderDamage.h"

#include <array>
#include <cstdint>
#include <string>

inline constexpr std::uint32_t BhSignature = 0x07054842;
inline constexpr int BhFixedSize = 37;
inline constexpr std::uint8_t BhEnciphered = 0x01;
inline constexpr std::uint8_t BhTimeCheck = 0x08;
inline constexpr std::uint8_t BhStored = 0;
inline constexpr std::uint8_t BhLzh13 = 1;
inline constexpr std::uint8_t BhDeflateOld = 2;
inline constexpr std::uint8_t BhLzh15 = 3;
inline constexpr std::uint8_t BhDeflate = 8;
// Writers before version 3 restart the cipher after its 12-byte header.
inline constexpr std::uint8_t BhFirstChainedCipherVersion = 3;
inline constexpr std::uint8_t BhFolderAttr = 0x10;

// The 37-byte header image as it is stored (the writers keep their records in this form).
struct TBhImage {
    static constexpr int Size = BhFixedSize;

    std::uint32_t Sig = BhSignature;
    std::uint16_t TotalLength = 0; // 37 + name length + extra length
    std::uint8_t HeaderSize = BhFixedSize;
    std::uint8_t VersionMadeBy = 4;
    std::uint8_t VersionNeeded = 8;
    std::uint8_t Flags = 0;
    std::uint8_t Method = 0;
    std::uint32_t DosDateTime = 0;
    std::uint32_t PackedSize = 0; // the 12-byte cipher header included
    std::uint32_t UnpackedSize = 0;
    std::uint32_t Crc = 0;
    std::uint16_t Attr = 0;
    std::uint32_t Reserved = 0;
    std::uint16_t NameLength = 0;
    std::uint16_t ExtraLength = 0;

    static TBhImage FromBytes(const std::uint8_t* P);
    void ToBytes(std::uint8_t* P) const;
    std::array<std::uint8_t, Size> Image() const {
        std::array<std::uint8_t, Size> a{};
        ToBytes(a.data());
        return a;
    }
};

// The range (THeaderRange) is set by FollowBhHeader.
struct TBhHeader : THeaderRange {
    TBhImage Image; // the fixed header as stored
    std::uint8_t VersionMadeBy = 4;
    std::uint8_t VersionNeeded = 8;
    std::uint8_t Flags = 0;
    std::uint8_t Method = BhStored; // as stored (2 is not turned into 8)
    std::uint32_t DosTime = 0;
    std::int64_t PackedSize = 0; // with the cipher header of an enciphered entry
    std::int64_t UnpackedSize = 0;
    std::uint32_t Crc = 0;
    std::uint16_t Attr = 0;
    std::string Name; // bytes as stored, '/'-separated
    std::uint16_t ExtraLength = 0;
    std::int64_t HeaderPos = 0;
    std::int64_t ExtraPos = 0; // the extra field, right after the name
    std::int64_t DataPos = 0;
    std::int64_t NextPos = 0;

    bool Enciphered() const { return (Flags & BhEnciphered) != 0; }
    bool IsFolder() const { return (Attr & BhFolderAttr) != 0; }
    // Method 2 is deflate as 8 is.
    bool IsDeflated() const { return Method == BhDeflate || Method == BhDeflateOld; }
    // The packed size without the cipher header.
    std::int64_t DataSize() const;
    // The data lie where the next header says they end, and a plain stored entry's two sizes
    // are the same.
    bool SizesAgree() const;
    // Why the entry cannot be trusted (data cut off, sizes that do not agree), or 0.
    int DamageCode() const { return DataCut ? ecUnexpectedEndOfFile : SizesAgree() ? 0 : ecBadFileHeader; }
};

enum class TBhRead {
    Ok,
    End,     // the end of the file, or a closing header of total length 0 that ends it
    Foreign, // bytes that are no bh header
    Bad,     // a header cut short, or lengths that do not fit together
};

// Reads the header at At of an archive of Size bytes.
TBhRead ReadBhHeader(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size, TBhHeader& Header);

// After ReadBhHeader: makes sure that the next header (or the end of the file) lies where
// Header's sizes put it. When it does not, the next whole header is looked for from Header's
// data on; NextPos becomes that header (the end of the file when there is none), RangeBad
// tells whether Header's data ran into it or past the end, and GapAt where a header was
// missing. A walk that takes each header through this goes on past damage.
void FollowBhHeader(const TReadAtFunc& Read, std::int64_t Size, TBhHeader& Header);

// The first whole header at or after From (-1: none): a walk picks up there after damage.
std::int64_t FindBhHeader(const TReadAtFunc& Read, std::int64_t From, std::int64_t Size);

// The name a damaged header at At still shows (its signature is there); else empty.
std::string BhNameAt(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size);

// The 37-byte header, the name and ExtraLength zero bytes, as a writer stores them. False
// when the name, the extra field or a size does not fit its field.
bool MakeBhHeader(const TBhHeader& Header, std::string& Out);

// The local name ('/'-separated, UTF-8) of a stored name: bytes that are UTF-8 beyond ASCII
// are taken as UTF-8, others as the DOS code page when OemTranslate.
std::string BhLocalName(const std::string& StoredName, bool OemTranslate);
// The stored name of a local name: the DOS code page when every character has a place there
// and the result does not read as UTF-8, else the UTF-8 bytes as they are. BhLocalName gives
// the local name back.
std::string BhStoredName(const std::string& LocalName);
// Whether a stored name is read as UTF-8.
bool BhNameIsUtf8(const std::string& StoredName);

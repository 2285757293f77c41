// The lha/lzh header records (levels 0, 1 and 2 with their extended headers) and the walk
// over them: the one reading of an lzh archive that the lister and the reader share.
//
// Every header begins with 22 bytes whose byte 20 is the level. Levels 0 and 1: byte 0 is
// the header size H (counted from byte 2), the name follows at 22, then the CRC-16 of the
// data, and on level 1 the host and the size of the first extended header; the packed size
// of level 1 counts its extended headers, which lie between the header and the data.
// Level 2: a 16-bit total header size (extended headers included), the CRC-16, the host and
// the first extended-header size at 21 to 25, a Unix time. An extended header is a type byte,
// its data and the 16-bit size of the next one; type 0 holds the CRC-16 of the whole header
// (taken with that field 0), type 1 the file name, type 2 the folder name (parts separated by
// 0xFF), type 0x46 the code page of the names (65001: UTF-8), type 0x50 the Unix mode.
#pragma once

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvHeaderDamage.h"

#include <cstdint>
#include <string>
#include <vector>

// The range (THeaderRange) is set by FollowLhaHeader.
struct TLhaHeader : THeaderRange {
    int Level = 0;
    std::string Method;          // the five characters, "-lh5-"
    std::string Name;            // folder parts and name joined by '/', bytes as stored
    bool NameIsUtf8 = false;     // made on Unix (host 'U') or marked UTF-8; else the OEM code page
    bool IsDirectory = false;    // "-lhd-"
    bool IsLink = false;         // a symbolic link: Name is "name|target"
    std::string LinkTarget;      // the link's target
    std::int64_t PackedSize = 0; // bytes of entry data (extended headers not counted)
    std::int64_t UnpackedSize = 0;
    std::uint32_t Time = 0; // DOS date-time (levels 0 and 1) or Unix time (level 2)
    bool UnixTime = false;
    std::uint8_t Attr = 0;  // DOS attribute bits
    std::uint16_t Crc = 0;  // CRC-16 of the data
    std::uint8_t Host = 0;  // operating-system id (0 on level 0)
    std::uint16_t Mode = 0; // Unix mode of the permission header (type and permission bits); 0: none
    // The header's own check failed: the checksum of levels 0 and 1, the CRC of level 2. The
    // fields were still read; whether to go on is the caller's choice.
    bool HeaderDamaged = false;
    // The extended headers cannot be right: a second name or folder, or bytes other than padding
    // left between their end and the end of a level-2 header.
    bool ExtensionsBad = false;
    std::int64_t HeaderPos = 0;
    std::int64_t DataPos = 0;
    std::int64_t NextPos = 0; // the next header

    // The method character of "-lhX-" when the id has that form, else 0.
    char MethodChar() const;
    // Stored data ("-lh0-", "-lz4-").
    bool IsStored() const { return Method == "-lh0-" || Method == "-lz4-"; }
    // The data lie where the next header says they end, the extended headers are whole, and a
    // stored entry's two sizes are the same.
    bool SizesAgree() const {
        return !RangeBad && !DataCut && !ExtensionsBad && (!IsStored() || PackedSize == UnpackedSize);
    }
    // Why the entry cannot be trusted (a failed header check, data cut off, sizes that do
    // not agree), or 0.
    int DamageCode() const {
        return HeaderDamaged  ? ecHeaderCRCError
               : DataCut      ? ecUnexpectedEndOfFile
               : SizesAgree() ? 0
                              : ecBadFileHeader;
    }
};

enum class TLhaRead {
    Ok,
    End, // the end mark (a header size of 0) or the end of the file
    Bad, // a header cut short or that cannot be trusted, or of a level above 2
};

// The position of the first header of an archive found at Offset: behind a 128-byte block
// when the first header size there is 0 (and it is not the 16-bit size of a level-2 header).
std::int64_t LhaFirstHeader(const TReadAtFunc& Read, std::int64_t Offset);

// Reads the header at At of an archive of Size bytes.
TLhaRead ReadLhaHeader(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size, TLhaHeader& Header);

// After ReadLhaHeader: makes sure that the next header (or the end) lies where Header's sizes
// put it. When it does not, or an end mark stands there with more headers behind it, the next
// whole header is looked for from Header's data on; NextPos becomes that header (the end of
// the file when there is none), RangeBad tells whether Header's data ran into it or past the
// end, and GapAt where a header was missing. A walk that takes each header through this goes
// on past damage.
void FollowLhaHeader(const TReadAtFunc& Read, std::int64_t Size, TLhaHeader& Header);

// The first whole header (its check holds, its data inside the file) at or after From; -1:
// none. A walk picks up there after damage.
std::int64_t FindLhaHeader(const TReadAtFunc& Read, std::int64_t From, std::int64_t Size);

// The name a damaged header of level 0 or 1 at At still shows (its method id is there); else
// empty.
std::string LhaNameAt(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size);

// ---- writing --------------------------------------------------------------------------------
// The longest name a level-0 header holds (its size byte counts 22 + the name's length).
inline constexpr std::size_t LhaLevel0MaxName = 233;
inline constexpr std::uint8_t LhaHostUnix = 'U';

// The level a renamed old header of StoredName ('/'-separated, a folder with a trailing '/') is
// written at: 0 for a plain ASCII name that fits, else 2. New entries are always written at
// level 2, the only one that holds their Unix mode and their time to the second.
int LhaLevelFor(const std::string& StoredName);

// The bytes of a header of level 0 or 2 for Header's Method, Name ('/'-separated; a folder's
// with a trailing '/'), sizes, Time (DOS date-time at level 0, Unix time at level 2), Attr, Crc
// and (level 2) Mode. Level 0 keeps the name in the header with '\\' separators, sealed by the
// checksum of byte 1; level 2 (made on Unix, UTF-8 names) puts the header CRC, the name, the
// folder and the mode (when not 0) into extended headers and never lets the low byte of its
// 16-bit size be 0, which readers would take for the end of the archive. Nothing is checked
// here: the caller sizes the name by LhaLevelFor and the sizes by the 32-bit fields.
std::vector<std::uint8_t> LhaHeaderBytes(const TLhaHeader& Header);

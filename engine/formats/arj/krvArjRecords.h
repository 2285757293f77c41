// The arj header records and the reading of them: the one parser of an arj archive that the
// lister and the reader share. Every archive and every volume begins with a main header; a
// file header follows for each entry with the entry's data behind it:
//
//   0  id 0x60 0xEA          2  basic header size (0 ends the archive; at most 2600)
//   4  first-header size     5  archiver version   6  version needed   7  host (2 = Unix)
//   8  flags (0x01 garbled, 0x04 volume / continued on the next volume, 0x08 continued
//      from the previous one)   9  method   10  file type   11  password modifier
//   12 time (DOS date-time, or Unix time from Unix hosts)   16 packed size
//   20 unpacked size   24 CRC-32   28 file-spec position   30 access mode   32 host data
//   4 + first-header size: the name and the comment, NUL-terminated
//   4 + basic size: CRC-32 of the basic header, then extended headers (16-bit size, data,
//   CRC-32) closed by a size of 0.
#pragma once

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvHeaderDamage.h"

#include <cstdint>
#include <string>

inline constexpr std::uint8_t ArjGarbled = 0x01;
inline constexpr std::uint8_t ArjVolume = 0x04;  // main header: a volume of a set; file: continued
inline constexpr std::uint8_t ArjExtFile = 0x08; // file: continued from the previous volume
inline constexpr std::uint8_t ArjHostUnix = 2;
inline constexpr std::uint8_t ArjMainHeader = 2; // the file type of an archive's (volume's) first header
inline constexpr int ArjMaxBasicSize = 2600;

// The range (THeaderRange) is set by FollowArjHeader.
struct TArjHeader : THeaderRange {
    std::uint8_t Version = 0;
    std::uint8_t MinVersion = 0;
    std::uint8_t Host = 0;
    std::uint8_t Flags = 0;
    std::uint8_t Method = 0;
    std::uint8_t FileType = 0; // 0 binary, 1 text, 2 main header, 3 folder, 4 volume label
    std::uint8_t PasswordModifier = 0;
    std::uint32_t Time = 0;
    std::int64_t PackedSize = 0;
    std::int64_t UnpackedSize = 0;
    std::uint32_t Crc = 0;
    std::uint16_t AccessMode = 0;
    std::string Name; // as stored
    // The CRC-32 behind the basic header does not match it. The fields were still read;
    // whether to go on is the caller's choice.
    bool HeaderDamaged = false;
    std::int64_t HeaderPos = 0;
    std::int64_t DataPos = 0;
    std::int64_t NextPos = 0;

    // The data lie where the next header says they end, and a whole stored file's two sizes
    // are the same (a part of an entry split over volumes has sizes of its own).
    bool SizesAgree() const {
        const bool part = (Flags & (ArjVolume | ArjExtFile)) != 0;
        return !RangeBad && !DataCut && (Method != 0 || FileType > 1 || part || PackedSize == UnpackedSize);
    }
    // Why the entry cannot be trusted (a failed header check, data cut off, sizes that do
    // not agree), or 0.
    int DamageCode() const {
        return HeaderDamaged  ? ecHeaderCRCError
               : DataCut      ? ecUnexpectedEndOfFile
               : SizesAgree() ? 0
                              : ecBadFileHeader;
    }
    bool NameIsUtf8() const { return Host == ArjHostUnix; }
    bool UnixTime() const { return Host == ArjHostUnix; }
    bool IsDirectory() const { return FileType == 3; }
};

enum class TArjRead {
    Ok,
    End, // a header of size 0: the end of the archive
    Bad, // no header, or one that cannot be trusted
};

// Reads the header at At of an archive (or volume) of Size bytes.
TArjRead ReadArjHeader(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size, TArjHeader& Header);

// After ReadArjHeader: makes sure that the next header (or the end mark) lies where Header's
// sizes put it. When it does not, or an end mark stands there with more headers behind it,
// the next whole header is looked for from Header's data on; NextPos becomes that header (the
// end of the file when there is none), RangeBad tells whether Header's data ran into it or
// past the end, and GapAt where a header was missing. A walk that takes each header through
// this goes on past damage.
void FollowArjHeader(const TReadAtFunc& Read, std::int64_t Size, TArjHeader& Header);

// The first whole header (its CRC holds, its data inside the file) at or after From; -1:
// none. A walk picks up there after damage.
std::int64_t FindArjHeader(const TReadAtFunc& Read, std::int64_t From, std::int64_t Size);

// The name a damaged header at At still shows (its id is there); else empty.
std::string ArjNameAt(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size);

// The arc and pak header records and the walk over them: the one parser of an arc archive
// that the lister and the reader share. Each entry has a 29-byte header in front of its data:
//
//   0  marker 0x1A   1  method (0 ends the archive; 1..9 the arc methods, 30 a folder whose
//   entries follow it, 31 the end of a folder: a two-byte record)   2  name (13 bytes, NUL
//   ended)   15 packed size   19 DOS date   21 DOS time   23 CRC-16   25 unpacked size
//
// The old stored method 1 has no unpacked size: its header is 25 bytes long. In arc (not
// pak), the entries between a folder header and its end belong to that folder; the walk
// names them with the folder's path in front, and goes on after the folder's end.
#pragma once

#include "engine/core/krvByteAccess.h"

#include <cstdint>
#include <string>

inline constexpr std::uint8_t ArcFolder = 30;
inline constexpr std::uint8_t ArcFolderEnd = 31;

struct TArcHeader {
    std::uint8_t Method = 0;
    std::string Path; // folders and name, '/'-separated, bytes as stored; a folder ends in '/'
    bool IsFolder = false;
    std::int64_t PackedSize = 0; // 0 for a folder of arc, whose entries follow it
    std::int64_t UnpackedSize = 0;
    std::uint32_t DosTime = 0; // packed DOS date-time
    std::uint16_t Crc = 0;
    std::int64_t HeaderPos = 0;
    std::int64_t DataPos = 0;
};

enum class TArcRead {
    Ok,
    End, // method 0, or the end of the file where a header would begin
    Bad, // a header that cannot be trusted, or none where one must begin
};

class TArcWalk {
public:
    // Walks the archive of Size bytes from Start; Pak: a pak archive, whose folder headers
    // are entries of their own.
    TArcWalk(TReadAtFunc Read, std::int64_t Start, std::int64_t Size, bool Pak);

    // The next entry or folder header.
    TArcRead Next(TArcHeader& Header);
    // Where the next header is looked for.
    std::int64_t Position() const { return FPos; }
    // Where and what the damage is, after Next gave Bad.
    const std::string& Damage() const { return FDamage; }

private:
    TArcRead Damaged(const std::string& What);

    TReadAtFunc FRead;
    std::int64_t FPos;
    std::int64_t FSize;
    bool FPak;
    std::string FLeadingPath;
    int FDepth = 0;
    std::string FDamage;
};

// The zoo archive records and the walk over their chain: the one reading of a zoo archive
// that the lister and the reader share.
//
// The archive header (43 bytes) holds a title, the tag 0xFDC4A7DC at 20, the position of the
// first directory entry at 24 and its negation at 28 (the two sum to 0), the archive comment's
// position and length at 35 and 39. Each directory entry begins with the tag, its type (4),
// its method (5: 0 stored, 1 LZW, 2 LZH), the position of the next entry (6; 0 marks the
// closing entry of the chain), the position of its data (10), DOS date and time (14, 16),
// the CRC-16 (18), the unpacked and packed sizes (20, 24), versions (28, 29), the deleted flag
// (30), the comment's position and length (32, 36) and a 13-byte short name (38). Type 2
// entries go on with the length of a variable part (51) that begins at 56 with the lengths of
// a long name and of a folder (both counting their closing NUL), those two texts and the id of
// the system that made the entry (0: Unix).
#pragma once

#include "engine/core/krvByteAccess.h"

#include <cstdint>
#include <string>

struct TZooEntry {
    std::uint8_t Type = 0;
    std::uint8_t Method = 0;
    std::string Name;          // the folder and the long name (or the short one), '/'-separated
    bool NameIsUtf8 = false;   // made on Unix: UTF-8; else the OEM code page
    std::uint32_t DosTime = 0; // packed DOS date-time
    std::uint16_t Crc = 0;
    std::int64_t PackedSize = 0;
    std::int64_t UnpackedSize = 0;
    std::uint8_t VersionMadeBy = 0;
    std::uint8_t VersionNeeded = 0;
    std::int64_t CommentPos = 0;
    std::uint16_t CommentLen = 0;
    std::int64_t HeaderPos = 0;
    std::int64_t DataPos = 0;
    bool DataBeyondEnd = false; // the data run past the end of the file
};

enum class TZooRead {
    Ok,
    End, // the closing entry
    Bad, // a damaged entry, or a chain that does not lead forward or leads out of the file
};

class TZooWalk {
public:
    TZooWalk(TReadAtFunc Read, std::int64_t Size);

    // Reads the archive header; false when it is not valid (the archive has no entries).
    bool Start();
    // The next live entry of the chain. Deleted entries are passed over: they are older copies
    // of files the archive holds again, or files taken out of it.
    TZooRead Next(TZooEntry& Entry);

    std::int64_t CommentPos() const { return FCommentPos; }
    std::uint16_t CommentLen() const { return FCommentLen; }
    // Where the next directory entry is looked for.
    std::int64_t Position() const { return FPos; }
    // Where and what the damage is, after Next gave Bad.
    const std::string& Damage() const { return FDamage; }

private:
    TZooRead ReadEntry(TZooEntry& Entry, bool& Deleted);
    TZooRead Damaged(const std::string& What, std::int64_t At);

    TReadAtFunc FRead;
    std::int64_t FSize;
    std::int64_t FPos = 0;
    std::int64_t FLastHeader = -1;
    std::int64_t FCommentPos = 0;
    std::uint16_t FCommentLen = 0;
    bool FLinkLost = false; // the last entry closed the chain while holding a file
    std::string FDamage;
};

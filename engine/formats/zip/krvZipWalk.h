// The one reading of a zip archive's records: the central directory, or the local headers
// one after the other when the directory is missing or damaged. Every record is checked and
// turned into a TZipWalkEntry here (the deciphered "PL" form, the Zip64 field, the unicode path
// field, the local name, data descriptors found after the data); the lister, the reader and
// the writer take their entries from it and add only their own decisions, so they cannot
// read one archive in different ways.
#pragma once

#include "engine/core/krvReadAhead.h"
#include "engine/formats/zip/krvZipDescriptor.h"
#include "engine/formats/zip/krvZipRecords.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class TZipCommon;
class TStream32;

// One entry as its records tell it.
struct TZipWalkEntry {
    bool FromCentral = false; // read from a central record, else from a local header alone
    bool Enciphered = false;  // the record was in the enciphered-header ("PL") form
    std::int64_t RecordPos = 0;
    // The central record; on the local walk one made from the local header (the sizes and
    // CRC then those found after the data when a descriptor holds them).
    TZipCentralHeader Central;
    std::string RawName;             // as stored, deciphered
    std::vector<std::uint8_t> Extra; // the record's extra field
    std::string Comment;             // the entry's comment (central records only)
    std::string StoredName;          // RawName, or the name of its unicode path field
    bool Utf8 = false;               // StoredName is UTF-8 for certain
    std::string Name;                // the local name every component shows and selects by
    std::uint8_t Host = 0;           // host system of "version made by" (central records)
    // 64-bit values after the Zip64 field, clamped far below the int64 range so that sums stay
    // in it; a stored value beyond the clamp is damage (SizeOutOfRange), and the list shows
    // the value as stored (ShownUncompressed, up to the int64 range).
    std::int64_t CompressedSize = 0;
    std::int64_t UncompressedSize = 0;
    std::int64_t ShownUncompressed = 0;
    bool SizeOutOfRange = false;
    std::uint32_t Crc = 0;
    std::int64_t LocalOffset = 0; // where its local header lies, corrected by a stub in front
    std::uint32_t Disk = 0;       // disk of its local header, counted from 0
    bool Zip64 = false;           // the record has a Zip64 field

    // The local walk: where the data start, and what ends them.
    std::int64_t DataStart = 0;
    bool HasDescriptor = false; // a data descriptor was found after the data
    std::int64_t DescriptorLength = 0;
    bool DataEndUnknown = false; // the data's end could not be found: the entry cannot be read

    // A folder by its name's end or its attributes (DOS folder bit on a central record).
    bool NameIsFolder() const { return !StoredName.empty() && StoredName.back() == '/'; }
};

// The bytes an entry's local header, name and data take at the least (its local extra field
// is not known from the central record).
struct TZipExtent {
    std::uint32_t Disk = 0;
    std::int64_t Start = 0;
    std::int64_t End = 0;
};
// Data said to run past Limit (when not -1), the end of the file, are damage of their entry
// alone: its extent is then its header and name, and overlaps no other entry's data.
TZipExtent ZipItemExtent(const TZipWalkEntry& Item, std::int64_t Limit = -1);
// For each extent, whether it overlaps another (two records pointing at one local header, or
// a header within another entry's data): such entries are damage.
std::vector<bool> FindZipOverlaps(const std::vector<TZipExtent>& Extents);

// FindZipOverlaps over extents given one at a time, keeping nothing per extent while they come
// in rising order (as every writer puts them): the numbers of the extents that overlap another.
// Extents out of order cannot be judged so (Ordered() false): the caller collects them all.
class TZipOverlapCheck {
public:
    void Add(const TZipExtent& Extent);
    bool Ordered() const { return FOrdered; }
    // The numbers (counted from 0 in the order added) of the overlapping extents, sorted.
    std::vector<std::int64_t> Overlapping();

private:
    std::int64_t FCount = 0;
    bool FOrdered = true;
    TZipExtent FLast;
    TZipExtent FReach; // the extent reaching furthest on its disk so far
    std::int64_t FReachIndex = -1;
    std::vector<std::int64_t> FHits;
};

// Where a raw deflate stream ends: its compressed length, and the CRC-32 and size of what it
// inflates to.
struct TDeflateEnd {
    std::int64_t Packed = 0;
    std::uint32_t Crc = 0;
    std::int64_t Size = 0;
};
// Inflates the deflate stream at DataStart to its end; false for data that end before it,
// damaged data or a cancel.
bool FindDeflateEnd(TStream32& Stream, std::int64_t DataStart, const bool* CancelFlag, TDeflateEnd& End);

// A central record with the values of a local header (made by its "version needed").
TZipCentralHeader ZipCentralFromLocal(const TZipLocalHeader& Local);

// A local header as it stands at an entry's offset.
struct TZipLocalRecord {
    TZipLocalHeader Header;
    bool Enciphered = false;
    std::string RawName;
    std::vector<std::uint8_t> Extra;
    std::int64_t Position = 0;
    std::int64_t DataStart = 0;
};

// Whether a local header belongs to the directory record of CentralName, CentralExtra and
// CentralCrc: the same stored name (or, where the two records store the name in different
// code pages, the same unicode path field, verified by the CRC of one of the two names), and
// the same CRC unless the header leaves it to a data descriptor (or was written before the
// CRC was known and holds 0). Anything else is damage.
bool ZipLocalHeaderAgrees(const TZipLocalRecord& Local, const std::string& CentralName,
                          std::span<const std::uint8_t> CentralExtra, std::uint32_t CentralCrc);

// Why a walk ended.
enum class TZipWalkEnd {
    Running,
    AtEnd,     // the records ended where they should: the directory's end, a record of another kind
    Truncated, // a record ran past the end of what was walked
    Damaged,   // a value that leads nowhere (an offset out of range, no progress)
    Cancelled,
};

enum class TZipWalkKind {
    Central, // the central records from Start; nothing at or past End is read
    Local,   // the local headers from Start (a spanning marker there is stepped over)
};

class TZipWalk {
public:
    // End: the directory's end for a central walk, or -1 for the end of Source. Source is
    // read in blocks, unless it is a reader in blocks already (ReadsAhead).
    TZipWalk(TZipCommon& Owner, TStream32& Source, TZipWalkKind Kind, std::int64_t Start,
             std::int64_t End = -1, bool ReadsAhead = false);
    TZipWalk(const TZipWalk&) = delete;
    TZipWalk& operator=(const TZipWalk&) = delete;

    // The next entry; false when the walk has ended (see Ended()).
    bool Next(TZipWalkEntry& Item);
    // Where the next record is read.
    std::int64_t Position() const { return FPos; }
    // Records read so far.
    std::int64_t Records() const { return FRecords; }
    TZipWalkEnd Ended() const { return FEnded; }
    // The local walk's descriptor searches spend Budget (bytes) instead of a budget of their
    // own: several walks over one archive together search it about once.
    void ShareSearchBudget(std::int64_t& Budget) { FSearchBudget = &Budget; }

    // The local header at Pos with its name and extra field, deciphered; false when none
    // stands there whole.
    static bool ReadLocalHeader(TZipCommon& Owner, TStream32& Source, std::int64_t Pos,
                                TZipLocalRecord& Record);
    // The name of the entry of a directory record that holds none (Record counts from 0): its
    // local header's, or "#" and the record's number from 1 when that has none either.
    static std::string NamelessRecordName(TZipCommon& Owner, TStream32& Source, std::int64_t LocalOffset,
                                          std::int64_t Record);
    static constexpr const char* NamelessRecordDamage = "its directory record holds no name";
    static constexpr const char* NamelessLocalDamage = "its local header holds no name";

private:
    bool NextCentral(TZipWalkEntry& Item);
    bool NextLocal(TZipWalkEntry& Item);
    void SetNames(TZipWalkEntry& Item, bool HostKnown) const;
    // Finds the end of data whose sizes follow them (flag bit 3) on the local walk; Next is
    // set to the record after them when it can be found, else to -1.
    void FindDataEnd(TZipWalkEntry& Item, const TZipLocalRecord& Record, std::int64_t& Next);
    bool Stop(TZipWalkEnd Why) {
        FEnded = Why;
        return false;
    }

    TZipCommon& FOwner;
    std::optional<TReadAheadStream> FOwnReader;
    TStream32& FReader;
    bool FCentral;
    std::int64_t FPos;
    std::int64_t FEnd;
    std::int64_t FRecords = 0;
    bool FLast = false; // the entry just returned leads to no further record
    TZipWalkEnd FEnded = TZipWalkEnd::Running;
    // The local walk searches at most about twice the archive's size for data descriptors
    // in all, so a damaged archive cannot make every entry search to its end.
    std::int64_t FOwnBudget = 0;
    std::int64_t* FSearchBudget = &FOwnBudget;
};

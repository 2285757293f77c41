// How the readers and the lister go on past a header that is missing, cut or damaged, what
// they say of it, and the lha header test of format detection.
#pragma once

#include "engine/core/krvByteAccess.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The details of a header that is missing, cut or damaged: where it had to be, and the name
// of its entry when what is left of it still shows one.
inline std::string HeaderDamageAt(std::int64_t Offset, const std::string& Name = {}) {
    return "no whole header at offset " + std::to_string(Offset) +
           (Name.empty() ? std::string() : " (the entry named \"" + Name + "\")");
}

// Count bytes at At as a name, when they all lie in the file (of Size bytes) and are text;
// else empty. What a damaged header still shows of its entry's name.
std::string NameBytesAt(const TReadAtFunc& Read, std::int64_t At, std::int64_t Count, std::int64_t Size);

// Whether an lha header begins at Pos of a file of Size bytes, not only its method id "-l??-":
// its size (and for levels 0 and 1 the checksum of its bytes) must hold.
bool PlausibleLhaHeader(const TReadAtFunc& Read, std::int64_t Pos, std::int64_t Size);

// Where an entry's data end, as a walk found it past damage; a header record holds one.
struct THeaderRange {
    // The entry's data run into the next header (its sizes cannot be right), or past the end
    // of the file (DataCut).
    bool RangeBad = false;
    bool DataCut = false;
    // Where a header had to be and was not (nothing, a cut header, other bytes); -1: none;
    // and the name what is left there still shows.
    std::int64_t GapAt = -1;
    std::string GapName;
};

// The first position at or after From where Marker stands MarkerAt bytes in and Whole holds
// for it; -1: none. A walk picks up there after damage.
std::int64_t FindHeader(const TReadAtFunc& Read, std::int64_t From, std::int64_t Size,
                        std::string_view Marker, std::int64_t MarkerAt,
                        const std::function<bool(std::int64_t At)>& Whole);

// Makes sure that the next header lies at NextPos, where an entry's sizes put it (IsNext: a
// header, or the archive's end, stands at a place up to Size). When it does not, the next
// header is looked for with Find from the entry's data (at DataPos) on: NextPos becomes that
// header (Size when there is none), and Range says what was wrong (NameAt: the name a damaged
// header shows).
void FollowHeaders(std::int64_t DataPos, std::int64_t& NextPos, std::int64_t Size,
                   const std::function<bool(std::int64_t At)>& IsNext,
                   const std::function<std::int64_t(std::int64_t From)>& Find,
                   const std::function<std::string(std::int64_t At)>& NameAt, THeaderRange& Range);

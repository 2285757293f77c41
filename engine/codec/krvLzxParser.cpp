#include "engine/codec/krvLzxParser.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr int HashBits = 19;
// The table of the latest place of each 3-byte prefix, for the short matches near by.
constexpr int NearBits = 16;
constexpr std::uint32_t MinMatch = 3;
// Chains link places by their first 4 bytes: 3-byte matches far back are not worth their
// offsets. Each link holds the place (PlaceBits) and a tag of its 4 bytes, so that places of
// other bytes in the same bucket are passed over without reading them.
constexpr std::uint32_t ChainMatch = 4;
constexpr int PlaceBits = 22;
constexpr int TagBits = 32 - PlaceBits;
constexpr std::uint32_t PlaceMask = (1U << PlaceBits) - 1;
// Places are entered in order: the buckets (chain and long) of one this far on are fetched
// meanwhile; lookups follow the same order, so they find their long bucket cached too.
constexpr std::uint32_t PrefetchAhead = 16;
// Once a match this long is found, only GoodChain more places are tried.
constexpr std::uint32_t GoodLength = 32;
constexpr int GoodChain = 8;
constexpr std::uint32_t MaxMatch = 257;
constexpr int MaxChain = 24;
// The latest places of each 8-byte prefix (two per bucket): long matches far back are found
// without walking the chains.
constexpr int LongBits = 18;
constexpr std::uint32_t LongMatch = 16;
// A 3-byte match further back than this costs more than its literals.
constexpr std::uint32_t TooFar = 4096;
// Places in a row without a match after which only every second one is looked up.
constexpr std::uint32_t SkipAfter = 32;
// A match this long is not put off for a longer one a byte later.
constexpr std::uint32_t LazyBelow = 32;

std::uint32_t Hash3(const std::uint8_t* P) {
    const std::uint32_t v =
        P[0] | (static_cast<std::uint32_t>(P[1]) << 8) | (static_cast<std::uint32_t>(P[2]) << 16);
    return (v * 2654435761U) >> (32 - NearBits);
}

// The chain's bucket of the 4 bytes at P (high bits) and a tag of them (the next TagBits bits).
std::uint64_t Hash4(const std::uint8_t* P) {
    std::uint32_t v = 0;
    std::memcpy(&v, P, 4);
    return (v * 0x9E3779B97F4A7C15ULL) >> (64 - HashBits - TagBits);
}

// The bucket of the LongMatch bytes at P.
std::uint32_t HashLong(const std::uint8_t* P) {
    std::uint64_t h = 0;
    for (std::uint32_t i = 0; i < LongMatch; i += 8) {
        std::uint64_t v = 0;
        std::memcpy(&v, P + i, 8);
        h = (h ^ v) * 0x9E3779B97F4A7C15ULL;
    }
    return static_cast<std::uint32_t>(h >> (64 - LongBits));
}

// How many of the Max bytes at A and B agree, eight at a time.
std::uint32_t Agree(const std::uint8_t* A, const std::uint8_t* B, std::uint32_t Max) {
    std::uint32_t n = 0;
    while (n + 8 <= Max) {
        std::uint64_t a = 0, b = 0;
        std::memcpy(&a, A + n, 8);
        std::memcpy(&b, B + n, 8);
        if (const std::uint64_t d = a ^ b) return n + static_cast<std::uint32_t>(std::countr_zero(d) >> 3);
        n += 8;
    }
    while (n < Max && A[n] == B[n])
        ++n;
    return n;
}

} // namespace

TLzxParser::TLzxParser(int WindowBits)
    : FWindow(std::size_t{1} << std::clamp(WindowBits, 15, 21)), FHead(std::size_t{1} << HashBits, 0),
      FChain(FWindow, 0), FNear(std::size_t{1} << NearBits, 0), FLong(std::size_t{2} << LongBits, 0) {}

void TLzxParser::Insert(std::uint32_t Pos) {
    FNear[Hash3(FBase + Pos)] = Pos + 1;
    InsertFar(Pos);
}

void TLzxParser::InsertFar(std::uint32_t Pos) {
    if (Pos + ChainMatch > FEnd) return;
    if (Pos + PrefetchAhead + LongMatch <= FEnd) {
        __builtin_prefetch(&FHead[Hash4(FBase + Pos + PrefetchAhead) >> TagBits]);
        __builtin_prefetch(&FLong[std::size_t{2} * HashLong(FBase + Pos + PrefetchAhead)]);
    } else if (Pos + PrefetchAhead + ChainMatch <= FEnd) {
        __builtin_prefetch(&FHead[Hash4(FBase + Pos + PrefetchAhead) >> TagBits]);
    }
    if (Pos + LongMatch <= FEnd) {
        std::uint32_t* slot = &FLong[std::size_t{2} * HashLong(FBase + Pos)];
        slot[1] = slot[0];
        slot[0] = Pos + 1;
    }
    const std::uint64_t h = Hash4(FBase + Pos);
    std::uint32_t& head = FHead[h >> TagBits];
    FChain[Pos & (FWindow - 1)] = head;
    head = (Pos + 1) | static_cast<std::uint32_t>(h << PlaceBits);
}

std::uint32_t TLzxParser::LengthAt(std::uint32_t Pos, std::uint32_t Distance, std::uint32_t Limit) const {
    if (Distance == 0 || Distance > Pos) return 0;
    return Agree(FBase + Pos - Distance, FBase + Pos, std::min(Limit, MaxMatch));
}

std::uint32_t TLzxParser::Longest(std::uint32_t Pos, std::uint32_t Limit, std::uint32_t Best,
                                  std::uint32_t& Distance) const {
    const std::uint32_t max = std::min(Limit, MaxMatch);
    if (max < MinMatch || Best >= max) return 0;
    const std::uint8_t* cur = FBase + Pos;
    const std::uint32_t maxDistance = static_cast<std::uint32_t>(FWindow) - 3;
    std::uint32_t best = Best;
    bool found = false;
    if (Best < ChainMatch) {
        // A short match near by.
        const std::uint32_t near = FNear[Hash3(cur)];
        const std::uint32_t distance = Pos + 1 - near;
        if (near != 0 && near <= Pos && distance <= TooFar && distance <= maxDistance) {
            const std::uint32_t n = Agree(cur - distance, cur, max);
            if (n > best) {
                best = n;
                Distance = distance;
                found = true;
            }
        }
    }
    if (max < ChainMatch || Pos + ChainMatch > FEnd) return found ? best : 0;
    if (max >= LongMatch && Pos + LongMatch <= FEnd) {
        const std::uint32_t* slot = &FLong[std::size_t{2} * HashLong(cur)];
        for (int k = 0; k < 2; ++k) {
            const std::uint32_t place = slot[k];
            if (place == 0 || place > Pos) continue;
            const std::uint32_t distance = Pos + 1 - place;
            if (distance > maxDistance) continue;
            const std::uint8_t* ref = cur - distance;
            if (ref[best] != cur[best]) continue;
            const std::uint32_t n = Agree(ref, cur, max);
            if (n > best) {
                best = n;
                Distance = distance;
                found = true;
                if (n == max) return best;
            }
        }
    }
    const std::uint64_t h = Hash4(cur);
    const auto tag = static_cast<std::uint32_t>(h << PlaceBits);
    std::uint32_t link = FHead[h >> TagBits];
    int limit = best >= GoodLength ? GoodChain : MaxChain;
    for (int chain = 0; chain < limit && (link & PlaceMask) != 0; ++chain) {
        const std::uint32_t candidate = link & PlaceMask;
        const std::uint32_t at = candidate - 1;
        const std::uint32_t distance = Pos - at;
        if (distance == 0 || distance > maxDistance) break;
        const std::uint8_t* ref = cur - distance;
        if ((link & ~PlaceMask) == tag && ref[best] == cur[best]) {
            const std::uint32_t n = Agree(ref, cur, max);
            if (n > best) {
                best = n;
                Distance = distance;
                found = true;
                if (n == max) break;
                if (n >= GoodLength) limit = std::min(limit, chain + 1 + GoodChain);
            }
        }
        link = FChain[at & (FWindow - 1)];
        if ((link & PlaceMask) >= candidate) break;
    }
    return found ? best : 0;
}

std::uint32_t TLzxParser::FindMatch(std::uint32_t Pos, std::uint32_t Limit, const TRepeats& R,
                                    std::uint32_t& Offset) const {
    if (Limit < MinMatch) return 0;
    const std::uint32_t maxDistance = static_cast<std::uint32_t>(FWindow) - 3;
    std::uint32_t best = 0;
    // A repeated offset costs almost nothing: take the longest that matches, the first of
    // equal ones.
    for (const std::uint32_t r : R) {
        if (r == 0 || r > maxDistance) continue;
        const std::uint32_t n = LengthAt(Pos, r, Limit);
        if (n >= MinMatch && n > best) {
            best = n;
            Offset = r;
        }
    }
    // Another offset must be longer by two bytes to beat a repeated one.
    std::uint32_t distance = 0;
    const std::uint32_t found = Longest(Pos, Limit, best > 0 ? best + 1 : 0, distance);
    if (found > 0) {
        best = found;
        Offset = distance;
    }
    if (best == MinMatch && Offset > TooFar && std::find(R.begin(), R.end(), Offset) == R.end()) return 0;
    return best >= MinMatch ? best : 0;
}

void TLzxParser::Parse(const std::uint8_t* Data, std::size_t History, std::size_t Count,
                       std::vector<std::vector<TToken>>& Frames) {
    // Only the window before the stretch can be reached from it.
    const std::size_t skip = History > FWindow ? History - FWindow : 0;
    FBase = Data - (History - skip);
    const auto start = static_cast<std::uint32_t>(History - skip);
    const auto end = static_cast<std::uint32_t>(start + Count);
    FEnd = end;
    std::fill(FHead.begin(), FHead.end(), 0);
    std::fill(FNear.begin(), FNear.end(), 0);
    std::fill(FLong.begin(), FLong.end(), 0);
    // The history is entered into the chains; only its last TooFar bytes into the table of
    // near places, the only ones a near match may reach.
    const std::uint32_t nearFrom = start > TooFar ? start - TooFar : 0;
    for (std::uint32_t p = 0; p < start && p + MinMatch <= end; ++p)
        if (p >= nearFrom)
            Insert(p);
        else
            InsertFar(p);

    Frames.resize((Count + FrameSize - 1) / FrameSize);
    // The repeated offsets as the decoder holds them; 0: not known yet (set by this stretch's
    // matches, never taken from before it).
    TRepeats r{0, 0, 0};
    for (std::size_t f = 0; f < Frames.size(); ++f) {
        std::vector<TToken>& tokens = Frames[f];
        tokens.clear();
        const auto frameStart = static_cast<std::uint32_t>(start + f * FrameSize);
        const std::uint32_t frameEnd = std::min<std::uint32_t>(frameStart + FrameSize, end);
        const auto canHash = [&](std::uint32_t P) { return P + MinMatch <= frameEnd; };
        // Matches end before the frame's last FrameTail bytes, which the encoder sends plain.
        const std::uint32_t matchEnd = frameEnd - std::min<std::uint32_t>(FrameTail, frameEnd - frameStart);
        const auto room = [&](std::uint32_t P) { return P < matchEnd ? matchEnd - P : 0U; };
        const auto literal = [&](std::uint32_t P) { tokens.push_back(FBase[P]); };
        std::uint32_t pos = frameStart;
        std::uint32_t misses = 0;
        while (pos < frameEnd) {
            std::uint32_t offset = 0;
            // Where no match was found for long, data are likely not to repeat: only every
            // second place is looked up, then every fourth (all are entered).
            const bool look = misses < SkipAfter || (pos & (misses < 4 * SkipAfter ? 1 : 3)) == 0;
            std::uint32_t length = look && canHash(pos) ? FindMatch(pos, room(pos), r, offset) : 0;
            if (length == 0) {
                literal(pos);
                if (canHash(pos)) Insert(pos);
                ++pos;
                ++misses;
                continue;
            }
            misses = 0;
            Insert(pos);
            if (length < LazyBelow && canHash(pos + 1)) {
                // A longer match one byte on is worth a literal first.
                std::uint32_t nextOffset = 0;
                const std::uint32_t next = FindMatch(pos + 1, room(pos + 1), r, nextOffset);
                if (next > length) {
                    literal(pos);
                    ++pos;
                    Insert(pos);
                    length = next;
                    offset = nextOffset;
                }
            }
            // A repeated offset is sent as its number and moves to the front; another one
            // pushes the others back.
            const auto repeat = static_cast<std::uint32_t>(std::find(r.begin(), r.end(), offset) - r.begin());
            if (repeat < r.size()) {
                tokens.push_back(MatchFlag | RepeatFlag | ((length - 2) << 21) | repeat);
                std::swap(r[0], r[repeat]);
            } else {
                tokens.push_back(MatchFlag | ((length - 2) << 21) | offset);
                r = {offset, r[0], r[1]};
            }
            for (std::uint32_t p = pos + 1; p < pos + length; ++p)
                if (canHash(p)) Insert(p);
            pos += length;
        }
    }
}

#include "engine/codec/krvDeflateWalk.h"

#include <array>
#include <cstring>

namespace {

constexpr int MaxCodeBits = 15;

// Least significant bit first, from a bit buffer refilled eight bytes at a time; reads past the
// end give zero bits, which the caller sees as its position passing the end (Past()).
class TBitCursor {
public:
    explicit TBitCursor(std::span<const std::uint8_t> Data) : FData(Data) {}

    // At least the next 32 bits.
    std::uint64_t Peek() {
        if (FCount < 32) Refill();
        return FBuf;
    }
    std::uint32_t Take(int Count) {
        const auto v = static_cast<std::uint32_t>(Peek() & ((std::uint64_t{1} << Count) - 1));
        Skip(Count);
        return v;
    }
    void Skip(std::int64_t Bits) {
        if (Bits <= FCount) {
            FBuf >>= Bits;
            FCount -= static_cast<int>(Bits);
            return;
        }
        const std::int64_t to = Pos() + Bits;
        FIndex = static_cast<std::size_t>(to >> 3);
        FBuf = 0;
        FCount = 0;
        Refill();
        Skip(to & 7);
    }
    void AlignToByte() { Skip((8 - (Pos() & 7)) & 7); }
    // The state of the cursor, for a loop that keeps it in registers (SkipCodedBlock).
    struct TState {
        std::uint64_t Buf;
        int Count;
        std::size_t Index;
    };
    TState State() const { return {FBuf, FCount, FIndex}; }
    void SetState(const TState& S) {
        FBuf = S.Buf;
        FCount = S.Count;
        FIndex = S.Index;
    }
    std::span<const std::uint8_t> Data() const { return FData; }
    std::int64_t Pos() const { return static_cast<std::int64_t>(FIndex) * 8 - FCount; }
    bool Past() const { return Pos() > static_cast<std::int64_t>(FData.size()) * 8; }

private:
    void Refill() {
        if (FIndex + 8 <= FData.size()) {
            std::uint64_t word = 0;
            std::memcpy(&word, FData.data() + FIndex, 8);
            FBuf |= word << FCount;
            FIndex += static_cast<std::size_t>((63 - FCount) >> 3);
            FCount |= 56;
            return;
        }
        for (; FCount <= 56; FCount += 8, ++FIndex)
            FBuf |= std::uint64_t{FIndex < FData.size() ? FData[FIndex] : std::uint8_t{0}} << FCount;
    }

    std::span<const std::uint8_t> FData;
    std::size_t FIndex = 0; // the next byte to go into the buffer
    std::uint64_t FBuf = 0;
    int FCount = 0; // bits in the buffer
};

// A code of at most 15 bits: codes of up to FastBits bits decoded by one look-up of the next
// FastBits bits (symbol << 4 | length, 0 for a longer code or none), the rare longer ones bit by
// bit in canonical order.
class TCodeTable {
public:
    // False when the lengths over-subscribe the code space, or give no code at all where one
    // is needed (a block without matches may have no distance code).
    bool Build(const std::uint8_t* Lengths, int Count, bool MayBeEmpty = false) {
        FCount.fill(0);
        for (int i = 0; i < Count; ++i)
            ++FCount[Lengths[i]];
        FCount[0] = 0;
        int left = 1;
        for (int len = 1; len <= MaxCodeBits; ++len) {
            left = (left << 1) - FCount[len];
            if (left < 0) return false;
        }
        if (left == 1 << MaxCodeBits && !MayBeEmpty) return false;
        std::array<int, MaxCodeBits + 2> offset{};
        for (int len = 1; len <= MaxCodeBits; ++len)
            offset[len + 1] = offset[len] + FCount[len];
        for (int sym = 0; sym < Count; ++sym)
            if (Lengths[sym] != 0)
                FSorted[static_cast<std::size_t>(offset[Lengths[sym]]++)] = static_cast<std::uint16_t>(sym);
        std::array<std::uint32_t, MaxCodeBits + 2> next{};
        for (int len = 1; len <= MaxCodeBits; ++len)
            next[len + 1] = (next[len] + static_cast<std::uint32_t>(FCount[len])) << 1;
        FFast.fill(0);
        for (int sym = 0; sym < Count; ++sym) {
            const int len = Lengths[sym];
            if (len == 0 || len > FastBits) continue;
            std::uint32_t code = next[len]++, reversed = 0;
            for (int b = 0; b < len; ++b, code >>= 1)
                reversed = (reversed << 1) | (code & 1);
            for (std::size_t i = reversed; i < FFast.size(); i += std::size_t{1} << len)
                FFast[i] = static_cast<std::uint16_t>(sym << 4 | len);
        }
        return true;
    }
    // The next symbol, -1 where the bits give no code.
    int Decode(TBitCursor& Bits) const {
        const std::uint64_t bits = Bits.Peek();
        const std::uint16_t e = FFast[bits & (FFast.size() - 1)];
        if (e != 0) {
            Bits.Skip(e & 15);
            return e >> 4;
        }
        // Canonical codes of one length are consecutive, shorter codes first.
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= MaxCodeBits; ++len) {
            code |= static_cast<int>((bits >> (len - 1)) & 1);
            const int count = FCount[len];
            if (code - first < count) {
                Bits.Skip(len);
                return FSorted[static_cast<std::size_t>(index + code - first)];
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

    static constexpr int FastBits = 11;
    static constexpr std::size_t FastSize = std::size_t{1} << FastBits;
    // The entry of the fast table for the next FastBits bits: symbol << 4 | length, 0 for none.
    std::uint16_t Fast(std::size_t Bits) const { return FFast[Bits]; }

private:
    std::array<std::uint16_t, std::size_t{1} << FastBits> FFast{};
    std::array<int, MaxCodeBits + 1> FCount{};
    std::array<std::uint16_t, 288> FSorted{};
};

int LengthExtraBits(int Symbol) {
    return Symbol < 265 || Symbol == 285 ? 0 : (Symbol - 261) / 4;
}

int DistanceExtraBits(int Symbol) {
    return Symbol < 4 ? 0 : (Symbol - 2) / 2;
}

// Reads the code lengths of a block of dynamic codes into the two tables.
bool ReadDynamicCodes(TBitCursor& Bits, TCodeTable& LitLen, TCodeTable& Dist) {
    static constexpr std::array<int, 19> Order{16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                               11, 4,  12, 3, 13, 2, 14, 1, 15};
    const int lit = static_cast<int>(Bits.Take(5)) + 257;
    const int dist = static_cast<int>(Bits.Take(5)) + 1;
    const int clen = static_cast<int>(Bits.Take(4)) + 4;
    if (lit > 286 || dist > 30) return false;
    std::array<std::uint8_t, 19> clens{};
    for (int i = 0; i < clen; ++i)
        clens[static_cast<std::size_t>(Order[static_cast<std::size_t>(i)])] =
            static_cast<std::uint8_t>(Bits.Take(3));
    TCodeTable lengthCode;
    if (!lengthCode.Build(clens.data(), 19)) return false;
    std::array<std::uint8_t, 286 + 30> lens{};
    for (int n = 0; n < lit + dist;) {
        if (Bits.Past()) return false;
        const int sym = lengthCode.Decode(Bits);
        if (sym < 0) return false;
        if (sym < 16) {
            lens[static_cast<std::size_t>(n++)] = static_cast<std::uint8_t>(sym);
            continue;
        }
        std::uint8_t value = 0;
        int repeat = 0;
        if (sym == 16) {
            if (n == 0) return false;
            value = lens[static_cast<std::size_t>(n - 1)];
            repeat = 3 + static_cast<int>(Bits.Take(2));
        } else {
            repeat = sym == 17 ? 3 + static_cast<int>(Bits.Take(3)) : 11 + static_cast<int>(Bits.Take(7));
        }
        if (n + repeat > lit + dist) return false;
        while (repeat-- > 0)
            lens[static_cast<std::size_t>(n++)] = value;
    }
    if (lens[256] == 0) return false; // no end of block
    return LitLen.Build(lens.data(), lit) && Dist.Build(lens.data() + lit, dist, true);
}

void FixedCodes(TCodeTable& LitLen, TCodeTable& Dist) {
    std::array<std::uint8_t, 288> lens{};
    for (std::size_t i = 0; i < 288; ++i)
        lens[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    LitLen.Build(lens.data(), 288);
    std::array<std::uint8_t, 30> dist{};
    dist.fill(5);
    Dist.Build(dist.data(), 30);
}

// The bits a symbol takes with its extra bits, by the next FastBits bits of the stream: a code
// of the fast table with its extra bits (low 5 bits), its kind above them; 0 where the code is
// longer than the table holds, left to TCodeTable::Decode.
enum : std::uint8_t { skLiteral = 1, skLength = 2, skEnd = 3, skBad = 4 };
using TSkipTable = std::array<std::uint8_t, TCodeTable::FastSize>;

void MakeSkipTables(const TCodeTable& LitLen, const TCodeTable& Dist, TSkipTable& LitSkip,
                    TSkipTable& DistSkip) {
    for (std::size_t i = 0; i < TCodeTable::FastSize; ++i) {
        const std::uint16_t e = LitLen.Fast(i);
        const int sym = e >> 4, len = e & 15;
        const std::uint8_t kind = sym < 256 ? skLiteral : sym == 256 ? skEnd : sym <= 285 ? skLength : skBad;
        const int bits = len + (kind == skLength ? LengthExtraBits(sym) : 0);
        LitSkip[i] = e == 0 ? 0 : static_cast<std::uint8_t>(kind << 5 | bits);
        const std::uint16_t d = Dist.Fast(i);
        const int dsym = d >> 4;
        DistSkip[i] = d == 0 ? 0
                      : dsym > 29
                          ? static_cast<std::uint8_t>(skBad << 5)
                          : static_cast<std::uint8_t>(skLiteral << 5 | ((d & 15) + DistanceExtraBits(dsym)));
    }
}

// One code of the slow way: a code longer than the fast table holds. Kind as in the skip
// tables; its extra bits taken as well.
int SkipLongCode(TBitCursor& Bits, const TCodeTable& LitLen, const TCodeTable& Dist, bool Distance) {
    if (Distance) {
        const int d = Dist.Decode(Bits);
        if (d < 0 || d > 29) return skBad;
        Bits.Skip(DistanceExtraBits(d));
        return skLiteral;
    }
    const int sym = LitLen.Decode(Bits);
    if (sym < 0 || sym > 285) return skBad;
    if (sym > 256) Bits.Skip(LengthExtraBits(sym));
    return sym < 256 ? skLiteral : sym == 256 ? skEnd : skLength;
}

// Walks the codes of one block to just after its end-of-block code: most codes by one look-up
// that gives the bits of the code and its extra bits together. Away from the end of the data
// the bits are refilled a word at a time without looking at the end, and each refill serves
// a literal and the one after it, or a length with its distance.
bool SkipCodedBlock(TBitCursor& Bits, const TCodeTable& LitLen, const TCodeTable& Dist) {
    TSkipTable litSkip{}, distSkip{};
    MakeSkipTables(LitLen, Dist, litSkip, distSkip);
    constexpr std::uint64_t mask = TCodeTable::FastSize - 1;
    const std::uint8_t* data = Bits.Data().data();
    const std::size_t size = Bits.Data().size();
    for (;;) {
        TBitCursor::TState s = Bits.State();
        int kind = skLiteral;
        // Away from the end a whole word is loaded without looking at it.
        while (s.Index + 16 <= size) {
            std::uint64_t word = 0;
            std::memcpy(&word, data + s.Index, 8);
            s.Buf |= word << s.Count;
            s.Index += static_cast<std::size_t>((63 - s.Count) >> 3);
            s.Count |= 56;
            std::uint8_t e = litSkip[s.Buf & mask];
            if (e == 0) break; // a long code: the slow way
            kind = e >> 5;
            s.Buf >>= e & 31;
            s.Count -= e & 31;
            if (kind == skLiteral) {
                // At least 45 bits are left: the next literal comes from the same word.
                e = litSkip[s.Buf & mask];
                if (e >> 5 == skLiteral) {
                    s.Buf >>= e & 31;
                    s.Count -= e & 31;
                }
                continue;
            }
            if (kind != skLength) break;
            // Its distance (at most 24 bits with its extra bits; the length took at most 16).
            e = distSkip[s.Buf & mask];
            if (e == 0 || e >> 5 == skBad) break;
            s.Buf >>= e & 31;
            s.Count -= e & 31;
            kind = skLiteral;
        }
        Bits.SetState(s);
        if (kind == skEnd) return true;
        if (kind == skBad) return false;
        if (kind == skLength) {
            // A distance the table does not hold.
            if (SkipLongCode(Bits, LitLen, Dist, true) == skBad) return false;
            continue;
        }
        if (Bits.Past()) return false;
        std::uint8_t e = litSkip[Bits.Peek() & mask];
        kind = e >> 5;
        if (e != 0)
            Bits.Skip(e & 31);
        else
            kind = SkipLongCode(Bits, LitLen, Dist, false);
        if (kind == skLiteral) continue;
        if (kind == skEnd) return true;
        if (kind == skBad) return false;
        e = distSkip[Bits.Peek() & mask];
        if (e == 0 ? SkipLongCode(Bits, LitLen, Dist, true) == skBad : e >> 5 == skBad) return false;
        if (e != 0) Bits.Skip(e & 31);
    }
}

} // namespace

TDeflateFinalBlock FindFinalDeflateBlock(std::span<const std::uint8_t> Data) {
    TBitCursor bits(Data);
    TCodeTable litLen, dist;
    for (;;) {
        const std::int64_t start = bits.Pos();
        const std::uint32_t header = bits.Take(3);
        if (bits.Past()) return {};
        const bool final = (header & 1) != 0;
        switch (header >> 1) {
        case 0: {
            bits.AlignToByte();
            const std::uint32_t len = bits.Take(16);
            if ((bits.Take(16) ^ 0xFFFF) != len) return {};
            bits.Skip(std::int64_t{len} * 8);
            break;
        }
        case 1:
            FixedCodes(litLen, dist);
            if (!SkipCodedBlock(bits, litLen, dist)) return {};
            break;
        case 2:
            if (!ReadDynamicCodes(bits, litLen, dist) || !SkipCodedBlock(bits, litLen, dist)) return {};
            break;
        default:
            return {};
        }
        if (bits.Past()) return {};
        if (final) return {start, bits.Pos()};
    }
}

#include "engine/codec/krvLzxEncoder.h"

#include "engine/codec/krvHuffmanBuild.h"
#include "engine/codec/krvLzMatcher.h"

#include <algorithm>
#include <array>

namespace {

constexpr int NumChars = 256;
constexpr int NumLengths = 249; // the length tree's symbols
constexpr int MinMatch = 3;
constexpr int MaxMatch = 257;
constexpr int MaxChain = 128;
// A 3-byte match further back than this costs more than its literals.
constexpr std::uint32_t TooFar = 4096;
constexpr int PretreeSymbols = 20;

// Footer bits and base of each position slot.
struct TSlots {
    std::array<std::uint8_t, 51> Extra{};
    std::array<std::uint32_t, 51> Base{};
    TSlots() {
        for (int i = 0, j = 0; i < 50; i += 2) {
            Extra[static_cast<std::size_t>(i)] = Extra[static_cast<std::size_t>(i + 1)] =
                static_cast<std::uint8_t>(j);
            if (i != 0 && j < 17) ++j;
        }
        for (std::size_t i = 0, j = 0; i < 51; ++i) {
            Base[i] = static_cast<std::uint32_t>(j);
            j += std::size_t{1} << Extra[i];
        }
    }
};
const TSlots Slots;

int PositionSlots(int WindowBits) {
    return WindowBits == 21 ? 50 : WindowBits == 20 ? 42 : WindowBits * 2;
}

// Bits written high bit first into 16-bit words stored little-endian.
class TBitWriter {
public:
    explicit TBitWriter(std::vector<std::uint8_t>& Out) : FOut(Out) {}
    void Put(std::uint32_t Value, int Bits) {
        while (Bits > 0) {
            const int take = std::min(Bits, 16 - FCount);
            FWord =
                static_cast<std::uint16_t>((FWord << take) | ((Value >> (Bits - take)) & ((1U << take) - 1)));
            FCount += take;
            Bits -= take;
            if (FCount == 16) Flush();
        }
    }
    // Pads to the next 16-bit word.
    void Align() {
        if (FCount > 0) Put(0, 16 - FCount);
    }

private:
    void Flush() {
        FOut.push_back(static_cast<std::uint8_t>(FWord & 0xFF));
        FOut.push_back(static_cast<std::uint8_t>(FWord >> 8));
        FWord = 0;
        FCount = 0;
    }
    std::vector<std::uint8_t>& FOut;
    std::uint16_t FWord = 0;
    int FCount = 0;
};

// Sends Lengths[First, Last) as deltas of Previous through a pre-tree.
void WriteLengths(TBitWriter& Bits, const std::vector<std::uint8_t>& Lengths,
                  const std::vector<std::uint8_t>& Previous, std::size_t First, std::size_t Last) {
    struct TItem {
        std::uint8_t Symbol;
        std::uint8_t Extra;
        std::uint8_t ExtraBits;
    };
    std::vector<TItem> items;
    for (std::size_t i = First; i < Last;) {
        if (Lengths[i] == 0) {
            std::size_t run = 1;
            while (i + run < Last && Lengths[i + run] == 0 && run < 51)
                ++run;
            if (run >= 20) {
                items.push_back({18, static_cast<std::uint8_t>(run - 20), 5});
                i += run;
                continue;
            }
            if (run >= 4) {
                items.push_back({17, static_cast<std::uint8_t>(run - 4), 4});
                i += run;
                continue;
            }
        }
        const int delta = (Previous[i] - Lengths[i] + 17) % 17;
        items.push_back({static_cast<std::uint8_t>(delta), 0, 0});
        ++i;
    }
    std::vector<std::uint32_t> counts(PretreeSymbols, 0);
    for (const TItem& it : items)
        ++counts[it.Symbol];
    const std::vector<std::uint8_t> pre = HuffmanLengths(counts, 15);
    const std::vector<std::uint32_t> codes = CanonicalCodes(pre);
    for (int s = 0; s < PretreeSymbols; ++s)
        Bits.Put(pre[static_cast<std::size_t>(s)], 4);
    for (const TItem& it : items) {
        Bits.Put(codes[it.Symbol], pre[it.Symbol]);
        if (it.ExtraBits) Bits.Put(it.Extra, it.ExtraBits);
    }
}

} // namespace

TLzxEncoder::TLzxEncoder(int WindowBits)
    : FWindowBits(std::clamp(WindowBits, 15, 21)), FWindow(std::size_t{1} << FWindowBits),
      FPositionSlots(PositionSlots(FWindowBits)), FMatcher(FWindow, MaxMatch, MaxChain),
      FMainLengths(static_cast<std::size_t>(NumChars + FPositionSlots * 8), 0),
      FLengthLengths(NumLengths, 0) {}

std::uint32_t TLzxEncoder::FindMatch(std::size_t Pos, std::size_t Limit, std::uint32_t& Offset) {
    if (Limit < static_cast<std::size_t>(MinMatch)) return 0;
    const std::size_t maxDistance = FWindow - 3;
    std::uint32_t best = 0;
    // The first repeated offset costs almost nothing: take it when it matches as well.
    if (FR0 <= maxDistance) {
        const std::uint32_t n = FMatcher.LengthAt(Pos, FR0, std::min<std::size_t>(Limit, MaxMatch));
        if (n >= static_cast<std::uint32_t>(MinMatch)) {
            best = n;
            Offset = FR0;
        }
    }
    std::uint32_t distance = 0;
    // Another offset must be longer by two bytes to beat the repeated one.
    const std::uint32_t found = FMatcher.Longest(Pos, std::min<std::size_t>(Limit, MaxMatch), maxDistance,
                                                 best > 0 ? best + 1 : 0, distance);
    if (found > 0) {
        best = found;
        Offset = distance;
    }
    if (best == static_cast<std::uint32_t>(MinMatch) && Offset > TooFar && Offset != FR0) return 0;
    return best >= static_cast<std::uint32_t>(MinMatch) ? best : 0;
}

void TLzxEncoder::AddMatch(std::uint32_t Length, std::uint32_t Offset, std::vector<TToken>& Tokens) {
    TToken t{Length, 0, 0, 0};
    std::uint32_t slot = 0;
    if (Offset == FR0) {
        slot = 0;
    } else {
        const std::uint32_t formatted = Offset + 2;
        slot = 3;
        while (slot + 1 < static_cast<std::uint32_t>(FPositionSlots) && Slots.Base[slot + 1] <= formatted)
            ++slot;
        t.FooterBits = Slots.Extra[slot];
        t.Footer = formatted - Slots.Base[slot];
        FR2 = FR1;
        FR1 = FR0;
        FR0 = Offset;
    }
    t.Value = (slot << 3) | std::min<std::uint32_t>(Length - 2, 7);
    Tokens.push_back(t);
}

void TLzxEncoder::EncodeFrame(const std::uint8_t* Data, std::size_t Count, std::vector<std::uint8_t>& Out) {
    const std::size_t start = FMatcher.Append(Data, Count);
    const std::size_t end = start + Count;

    // Tokens, greedy with one step of lazy evaluation; no match runs past the frame.
    const std::uint32_t r0 = FR0, r1 = FR1, r2 = FR2;
    std::vector<TToken> tokens;
    tokens.reserve(Count);
    std::size_t pos = start;
    const auto canHash = [&](std::size_t P) { return P + 3 <= end; };
    while (pos < end) {
        std::uint32_t offset = 0;
        std::uint32_t length = canHash(pos) ? FindMatch(pos, end - pos, offset) : 0;
        if (length == 0) {
            tokens.push_back({0, FMatcher.Byte(pos), 0, 0});
            if (canHash(pos)) FMatcher.Insert(pos);
            ++pos;
            continue;
        }
        FMatcher.Insert(pos);
        if (length < 32 && canHash(pos + 1)) {
            // A longer match one byte on is worth a literal first.
            std::uint32_t nextOffset = 0;
            const std::uint32_t next = FindMatch(pos + 1, end - pos - 1, nextOffset);
            if (next > length) {
                tokens.push_back({0, FMatcher.Byte(pos), 0, 0});
                ++pos;
                FMatcher.Insert(pos);
                length = next;
                offset = nextOffset;
            }
        }
        AddMatch(length, offset, tokens);
        for (std::size_t p = pos + 1; p < pos + length; ++p)
            if (canHash(p)) FMatcher.Insert(p);
        pos += length;
    }

    // The trees of this block.
    std::vector<std::uint32_t> mainCounts(FMainLengths.size(), 0), lengthCounts(NumLengths, 0);
    for (const TToken& t : tokens) {
        if (t.Length == 0) {
            ++mainCounts[t.Value];
        } else {
            ++mainCounts[NumChars + t.Value];
            if ((t.Value & 7) == 7) ++lengthCounts[t.Length - 9];
        }
    }
    const std::vector<std::uint8_t> mainLengths = HuffmanLengths(mainCounts, 16);
    const std::vector<std::uint8_t> lengthLengths = HuffmanLengths(lengthCounts, 16);
    const std::vector<std::uint32_t> mainCodes = CanonicalCodes(mainLengths);
    const std::vector<std::uint32_t> lengthCodes = CanonicalCodes(lengthLengths);

    std::vector<std::uint8_t> verbatim;
    {
        TBitWriter bits(verbatim);
        if (FFirst) bits.Put(0, 1); // no E8 translation
        bits.Put(1, 3);             // a verbatim block
        bits.Put(static_cast<std::uint32_t>(Count >> 8), 16);
        bits.Put(static_cast<std::uint32_t>(Count & 0xFF), 8);
        WriteLengths(bits, mainLengths, FMainLengths, 0, NumChars);
        WriteLengths(bits, mainLengths, FMainLengths, NumChars, mainLengths.size());
        WriteLengths(bits, lengthLengths, FLengthLengths, 0, NumLengths);
        for (const TToken& t : tokens) {
            if (t.Length == 0) {
                bits.Put(mainCodes[t.Value], mainLengths[t.Value]);
                continue;
            }
            const std::size_t symbol = NumChars + t.Value;
            bits.Put(mainCodes[symbol], mainLengths[symbol]);
            if ((t.Value & 7) == 7) bits.Put(lengthCodes[t.Length - 9], lengthLengths[t.Length - 9]);
            if (t.FooterBits) bits.Put(t.Footer, t.FooterBits);
        }
        bits.Align();
    }
    const std::size_t stored = 4 + 12 + Count + (Count & 1);
    if (verbatim.size() < stored) {
        Out.insert(Out.end(), verbatim.begin(), verbatim.end());
        FMainLengths = mainLengths;
        FLengthLengths = lengthLengths;
        FFirst = false;
        return;
    }
    // Data that do not compress go as an uncompressed block: the header, padding to the next
    // word (a whole word when already there), the repeated offsets, the bytes, and a pad byte
    // after an odd count. The offsets stay those from before this frame.
    FR0 = r0;
    FR1 = r1;
    FR2 = r2;
    TBitWriter bits(Out);
    int used = 27;
    if (FFirst) {
        bits.Put(0, 1);
        ++used;
        FFirst = false;
    }
    bits.Put(3, 3);
    bits.Put(static_cast<std::uint32_t>(Count >> 8), 16);
    bits.Put(static_cast<std::uint32_t>(Count & 0xFF), 8);
    bits.Put(0, 16 - used % 16);
    for (const std::uint32_t r : {FR0, FR1, FR2})
        for (int i = 0; i < 4; ++i)
            Out.push_back(static_cast<std::uint8_t>(r >> (8 * i)));
    Out.insert(Out.end(), Data, Data + Count);
    if (Count & 1) Out.push_back(0);
}

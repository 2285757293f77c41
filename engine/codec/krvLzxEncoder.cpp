#include "engine/codec/krvLzxEncoder.h"

#include "engine/codec/krvHuffmanBuild.h"

#include <algorithm>
#include <array>

// Bits written high bit first into 16-bit words stored little-endian.
class TLzxBitWriter {
public:
    explicit TLzxBitWriter(std::vector<std::uint8_t>& Out) : FOut(Out) {}
    // Bits: 0..24.
    void Put(std::uint32_t Value, int Bits) {
        FBits = (FBits << Bits) | (Value & ((1U << Bits) - 1));
        FCount += Bits;
        while (FCount >= 16) {
            FCount -= 16;
            const auto word = static_cast<std::uint16_t>(FBits >> FCount);
            FOut.push_back(static_cast<std::uint8_t>(word & 0xFF));
            FOut.push_back(static_cast<std::uint8_t>(word >> 8));
        }
    }
    // Pads to the next 16-bit word.
    void Align() {
        if (FCount > 0) Put(0, 16 - FCount);
    }
    // Bits written into the word not yet complete.
    int Pending() const { return FCount; }
    // A place in the output, to go back to.
    struct TMark {
        std::size_t Size;
        std::uint64_t Bits;
        int Count;
    };
    TMark Mark() const { return {FOut.size(), FBits, FCount}; }
    void Restore(const TMark& M) {
        FOut.resize(M.Size);
        FBits = M.Bits;
        FCount = M.Count;
    }
    std::vector<std::uint8_t>& Bytes() { return FOut; }

private:
    std::vector<std::uint8_t>& FOut;
    std::uint64_t FBits = 0;
    int FCount = 0;
};

namespace {

constexpr int NumChars = 256;
constexpr int NumLengths = 249; // the length tree's symbols
constexpr int PretreeSymbols = 20;
// The plain bytes that end each frame.
constexpr std::size_t TailBytes = TLzxParser::FrameTail;

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

// Sends Lengths[First, Last) as deltas of Previous through a pre-tree.
void WriteLengths(TLzxBitWriter& Bits, const std::vector<std::uint8_t>& Lengths,
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

TLzxEncoder::TLzxEncoder(int WindowBits, std::uint32_t E8Size)
    : FPositionSlots(PositionSlots(std::clamp(WindowBits, 15, 21))), FE8Size(E8Size),
      FMainLengths(static_cast<std::size_t>(NumChars + FPositionSlots * 8), 0),
      FLengthLengths(NumLengths, 0) {}

void TLzxEncoder::EncodeFrame(const std::vector<TLzxParser::TToken>& Tokens, const std::uint8_t* Data,
                              std::size_t Count, std::vector<std::uint8_t>& Out) {
    const bool tail = Count > TailBytes;
    const std::size_t cut = tail ? Count - TailBytes : Count;
    std::vector<TLzxParser::TToken> head;
    if (tail) {
        // The tokens up to the tail (the parser leaves the tail to literals).
        std::size_t at = 0, count = 0;
        while (count < Tokens.size() && at < cut)
            at += TLzxParser::IsMatch(Tokens[count++]) ? TLzxParser::LengthOf(Tokens[count - 1]) : 1;
        head.assign(Tokens.begin(), Tokens.begin() + static_cast<std::ptrdiff_t>(count));
    }
    std::vector<std::uint8_t> frame;
    TLzxBitWriter bits(frame);
    std::vector<std::uint8_t> mainLengths, lengthLengths;
    WriteVerbatim(bits, tail ? head : Tokens, cut, mainLengths, lengthLengths);
    // Data that do not compress go as one uncompressed block.
    const bool plain = frame.size() + 2 >= 4 + 12 + Count + (Count & 1);
    if (!plain) {
        FMainLengths = std::move(mainLengths);
        FLengthLengths = std::move(lengthLengths);
    }
    TLzxBitWriter plainBits(Out);
    TLzxBitWriter& to = plain ? plainBits : bits;
    const std::size_t start = plain ? Out.size() : 0;
    const std::size_t first = plain ? 0 : cut;
    const TLzxBitWriter::TMark mark = to.Mark();
    const bool wasFirst = FFirst;
    FFirst = plain && FFirst;
    WritePlain(to, Data + first, Count - first, false);
    // The folder's bytes before its last block must not end at a multiple of 4: a decoder
    // that reads the folder in chunks of a power of two (libmspack) only learns the length of
    // the last frame once it has read into the last block, which it does past the end of the
    // block before only when that end falls inside a chunk. The plain bytes at the end of the
    // frame go in more blocks (2 bytes more, modulo 4) where this frame would end there.
    if ((FWritten + to.Bytes().size() - start) % 4 == 0 && Count - first >= 2 && (Count - first) % 2 == 0) {
        to.Restore(mark);
        FFirst = wasFirst && plain;
        WritePlain(to, Data + first, Count - first, true);
    }
    FFirst = false;
    if (!plain) Out.insert(Out.end(), frame.begin(), frame.end());
    FWritten += to.Bytes().size() - start;
}

void TLzxEncoder::WritePlain(TLzxBitWriter& Bits, const std::uint8_t* Data, std::size_t Count, bool Split) {
    if (Count == 0) {
        Bits.Align();
        return;
    }
    if (Split && Count >= 4) {
        // Two blocks of odd length, each with its pad byte, and one of even length last (34
        // bytes more): a frame must not end on a block of odd length, whose pad byte a decoder
        // that decodes each data block on its own (gcab) looks for at the start of the next one.
        WriteUncompressed(Bits, Data, Count - 3);
        WriteUncompressed(Bits, Data + Count - 3, 1);
        WriteUncompressed(Bits, Data + Count - 2, 2);
    } else if (Split && Count >= 2) {
        // Only the folder's last frame is this short: no frame follows it.
        WriteUncompressed(Bits, Data, Count - 1);
        WriteUncompressed(Bits, Data + Count - 1, 1);
    } else {
        WriteUncompressed(Bits, Data, Count);
    }
}

void TLzxEncoder::WriteVerbatim(TLzxBitWriter& Bits, const std::vector<TLzxParser::TToken>& Tokens,
                                std::size_t Count, std::vector<std::uint8_t>& MainLengths,
                                std::vector<std::uint8_t>& LengthLengths) {
    // The main element of each token (literal, or 256 + slot and length header), and the
    // offsets' footers; the repeated offsets follow the matches as the decoder's do.
    struct TItem {
        std::uint16_t Main;
        std::uint8_t FooterBits;
        std::uint16_t Length; // the length tree's symbol + 1 (0: none)
        std::uint32_t Footer;
    };
    std::vector<TItem> items;
    items.reserve(Tokens.size());
    std::vector<std::uint32_t> mainCounts(FMainLengths.size(), 0), lengthCounts(NumLengths, 0);
    for (const TLzxParser::TToken t : Tokens) {
        if (!TLzxParser::IsMatch(t)) {
            items.push_back({static_cast<std::uint16_t>(t), 0, 0, 0});
            ++mainCounts[t];
            continue;
        }
        const std::uint32_t length = TLzxParser::LengthOf(t);
        const std::uint32_t offset = TLzxParser::OffsetOf(t);
        TItem item{0, 0, 0, 0};
        std::uint32_t slot = 0;
        if (TLzxParser::IsRepeat(t)) {
            // Repeated offset 1 or 2 trades places with offset 0.
            slot = offset;
            if (slot == 1) std::swap(FR0, FR1);
            if (slot == 2) std::swap(FR0, FR2);
        } else {
            const std::uint32_t formatted = offset + 2;
            slot = static_cast<std::uint32_t>(
                std::upper_bound(Slots.Base.begin() + 3, Slots.Base.begin() + FPositionSlots, formatted) -
                Slots.Base.begin() - 1);
            item.FooterBits = Slots.Extra[slot];
            item.Footer = formatted - Slots.Base[slot];
            FR2 = FR1;
            FR1 = FR0;
            FR0 = offset;
        }
        const std::uint32_t header = std::min<std::uint32_t>(length - 2, 7);
        item.Main = static_cast<std::uint16_t>(NumChars + ((slot << 3) | header));
        ++mainCounts[item.Main];
        if (header == 7) {
            item.Length = static_cast<std::uint16_t>(length - 9 + 1);
            ++lengthCounts[length - 9];
        }
        items.push_back(item);
    }

    // The trees of this block.
    MainLengths = HuffmanLengths(mainCounts, 16);
    LengthLengths = HuffmanLengths(lengthCounts, 16);
    const std::vector<std::uint32_t> mainCodes = CanonicalCodes(MainLengths);
    const std::vector<std::uint32_t> lengthCodes = CanonicalCodes(LengthLengths);
    WriteHeader(Bits);
    Bits.Put(1, 3); // a verbatim block
    Bits.Put(static_cast<std::uint32_t>(Count >> 8), 16);
    Bits.Put(static_cast<std::uint32_t>(Count & 0xFF), 8);
    WriteLengths(Bits, MainLengths, FMainLengths, 0, NumChars);
    WriteLengths(Bits, MainLengths, FMainLengths, NumChars, MainLengths.size());
    WriteLengths(Bits, LengthLengths, FLengthLengths, 0, NumLengths);
    for (const TItem& it : items) {
        Bits.Put(mainCodes[it.Main], MainLengths[it.Main]);
        if (it.Length) Bits.Put(lengthCodes[it.Length - 1U], LengthLengths[it.Length - 1U]);
        if (it.FooterBits) Bits.Put(it.Footer, it.FooterBits);
    }
}

void TLzxEncoder::WriteUncompressed(TLzxBitWriter& Bits, const std::uint8_t* Data, std::size_t Count) {
    // The header, padding to the next word (a whole word when already there), the repeated
    // offsets, the bytes, and a pad byte after an odd count. The offsets it gives are those
    // after the frame's tokens so far, the ones the parse of the next frames went on from.
    WriteHeader(Bits);
    FFirst = false;
    Bits.Put(3, 3);
    Bits.Put(static_cast<std::uint32_t>(Count >> 8), 16);
    Bits.Put(static_cast<std::uint32_t>(Count & 0xFF), 8);
    Bits.Put(0, 16 - Bits.Pending());
    std::vector<std::uint8_t>& out = Bits.Bytes();
    for (const std::uint32_t r : {FR0, FR1, FR2})
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(r >> (8 * i)));
    out.insert(out.end(), Data, Data + Count);
    if (Count & 1) out.push_back(0);
}

void TLzxEncoder::WriteHeader(TLzxBitWriter& Bits) {
    if (!FFirst) return;
    Bits.Put(FE8Size != 0 ? 1 : 0, 1);
    if (FE8Size != 0) {
        Bits.Put(FE8Size >> 16, 16);
        Bits.Put(FE8Size & 0xFFFF, 16);
    }
}

void TLzxEncoder::TranslateE8(std::uint8_t* Frame, std::size_t Count, std::uint64_t Position,
                              std::uint32_t Size) {
    constexpr std::size_t Residue = 10;
    constexpr std::uint64_t TranslatedBytes = std::uint64_t{1} << 30;
    if (Size == 0 || Count <= Residue || Position >= TranslatedBytes) return;
    const std::size_t end = Count - Residue;
    const auto size = static_cast<std::int64_t>(Size);
    for (std::size_t i = 0; i < end; ++i) {
        if (Frame[i] != 0xE8) continue;
        const auto at = static_cast<std::int64_t>(Position + i);
        std::uint8_t* p = Frame + i + 1;
        const auto relative = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
            (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
        // The decoder turns an absolute A in [-at, Size) back into A - at (A >= 0) or A + Size.
        std::int64_t absolute = 0;
        if (relative >= -at && relative < size - at)
            absolute = relative + at;
        else if (relative >= size - at && relative < size)
            absolute = relative - size;
        else {
            i += 4;
            continue;
        }
        const auto v = static_cast<std::uint32_t>(static_cast<std::int32_t>(absolute));
        for (int k = 0; k < 4; ++k)
            p[k] = static_cast<std::uint8_t>(v >> (8 * k));
        i += 4;
    }
}

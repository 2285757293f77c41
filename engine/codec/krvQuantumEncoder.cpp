#include "engine/codec/krvQuantumEncoder.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<std::uint32_t, 42> PositionBase = {
    0,     1,      2,      3,      4,      6,      8,      12,      16,     24,    32,
    48,    64,     96,     128,    192,    256,    384,    512,     768,    1024,  1536,
    2048,  3072,   4096,   6144,   8192,   12288,  16384,  24576,   32768,  49152, 65536,
    98304, 131072, 196608, 262144, 393216, 524288, 786432, 1048576, 1572864};
constexpr std::array<std::uint8_t, 42> PositionExtra = {
    0, 0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,  8,  8,  9,
    9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17, 17, 18, 18, 19, 19};
constexpr std::array<std::uint8_t, 27> LengthBase = {
    0, 1, 2, 3, 4, 5, 6, 8, 10, 12, 14, 18, 22, 26, 30, 38, 46, 54, 62, 78, 94, 110, 126, 158, 190, 222, 254};
constexpr std::array<std::uint8_t, 27> LengthExtra = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                                      3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint32_t MaxMatch = 259;

// How far the match finder looks at each level (1: fastest, 7: the best matches).
int ChainOf(int Level) {
    return 2 << std::clamp(Level, 1, 7); // 4 .. 256
}

int SlotOf(std::uint32_t Value) {
    int slot = 0;
    while (slot + 1 < static_cast<int>(PositionBase.size()) &&
           PositionBase[static_cast<std::size_t>(slot + 1)] <= Value)
        ++slot;
    return slot;
}

} // namespace

TQuantumEncoder::TQuantumEncoder(int WindowBits, int Level)
    : FWindowBits(std::clamp(WindowBits, 10, 21)), FWindow(std::size_t{1} << FWindowBits), FLazy(Level >= 5),
      FMatcher(std::max<std::size_t>(FWindow, 1 << 15), MaxMatch, ChainOf(Level)) {
    const int slots = FWindowBits * 2;
    for (int i = 0; i < 4; ++i)
        InitModel(FLiterals[i], i * 64, 64);
    InitModel(FMatch3, 0, std::min(slots, 24));
    InitModel(FMatch4, 0, std::min(slots, 36));
    InitModel(FMatchLong, 0, slots);
    InitModel(FLengths, 0, 27);
    InitModel(FSelector, 0, 7);
}

void TQuantumEncoder::InitModel(TModel& Model, int Start, int Length) {
    Model.ShiftsLeft = 4;
    Model.Entries = Length;
    Model.Syms.resize(static_cast<std::size_t>(Length + 1));
    for (int i = 0; i <= Length; ++i)
        Model.Syms[static_cast<std::size_t>(i)] = {static_cast<std::uint16_t>(Start + i),
                                                   static_cast<std::uint16_t>(Length - i)};
}

void TQuantumEncoder::UpdateModel(TModel& Model) {
    auto& s = Model.Syms;
    if (--Model.ShiftsLeft) {
        for (int i = Model.Entries - 1; i >= 0; --i) {
            auto& cur = s[static_cast<std::size_t>(i)];
            cur.CumFreq >>= 1;
            if (cur.CumFreq <= s[static_cast<std::size_t>(i + 1)].CumFreq)
                cur.CumFreq = static_cast<std::uint16_t>(s[static_cast<std::size_t>(i + 1)].CumFreq + 1);
        }
        return;
    }
    Model.ShiftsLeft = 50;
    for (int i = 0; i < Model.Entries; ++i) {
        auto& cur = s[static_cast<std::size_t>(i)];
        cur.CumFreq = static_cast<std::uint16_t>(cur.CumFreq - s[static_cast<std::size_t>(i + 1)].CumFreq);
        cur.CumFreq = static_cast<std::uint16_t>((cur.CumFreq + 1) >> 1);
    }
    // An in-place selection sort by frequency, decreasing: the decoder's order exactly.
    for (int i = 0; i < Model.Entries - 1; ++i)
        for (int j = i + 1; j < Model.Entries; ++j)
            if (s[static_cast<std::size_t>(i)].CumFreq < s[static_cast<std::size_t>(j)].CumFreq)
                std::swap(s[static_cast<std::size_t>(i)], s[static_cast<std::size_t>(j)]);
    for (int i = Model.Entries - 1; i >= 0; --i)
        s[static_cast<std::size_t>(i)].CumFreq = static_cast<std::uint16_t>(
            s[static_cast<std::size_t>(i)].CumFreq + s[static_cast<std::size_t>(i + 1)].CumFreq);
}

void TQuantumEncoder::PutBit(int Bit) {
    FByte = static_cast<std::uint8_t>((FByte << 1) | (Bit & 1));
    if (++FBitCount == 8) {
        FOut->push_back(FByte);
        FByte = 0;
        FBitCount = 0;
    }
}

void TQuantumEncoder::ArithBit(int Bit) {
    PutBit(Bit);
    ++FEmitted;
    while (!FRaws.empty() && FRaws.front().After == FEmitted) {
        for (int i = FRaws.front().Bits - 1; i >= 0; --i)
            PutBit(static_cast<int>((FRaws.front().Value >> i) & 1));
        FRaws.pop_front();
    }
}

void TQuantumEncoder::Raw(std::uint32_t Value, int Bits) {
    // The decoder holds 16 code bits ahead of what it has used; it reads these after them.
    if (Bits > 0) FRaws.push_back({FShifts + 16, Value, Bits});
}

void TQuantumEncoder::Encode(TModel& Model, int Symbol) {
    auto& s = Model.Syms;
    int k = 0;
    while (s[static_cast<std::size_t>(k)].Sym != Symbol)
        ++k;
    const std::uint32_t total = s[0].CumFreq;
    const std::uint32_t range = FHigh - FLow + 1;
    FHigh = FLow + (s[static_cast<std::size_t>(k)].CumFreq * range) / total - 1;
    FLow = FLow + (s[static_cast<std::size_t>(k + 1)].CumFreq * range) / total;
    for (int i = k; i >= 0; --i)
        s[static_cast<std::size_t>(i)].CumFreq =
            static_cast<std::uint16_t>(s[static_cast<std::size_t>(i)].CumFreq + 8);
    if (s[0].CumFreq > 3800) UpdateModel(Model);
    for (;;) {
        if ((FLow & 0x8000) != (FHigh & 0x8000)) {
            if ((FLow & 0x4000) && !(FHigh & 0x4000)) {
                ++FPending;
                FLow &= 0x3FFF;
                FHigh |= 0x4000;
            } else {
                break;
            }
        } else {
            const int bit = static_cast<int>((FHigh >> 15) & 1);
            ArithBit(bit);
            for (; FPending > 0; --FPending)
                ArithBit(!bit);
        }
        FLow = (FLow << 1) & 0xFFFF;
        FHigh = ((FHigh << 1) | 1) & 0xFFFF;
        ++FShifts;
    }
}

bool TQuantumEncoder::Fits(std::uint32_t Length, std::uint32_t Distance) const {
    const int slot = SlotOf(Distance - 1);
    return slot < (Length == 3 ? FMatch3.Entries : Length == 4 ? FMatch4.Entries : FMatchLong.Entries);
}

void TQuantumEncoder::Match(std::uint32_t Length, std::uint32_t Distance) {
    const std::uint32_t offset = Distance - 1;
    const int slot = SlotOf(offset);
    const auto footer = offset - PositionBase[static_cast<std::size_t>(slot)];
    const int footerBits = PositionExtra[static_cast<std::size_t>(slot)];
    if (Length == 3) {
        Encode(FSelector, 4);
        Encode(FMatch3, slot);
    } else if (Length == 4) {
        Encode(FSelector, 5);
        Encode(FMatch4, slot);
    } else {
        const std::uint32_t length = Length - 5;
        int ls = 0;
        while (ls + 1 < 27 && LengthBase[static_cast<std::size_t>(ls + 1)] <= length)
            ++ls;
        Encode(FSelector, 6);
        Encode(FLengths, ls);
        Raw(length - LengthBase[static_cast<std::size_t>(ls)], LengthExtra[static_cast<std::size_t>(ls)]);
        Encode(FMatchLong, slot);
    }
    Raw(footer, footerBits);
}

void TQuantumEncoder::EncodeFrame(const std::uint8_t* Data, std::size_t Count,
                                  std::vector<std::uint8_t>& Out) {
    FOut = &Out;
    FLow = 0;
    FHigh = 0xFFFF;
    FPending = 0;
    FShifts = 0;
    FEmitted = 0;
    FRaws.clear();
    FByte = 0;
    FBitCount = 0;

    const std::size_t start = FMatcher.Append(Data, Count);
    const std::size_t end = start + Count;
    const std::size_t maxDistance = std::min<std::size_t>(FWindow - 1, PositionBase[41] * 2);
    std::size_t pos = start;
    // No match runs over the end of the frame or over the end of the decoder's window.
    const auto limitAt = [&](std::size_t P) { return std::min(end - P, FWindow - (P & (FWindow - 1))); };
    const auto literal = [&](std::size_t P) {
        const std::uint8_t byte = FMatcher.Byte(P);
        Encode(FSelector, byte >> 6);
        Encode(FLiterals[byte >> 6], byte);
    };
    while (pos < end) {
        std::uint32_t distance = 0;
        std::uint32_t length = 0;
        if (pos + 3 <= end) {
            length = FMatcher.Longest(pos, limitAt(pos), maxDistance, 2, distance);
            if (length >= 3 && !Fits(length, distance)) length = 0;
            FMatcher.Insert(pos);
        }
        if (length >= 3 && FLazy && length < 32 && pos + 4 <= end) {
            // A longer match one byte on is worth a literal first.
            std::uint32_t nextDistance = 0;
            const std::uint32_t next =
                FMatcher.Longest(pos + 1, limitAt(pos + 1), maxDistance, length, nextDistance);
            if (next > length && Fits(next, nextDistance)) {
                literal(pos);
                ++pos;
                FMatcher.Insert(pos);
                length = next;
                distance = nextDistance;
            }
        }
        if (length >= 3) {
            Match(length, distance);
            for (std::size_t p = pos + 1; p < pos + length; ++p)
                if (p + 3 <= end) FMatcher.Insert(p);
            pos += length;
            continue;
        }
        literal(pos);
        ++pos;
    }

    // Enough code bits to tell the last interval, then the code bits the decoder holds ahead
    // (the footers still waiting go among them), then two zero bits that decoders read to
    // close the frame, and zeros to the end of the byte. Nothing follows: a decoder may
    // require the block to end exactly there.
    ++FPending;
    const int bit = FLow >= 0x4000 ? 1 : 0;
    ArithBit(bit);
    for (; FPending > 0; --FPending)
        ArithBit(!bit);
    while (FEmitted < FShifts + 16 || !FRaws.empty())
        ArithBit(0);
    PutBit(0);
    PutBit(0);
    while (FBitCount != 0)
        PutBit(0);
}

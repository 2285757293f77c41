// The packed-byte and bit reader of the legacy zip decoders: pulls the entry's packed bytes
// through the caller's input in blocks, never more than the entry holds, and hands them out
// as bytes or as bit fields, least significant bit first.
#pragma once

#include "engine/codec/krvDecoderIO.h"

#include <cstdint>
#include <vector>

class TBitReader {
public:
    explicit TBitReader(const TDecoderIO& IO);

    // The next packed byte, or -1 when the packed bytes are used up or the input gives no
    // more. A set cancel flag, seen when a block is pulled, stops the run (TDecodeStop).
    int ReadByte() {
        if (FIndex == FCount && !Fill()) return -1;
        return FBuffer[static_cast<std::size_t>(FIndex++)];
    }

    // Count (0..24) bits; -1 when the input ends before all of them were there.
    std::int32_t TryBits(int Count) {
        while (FBitCount < Count) {
            const int b = ReadByte();
            if (b < 0) return -1;
            FBits |= static_cast<std::uint32_t>(b) << FBitCount;
            FBitCount += 8;
        }
        const std::uint32_t v = FBits & ((1u << Count) - 1u);
        FBits >>= Count;
        FBitCount -= Count;
        return static_cast<std::int32_t>(v);
    }

    // Bits taken from the input but not handed out yet (after a TryBits that failed: the
    // bits that were there).
    int PendingBits() const { return FBitCount; }

    // As TryBits; input that ends first is damage (TDecodeStop 25153 "Decompression error").
    std::uint32_t Bits(int Count) {
        const std::int32_t v = TryBits(Count);
        if (v < 0) InputEnded();
        return static_cast<std::uint32_t>(v);
    }

private:
    bool Fill();
    [[noreturn]] static void InputEnded();

    TPackedInput FInput;
    const bool* FCancelFlag;
    std::int64_t FRemaining; // packed bytes not yet pulled
    std::vector<std::uint8_t> FBuffer;
    std::int64_t FIndex = 0;
    std::int64_t FCount = 0;
    std::uint32_t FBits = 0;
    int FBitCount = 0;
};

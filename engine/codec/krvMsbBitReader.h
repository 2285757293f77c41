// The bit reader of the LHA family of decoders (static and adaptive Huffman, arj's fastest
// method): bit fields most significant bit first over the packed bytes that a TBitReader
// pulls. Bits past the end of the packed data read as zeros while they only fill the
// look-ahead; consuming one of them means the data ended early (TDecodeStop 25176
// "Unexpected end of file").
#pragma once

#include "engine/codec/krvBitReader.h"
#include "engine/codec/krvDecoderIO.h"

#include <cstdint>

class TMsbBitReader {
public:
    explicit TMsbBitReader(const TDecoderIO& IO) : FBytes(IO) { Refill(); }

    // The next 16 bits without consuming them.
    std::uint32_t Peek16() const { return static_cast<std::uint32_t>(FAcc >> 48); }
    // The next Count (1..32) bits without consuming them.
    std::uint32_t Peek(int Count) const { return static_cast<std::uint32_t>(FAcc >> (64 - Count)); }

    // Consumes Count (0..32) bits.
    void Skip(int Count) {
        FAcc <<= Count;
        FCount -= Count;
        if (FCount < FPad) Truncated();
        if (FCount < 32) Refill();
    }

    // Count (0..32) bits as a number.
    std::uint32_t Bits(int Count) {
        if (Count == 0) return 0;
        const std::uint32_t v = Peek(Count);
        Skip(Count);
        return v;
    }

    // Whether the packed data are used up (only padding is left in the look-ahead).
    bool AtEnd() const { return FCount <= FPad; }

private:
    void Refill() {
        while (FCount <= 56) {
            int b = FBytes.ReadByte();
            if (b < 0) {
                b = 0;
                FPad += 8;
            }
            FAcc |= static_cast<std::uint64_t>(b) << (56 - FCount);
            FCount += 8;
        }
    }
    [[noreturn]] static void Truncated();

    TBitReader FBytes;
    std::uint64_t FAcc = 0; // valid bits from the top down
    int FCount = 0;         // valid bits in FAcc, padding included
    int FPad = 0;           // zero bits at the bottom of the valid ones that are not input
};

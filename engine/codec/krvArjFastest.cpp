#include "engine/codec/krvArjFastest.h"

#include "engine/codec/krvLzhWindow.h"
#include "engine/codec/krvMsbBitReader.h"

namespace {

// A value sent as up to MaxOnes 1 bits (each adding Width, which then doubles, and widening
// the plain part by one) closed by a 0 bit unless all were sent, then a plain part of
// Bits + ones bits.
std::uint32_t ReadPrefixed(TMsbBitReader& In, int MaxOnes, std::uint32_t Width, int Bits) {
    std::uint32_t value = 0;
    int ones = 0;
    while (ones < MaxOnes && In.Bits(1) != 0) {
        value += Width;
        Width <<= 1;
        ++ones;
    }
    return value + In.Bits(Bits + ones);
}

} // namespace

TDecodeResult ArjDecodeFastest(const TDecoderIO& IO) {
    TMsbBitReader in(IO);
    TLzhWindow out(IO, 0);
    return out.Run([&] {
        while (!out.Done()) {
            // Lengths: 0 a literal, else a match of length + 2.
            const std::uint32_t length = ReadPrefixed(in, 7, 1, 0);
            if (length == 0) {
                out.Put(static_cast<std::uint8_t>(in.Bits(8)));
                continue;
            }
            const std::uint32_t distance = ReadPrefixed(in, 4, 512, 9);
            out.Copy(distance + 1, length + 2);
        }
    });
}

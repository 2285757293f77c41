// The frame of the codec fuzz targets: the first byte of the input chooses the codec's
// parameters, the next two (and bit 7 of the first) the unpacked size, the rest is the packed
// stream. A decoder must never produce more than the unpacked size nor pull more than the
// packed bytes; an engine error is a valid answer to damaged data.
#pragma once

#include "engine/codec/krvDecoderIO.h"
#include "engine/core/krvErrorCodes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

template <class TDecode> int FuzzCodec(const std::uint8_t* Data, std::size_t Size, TDecode Decode) {
    if (Size < 3) return 0;
    const std::uint8_t choice = Data[0];
    const std::int64_t unpacked = Data[1] | (Data[2] << 8) | ((choice & 0x80) ? 0x10000 : 0);
    const std::uint8_t* packed = Data + 3;
    const std::int64_t packedSize = static_cast<std::int64_t>(Size - 3);
    std::int64_t pulled = 0;
    std::int64_t pushed = 0;
    TDecoderIO io;
    io.PackedSize = packedSize;
    io.UnpackedSize = unpacked;
    io.Input = [&](std::uint8_t* Buffer, std::int64_t Count) -> std::int64_t {
        const std::int64_t n = std::min(Count, packedSize - pulled);
        if (n <= 0) return 0;
        std::memcpy(Buffer, packed + pulled, static_cast<std::size_t>(n));
        pulled += n;
        return n;
    };
    io.Output = [&](const std::uint8_t*, std::int64_t Count) {
        if (Count < 1 || Count > DecoderBufferSize) __builtin_trap();
        pushed += Count;
    };
    try {
        const TDecodeResult result = Decode(io, choice & 0x7F);
        if (result.Produced != pushed) __builtin_trap();
    } catch (const E_RAISE&) {
        // Damaged data ends the entry with an engine error.
    }
    if (pushed > unpacked || pulled > packedSize) __builtin_trap();
    return 0;
}

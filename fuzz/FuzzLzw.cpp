// Fuzz target of the compress (.Z) LZW decoder: the input is a whole .Z file. The decoder must
// answer every input with its output and an error code, never pull more than the input nor
// push more than the output bound, and never crash or hang.
#include "engine/codec/krvLzwDecompress.h"
#include "engine/core/krvErrorCodes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    // Enough output for any input of a few KiB to show damage, bounded so a run stays short.
    constexpr std::int64_t OutputBound = 1 << 24;
    const std::int64_t packedSize = static_cast<std::int64_t>(Size);
    std::int64_t pulled = 0, pushed = 0;
    TDecoderIO io;
    io.PackedSize = packedSize;
    io.UnpackedSize = OutputBound;
    io.Input = [&](std::uint8_t* Buffer, std::int64_t Count) -> std::int64_t {
        const std::int64_t n = std::min(Count, packedSize - pulled);
        if (n <= 0) return 0;
        std::memcpy(Buffer, Data + pulled, static_cast<std::size_t>(n));
        pulled += n;
        return n;
    };
    io.Output = [&](const std::uint8_t*, std::int64_t Count) { pushed += Count; };
    const TDecodeResult result = LzwDecompress(io);
    if (pushed > OutputBound || pulled > packedSize || result.Produced != pushed) __builtin_trap();
    return 0;
}

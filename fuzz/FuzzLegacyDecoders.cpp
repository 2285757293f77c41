// Fuzz target of the legacy zip decoders. The first byte chooses the decoder and its
// parameters, the next two the unpacked size; the rest is the packed stream. A decoder must
// never produce more than the unpacked size nor pull more than the packed bytes.
#include "engine/core/krvErrorCodes.h"
#include "engine/codec/krvExplode.h"
#include "engine/codec/krvUnreduce.h"
#include "engine/codec/krvUnshrink.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 3) return 0;
    const std::uint8_t choice = Data[0];
    const std::int64_t unpacked = Data[1] | (Data[2] << 8) | ((choice & 0x80) ? 0x10000 : 0);
    const std::uint8_t* packed = Data + 3;
    const std::int64_t packedSize = static_cast<std::int64_t>(Size - 3);

    std::int64_t pulled = 0, pushed = 0;
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
    io.Output = [&](const std::uint8_t*, std::int64_t Count) { pushed += Count; };
    try {
        switch (choice % 6) {
        case 0:
            ZipUnshrink(io);
            break;
        case 1:
            ZipUnreduce(io, 1 + (choice >> 3) % 4);
            break;
        default:
            ZipExplode(io, (choice & 2) != 0, (choice & 4) != 0);
            break;
        }
    } catch (const E_RAISE&) {
        // Damaged data ends the entry with an engine error: that is a valid answer.
    }
    if (pushed > unpacked || pulled > packedSize) __builtin_trap();
    return 0;
}

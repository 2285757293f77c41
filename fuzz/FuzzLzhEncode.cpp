// Fuzz target of the -lh5-/-lh6- encoder: whatever the input, the packed stream decodes with
// the LZH decoder back to exactly the input, unless the encoder asked for it to be stored.
// The first byte chooses the method and how the input is handed over in pieces.
#include "engine/codec/krvLzh5.h"
#include "engine/codec/krvLzhDecode.h"

#include <algorithm>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 1) return 0;
    const bool lh6 = Data[0] & 1;
    const std::int64_t piece = 1 + (Data[0] >> 1) * 97;
    const std::uint8_t* input = Data + 1;
    const auto inputSize = static_cast<std::int64_t>(Size - 1);
    std::int64_t taken = 0;
    std::string packed;
    const TLzhEncodeResult r = LzhEncode(
        [&](std::uint8_t* Buffer, std::int64_t Count) {
            const std::int64_t n = std::min({Count, piece, inputSize - taken});
            std::memcpy(Buffer, input + taken, static_cast<std::size_t>(n));
            taken += n;
            return n;
        },
        [&](const std::uint8_t* Buffer, std::int64_t Count) {
            packed.append(reinterpret_cast<const char*>(Buffer), static_cast<std::size_t>(Count));
        },
        lh6 ? LzhEncodeLh6 : LzhEncodeLh5);
    if (r.Cancelled || r.Written != static_cast<std::int64_t>(packed.size())) __builtin_trap();
    if (r.StoreInstead || inputSize == 0) return 0;
    if (r.Read != inputSize || r.Written >= inputSize) __builtin_trap();

    std::string out;
    std::size_t at = 0;
    TDecoderIO io;
    io.PackedSize = static_cast<std::int64_t>(packed.size());
    io.UnpackedSize = inputSize;
    io.Input = [&](std::uint8_t* Buffer, std::int64_t Count) {
        const std::size_t n = std::min(packed.size() - at, static_cast<std::size_t>(Count));
        std::memcpy(Buffer, packed.data() + at, n);
        at += n;
        return static_cast<std::int64_t>(n);
    };
    io.Output = [&](const std::uint8_t* Buffer, std::int64_t Count) {
        out.append(reinterpret_cast<const char*>(Buffer), static_cast<std::size_t>(Count));
    };
    const TDecodeResult d = LzhDecode(io, lh6 ? LzhLh6 : LzhLh5);
    if (d.ErrorCode != 0 || out.size() != static_cast<std::size_t>(inputSize) ||
        std::memcmp(out.data(), input, out.size()) != 0)
        __builtin_trap();
    return 0;
}

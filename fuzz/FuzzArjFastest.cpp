// Fuzz target of arj's method 4 decoder.
#include "FuzzCodec.h"
#include "engine/codec/krvArjFastest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FuzzCodec(Data, Size, [](const TDecoderIO& IO, int) { return ArjDecodeFastest(IO); });
}

// Fuzz target of zoo's LZW decoder.
#include "FuzzCodec.h"
#include "engine/codec/krvZooLzd.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FuzzCodec(Data, Size, [](const TDecoderIO& IO, int) { return ZooLzdDecode(IO); });
}

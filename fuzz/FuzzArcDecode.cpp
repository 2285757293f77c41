// Fuzz target of arc's decoders (methods 3 to 9).
#include "FuzzCodec.h"
#include "engine/codec/krvArcDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FuzzCodec(Data, Size,
                     [](const TDecoderIO& IO, int Choice) { return ArcDecode(IO, 3 + Choice % 7); });
}

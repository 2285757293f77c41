// Fuzz target of the -lh1- adaptive-Huffman decoder.
#include "FuzzCodec.h"
#include "engine/codec/krvLzhAdaptive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FuzzCodec(Data, Size, [](const TDecoderIO& IO, int) { return LzhAdaptiveDecode(IO); });
}

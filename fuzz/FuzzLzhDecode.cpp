// Fuzz target of the LHA static-Huffman decoder with the parameters of each of its callers.
#include "FuzzCodec.h"
#include "engine/codec/krvLzhDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FuzzCodec(Data, Size, [](const TDecoderIO& IO, int Choice) {
        static constexpr TLzhParams params[] = {LzhLh4, LzhLh5, LzhLh6, LzhLh7, LzhArj};
        return LzhDecode(IO, params[Choice % 5]);
    });
}

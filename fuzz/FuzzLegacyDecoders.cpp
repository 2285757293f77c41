// Fuzz target of the legacy zip decoders (FuzzCodec.h): the choice byte picks unshrink,
// unreduce with its factor, or explode with its two flags.
#include "FuzzCodec.h"
#include "engine/codec/krvExplode.h"
#include "engine/codec/krvUnreduce.h"
#include "engine/codec/krvUnshrink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FuzzCodec(Data, Size, [](const TDecoderIO& IO, int Choice) {
        switch (Choice % 6) {
        case 0:
            return ZipUnshrink(IO);
        case 1:
            return ZipUnreduce(IO, 1 + (Choice >> 3) % 4);
        default:
            return ZipExplode(IO, (Choice & 2) != 0, (Choice & 4) != 0);
        }
    });
}

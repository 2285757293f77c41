// Fuzz target of the zoo reader: every input is taken for such an archive (FuzzReader.h).
#include "FuzzReader.h"
#include "engine/formats/zoo/krvUnZoo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FuzzReaderOnInput<TUnZoo>(Data, Size);
}

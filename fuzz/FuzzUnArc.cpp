// Fuzz target of the arc reader: every input is taken for such an archive (FuzzReader.h).
#include "FuzzReader.h"
#include "engine/formats/arc/krvUnArc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FuzzReaderOnInput<TUnArc>(Data, Size);
}

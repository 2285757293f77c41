// Fuzz target of the arj reader: every input is taken for such an archive (FuzzReader.h).
#include "FuzzReader.h"
#include "engine/formats/arj/krvUnArj.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FuzzReaderOnInput<TUnArj>(Data, Size);
}

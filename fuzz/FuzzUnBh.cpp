// Fuzz target of the bh reader: every input is taken for such an archive (FuzzReader.h).
#include "FuzzReader.h"
#include "engine/formats/bh/krvUnBh.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FuzzReaderOnInput<TUnBh>(Data, Size);
}

// Fuzz target of the lha reader: every input is taken for such an archive (FuzzReader.h).
#include "FuzzReader.h"
#include "engine/formats/lha/krvUnLha.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FuzzReaderOnInput<TUnLha>(Data, Size);
}

// Fuzz target of the uu/xx decoder: every input is taken for uuencoded or xxencoded text
// (FuzzReader.h); its volumes are never supplied.
#include "FuzzReader.h"
#include "engine/formats/uu/krvUUDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    return FuzzReaderOnInput<TUUDecode>(Data, Size);
}

// Fuzz target of the cabinet reader and the cabinet library layer under it.
#include "FuzzExtract.h"
#include "engine/formats/cab/krvUnCab.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    TUnCab reader;
    FuzzExtract(reader, Data, Size);
    return 0;
}

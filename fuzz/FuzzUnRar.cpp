// Fuzz target of the rar reader and the rar library under it.
#include "FuzzExtract.h"
#include "engine/read/krvUnRar.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    TUnRar reader;
    FuzzExtract(reader, Data, Size);
    return 0;
}

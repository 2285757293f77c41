// Fuzz target of the rar reader and the rar library under it.
#include "FuzzExtract.h"
#include "engine/formats/rar/krvUnRar.h"

// libarchive asks malloc for impossible sizes that damaged rar headers give and handles the
// null it gets: under the sanitizer that null must be given too, not a report.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    TUnRar reader;
    FuzzExtract(reader, Data, Size);
    return 0;
}

// Fuzz target of the tar and gzip readers: the input is extracted by the gzip reader when it
// begins with a magic of the gzip family (a tar inside is unpacked as well), else by the tar
// reader (FuzzReader.h).
#include "FuzzReader.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/gzip/krvUnGZip.h"
#include "engine/formats/tar/krvUnTar.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const bool gzip = Size >= 2 && IsGZipSignature(static_cast<std::uint16_t>(Data[0] | (Data[1] << 8)));
    return gzip ? FuzzReaderOnInput<TUnGZip>(Data, Size) : FuzzReaderOnInput<TUnTar>(Data, Size);
}

// Fuzz target of the tar and gzip readers: the input is written to a file and extracted by the
// gzip reader when it begins with a magic of the gzip family (a tar inside is unpacked as
// well), else by the tar reader, into a temporary folder. Any crash, hang, sanitizer report,
// or a file written outside the folder is a bug.
#include "ScratchFile.h"
#include "ScratchFolder.h"
#include "engine/core/krvGbls.h"
#include "engine/read/krvUnGZip.h"
#include "engine/read/krvUnTar.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    static const TScratchFile scratch;
    static const TScratchFolder out;
    if (!scratch.Write(Data, Size)) return 0;
    const bool gzip = Size >= 2 && IsGZipSignature(static_cast<std::uint16_t>(Data[0] | (Data[1] << 8)));
    std::unique_ptr<TUnBase> reader;
    if (gzip)
        reader = std::make_unique<TUnGZip>();
    else
        reader = std::make_unique<TUnTar>();
    reader->SetArchiveFile(scratch.Name());
    reader->SetExtractDir(out.Folder().string());
    reader->FileSpec = {"*"};
    reader->CreateStoredDirs = true;
    reader->OnNestedTarFile = [](TZipCommon&, const std::string&, bool& doUnTar) { doUnTar = true; };
    reader->Extract();
    if (!out.Reset()) std::abort(); // an entry was written outside the destination
    return 0;
}

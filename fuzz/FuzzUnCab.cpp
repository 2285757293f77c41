// Fuzz target of the cabinet reader: the input is taken as a cabinet (whatever detection
// would say) and extracted into a temporary folder; a next cabinet is never supplied. Any
// crash, hang, sanitizer report, or a file written outside the folder is a bug.
#include "ScratchFile.h"
#include "ScratchFolder.h"
#include "engine/read/krvUnCab.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    static const TScratchFile scratch;
    static const TScratchFolder out;
    if (!scratch.Write(Data, Size)) return 0;
    TUnCab reader;
    reader.SetArchiveFile(scratch.Name());
    reader.SetExtractDir(out.Folder().string());
    reader.FileSpec = {"*"};
    reader.CreateStoredDirs = true;
    reader.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool& Cancel) {
        Cancel = true;
    };
    reader.Extract();
    if (!out.Reset()) std::abort(); // a file was written outside the destination
    return 0;
}

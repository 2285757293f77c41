// Fuzz target of the directory lister: the input is written to a file, which is detected and
// listed with every event a host would assign. Any crash, hang or sanitizer report is a bug.
#include "ScratchFile.h"
#include "engine/read/krvKorva.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    static const TScratchFile scratch;
    if (!scratch.Write(Data, Size)) return 0;
    TKorva lister;
    lister.ShowEmptyDirs = true;
    lister.SetArchiveFile(scratch.Name());
    lister.OnCorruptZipHeader = [](TZipCommon&, THeaderTypeState, bool& Cancel) { Cancel = false; };
    lister.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool& Cancel) {
        Cancel = true;
    };
    lister.OnGetZipLastDisk = [](TZipCommon&, bool& Cancel) { Cancel = true; };
    std::size_t sum = 0;
    lister.OnRead = [&](TZipCommon& Sender, std::int64_t, int) {
        sum += Sender.FileName.size() + Sender.MethodName.size() + Sender.FileComment.size();
    };
    lister.Activate();
    return sum == static_cast<std::size_t>(-1) ? 1 : 0;
}

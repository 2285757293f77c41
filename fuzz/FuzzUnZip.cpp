// Fuzz target of the readers: the input is written to a file, detected, and extracted by the
// reader of its type into a temporary folder with every event a host would assign (passwords
// are tried and refused, damaged directories walked, disks never supplied). Any crash, hang,
// sanitizer report, or a file written outside the folder is a bug.
#include "ScratchFile.h"
#include "ScratchFolder.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/read/krvReaders.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    static const TScratchFile scratch;
    static const TScratchFolder out;
    if (!scratch.Write(Data, Size)) return 0;
    TRegisterKorva detector;
    detector.SetArchiveFile(scratch.Name());
    std::unique_ptr<TUnBase> reader = CreateReader(detector.ArcType());
    if (!reader) return 0;
    reader->SetArchiveFile(scratch.Name());
    reader->SetExtractDir(out.Folder().string());
    reader->FileSpec = {"*"};
    reader->CreateStoredDirs = true;
    reader->Password = "fuzz";
    reader->OnGetPassword = [](TZipCommon&, const std::string&, std::string&, bool& TryAgain) {
        TryAgain = false;
    };
    reader->OnCorruptZipHeader = [](TZipCommon&, THeaderTypeState, bool& Cancel) { Cancel = false; };
    reader->OnGetZipLastDisk = [](TZipCommon&, bool& Cancel) { Cancel = true; };
    reader->OnGetZipFirstDisk = [](TZipCommon&, bool& Cancel) { Cancel = true; };
    reader->OnGetZipNextDisk = [](TZipCommon&, const std::string&, bool& Cancel) { Cancel = true; };
    reader->OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool& Cancel) {
        Cancel = true;
    };
    reader->Extract();
    if (!out.Reset()) std::abort(); // an entry was written outside the destination
    return 0;
}

// The body of a reader's fuzz target: the input is written to a file, taken as the reader's
// format whatever detection would say, and extracted into a temporary folder with no next
// volume supplied and passwords refused. Any crash, hang, sanitizer report, or a file
// written outside the folder is a bug.
#pragma once

#include "ScratchFile.h"
#include "ScratchFolder.h"
#include "engine/core/krvUnBase.h"

#include <cstdint>
#include <cstdlib>
#include <string>

inline void FuzzExtract(TUnBase& Reader, const std::uint8_t* Data, std::size_t Size) {
    static const TScratchFile scratch;
    static const TScratchFolder out;
    if (!scratch.Write(Data, Size)) return;
    Reader.SetArchiveFile(scratch.Name());
    Reader.SetExtractDir(out.Folder().string());
    Reader.FileSpec = {"*"};
    Reader.CreateStoredDirs = true;
    Reader.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool& Cancel) {
        Cancel = true;
    };
    Reader.OnGetPassword = [](TZipCommon&, const std::string&, std::string&, bool& TryAgain) {
        TryAgain = false;
    };
    Reader.Extract();
    if (!out.Reset()) std::abort(); // a file was written outside the destination
}

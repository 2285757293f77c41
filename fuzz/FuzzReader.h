// The frame of the reader fuzz targets: the input is written to a file and extracted by a
// reader into a temporary folder with every event a host would assign (a wrong password
// is given, damaged directories walked, disks and volumes never supplied). Any crash,
// hang, sanitizer report, or a file written outside the folder is a bug.
#pragma once

#include "ScratchFile.h"
#include "ScratchFolder.h"
#include "engine/core/krvUnBase.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

// The file every input is written to, and the folder it is extracted into.
struct TFuzzFiles {
    TScratchFile Archive;
    TScratchFolder Out;
};

// Extracts the archive in Files.Archive with Reader (its type already detected).
inline void FuzzExtract(TUnBase& Reader, const TFuzzFiles& Files) {
    Reader.SetExtractDir(Files.Out.Folder().string());
    Reader.FileSpec = {"*"};
    Reader.CreateStoredDirs = true;
    Reader.Password = "fuzz";
    Reader.OnGetPassword = [](TZipCommon&, const std::string&, std::string& Password, bool& TryAgain) {
        // A wrong password, given again and again: the readers' attempts are bounded.
        Password = "fuzz";
        TryAgain = true;
    };
    Reader.OnCorruptZipHeader = [](TZipCommon&, THeaderTypeState, bool& Cancel) { Cancel = false; };
    Reader.OnGetZipLastDisk = [](TZipCommon&, bool& Cancel) { Cancel = true; };
    Reader.OnGetZipFirstDisk = [](TZipCommon&, bool& Cancel) { Cancel = true; };
    Reader.OnGetZipNextDisk = [](TZipCommon&, const std::string&, bool& Cancel) { Cancel = true; };
    Reader.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool, bool& Cancel) {
        Cancel = true;
    };
    Reader.OnNestedTarFile = [](TZipCommon&, const std::string&, bool& doUnTar) { doUnTar = true; };
    Reader.Extract();
    if (!Files.Out.Reset()) std::abort(); // an entry was written outside the destination
}

// The fuzz input as an archive for a reader of type TReader, whatever detection says of it.
template <class TReader> int FuzzReaderOnInput(const std::uint8_t* Data, std::size_t Size) {
    static const TFuzzFiles files;
    if (!files.Archive.Write(Data, Size)) return 0;
    TReader reader;
    reader.SetArchiveFile(files.Archive.Name());
    FuzzExtract(reader, files);
    return 0;
}

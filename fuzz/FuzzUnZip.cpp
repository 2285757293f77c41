// Fuzz target of the readers: the input is detected and extracted by the reader of its type
// (FuzzReader.h).
#include "FuzzReader.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/read/krvReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    static const TFuzzFiles files;
    if (!files.Archive.Write(Data, Size)) return 0;
    TRegisterKorva detector;
    detector.SetArchiveFile(files.Archive.Name());
    std::unique_ptr<TUnBase> reader = CreateReader(detector.ArcType());
    if (!reader) return 0;
    reader->SetArchiveFile(files.Archive.Name());
    FuzzExtract(*reader, files);
    return 0;
}

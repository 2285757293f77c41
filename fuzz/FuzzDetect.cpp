// Fuzz target of format detection: the input is detected as a file, and its zip directory is
// located once more from memory. Any crash, hang or sanitizer report is a bug.
#include "engine/core/krvRegisterKorva.h"
#include "engine/core/krvStreams.h"

#include "ScratchFile.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    static const TScratchFile scratch;
    if (!scratch.Write(Data, Size)) return 0;
    TRegisterKorva detector;
    detector.SetArchiveFile(scratch.Name());
    // Detection's findings must stay inside the file.
    if (detector.ArchiveOffset < 0 || detector.ArchiveOffset > static_cast<std::int64_t>(Size))
        __builtin_trap();

    std::vector<std::uint8_t> copy(Data, Data + Size);
    TCustomMemoryStream32 memory;
    memory.SetPointer(copy.data(), static_cast<std::int64_t>(copy.size()));
    TRegisterKorva locator;
    const std::int64_t at = locator.LocateZipDirectory(memory);
    if (at < -1 || at > static_cast<std::int64_t>(Size)) __builtin_trap();
    return 0;
}

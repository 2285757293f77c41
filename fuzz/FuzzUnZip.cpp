// Fuzz target of the readers: the input is written to a file, detected, and extracted by the
// reader of its type into a temporary folder with every event a host would assign (passwords
// are tried and refused, damaged directories walked, disks never supplied). Any crash, hang,
// sanitizer report, or a file written outside the folder is a bug.
#include "ScratchFile.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/read/krvReaders.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// The folder the entries are extracted into, emptied after each input; it lies in a parent
// of its own, and anything that appears in the parent beside it escaped.
class TScratchFolder {
public:
    TScratchFolder() {
        const char* dir = std::getenv("TMPDIR");
        std::string name = std::string(dir && *dir ? dir : "/tmp") + "/quillar-fuzz-out-XXXXXX";
        if (::mkdtemp(name.data())) FParent = name;
        FFolder = FParent / "dest";
    }
    ~TScratchFolder() {
        std::error_code ec;
        if (!FParent.empty()) fs::remove_all(FParent, ec);
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const fs::path& Folder() const { return FFolder; }
    // Empties the folder; false when something was written beside it.
    bool Reset() const {
        std::error_code ec;
        fs::remove_all(FFolder, ec);
        return fs::is_empty(FParent, ec);
    }

private:
    fs::path FParent;
    fs::path FFolder;
};

} // namespace

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

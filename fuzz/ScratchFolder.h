// The folder a fuzz target extracts into, emptied after each input; it lies in a
// parent of its own, and anything that appears in the parent beside it escaped.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

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
        if (!FParent.empty()) std::filesystem::remove_all(FParent, ec);
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const std::filesystem::path& Folder() const { return FFolder; }
    // Empties the folder; false when something was written beside it.
    bool Reset() const {
        std::error_code ec;
        std::filesystem::remove_all(FFolder, ec);
        return std::filesystem::is_empty(FParent, ec);
    }

private:
    std::filesystem::path FParent;
    std::filesystem::path FFolder;
};

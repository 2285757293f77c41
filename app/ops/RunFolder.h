// The private temporary folder of one command run, removed with everything in it when the run
// ends, unless the run hands it on (Keep).
#pragma once

#include "app/common/FileUtils.h"

#include <string>
#include <utility>

struct TRunFolder {
    TRunFolder() = default;
    // A folder made by the caller (empty: none could be made).
    explicit TRunFolder(std::string APath) : Path(std::move(APath)) {}
    TRunFolder(const TRunFolder&) = delete;
    TRunFolder& operator=(const TRunFolder&) = delete;
    ~TRunFolder() {
        if (!Path.empty() && !Keep) DeleteFolderTree(Path);
    }

    std::string Path = GetTempDirName(); // empty when it could not be made
    bool Keep = false;
};

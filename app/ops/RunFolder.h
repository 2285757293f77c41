// The private temporary folder of one command run, removed with everything in it when the run
// ends, unless the run hands it on (Keep).
#pragma once

#include "app/common/FileUtils.h"

#include <string>

struct TRunFolder {
    TRunFolder() = default;
    TRunFolder(const TRunFolder&) = delete;
    TRunFolder& operator=(const TRunFolder&) = delete;
    ~TRunFolder() {
        if (!Path.empty() && !Keep) DeleteFolderTree(Path);
    }

    std::string Path = GetTempDirName(); // empty when it could not be made
    bool Keep = false;
};

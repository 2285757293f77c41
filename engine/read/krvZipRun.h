// The run-from-archive component: carries the settings for extracting an archive into a
// private temporary folder and starting a program from it, and owns that folder's life: it
// makes the folder (mode 0700, in the temporary folder) when it is created and removes it,
// with everything in it, when it is destroyed, or on SIGINT or SIGTERM once the host has
// installed the signal clean-up. It extracts nothing itself.
#pragma once

#include "engine/core/krvTempEntries.h"
#include "engine/core/krvUnBase.h"

#include <cstdint>
#include <string>

enum TExecMethod : std::uint8_t { emExecuteNoWait, emExecuteAndWait };
enum TExecState : std::uint8_t { esNormal, esMinimized, esMaximized, esHidden };

class TZipRun : public TUnBase {
public:
    TZipRun();
    ~TZipRun() override;

    TExecMethod ExecutionMethod = emExecuteAndWait;
    std::string CommandLineParams;
    TExecState WindowState = esNormal;

    TNotifyEvent OnExtractActivate;
    TNotifyEvent OnExtractDeactivate;
    TOnBegin OnExtractBegin;
    TOnEnd OnExtractEnd;
    TUnBase_OnFileExists OnExtractFileExists;
    TOnProgress OnExtractProgress;

    // The private folder (empty when it could not be made).
    const std::string& TempFolder() const { return FTempFolder.Path(); }

    // Deletes Folder with everything in it, links not followed; a file-system root is
    // refused. True when the folder is gone.
    static bool DeleteFolderTree(const std::string& Folder);

private:
    TTempFolder FTempFolder;
};

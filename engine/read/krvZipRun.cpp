#include "engine/read/krvZipRun.h"

#include "engine/core/krvFileIo.h"
#include "engine/core/krvGbls.h"

#include <filesystem>
#include <system_error>
#include <unistd.h>

TZipRun::TZipRun() {
    CommandLineParams.clear();
    WindowState = esNormal;
    ExecutionMethod = emExecuteAndWait;
    // A new private folder, made at once so that nobody else can take its name.
    FTempFolder = CreateTempFolder(TempDir(), "krv");
}

TZipRun::~TZipRun() {
    if (!ArchiveFile().empty()) DeleteFolderTree(FTempFolder);
    if (!FTempFolder.empty()) ::rmdir(FTempFolder.c_str());
    if (OnRemoveTempfile) OnRemoveTempfile(*this, FTempFolder);
}

bool TZipRun::DeleteFolderTree(const std::string& Folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (Folder.empty()) return false;
    const fs::path path(Folder);
    // Never a root: "/" or a path that names nothing below one.
    if (path == path.root_path() || fs::weakly_canonical(path, ec) == path.root_path()) return false;
    fs::remove_all(path, ec);
    return !ec && !fs::exists(fs::symlink_status(path, ec));
}

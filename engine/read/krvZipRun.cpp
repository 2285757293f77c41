#include "engine/read/krvZipRun.h"

#include "engine/core/krvFileIo.h"
#include "engine/core/krvGbls.h"

#include <filesystem>
#include <system_error>

// A new private folder, made at once so that nobody else can take its name.
TZipRun::TZipRun() : FTempFolder(TempDir(), "krv") {
    CommandLineParams.clear();
    WindowState = esNormal;
    ExecutionMethod = emExecuteAndWait;
}

TZipRun::~TZipRun() {
    const std::string folder = FTempFolder.Path();
    FTempFolder.Remove();
    if (OnRemoveTempfile) OnRemoveTempfile(*this, folder);
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

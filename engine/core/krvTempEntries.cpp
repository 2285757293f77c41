#include "engine/core/krvTempEntries.h"

#include "engine/core/krvFileIo.h"
#include "engine/core/krvZipCommon.h"

#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

// Registers the file or folder Path for removal on signals.
TTemporaryRegistration RegisterPath(const std::string& Path, bool Folder) {
    const std::size_t slash = Path.find_last_of('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : Path.substr(0, slash);
    const int dir = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return {};
    TTemporaryRegistration registration(dir, Path.substr(slash == std::string::npos ? 0 : slash + 1), Folder);
    ::close(dir);
    return registration;
}

} // namespace

TTempFolder::TTempFolder(const std::string& Dir, const std::string& Prefix) {
    // A signal between making the folder and registering it would leave it behind.
    const TCleanupSignalsHeld held;
    FPath = CreateTempFolder(Dir, Prefix);
    if (!FPath.empty()) FRegistration = RegisterPath(FPath, true);
}

TTempFolder::TTempFolder(TTempFolder&& Other) noexcept
    : FPath(std::exchange(Other.FPath, {})), FRegistration(std::move(Other.FRegistration)) {}

TTempFolder& TTempFolder::operator=(TTempFolder&& Other) noexcept {
    if (this != &Other) {
        Remove();
        FPath = std::exchange(Other.FPath, {});
        FRegistration = std::move(Other.FRegistration);
    }
    return *this;
}

TTempFolder::~TTempFolder() {
    Remove();
}

void TTempFolder::Remove() {
    if (FPath.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
    FRegistration.Release();
    FPath.clear();
}

TTempFile::TTempFile(const std::string& Dir) {
    const TCleanupSignalsHeld held;
    FPath = CreateTempFileName(Dir, &FLock);
    if (!FPath.empty()) FRegistration = RegisterPath(FPath, false);
}

TTempFile::~TTempFile() {
    if (FPath.empty()) return;
    ::unlink(FPath.c_str());
    FRegistration.Release();
}

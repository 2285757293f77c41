#include "SmallDisk.h"

#include <algorithm>
#include <sys/mount.h>
#include <system_error>

namespace testsupport {

SmallDisk::SmallDisk(const std::filesystem::path& Mount, const std::string& Size) : FMount(Mount) {
    std::filesystem::create_directories(Mount);
    Mounted = ::mount("tmpfs", Mount.c_str(), "tmpfs", 0, ("size=" + Size).c_str()) == 0;
}

SmallDisk::~SmallDisk() {
    std::error_code ignored;
    // The disk cannot be left while the current folder lies on it; any other stays as it is.
    const std::filesystem::path here = std::filesystem::current_path(ignored);
    const auto [end, at] = std::mismatch(FMount.begin(), FMount.end(), here.begin(), here.end());
    if (end == FMount.end()) std::filesystem::current_path(FMount.parent_path(), ignored);
    if (Mounted) ::umount2(FMount.c_str(), MNT_DETACH);
    std::filesystem::remove_all(FMount, ignored);
}

} // namespace testsupport

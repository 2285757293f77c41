#include "SmallDisk.h"

#include <sys/mount.h>
#include <system_error>

namespace testsupport {

SmallDisk::SmallDisk(const std::filesystem::path& Mount, const std::string& Size) : FMount(Mount) {
    std::filesystem::create_directories(Mount);
    Mounted = ::mount("tmpfs", Mount.c_str(), "tmpfs", 0, ("size=" + Size).c_str()) == 0;
}

SmallDisk::~SmallDisk() {
    std::error_code ignored;
    // A window may have made a folder on the disk the current one.
    std::filesystem::current_path(FMount.parent_path(), ignored);
    if (Mounted) ::umount2(FMount.c_str(), MNT_DETACH);
    std::filesystem::remove_all(FMount, ignored);
}

} // namespace testsupport

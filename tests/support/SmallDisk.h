// A tmpfs of a few blocks mounted for the life of the guard, for the tests of a full disk.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

class SmallDisk {
public:
    // Mounts a tmpfs of Size (as mount(8) writes it, "256k") on Mount, made when missing.
    explicit SmallDisk(const std::filesystem::path& Mount, const std::string& Size = "256k");
    // Leaves the mount (the current folder moved out of it first when it lies on it) and removes
    // its folder.
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted = false;

private:
    std::filesystem::path FMount;
};

} // namespace testsupport

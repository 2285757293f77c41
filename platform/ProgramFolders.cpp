#include "platform/ProgramFolders.h"

#include <filesystem>
#include <system_error>

std::string ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return {};
    std::string folder = exe.parent_path().string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string ProgramDataFolder() {
    const std::string program = ProgramFolder();
    if (program.empty()) return {};
    return (std::filesystem::path(program).parent_path().parent_path() / "share" / "quillar").string() + "/";
}

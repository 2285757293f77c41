#include "platform/ShellLink.h"

#include "platform/Process.h"

#include <filesystem>
#include <fstream>

bool CreateShellLink(const std::string& Folder, const std::string& Name, const std::string& Target,
                     const std::string& Icon) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (Folder.empty() || !fs::is_directory(Folder, ec)) return false;
    const fs::path file = fs::path(Folder) / (Name + ".desktop");
    {
        std::ofstream out(file, std::ios::trunc);
        out << "[Desktop Entry]\nType=Application\nName=" << Name << "\nExec=" << QuoteArgument(Target)
            << " %f\nIcon=" << Icon << "\nTerminal=false\nCategories=Utility;Archiving;\n";
        if (!out.flush()) return false;
    }
    fs::permissions(file, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ec);
    return true;
}

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

std::string DesktopExecLine(const std::vector<std::string>& Argv) {
    std::string quoted;
    for (const std::string& arg : Argv) {
        if (!quoted.empty()) quoted += ' ';
        quoted += '"';
        for (char c : arg) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                quoted += '\\';
            else if (c == '%')
                quoted += '%';
            quoted += c;
        }
        quoted += '"';
    }
    std::string value;
    for (char c : quoted) {
        if (c == '\\')
            value += "\\\\";
        else if (c == '\n')
            value += "\\n";
        else if (c == '\t')
            value += "\\t";
        else if (c == '\r')
            value += "\\r";
        else
            value += c;
    }
    return value;
}

bool CreateShellLink(const std::string& Folder, const std::string& Name, const std::vector<std::string>& Argv,
                     const std::string& Icon) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (Folder.empty() || !fs::is_directory(Folder, ec) || Argv.empty()) return false;
    const fs::path file = fs::path(Folder) / (Name + ".desktop");
    {
        std::ofstream out(file, std::ios::trunc);
        out << "[Desktop Entry]\nType=Application\nName=" << Name << "\nExec=" << DesktopExecLine(Argv)
            << "\nIcon=" << Icon << "\nTerminal=false\n";
        if (!out.flush()) return false;
    }
    fs::permissions(file, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ec);
    return true;
}

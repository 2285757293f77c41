#include "platform/Shell.h"

#include "platform/Process.h"
#include "platform/XdgFolders.h"

#include <cstdlib>

namespace {

std::string UserDir(const char* Name, const char* Fallback) {
    std::string path = FirstOutputLine({"xdg-user-dir", Name});
    if (path.empty()) path = HomeFolder() + '/' + Fallback;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

std::string SpecialFolderPath(int FolderId) {
    switch (FolderId) {
    case sfDesktop:
    case sfDesktopDirectory:
        return UserDir("DESKTOP", "Desktop");
    case sfPersonal:
        return UserDir("DOCUMENTS", "Documents");
    case sfPrograms:
    case sfStartMenu:
        return XdgDataHome() + "/applications";
    default:
        return {};
    }
}

bool HasDefaultApplication(const std::string& Path) {
    const std::string type = FirstOutputLine({"xdg-mime", "query", "filetype", Path});
    return !type.empty() && !FirstOutputLine({"xdg-mime", "query", "default", type}).empty();
}

#include "platform/XdgFolders.h"

#include <cstdlib>

namespace {

std::string BaseFolder(const char* Variable, const char* Fallback) {
    const char* value = std::getenv(Variable);
    if (value && *value == '/') return value;
    return HomeFolder() + Fallback;
}

} // namespace

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home ? home : "";
}

std::string XdgConfigHome() {
    return BaseFolder("XDG_CONFIG_HOME", "/.config");
}

std::string XdgDataHome() {
    return BaseFolder("XDG_DATA_HOME", "/.local/share");
}

std::string XdgCacheHome() {
    return BaseFolder("XDG_CACHE_HOME", "/.cache");
}

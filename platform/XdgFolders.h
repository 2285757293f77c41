// The user's base folders of the freedesktop base-directory rules: $XDG_CONFIG_HOME and
// $XDG_DATA_HOME and $XDG_CACHE_HOME when they hold absolute paths, else ~/.config,
// ~/.local/share and ~/.cache.
#pragma once

#include <string>

std::string HomeFolder();
std::string XdgConfigHome();
std::string XdgDataHome();
std::string XdgCacheHome();

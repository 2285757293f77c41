// The user's base folders of the freedesktop base-directory rules: $XDG_CONFIG_HOME and
// $XDG_DATA_HOME when they hold absolute paths, else ~/.config and ~/.local/share.
#pragma once

#include <string>

std::string HomeFolder();
std::string XdgConfigHome();
std::string XdgDataHome();

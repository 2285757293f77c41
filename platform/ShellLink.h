// Shortcuts to programs as the desktop keeps them: freedesktop .desktop files.
#pragma once

#include <string>

// Writes Folder/Name.desktop starting Target (made executable, as desktops ask of launchers on
// the desktop). False when the folder is missing or the file cannot be written.
bool CreateShellLink(const std::string& Folder, const std::string& Name, const std::string& Target,
                     const std::string& Icon);

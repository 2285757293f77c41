// Shortcuts to programs as the desktop keeps them: freedesktop .desktop files.
#pragma once

#include <string>
#include <vector>

// Writes Folder/Name.desktop starting Target (made executable, as desktops ask of launchers on
// the desktop). False when the folder is missing or the file cannot be written.
bool CreateShellLink(const std::string& Folder, const std::string& Name, const std::string& Target,
                     const std::string& Icon);

// The Exec value of a desktop entry running Argv: every argument in double quotes with '"',
// '`', '$' and '\' escaped by a '\', '%' doubled, and then the value's own string escapes
// ('\' doubled, line breaks and tabs as \n, \t), so a launcher runs exactly Argv.
std::string DesktopExecLine(const std::vector<std::string>& Argv);
// Writes Folder/Name.desktop running Argv (made executable). False when the folder is missing
// or the file cannot be written.
bool CreateShellLink(const std::string& Folder, const std::string& Name, const std::vector<std::string>& Argv,
                     const std::string& Icon);

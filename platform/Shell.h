// The desktop's shell services: special folders (the XDG user folders and the applications
// menu folder) and the default application of a file's type (xdg-mime).
#pragma once

#include <string>

// Folder identifiers as the program names them.
inline constexpr int sfDesktop = 0;
inline constexpr int sfPrograms = 2; // the programs of the applications menu
inline constexpr int sfPersonal = 5; // documents
inline constexpr int sfStartMenu = 11;
inline constexpr int sfDesktopDirectory = 16;

// The folder's path without a trailing separator; empty for a folder this desktop has not.
std::string SpecialFolderPath(int FolderId);

// True when the desktop has a default application for the type of the file at Path.
bool HasDefaultApplication(const std::string& Path);

// Shell lookups: special folders and whether a file can be opened with an associated program.
#pragma once

#include <string>

// The special folder's path without a trailing separator (see platform/Shell.h for the
// identifiers); '' for one this desktop has not.
std::string GetSpecialFolderPath(int FolderId);

// True when FileName's extension (with its dot) names a file type under the classes root that
// has a "Shell\Open" key, or when the desktop has a default application for the file's type.
bool GetOpenCommand(const std::string& FileName);

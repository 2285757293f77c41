// The system side of the utility routines: the administrator test, the per-user autostart
// value, and where the running program is.
#pragma once

#include <string>

// True when the user may change the machine-wide settings: the local-machine store is writable.
bool IsAdmin();

// The per-user key of programs started at log-in, and its values.
inline constexpr const char* RunKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
void AddToRunKey(const std::string& ValueName, const std::string& CommandLine);
// True when the value existed and was deleted.
bool RemoveFromRunKey(const std::string& ValueName);

// The full path of the running program, and its folder with a trailing separator. Tests may
// put the program somewhere else (an empty path: the running program again).
std::string ProgramFilePath();
std::string ProgramFolder();
void SetProgramFilePath(const std::string& Path);

// The system side of the utility routines: the administrator test, the per-user autostart
// value, and where the running program is.
#pragma once

#include <string>

// True when the user may change the machine-wide settings: the local-machine store is writable.
bool IsAdmin();

// The per-user key of programs started at log-in, and its values. The desktop starts what is
// listed in its autostart folder, so each value has its autostart entry there too (named after
// the value, running the command line as SplitCommandLine reads it).
inline constexpr const char* RunKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
void AddToRunKey(const std::string& ValueName, const std::string& CommandLine);
// True when the value or its autostart entry existed and was deleted.
bool RemoveFromRunKey(const std::string& ValueName);

// The tray program: a sibling of this program, outside it, that the autostart value starts.
inline constexpr const char* TrayProgramName = "QuillarTray.exe";

// Starts the sibling program at Path (the tray program), detached, without arguments, in its
// folder; only when it is there and not running already.
enum TProgramStart { psStarted, psMissing, psAlreadyRunning, psFailed };
TProgramStart StartSiblingProgram(const std::string& Path);

// The full path of the running program, and its folder with a trailing separator. Tests may
// put the program somewhere else (an empty path: the running program again).
std::string ProgramFilePath();
std::string ProgramFileFolder();
void SetProgramFilePath(const std::string& Path);

// Running programs looked up by their file name (the process list of /proc), and ending them.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The processes whose program file (or, when that cannot be read, first argument) has the
// file name Name, or that were started from a file of that name (a script).
std::vector<pid_t> FindProcessesByName(const std::string& Name);
// Asks the process to end (SIGTERM) and waits up to TimeoutMs for it to be gone. True when it
// is gone.
bool TerminateProcessWait(pid_t Pid, int TimeoutMs);

// Running programs looked up by their file name (the process list of /proc), and ending them.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The processes of this user whose program file (or, when that cannot be read, first
// argument) has the file name Name.
std::vector<pid_t> FindProcessesByName(const std::string& Name);
// Asks the process to end (SIGTERM) and waits up to TimeoutMs for it to be gone. True when it
// is gone.
bool TerminateProcessWait(pid_t Pid, int TimeoutMs);

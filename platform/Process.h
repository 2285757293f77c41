// Starting programs with an argument list (never through a shell) and waiting for them while
// the caller's loop keeps running; splitting a command line into its arguments.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// Starts Argv[0] (looked up on PATH when it has no slash) with Argv in WorkingFolder (empty:
// the current one). With an OutputFd its standard output goes there and its standard error
// nowhere, or to ErrorFd when one is given. False, with errno set, when it cannot be started.
bool SpawnProcess(const std::vector<std::string>& Argv, const std::string& WorkingFolder, pid_t& Pid,
                  int OutputFd = -1, int ErrorFd = -1);

// The first line that a program writes to standard output; empty when it cannot be started or
// does not end with status 0.
std::string FirstOutputLine(const std::vector<std::string>& Argv);

// Waits until the process ends, calling Pump at least every PollMs milliseconds meanwhile.
// Returns the exit status, or -1 when it died on a signal.
int WaitForProcess(pid_t Pid, int PollMs, const std::function<void()>& Pump);

// True when a process of this user runs the program at Path (an absolute path): its executable
// is that file, or it was started by that name, or it is a script of that name run by its
// interpreter.
bool IsProgramRunning(const std::string& Path);

// The arguments of a command line: blanks separate them, double quotes group (and are removed),
// and inside or outside quotes \" is a quote and \\ a backslash; any other backslash is itself.
std::vector<std::string> SplitCommandLine(const std::string& CommandLine);

// Quotes Text as one argument that SplitCommandLine reads back unchanged.
std::string QuoteArgument(const std::string& Text);

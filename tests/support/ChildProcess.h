// A child process started without waiting for it, for the tests that signal a run midway: it
// starts with SIGINT and SIGTERM at their default action and standard output discarded, and is
// killed and reaped if the test leaves before it has ended.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

class TChild {
public:
    // Starts Argv (Argv[0] a path) in Cwd (empty: this process's folder).
    explicit TChild(const std::vector<std::string>& Argv, const std::string& Cwd = {});
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;
    ~TChild();

    bool Started() const { return FPid > 0; }
    // True once the child has ended (its wait status then in Status()).
    bool Ended();
    // Waits for the end; the wait status.
    int Wait();
    void Signal(int Number);
    int Status() const { return FStatus; }

private:
    bool Reap(int Options);
    pid_t FPid = -1;
    int FStatus = 0;
};

} // namespace testsupport

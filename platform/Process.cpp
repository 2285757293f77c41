#include "platform/Process.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

bool SpawnProcess(const std::vector<std::string>& Argv, const std::string& WorkingFolder, pid_t& Pid,
                  int OutputFd) {
    if (Argv.empty()) {
        errno = EINVAL;
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& arg : Argv)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!WorkingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, WorkingFolder.c_str());
    if (OutputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, OutputFd, 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    const int rc = posix_spawnp(&Pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) errno = rc;
    return rc == 0;
}

int WaitForProcess(pid_t Pid, int PollMs, const std::function<void()>& Pump) {
    for (;;) {
        if (Pump) Pump();
        int status = 0;
        const pid_t done = ::waitpid(Pid, &status, WNOHANG);
        if (done == Pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR) return -1;
        ::poll(nullptr, 0, PollMs);
    }
}

std::string FirstOutputLine(const std::vector<std::string>& Argv) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {};
    pid_t pid = 0;
    const bool started = SpawnProcess(Argv, {}, pid, out[1]);
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got; started && (got = ::read(out[0], buffer, sizeof buffer)) != 0;) {
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (errno != EINTR) {
            break;
        }
    }
    ::close(out[0]);
    if (!started || WaitForProcess(pid, 10, nullptr) != 0) return {};
    return text.substr(0, text.find('\n'));
}

std::vector<std::string> SplitCommandLine(const std::string& CommandLine) {
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false, quoted = false;
    for (std::size_t i = 0; i < CommandLine.size(); ++i) {
        const char c = CommandLine[i];
        if (c == '\\' && i + 1 < CommandLine.size() &&
            (CommandLine[i + 1] == '"' || CommandLine[i + 1] == '\\')) {
            current += CommandLine[++i];
            inArgument = true;
        } else if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inArgument) args.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument) args.push_back(std::move(current));
    return args;
}

std::string QuoteArgument(const std::string& Text) {
    std::string quoted = "\"";
    for (const char c : Text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

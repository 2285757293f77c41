#include "platform/Process.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

bool SpawnProcess(const std::vector<std::string>& Argv, const std::string& WorkingFolder, pid_t& Pid,
                  int OutputFd, int ErrorFd) {
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
        if (ErrorFd < 0) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    if (ErrorFd >= 0) posix_spawn_file_actions_adddup2(&actions, ErrorFd, 2);
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

namespace {

// The arguments a process was started with, as /proc gives them.
std::vector<std::string> ProcessArguments(const std::string& ProcFolder) {
    std::ifstream file(ProcFolder + "/cmdline", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        args.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

std::string FirstLine(const std::string& FileName) {
    std::ifstream file(FileName);
    std::string line;
    std::getline(file, line);
    return line;
}

// True when Arg is an absolute path of File (which is canonical).
bool NamesFile(const std::string& Arg, const std::filesystem::path& File) {
    std::error_code ec;
    return !Arg.empty() && Arg.front() == '/' && std::filesystem::weakly_canonical(Arg, ec) == File;
}

} // namespace

bool IsProgramRunning(const std::string& Path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path program = fs::weakly_canonical(Path, ec);
    if (ec || !program.is_absolute()) return false;
    // The kernel names a script's process after the script, cut to 15 bytes.
    const std::string comm = program.filename().string().substr(0, 15);
    const std::string self = std::to_string(::getpid());
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string pid = it->path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
        const std::string folder = it->path().string();
        std::error_code linkError;
        if (fs::read_symlink(folder + "/exe", linkError) == program) return true;
        const std::vector<std::string> args = ProcessArguments(folder);
        if (!args.empty() && NamesFile(args[0], program)) return true;
        if (args.size() > 1 && NamesFile(args[1], program) && FirstLine(folder + "/comm") == comm)
            return true;
    }
    return false;
}

#include "platform/RunningProcesses.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

std::string BaseName(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

// The program file of a process, or its first argument when the link cannot be read.
std::string ProgramOf(const std::string& ProcDir) {
    char buffer[4096];
    const ssize_t n = ::readlink((ProcDir + "/exe").c_str(), buffer, sizeof buffer - 1);
    if (n > 0) {
        std::string path(buffer, static_cast<std::size_t>(n));
        static const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() && path.ends_with(deleted))
            path.resize(path.size() - deleted.size());
        return path;
    }
    std::ifstream cmdline(ProcDir + "/cmdline", std::ios::binary);
    std::string first;
    std::getline(cmdline, first, '\0');
    return first;
}

// The name the kernel keeps for the process: the file name it was started from (a script's
// too), cut to 15 bytes.
std::string CommandOf(const std::string& ProcDir) {
    std::ifstream comm(ProcDir + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// True while the process runs: it exists and is not a zombie that no one reaped.
bool IsRunning(pid_t Pid) {
    std::ifstream stat("/proc/" + std::to_string(Pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    // "pid (comm) S ...": the state follows the last ')'.
    const std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z' &&
           text[close + 2] != 'X';
}

} // namespace

std::vector<pid_t> FindProcessesByName(const std::string& Name) {
    std::vector<pid_t> found;
    if (Name.empty()) return found;
    const std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc) return found;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(proc.get())) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self || !IsRunning(static_cast<pid_t>(pid))) continue;
        const std::string dir = std::string("/proc/") + entry->d_name;
        if (BaseName(ProgramOf(dir)) == Name || CommandOf(dir) == Name.substr(0, 15))
            found.push_back(static_cast<pid_t>(pid));
    }
    return found;
}

bool TerminateProcessWait(pid_t Pid, int TimeoutMs) {
    if (Pid <= 0) return false;
    if (::kill(Pid, SIGTERM) != 0) return errno == ESRCH;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!IsRunning(Pid)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace testsupport {

TChild::TChild(const std::vector<std::string>& Argv, const std::string& Cwd) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    if (!Cwd.empty()) posix_spawn_file_actions_addchdir_np(&files, Cwd.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv;
    for (const std::string& a : Argv)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&FPid, argv[0], &files, &attr, argv.data(), environ) != 0) FPid = -1;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&files);
}

TChild::~TChild() {
    if (FPid <= 0) return;
    ::kill(FPid, SIGKILL);
    Wait();
}

bool TChild::Ended() {
    return FPid <= 0 || Reap(WNOHANG);
}

int TChild::Wait() {
    while (FPid > 0 && !Reap(0)) {
    }
    return FStatus;
}

void TChild::Signal(int Number) {
    if (FPid > 0) ::kill(FPid, Number);
}

bool TChild::Reap(int Options) {
    const pid_t r = ::waitpid(FPid, &FStatus, Options);
    if (r == FPid || (r < 0 && errno != EINTR)) {
        FPid = -1;
        return true;
    }
    return false;
}

} // namespace testsupport

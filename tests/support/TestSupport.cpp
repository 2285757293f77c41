#include "TestSupport.h"

#include "engine/core/krvStreams.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

namespace {

// A fresh folder under Base; empty when it cannot be made.
fs::path MakeFolderUnder(const std::string& Base) {
    std::string tmpl = Base + "/quillar-test-XXXXXX";
    return mkdtemp(tmpl.data()) ? fs::path(tmpl) : fs::path();
}

std::string DiskTempBase() {
    const char* base = std::getenv("TMPDIR");
    return base && *base ? base : "/tmp";
}

} // namespace

TempDir::TempDir() : FPath(MakeFolderUnder(DiskTempBase())) {
    if (FPath.empty()) throw std::runtime_error("mkdtemp failed");
}

TempDir::TempDir(InMemory) : FPath(MakeFolderUnder("/dev/shm")) {
    if (FPath.empty()) FPath = MakeFolderUnder(DiskTempBase());
    if (FPath.empty()) throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make everything writable again so read-only test files do not stop the clean-up.
    for (auto it = fs::recursive_directory_iterator(FPath, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(FPath, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(FPath, ec);
}

EnvGuard::EnvGuard(const char* Name, const char* Value) : FName(Name) {
    const char* old = std::getenv(Name);
    FHadOld = old != nullptr;
    if (old) FOld = old;
    if (Value)
        setenv(Name, Value, 1);
    else
        unsetenv(Name);
    tzset();
}

EnvGuard::~EnvGuard() {
    if (FHadOld)
        setenv(FName.c_str(), FOld.c_str(), 1);
    else
        unsetenv(FName.c_str());
    tzset();
}

TkrvTimer::TTickSource SteppingClock(std::uint64_t StepMs) {
    return [StepMs, now = std::uint64_t{0}]() mutable { return now += StepMs; };
}

void ScriptedHost::DoPump() {
    ++Pumps;
    if (OnPump) OnPump(Pumps);
}

int ScriptedHost::DoAsk(const std::string& Text, TAskButtons /*Buttons*/) {
    Questions.push_back(Text);
    if (Answers.empty()) return mrNo;
    const int answer = Answers.front();
    Answers.pop_front();
    return answer;
}

ScriptedHostGuard::ScriptedHostGuard() {
    auto host = std::make_unique<ScriptedHost>();
    FHost = host.get();
    FPrevious = EngineHost::Install(std::move(host));
}

ScriptedHostGuard::~ScriptedHostGuard() {
    EngineHost::Install(std::move(FPrevious));
}

std::string ReadFile(const fs::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + Path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& Path, const std::string& Data) {
    if (Path.has_parent_path()) fs::create_directories(Path.parent_path());
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(Data.data(), static_cast<std::streamsize>(Data.size()));
    if (!out) throw std::runtime_error("cannot write " + Path.string());
}

std::vector<std::string> FolderNames(const fs::path& Folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string RandomBytes(std::size_t Count, std::uint32_t Seed) {
    std::mt19937 rng(Seed);
    std::string s(Count, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

std::string TextBytes(std::size_t Count, std::uint32_t Seed) {
    static const char* words[] = {"archive ", "entry ",   "folder ", "the ",    "of ",   "compressed ",
                                  "data\n",   "Quillar ", "zip ",    "header ", "0123 ", "volume "};
    std::mt19937 rng(Seed);
    std::string s;
    s.reserve(Count + 16);
    while (s.size() < Count)
        s += words[rng() % 12];
    s.resize(Count);
    return s;
}

std::string FibonacciBytes(int Symbols) {
    std::string s;
    std::uint64_t a = 1, b = 1;
    for (int i = 0; i < Symbols; ++i) {
        s.append(a, static_cast<char>('A' + i));
        const std::uint64_t c = a + b;
        a = b;
        b = c;
    }
    std::mt19937 rng(11);
    std::shuffle(s.begin(), s.end(), rng);
    return s;
}

void LoadStream(TMemoryStream32& Stream, const std::string& Data) {
    Stream.WriteBuffer(Data.data(), static_cast<std::int64_t>(Data.size()));
    Stream.SetPosition(0);
}

std::string StreamBytes(TMemoryStream32& Stream) {
    return {reinterpret_cast<const char*>(Stream.Memory()), static_cast<std::size_t>(Stream.Size())};
}

namespace {

void DrainPipes(int outFd, int errFd, int inFd, const std::string& input, ToolResult& r) {
    std::size_t inPos = 0;
    if (input.empty() && inFd >= 0) {
        close(inFd);
        inFd = -1;
    }
    char buf[65536];
    while (outFd >= 0 || errFd >= 0) {
        pollfd fds[3];
        int n = 0;
        if (outFd >= 0) fds[n++] = {outFd, POLLIN, 0};
        if (errFd >= 0) fds[n++] = {errFd, POLLIN, 0};
        if (inFd >= 0) fds[n++] = {inFd, POLLOUT, 0};
        if (poll(fds, n, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents) continue;
            if (fds[i].fd == inFd) {
                const ssize_t w = write(inFd, input.data() + inPos, input.size() - inPos);
                if (w > 0) inPos += static_cast<std::size_t>(w);
                if (w < 0 || inPos == input.size()) {
                    close(inFd);
                    inFd = -1;
                }
                continue;
            }
            const ssize_t got = read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                (fds[i].fd == outFd ? r.Out : r.Err).append(buf, static_cast<std::size_t>(got));
            } else {
                close(fds[i].fd);
                (fds[i].fd == outFd ? outFd : errFd) = -1;
            }
        }
    }
    if (inFd >= 0) close(inFd);
}

} // namespace

ToolResult RunTool(const std::vector<std::string>& Argv, const fs::path& Cwd, const std::string& Input) {
    ToolResult r;
    int outPipe[2], errPipe[2], inPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) || pipe2(errPipe, O_CLOEXEC) || pipe2(inPipe, O_CLOEXEC)) return r;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
    if (!Cwd.empty()) posix_spawn_file_actions_addchdir_np(&fa, Cwd.c_str());
    std::vector<char*> argv;
    for (const auto& a : Argv)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(outPipe[1]);
    close(errPipe[1]);
    close(inPipe[0]);
    if (rc != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        close(inPipe[1]);
        r.Err = "cannot start " + Argv[0];
        return r;
    }
    DrainPipes(outPipe[0], errPipe[0], inPipe[1], Input, r);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

fs::path CorpusDir() {
    return QUILLAR_CORPUS_DIR;
}

fs::path ProbePath() {
    return fs::path(QUILLAR_BINARY_DIR) / "tests" / "krvprobe";
}

fs::path ReachableCopy(const fs::path& Folder, const std::string& Program) {
    const fs::path build(QUILLAR_BINARY_DIR);
    for (const std::string& part :
         {Program, std::string("libquillar-unrar.so"), std::string("share/quillar")}) {
        if (!fs::exists(build / part)) continue;
        fs::create_directories((Folder / part).parent_path());
        fs::copy(build / part, Folder / part,
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
    // Every folder of the copy may be entered and every file read (and the programs run).
    const fs::perms open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(Folder, open);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Folder))
        if (!entry.is_symlink())
            fs::permissions(entry.path(), entry.is_directory() || (entry.status().permissions() &
                                                                   fs::perms::owner_exec) != fs::perms::none
                                              ? open
                                              : fs::perms::owner_read | fs::perms::owner_write |
                                                    fs::perms::group_read | fs::perms::others_read);
    return Folder / Program;
}

ToolResult RunProbe(const std::vector<std::string>& Args, const fs::path& Cwd) {
    std::vector<std::string> argv{ProbePath().string()};
    argv.insert(argv.end(), Args.begin(), Args.end());
    return RunTool(argv, Cwd);
}

int PasswordRefusals(const fs::path& Zip, const std::string& Password) {
    const std::string out = RunTool({"unzip", "-t", "-P", Password, Zip.string()}).Out;
    int refused = 0;
    // One "skipping: NAME  incorrect password" line per refused entry (the summary ends in '.').
    for (std::size_t at = out.find("incorrect password\n"); at != std::string::npos;
         at = out.find("incorrect password\n", at + 1))
        ++refused;
    return refused;
}

CurrentFolderGuard::CurrentFolderGuard(const fs::path& Folder) : FOld(fs::current_path()) {
    fs::current_path(Folder);
}

CurrentFolderGuard::~CurrentFolderGuard() {
    std::error_code error;
    fs::current_path(FOld, error);
}

TReadAtFunc ReadAtOf(const std::string& Data) {
    return [&Data](std::int64_t At, void* Buffer, std::int64_t Count) -> std::int64_t {
        if (At < 0 || At >= std::ssize(Data)) return 0;
        const std::int64_t n = std::min<std::int64_t>(Count, std::ssize(Data) - At);
        std::copy_n(Data.data() + At, n, static_cast<char*>(Buffer));
        return n;
    };
}

ToolResult RunUtf8(const std::vector<std::string>& Argv, const fs::path& Cwd, const std::string& Input) {
    std::vector<std::string> argv{"env", "LANG=C.UTF-8", "LC_ALL=C.UTF-8"};
    argv.insert(argv.end(), Argv.begin(), Argv.end());
    return RunTool(argv, Cwd, Input);
}

} // namespace testsupport

namespace {
// A tool that exits without reading its input must not kill the test with SIGPIPE.
const bool sigpipeIgnored = [] {
    signal(SIGPIPE, SIG_IGN);
    return true;
}();
} // namespace

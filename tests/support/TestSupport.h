// Helpers shared by the tests: temporary folders, whole-file reads and writes, running the
// real third-party tools used as oracles, and the locations of the sample corpus.
#pragma once

#include "engine/core/EngineHost.h"
#include "engine/core/krvByteAccess.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TMemoryStream32;

namespace testsupport {

namespace fs = std::filesystem;

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    // A folder in memory (/dev/shm) when there is one, for trees of tens of thousands of files,
    // which a disk makes and removes far more slowly; else as above.
    struct InMemory {};
    explicit TempDir(InMemory);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& Path() const { return FPath; }
    std::string Str() const { return FPath.string(); }
    fs::path operator/(const std::string& Name) const { return FPath / Name; }

private:
    fs::path FPath;
};

// Sets an environment variable for the life of the guard (nullptr unsets it) and restores the
// previous value afterwards. The time-zone rules are reloaded both times, so it serves TZ.
class EnvGuard {
public:
    EnvGuard(const char* Name, const char* Value);
    ~EnvGuard();
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    std::string FName;
    std::string FOld;
    bool FHadOld;
};

// Makes Folder the process's current folder for the guard's life, and the previous one again
// after it (the tests run one after another in one process).
class CurrentFolderGuard {
public:
    explicit CurrentFolderGuard(const fs::path& Folder);
    ~CurrentFolderGuard();
    CurrentFolderGuard(const CurrentFolderGuard&) = delete;
    CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

private:
    fs::path FOld;
};

// A pump clock on which every look at the time finds StepMs more passed: each block of work
// then takes a whole pump interval, and every pump point lets the host run.
TkrvTimer::TTickSource SteppingClock(std::uint64_t StepMs = EngineHost::PumpIntervalMs);

// An engine host for tests: answers the engine's questions from a script (mrNo once the script
// is used up) and records them, counts pumps and runs OnPump on each one. Its pump clock is a
// SteppingClock, so the counts do not depend on how fast the machine is.
class ScriptedHost : public EngineHost {
public:
    ScriptedHost() { SetPumpClock(SteppingClock()); }
    std::deque<int> Answers;
    std::vector<std::string> Questions;
    int Pumps = 0;
    std::function<void(int Pump)> OnPump;

protected:
    void DoPump() override;
    int DoAsk(const std::string& Text, TAskButtons Buttons) override;
};

// Installs a ScriptedHost for the life of the guard and restores the previous host afterwards.
class ScriptedHostGuard {
public:
    ScriptedHostGuard();
    ~ScriptedHostGuard();
    ScriptedHostGuard(const ScriptedHostGuard&) = delete;
    ScriptedHostGuard& operator=(const ScriptedHostGuard&) = delete;
    ScriptedHost& Host() { return *FHost; }

private:
    ScriptedHost* FHost;
    std::unique_ptr<EngineHost> FPrevious;
};

std::string ReadFile(const fs::path& Path);
void WriteFile(const fs::path& Path, const std::string& Data);
// The names in Folder (not below it), sorted.
std::vector<std::string> FolderNames(const fs::path& Folder);
// Deterministic pseudo-random bytes (not for security).
std::string RandomBytes(std::size_t Count, std::uint32_t Seed = 1);
// Text-like bytes that compress well.
std::string TextBytes(std::size_t Count, std::uint32_t Seed = 1);
// Symbols many bytes whose counts follow the Fibonacci numbers, shuffled: an unlimited Huffman
// code for them is about as deep as there are symbols.
std::string FibonacciBytes(int Symbols);

// Reads from Data as the record parsers read from an archive (nothing past its end).
TReadAtFunc ReadAtOf(const std::string& Data);

// Writes Data into Stream at its position and rewinds it to 0.
void LoadStream(TMemoryStream32& Stream, const std::string& Data);
// All bytes a memory stream holds.
std::string StreamBytes(TMemoryStream32& Stream);

struct ToolResult {
    int ExitCode = -1; // -1 when the program could not be started or died on a signal
    std::string Out;   // standard output
    std::string Err;   // standard error
};

// Runs a program with an argument list (no shell) in Cwd (empty: current folder),
// feeding it Input on standard input.
ToolResult RunTool(const std::vector<std::string>& Argv, const fs::path& Cwd = {},
                   const std::string& Input = {});
// RunTool under a UTF-8 locale, so tools print and take non-ASCII names as UTF-8.
ToolResult RunUtf8(const std::vector<std::string>& Argv, const fs::path& Cwd = {},
                   const std::string& Input = {});

// How many entries of Zip unzip skips as "incorrect password" with Password. A wrong password
// passes the one check byte of an entry's random cipher header once in 256 times, so tests that
// expect it refused make their archive until this counts every enciphered entry.
int PasswordRefusals(const fs::path& Zip, const std::string& Password);

// The sample archives made by other tools, and the test driver built beside the tests.
fs::path CorpusDir();
fs::path ProbePath();
// Runs the test driver with Args in Cwd.
ToolResult RunProbe(const std::vector<std::string>& Args, const fs::path& Cwd = {});

// A program of the build (its path below the build folder, "app/quillar") copied into Folder
// with what it loads from the build (the rar library beside it, the data folder) in the same
// layout, every part readable and runnable by any user: another user runs the copy, since a
// clone under a private folder (a 0700 home) keeps them from the build itself. Folder must
// lie where that user can reach it (a test's own temporary folder); the copy's path.
fs::path ReachableCopy(const fs::path& Folder, const std::string& Program);

} // namespace testsupport

// Helpers shared by the tests: temporary folders, whole-file reads and writes, running the
// real third-party tools used as oracles, and the locations of the sample corpus.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class TMemoryStream32;

namespace testsupport {

namespace fs = std::filesystem;

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
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

std::string ReadFile(const fs::path& Path);
void WriteFile(const fs::path& Path, const std::string& Data);
// Deterministic pseudo-random bytes (not for security).
std::string RandomBytes(std::size_t Count, std::uint32_t Seed = 1);
// Text-like bytes that compress well.
std::string TextBytes(std::size_t Count, std::uint32_t Seed = 1);

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

// The sample archives made by other tools, and the test driver built beside the tests.
fs::path CorpusDir();
fs::path ProbePath();

} // namespace testsupport

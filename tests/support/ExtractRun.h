// Running an engine reader in a test: the reader of the archive's detected type extracts
// everything with its stored folders into a destination, and what its events said is kept.
// Also: a folder tree as a map, for comparing what two extractors wrote.
#pragma once

#include "engine/core/krvUnBase.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct ExtractResult {
    int Returned = 0;                                // what Extract returned
    int FilesFailed = 0;                             // the reader's count of failed entries
    bool ReaderFound = false;                        // the engine has a reader for the detected type
    std::vector<std::pair<std::string, int>> Errors; // OnError: file name, code
    std::vector<std::pair<std::string, bool>> Ends;  // OnEnd: file name (below the destination), verdict

    bool HasError(int Code) const;
    int CountOf(int Code) const;
    // Every entry ended with a passed verdict and no error was reported.
    bool AllPassed() const;
    // Every entry passed, and the one error is the archive's own: its directory is damaged or
    // missing (25259), so its entries were found through their local headers.
    bool EntriesPassedWithoutDirectory() const;
    // The events, one per line, for failure messages.
    std::string Describe() const;
};

// Extracts every entry of Archive into Dest with stored folders. Setup runs on the reader
// after the defaults are set and before Extract (options, further events).
ExtractResult ExtractAll(const std::filesystem::path& Archive, const std::filesystem::path& Dest,
                         const std::function<void(TUnBase&)>& Setup = {});

// Every file and folder below Root: relative name ('/'-separated, folders ending in '/')
// -> content (empty for folders; a symbolic link reads "-> target").
std::map<std::string, std::string> ReadTree(const std::filesystem::path& Root);

// Every file below Root (folders and links left out): relative name -> its permission bits in
// octal and its modification time in whole seconds ("644 1700000001").
std::map<std::string, std::string> ReadStamps(const std::filesystem::path& Root);

// Gives Folder a default ACL of user rw, group r, others nothing: a file created in it takes its
// mode from the ACL, not from the process's mask. False (errno set) where it cannot be given.
bool SetDefaultAcl(const std::filesystem::path& Folder);

// The differences of two trees, one line each, naming the side that differs; empty when equal.
std::string CompareTrees(const std::map<std::string, std::string>& Expected, const std::string& ExpectedName,
                         const std::map<std::string, std::string>& Actual, const std::string& ActualName);

} // namespace testsupport

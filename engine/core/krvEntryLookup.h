// What each of many named paths is on disk, as lstat answers it, looked at folder by folder: a
// folder that holds many of the names is read once, and its listing says which of them are
// there and what they are, instead of each name being looked up along its whole path. A list
// of thousands of files named one by one costs a few calls per folder instead of one per name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class TEntryKind : std::uint8_t {
    Missing, // no such entry, or it cannot be looked at
    Folder,  // a folder itself
    Link,    // a symbolic link, whatever it points to
    Other,   // a file, or anything else that is no folder
};

// The kind of each of Paths (same order), as lstat(2) of the path gives it. Between, when
// given, runs after each folder and each name looked at on its own.
std::vector<TEntryKind> LookUpEntries(const std::vector<std::string>& Paths,
                                      const std::function<void()>& Between = {});

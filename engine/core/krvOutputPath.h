// Turning a stored entry name into the name of the file extracted from it. Every output
// stays inside the destination folder: the name is split on '/' and '\'; a drive ("C:"),
// leading separators, "." and empty parts are dropped; a ".." part, a part too long for a
// file name, or a NUL byte (which no file name holds) refuses the whole name.
#pragma once

#include <string>
#include <vector>

enum class TOutputPathResult { Ok, Refused };

struct TOutputPath {
    std::string Root;                 // the destination folder, with one trailing '/'
    std::vector<std::string> Folders; // folders below Root, in order
    std::string Leaf;                 // the file's name; empty for a folder entry
    std::string FullName;             // Root + folders + leaf, '/'-separated
};

// The parts of a stored name as described above; false when a part is "..", longer than
// 255 bytes or holds a NUL byte. TrailingSeparator tells whether the name ends in a separator (a folder
// entry).
bool SplitStoredName(const std::string& StoredName, std::vector<std::string>& Parts, bool& TrailingSeparator);

// The output name of StoredName under Root (a non-empty folder; relative stays relative).
// Without UseStoredDirs only the name's last part is kept.
TOutputPathResult MakeOutputPath(const std::string& Root, const std::string& StoredName, bool UseStoredDirs,
                                 TOutputPath& Out);

// True when Name, taken lexically, lies in or below Folder.
bool PathIsBelow(const std::string& Name, const std::string& Folder);

// A stored name as a message shows it: control bytes (a NUL would end the text) as \xNN.
std::string ShownStoredName(const std::string& StoredName);

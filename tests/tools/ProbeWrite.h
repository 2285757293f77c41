// The writing sub-commands of the test driver.
#pragma once

#include <string>
#include <vector>

// Path made absolute against the current folder (the writers take absolute names).
std::string Absolute(const std::string& Path);

//   krvprobe add ARCHIVE [-m store|fast|normal|max] [-p PASSWORD] [-r] [-s refresh|move] FILE...
// A folder adds its files, stored relative to it (with -r its sub-folders too); a file is
// stored under its name. An existing entry of the same name is replaced.
int CmdAdd(const std::vector<std::string>& Args);
//   krvprobe delete ARCHIVE MASK...
int CmdDelete(const std::vector<std::string>& Args);

// Folders that belong to the installed program: the data folder (self-extractor stubs, help
// pages) lies at <prefix>/share/quillar beside the program's <prefix>/bin — in the build tree
// build/share/quillar beside build/app and build/tests.
#pragma once

#include <string>

// The folder of the running executable, with a trailing '/' (empty when it cannot be found).
std::string ProgramFolder();
// The program's data folder, with a trailing '/'.
std::string ProgramDataFolder();

// krvprobe extract ARCHIVE DESTDIR [PASSWORD]: extracts every entry with its stored folders
// through the reader of the archive's detected type (the next volumes of a set found beside
// it, a password given to the password question once) and prints one line per entry,
// "name<TAB>OK" or "name<TAB>ERROR <code> <text>". Exit status 0 only when every entry passed.
#pragma once

#include <string>
#include <vector>

int ProbeExtract(const std::vector<std::string>& Args);

// krvprobe test ARCHIVE [PASSWORD]: the integrity tester decodes and checks every entry without
// writing anything: "name<TAB>PASS" or "name<TAB>FAIL <code> <text>" per entry; exit status 0
// only when every entry passed and nothing was reported (an empty archive passes).
int ProbeTest(const std::vector<std::string>& Args);

// krvprobe repair IN OUT: rebuilds the zip archive IN from its surviving local headers into
// OUT and prints one line per entry found, "name<TAB>KEPT" or "name<TAB>DROPPED". Exit status 0
// when at least one entry was kept.
#pragma once

#include <string>
#include <vector>

int ProbeRepair(const std::vector<std::string>& Args);

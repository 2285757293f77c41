// krvprobe repair IN OUT: rebuilds the zip archive IN from its surviving local headers into
// OUT and prints one line per entry found or listed, "name<TAB>KEPT" or "name<TAB>DROPPED" (not
// recovered whole). Exit status 0 when at least one entry was kept and none was dropped.
#pragma once

#include <string>
#include <vector>

int ProbeRepair(const std::vector<std::string>& Args);

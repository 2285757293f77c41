// krvprobe list: the lister's view of an archive.
#pragma once

#include <string>
#include <vector>

// Prints one tab-separated line per listed entry (name, unpacked size, packed size, CRC,
// method text, local date and time, encrypted flag) and a TOTAL line; 1 when the archive
// cannot be listed, 2 on a usage error.
int ProbeList(const std::vector<std::string>& Args);

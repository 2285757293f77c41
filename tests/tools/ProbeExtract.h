// krvprobe extract ARCHIVE DESTDIR [PASSWORD]: extracts every entry with its stored folders
// through the reader of the archive's detected type and prints one line per entry,
// "name<TAB>OK" or "name<TAB>ERROR <code> <text>". Exit status 0 only when every entry passed.
// A tar inside a gzip or compress file is unpacked too (the nested-tar question is answered yes).
#pragma once

#include <string>
#include <vector>

int ProbeExtract(const std::vector<std::string>& Args);
// krvprobe test ARCHIVE [PASSWORD]: the same through the reader's run without output (the
// data are decoded and checked, nothing is written); names are printed as stored.
int ProbeTest(const std::vector<std::string>& Args);

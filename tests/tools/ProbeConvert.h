// krvprobe convert [-v] IN OUT: converts the archive IN into OUT, whose type comes from its
// extension (.zip, .jar, .lzh/.lha, .bh, .cab, .tar, .tgz/.tar.gz); -v tests OUT afterwards.
// Errors print "krvprobe: FILE: error CODE: TEXT" on standard error; exit status 0 only when
// OUT was written (and passed its test).
#pragma once

#include <string>
#include <vector>

int ProbeConvert(const std::vector<std::string>& Args);

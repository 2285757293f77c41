// The packed data of an entry of a corpus lzh archive, for tests that put the LHA coding
// into other containers (zoo's method 2, bh's methods 1 and 3 use it).
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

struct LzhSample {
    std::string Method; // "-lh5-"
    std::string Packed; // the entry's data as stored
    std::string Plain;  // what lhasa extracts from it
};

// The first entry of CorpusDir()/Sample, extracted by lhasa in Work.
LzhSample FirstLzhEntry(const std::string& Sample, const std::filesystem::path& Work);

} // namespace testsupport

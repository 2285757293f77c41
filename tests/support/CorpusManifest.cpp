#include "CorpusManifest.h"

#include "TestSupport.h"

#include <fstream>
#include <sstream>

namespace testsupport {

std::vector<ManifestRow> ReadManifest() {
    std::ifstream in(CorpusDir() / "MANIFEST.tsv");
    std::vector<ManifestRow> rows;
    std::string line;
    std::getline(in, line); // column titles
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::stringstream ss(line);
        std::string col;
        while (std::getline(ss, col, '\t'))
            cols.push_back(col);
        // An empty last column (no notes) leaves only its tab.
        if (!line.empty() && line.back() == '\t') cols.emplace_back();
        if (cols.size() < 9) continue;
        rows.push_back({cols[0], cols[1], cols[2], cols[3], cols[4], cols[5], cols[6], cols[7], cols[8]});
    }
    return rows;
}

} // namespace testsupport

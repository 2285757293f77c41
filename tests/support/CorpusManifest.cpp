#include "CorpusManifest.h"

#include "Sha256.h"
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

std::map<std::string, std::vector<ManifestRow>> ManifestArchives(const std::string& Prefix) {
    std::map<std::string, std::vector<ManifestRow>> archives;
    for (ManifestRow& row : ReadManifest())
        if (row.Archive.compare(0, Prefix.size(), Prefix) == 0)
            archives[row.Archive].push_back(std::move(row));
    return archives;
}

std::string ManifestMismatch(const ManifestRow& Row, const std::filesystem::path& Dest) {
    const std::string where = Row.Archive + ": " + Row.Entry + " (manifest from " + Row.Tool + ")";
    const std::filesystem::path file = Dest / Row.Entry;
    if (!std::filesystem::exists(file)) return where + ": not extracted";
    if (Row.Entry.back() == '/' || Row.Sha256 == "-") return {};
    const std::string data = ReadFile(file);
    if (std::to_string(data.size()) != Row.Size)
        return where + ": " + std::to_string(data.size()) + " bytes, the manifest says " + Row.Size;
    if (Sha256Hex(data) != Row.Sha256) return where + ": other content";
    return {};
}

} // namespace testsupport

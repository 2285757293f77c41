// The rows of the sample corpus's MANIFEST.tsv: one per archive entry, with its size, CRC-32,
// SHA-256 and the tool whose extraction was taken.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct ManifestRow {
    std::string Archive, Format, Entry, Size, Crc, Sha256, Password, Tool, Notes;
};

// Every row of CorpusDir()/MANIFEST.tsv (the title line left out).
std::vector<ManifestRow> ReadManifest();

} // namespace testsupport

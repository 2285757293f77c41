// The rows of the sample corpus's MANIFEST.tsv: one per archive entry, with its size, CRC-32,
// SHA-256 and the tool whose extraction was taken.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct ManifestRow {
    std::string Archive, Format, Entry, Size, Crc, Sha256, Password, Tool, Notes;
};

// Every row of CorpusDir()/MANIFEST.tsv (the title line left out).
std::vector<ManifestRow> ReadManifest();

// The rows of the archives whose path (below the corpus) begins with Prefix, by archive.
std::map<std::string, std::vector<ManifestRow>> ManifestArchives(const std::string& Prefix);

// Whether the file Row names, extracted below Dest, has the size and SHA-256 the manifest
// gives (an entry with no known content only needs to exist); empty when it has, else what
// differs, naming the entry and the tool the manifest took its content from.
std::string ManifestMismatch(const ManifestRow& Row, const std::filesystem::path& Dest);

} // namespace testsupport

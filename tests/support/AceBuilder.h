// Writes stored ace archives for the ace bridge's tests (there is no ace archiver on Linux):
// file and folder entries, entries whose data are XOR-ed with a password (as the test double
// of the ace library reads them), and sets split over volumes (name.ace, name.c00 ...).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

struct TAceEntry {
    std::string Name;
    std::string Data;
    std::string Password; // non-empty: the password flag, data XOR-ed with it
    bool Directory = false;
    bool BadCrc = false; // the header's CRC-32 does not fit the data
};

// Writes the archive to Path; with VolumeSize, a volume holds at most that many data bytes
// and the entries run on into the next. Returns the files written, first volume first.
std::vector<std::filesystem::path> WriteAceArchive(const std::filesystem::path& Path,
                                                   const std::vector<TAceEntry>& Entries,
                                                   std::size_t VolumeSize = 0);

} // namespace testsupport

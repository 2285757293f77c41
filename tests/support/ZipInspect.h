// Reading back the records of a zip archive in tests: every entry's directory record, its
// name, and the bytes it takes in the archive (local header to the end of its data and data
// descriptor), so that entries can be compared byte for byte across archives.
#pragma once

#include "engine/formats/zip/krvZipRecords.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

struct ZipEntryBytes {
    TZipCentralHeader Central; // as read (a "PL" record deciphered)
    std::string Name;          // as stored
    std::vector<std::uint8_t> Extra;
    std::vector<std::uint8_t> Comment;
    TZipLocalHeader Local;     // as read (deciphered)
    std::string LocalName;     // the name in the local header
    std::string Span;          // local header, name, extra, data and descriptor
    std::string CentralRecord; // the directory record with name, extra and comment,
                               // its offset field zeroed
};

struct ZipContents {
    TZipEndRecord End;
    std::vector<std::uint8_t> Comment;
    std::vector<ZipEntryBytes> Entries;
    std::int64_t FirstEntry = 0; // bytes in front of the first entry
};

// Reads Path's directory; an archive that cannot be read adds a test failure.
ZipContents InspectZip(const std::filesystem::path& Path);
// The entry called Name, or nullptr.
const ZipEntryBytes* FindEntry(const ZipContents& Zip, const std::string& Name);
// The plain data of an entry (stored or deflated, not encrypted).
std::string EntryData(const std::filesystem::path& Path, const ZipEntryBytes& Entry);

} // namespace testsupport

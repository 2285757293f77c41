// Builds small zip archives of stored entries in memory, record by record, for tests that
// need exact control of the records (a stub in front, offsets, comments, enciphered headers).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct TZipSpec {
    std::vector<std::pair<std::string, std::string>> Entries; // stored name, data
    std::string Prefix;                                       // bytes in front of the archive, such as a stub
    bool AdjustOffsets = false;  // offsets count from the start of the file, prefix included
    std::string Comment;         // archive comment (at most 65535 bytes)
    bool EncryptHeaders = false; // "PL" records with enciphered fixed parts and names
};

struct TZipLayout {
    std::size_t FirstLocal = 0; // file position of the first local header
    std::size_t Directory = 0;  // file position of the first central record
    std::size_t EndRecord = 0;  // file position of the end record
};

std::string MakeStoredZip(const TZipSpec& Spec, TZipLayout* Layout = nullptr);

} // namespace testsupport

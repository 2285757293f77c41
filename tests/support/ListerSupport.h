// Runs the directory lister over an archive and keeps what it reported, for the lister's
// unit, interop and corpus tests.
#pragma once

#include "engine/read/krvKorva.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct TListedEntry {
    std::string Name;
    std::int64_t Unpacked = 0;
    std::int64_t Packed = 0;
    std::uint32_t Crc = 0;
    std::string Method;
    bool Encrypted = false;
    std::uint8_t Ratio = 0;
    std::int64_t Offset = 0;
    int Filenum = 0;
    std::string VolumeID;
    std::string Comment;
    TDateTime Date = 0;
    std::uint32_t ExternalAttr = 0;
};

struct TListedError {
    std::string FileName;
    std::string ExtendedMsg;
    int Code = 0;
};

struct TListing {
    bool Result = false;
    TArcType Type = atNA;
    std::vector<TListedEntry> Entries;
    std::vector<std::string> ReadFiles; // every name OnReadFile saw
    std::vector<TListedError> Errors;
    bool TotalsFired = false;
    double TotalUnpacked = 0;
    double TotalPacked = 0;
    int TotalRatio = 0;
    int NumFiles = 0;

    const TListedEntry* Find(const std::string& Name) const;
    bool HasError(int Code) const;
    std::string Describe() const; // the listing as text, for failure messages
};

// Lists Archive with ShowEmptyDirs on, a damaged zip directory walked through the local
// headers and volumes taken when they exist beside the first. Setup may change the lister
// (and its events) before the run.
TListing ListArchive(const std::string& Archive, const std::function<void(TKorva&)>& Setup = {});

} // namespace testsupport

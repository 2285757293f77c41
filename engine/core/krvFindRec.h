// Folder search by name pattern: FindFirstRec opens a search for the entries of a folder whose
// names match the last part of a path ("dir/*.txt"), FindNextRec steps to the next one and
// FindCloseRec ends it. Each hit fills the search record with the entry's date, size,
// attributes and name. The record owns the open folder, so a search also ends when its record
// goes out of scope.
#pragma once

#include "engine/core/krvWildMatch.h"
#include "platform/FileAttributes.h"

#include <cstdint>
#include <string>
#include <sys/stat.h>

// Results of the search functions besides 0 (the system's error numbers for a search).
inline constexpr int feFileNotFound = 2; // nothing matches the pattern
inline constexpr int fePathNotFound = 3; // the folder does not exist or is no folder
inline constexpr int feAccessDenied = 5; // the folder may not be read
inline constexpr int feNoMoreFiles = 18; // the search has no further entry
inline constexpr int feReadFault = 30;   // the folder could not be read to its end

struct TSearchRec {
    std::uint32_t Time = 0; // last-write time as a packed DOS date-time of the local time
    std::int64_t Size = 0;  // 0 for a folder
    std::uint32_t Attr = 0; // fa... bits
    std::string Name;       // the entry's name, without its folder
    // Entries that carry one of these attributes are passed over.
    std::uint32_t ExcludeAttr = 0;
    // Everything the system told about the entry (device, inode, exact times).
    struct stat FindData {};

    // The open search.
    TDirWalk FindHandle;
    TInternalMask Pattern;
};

// Starts a search of the folder part of Path for names that match its last part; a pattern
// without wildcards looks up that one name exactly. Attr adds hidden, system and folder
// entries (faHidden, faSysFile, faDirectory), which are otherwise passed over. Returns 0 and
// fills SearchRec with the first hit, or one of the fe... results (the search is closed then).
int FindFirstRec(const std::string& Path, std::uint32_t Attr, TSearchRec& SearchRec);
// Steps to the next hit: 0, or feNoMoreFiles at the end.
int FindNextRec(TSearchRec& SearchRec);
// Ends the search; harmless on a record whose search is closed already.
void FindCloseRec(TSearchRec& SearchRec);

// The last-write time of a file status as a packed DOS date-time of the local time.
std::uint32_t DosTimeOfStat(const struct stat& St);

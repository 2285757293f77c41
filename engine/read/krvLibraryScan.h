// What the library readers (rar, ace) learn before their library runs: the selected entries
// of the archive, read by the lister's walk of its format over the volumes that lie beside
// the first (the one parser of each format), for counting, progress totals, the folders to
// make and the CRC-32 each file's header gives.
#pragma once

#include "engine/core/krvUnBase.h"
#include "engine/core/krvZipCommon.h"

#include <cstdint>
#include <string>
#include <vector>

struct TScannedFile {
    std::string Name; // as the lister gives it, a local name
    std::uint32_t Crc = 0;
    std::int64_t Size = 0;
};

struct TLibraryScan {
    std::vector<TScannedFile> Files;  // selected files, in archive order
    std::vector<std::string> Folders; // selected folder entries
    double Total = 0;                 // their unpacked sizes
    std::uint32_t NewestDate = 0;     // packed DOS date-time
    bool Complete = false;            // the walk ran to the archive's end, without damage
    int DamageCode = 0;               // the first damage the walk reported (0: none)
    std::string Damage;               // where and what it is

    // The CRC-32 of the file of that name, taken in archive order from Next on (0 when not
    // found or not given).
    std::uint32_t CrcOf(const std::string& Name, std::size_t& Next) const;
};

// Walks Reader's archive with its selection (FileSpec, RecurseDirs, TranslateOemChar).
TLibraryScan ScanLibraryArchive(const TZipCommon& Reader);

// The base of the readers that drive a library: the scan before the library runs.
class TUnLibraryBase : public TUnBase {
protected:
    // Scans the archive, sets the job's totals and newest date, and makes the selected
    // folders (CreateStoredDirs, disk output).
    void ScanHeaders();
    TLibraryScan FScan;
};

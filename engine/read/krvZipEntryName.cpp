#include "engine/read/krvZipEntryName.h"

#include "engine/core/krvGbls.h"
#include "engine/core/krvZipRecords.h"
#include "platform/CodePages.h"

bool ZipHostUsesOemNames(std::uint8_t HostSystem) {
    // MS-DOS and FAT, OS/2 HPFS, Windows NTFS, VFAT.
    return HostSystem == 0 || HostSystem == 6 || HostSystem == 11 || HostSystem == 14;
}

std::string ZipNameToLocal(const std::string& RawName, std::uint16_t Flags, std::uint8_t HostSystem,
                           bool HostKnown, bool TranslateOemChar) {
    bool oem = HostKnown ? ZipHostUsesOemNames(HostSystem) : !IsValidUtf8(RawName);
    if (Flags & zfUtf8) oem = false;
    return ArcNameToLocalName(RawName, oem && TranslateOemChar);
}

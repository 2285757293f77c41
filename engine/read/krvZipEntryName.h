// The local name of a stored zip entry name. Names flagged as UTF-8 (general-purpose bit 11)
// are UTF-8; names written on DOS, OS/2 or Windows file systems are in the OEM code page and
// are converted when TranslateOemChar asks for it; names written elsewhere (Unix, Mac) are
// the bytes their system used, kept as they are. Stored separators become local ones.
#pragma once

#include <cstdint>
#include <string>

// Host systems of "version made by" whose names are in the OEM code page.
bool ZipHostUsesOemNames(std::uint8_t HostSystem);

// RawName as the local name. HostKnown false (a local header, which tells no host): a name
// that is valid UTF-8 is taken as UTF-8, any other as OEM.
std::string ZipNameToLocal(const std::string& RawName, std::uint16_t Flags, std::uint8_t HostSystem,
                           bool HostKnown, bool TranslateOemChar);

// The local name of a stored zip entry name. Names flagged as UTF-8 (general-purpose bit 11)
// are UTF-8; names written on DOS, OS/2 or Windows file systems are in the OEM code page and
// are converted when TranslateOemChar asks for it; names written elsewhere (Unix, Mac) are
// the bytes their system used, kept as they are. Stored separators become local ones.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// Host systems of "version made by" whose names are in the OEM code page.
bool ZipHostUsesOemNames(std::uint8_t HostSystem);

// The UTF-8 name of Info-ZIP's unicode path field (0x7075) in Extra when it was made from
// RawName (its CRC-32 matches); empty otherwise.
std::string ZipUnicodePath(std::span<const std::uint8_t> Extra, const std::string& RawName);

// The name an entry is stored under: the name of a unicode path field in Extra that belongs
// to RawName when RawName is not flagged UTF-8, else RawName. Utf8 tells whether the name is
// UTF-8 for certain (flagged, or from the field).
std::string ZipStoredName(const std::string& RawName, std::uint16_t Flags,
                          std::span<const std::uint8_t> Extra, bool& Utf8);

// A name as ZipStoredName gives it, as the local name. HostKnown false (a local header, which
// tells no host): a name that is valid UTF-8 is taken as UTF-8, any other as OEM.
std::string ZipStoredNameToLocal(const std::string& StoredName, bool Utf8, std::uint8_t HostSystem,
                                 bool HostKnown, bool TranslateOemChar);

// RawName as the local name: ZipStoredName, then ZipStoredNameToLocal.
std::string ZipNameToLocal(const std::string& RawName, std::uint16_t Flags, std::uint8_t HostSystem,
                           bool HostKnown, bool TranslateOemChar, std::span<const std::uint8_t> Extra = {});

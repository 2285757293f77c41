// The local name of a stored zip entry name. Names flagged as UTF-8 (general-purpose bit 11)
// are UTF-8; names written on DOS, OS/2 or Windows file systems are in the OEM code page and
// are converted when TranslateOemChar asks for it; names written elsewhere (Unix, Mac) are
// the bytes their system used, kept as they are. Stored separators become local ones.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Host systems of "version made by".
inline constexpr std::uint8_t ZipHostFat = 0;
inline constexpr std::uint8_t ZipHostUnix = 3;
inline constexpr std::uint8_t ZipHostNtfs = 11;

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

// How a new entry's stored name is marked so that every reader takes its bytes as they are:
// plain ASCII as made on FAT; UTF-8 with the UTF-8 flag as made on NTFS (unzip reads the names
// of FAT entries as code page 437 even when flagged); bytes that are not UTF-8, unflagged, as
// made on Unix, whose names readers keep byte for byte.
struct TZipNameMark {
    bool Utf8Flag = false;
    std::uint8_t Host = ZipHostFat;
};
TZipNameMark ZipNameMark(std::string_view StoredName);

// The external attributes of an entry marked as made on Unix: a file mode in the high word,
// the DOS attributes in the low byte. The mode is Mode's type and permission bits when Mode
// has a type (a file's st_mode); else one made from the DOS attributes (a folder, or a file
// that is read-only or not).
std::uint32_t ZipUnixExternalAttr(std::uint32_t DosAttr, std::uint32_t Mode = 0);

struct TZipCentralHeader;

// A directory record made from a local header (a directory rebuilt from the local headers)
// makes readers take the name as the local walk did: an unflagged UTF-8 name marks the record
// as made on Unix, with a file mode; a unicode path field of the local extra field is returned
// for the record's extra field (empty when there is none).
std::vector<std::uint8_t> ZipKeepNameReading(TZipCentralHeader& Central, const std::string& RawName,
                                             std::span<const std::uint8_t> LocalExtra);

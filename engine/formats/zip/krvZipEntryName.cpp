#include "engine/formats/zip/krvZipEntryName.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/zip/krvZipExtra.h"
#include "engine/formats/zip/krvZipRecords.h"
#include "platform/CodePages.h"
#include "platform/FileAttributes.h"

#include <sys/stat.h>

bool ZipHostUsesOemNames(std::uint8_t HostSystem) {
    // MS-DOS and FAT, OS/2 HPFS, Windows NTFS, VFAT.
    return HostSystem == ZipHostFat || HostSystem == 6 || HostSystem == ZipHostNtfs || HostSystem == 14;
}

std::string ZipUnicodePath(std::span<const std::uint8_t> Extra, const std::string& RawName) {
    const std::span<const std::uint8_t> field = FindZipExtraField(Extra, ZipExtraUnicodePath);
    // Version 1, the CRC-32 of the name it was made from, then the UTF-8 name.
    if (field.size() <= 5 || field[0] != 1) return {};
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(RawName.data(), std::ssize(RawName), crc);
    if ((crc ^ 0xFFFFFFFF) != GetU32LE(&field[1])) return {};
    return std::string(field.begin() + 5, field.end());
}

std::string ZipStoredName(const std::string& RawName, std::uint16_t Flags,
                          std::span<const std::uint8_t> Extra, bool& Utf8) {
    Utf8 = (Flags & zfUtf8) != 0;
    if (Utf8) return RawName;
    std::string unicode = ZipUnicodePath(Extra, RawName);
    if (unicode.empty()) return RawName;
    Utf8 = true;
    return unicode;
}

std::string ZipStoredNameToLocal(const std::string& StoredName, bool Utf8, std::uint8_t HostSystem,
                                 bool HostKnown, bool TranslateOemChar) {
    const bool oem = !Utf8 && (HostKnown ? ZipHostUsesOemNames(HostSystem) : !IsValidUtf8(StoredName));
    return ArcNameToLocalName(StoredName, oem && TranslateOemChar);
}

std::string ZipNameToLocal(const std::string& RawName, std::uint16_t Flags, std::uint8_t HostSystem,
                           bool HostKnown, bool TranslateOemChar, std::span<const std::uint8_t> Extra) {
    bool utf8 = false;
    const std::string stored = ZipStoredName(RawName, Flags, Extra, utf8);
    return ZipStoredNameToLocal(stored, utf8, HostSystem, HostKnown, TranslateOemChar);
}

TZipNameMark ZipNameMark(std::string_view StoredName) {
    switch (NameBytesOf(StoredName)) {
    case TNameBytes::Ascii:
        return {false, ZipHostFat};
    case TNameBytes::Utf8:
        return {true, ZipHostNtfs};
    case TNameBytes::Raw:
        break;
    }
    return {false, ZipHostUnix};
}

std::uint32_t ZipUnixExternalAttr(std::uint32_t DosAttr, std::uint32_t Mode) {
    std::uint32_t mode = 0100644;
    if ((Mode & S_IFMT) != 0)
        mode = Mode & (S_IFMT | 0777);
    else if (DosAttr & faDirectory)
        mode = 040755;
    else if (DosAttr & faReadOnly)
        mode = 0100444;
    return (mode << 16) | (DosAttr & 0xFF);
}

std::vector<std::uint8_t> ZipKeepNameReading(TZipCentralHeader& Central, const std::string& RawName,
                                             std::span<const std::uint8_t> LocalExtra) {
    bool utf8 = false;
    ZipStoredName(RawName, Central.Flags, LocalExtra, utf8);
    if (utf8 && !(Central.Flags & zfUtf8)) {
        // The name is in a unicode path field: the record gets the field too.
        const std::span<const std::uint8_t> field = FindZipExtraField(LocalExtra, ZipExtraUnicodePath);
        std::vector<std::uint8_t> extra(4);
        PutU16LE(extra.data(), ZipExtraUnicodePath);
        PutU16LE(extra.data() + 2, static_cast<std::uint16_t>(field.size()));
        extra.insert(extra.end(), field.begin(), field.end());
        return extra;
    }
    if (utf8 || IsAsciiText(RawName) || !IsValidUtf8(RawName)) return {};
    // UTF-8 bytes without the UTF-8 flag: names a Unix system stored as they are. A record made
    // on DOS would have readers take them as code page 437; a Unix record needs a file mode.
    Central.VersionMadeBy = static_cast<std::uint16_t>((ZipHostUnix << 8) | (Central.VersionMadeBy & 0xFF));
    Central.ExternalAttr = ZipUnixExternalAttr(RawName.back() == '/' ? faDirectory : 0);
    return {};
}

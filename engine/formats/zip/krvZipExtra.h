// The parts of a zip record's extra field that the engine reads: the Zip64 field (tag 1, which
// the writer also makes), holding the 64-bit values of the sizes, offset and disk number a
// record marks with all bits set, and Info-ZIP's unicode path field (tag 0x7075), the UTF-8
// form of a name.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

inline constexpr std::uint16_t ZipExtraZip64 = 0x0001;
inline constexpr std::uint16_t ZipExtraUnicodePath = 0x7075;
inline constexpr std::uint16_t ZipExtraTimestamp = 0x5455;
inline constexpr std::uint32_t Zip64Marker32 = 0xFFFFFFFF;
inline constexpr std::uint16_t Zip64Marker16 = 0xFFFF;

// The values of a record; those marked in the record are replaced from the Zip64 field.
struct TZip64Values {
    std::uint64_t UncompressedSize = 0;
    std::uint64_t CompressedSize = 0;
    std::uint64_t LocalHeaderOffset = 0;
    std::uint32_t DiskNumberStart = 0;
};

// The data of the first field with Tag in Extra (empty when there is none, or when a field
// claims more bytes than the extra field holds).
std::span<const std::uint8_t> FindZipExtraField(std::span<const std::uint8_t> Extra, std::uint16_t Tag);

// Whether no field of Extra claims more bytes than follow it (a tail too short for a field's
// tag and size, such as alignment padding, is no field).
bool ZipExtraWellFormed(std::span<const std::uint8_t> Extra);

// Extra without its fields of Tag.
std::vector<std::uint8_t> WithoutZipExtraField(std::span<const std::uint8_t> Extra, std::uint16_t Tag);

// Replaces each value whose 32-bit (16-bit for the disk) field in the record is all ones by
// the next value of the Zip64 field, in the field's order: uncompressed size, compressed
// size, offset, disk. Values the field does not hold stay as they were. False when a marked
// value was missing.
bool ApplyZip64Extra(std::span<const std::uint8_t> Extra, TZip64Values& Values);

// The Zip64 field (tag and size included) of the values a record marks, in the field's order:
// the uncompressed size, the compressed size and the local header offset, each when asked.
std::vector<std::uint8_t> MakeZip64Field(const TZip64Values& Values, bool Uncompressed, bool Compressed,
                                         bool Offset);

// The modification time of the extended timestamp field (tag 0x5455), in seconds since 1970:
// false when the field is missing or holds none. The field's 32 bits reach past 2038 or back
// before 1970; the entry's DOS date-time tells which: writers give a time before 1980 the
// least DOS date, 1980-01-01.
bool ZipExtraModTime(std::span<const std::uint8_t> Extra, std::uint32_t DosDateTime, std::int64_t& Seconds);

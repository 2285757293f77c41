#include "engine/formats/zip/krvZipExtra.h"

#include "engine/core/krvByteAccess.h"

#include <algorithm>

std::span<const std::uint8_t> FindZipExtraField(std::span<const std::uint8_t> Extra, std::uint16_t Tag) {
    std::size_t pos = 0;
    while (pos + 4 <= Extra.size()) {
        const std::uint16_t tag = GetU16LE(&Extra[pos]);
        const std::size_t size = GetU16LE(&Extra[pos + 2]);
        if (pos + 4 + size > Extra.size()) return {};
        if (tag == Tag) return Extra.subspan(pos + 4, size);
        pos += 4 + size;
    }
    return {};
}

bool ZipExtraWellFormed(std::span<const std::uint8_t> Extra) {
    std::size_t pos = 0;
    while (pos + 4 <= Extra.size()) {
        pos += 4 + std::size_t{GetU16LE(&Extra[pos + 2])};
        if (pos > Extra.size()) return false;
    }
    return true;
}

std::vector<std::uint8_t> WithoutZipExtraField(std::span<const std::uint8_t> Extra, std::uint16_t Tag) {
    std::vector<std::uint8_t> kept;
    std::size_t pos = 0;
    while (pos + 4 <= Extra.size()) {
        const std::size_t size = GetU16LE(&Extra[pos + 2]);
        const std::size_t next = std::min(pos + 4 + size, Extra.size());
        if (GetU16LE(&Extra[pos]) != Tag) kept.insert(kept.end(), Extra.begin() + pos, Extra.begin() + next);
        pos = next;
    }
    kept.insert(kept.end(), Extra.begin() + pos, Extra.end());
    return kept;
}

bool ApplyZip64Extra(std::span<const std::uint8_t> Extra, TZip64Values& Values) {
    const bool wantUnc = Values.UncompressedSize == Zip64Marker32;
    const bool wantComp = Values.CompressedSize == Zip64Marker32;
    const bool wantOffset = Values.LocalHeaderOffset == Zip64Marker32;
    const bool wantDisk = Values.DiskNumberStart == Zip64Marker16;
    if (!wantUnc && !wantComp && !wantOffset && !wantDisk) return true;
    const std::span<const std::uint8_t> field = FindZipExtraField(Extra, ZipExtraZip64);
    std::size_t pos = 0;
    bool complete = true;
    auto take64 = [&](bool Wanted, std::uint64_t& Value) {
        if (!Wanted) return;
        if (pos + 8 > field.size()) {
            complete = false;
            return;
        }
        Value = GetU64LE(&field[pos]);
        pos += 8;
    };
    take64(wantUnc, Values.UncompressedSize);
    take64(wantComp, Values.CompressedSize);
    take64(wantOffset, Values.LocalHeaderOffset);
    if (wantDisk) {
        if (pos + 4 > field.size())
            complete = false;
        else
            Values.DiskNumberStart = GetU32LE(&field[pos]);
    }
    return complete;
}

std::vector<std::uint8_t> MakeZip64Field(const TZip64Values& Values, bool Uncompressed, bool Compressed,
                                         bool Offset) {
    std::vector<std::uint8_t> field(4);
    auto put = [&field](bool Wanted, std::uint64_t Value) {
        if (!Wanted) return;
        field.resize(field.size() + 8);
        PutU64LE(&field[field.size() - 8], Value);
    };
    put(Uncompressed, Values.UncompressedSize);
    put(Compressed, Values.CompressedSize);
    put(Offset, Values.LocalHeaderOffset);
    PutU16LE(&field[0], ZipExtraZip64);
    PutU16LE(&field[2], static_cast<std::uint16_t>(field.size() - 4));
    return field;
}

bool ZipExtraModTime(std::span<const std::uint8_t> Extra, std::uint32_t DosDateTime, std::int64_t& Seconds) {
    const std::span<const std::uint8_t> field = FindZipExtraField(Extra, ZipExtraTimestamp);
    // A flags byte, then the times it marks; the modification time comes first (bit 0).
    if (field.size() < 5 || (field[0] & 1) == 0) return false;
    const std::uint32_t value = GetU32LE(&field[1]);
    const bool dosYear1980 = (DosDateTime >> 25) == 0;
    Seconds = dosYear1980 ? static_cast<std::int64_t>(static_cast<std::int32_t>(value)) : value;
    return true;
}

// What the zip writer keeps per entry in its header list: the entry's directory record and
// its full 64-bit sizes and local header offset. The 64-bit values are the entry's own; the
// record's 32-bit fields take them while they fit and the all-ones mark of a Zip64 field when
// they do not, so that code reading only the record never takes a cut value for a real one.
#pragma once

#include "engine/formats/zip/krvZipRecords.h"

#include <cstdint>

struct TZipListRecord {
    static constexpr std::size_t Size = TZipCentralHeader::Size + 24;
    TZipCentralHeader Central;
    std::int64_t UncompressedSize = 0;
    std::int64_t CompressedSize = 0;
    // The stored offset of the local header: in the old archive until the entry is copied,
    // then in the new one.
    std::int64_t LocalOffset = 0;

    // Whether a value needs a Zip64 field in a record of 32-bit fields.
    static bool Needs64(std::int64_t Value) { return Value >= 0xFFFFFFFFLL; }
    bool NeedsZip64() const {
        return Needs64(UncompressedSize) || Needs64(CompressedSize) || Needs64(LocalOffset);
    }

    static TZipListRecord FromBytes(const std::uint8_t* P);
    // Writes the record with its 32-bit fields set from the 64-bit values.
    void ToBytes(std::uint8_t* P);
};

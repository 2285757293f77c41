#include "engine/formats/zip/krvZipListRecord.h"

#include "engine/core/krvByteAccess.h"

#include <algorithm>

namespace {

std::uint32_t Field32(std::int64_t Value) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(Value, 0, 0xFFFFFFFFLL));
}

} // namespace

TZipListRecord TZipListRecord::FromBytes(const std::uint8_t* P) {
    TZipListRecord r;
    r.Central = TZipCentralHeader::FromBytes(P);
    const std::uint8_t* wide = P + TZipCentralHeader::Size;
    r.UncompressedSize = static_cast<std::int64_t>(GetU64LE(wide));
    r.CompressedSize = static_cast<std::int64_t>(GetU64LE(wide + 8));
    r.LocalOffset = static_cast<std::int64_t>(GetU64LE(wide + 16));
    return r;
}

void TZipListRecord::ToBytes(std::uint8_t* P) {
    Central.UncompressedSize = Field32(UncompressedSize);
    Central.CompressedSize = Field32(CompressedSize);
    Central.LocalHeaderOffset = Field32(LocalOffset);
    Central.ToBytes(P);
    std::uint8_t* wide = P + TZipCentralHeader::Size;
    PutU64LE(wide, static_cast<std::uint64_t>(UncompressedSize));
    PutU64LE(wide + 8, static_cast<std::uint64_t>(CompressedSize));
    PutU64LE(wide + 16, static_cast<std::uint64_t>(LocalOffset));
}

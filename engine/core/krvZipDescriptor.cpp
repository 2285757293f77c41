#include "engine/core/krvZipDescriptor.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvZipRecords.h"

#include <algorithm>
#include <vector>

TZipDescriptorFound FindZipDataDescriptor(const TZipDescriptorSearch& Search, std::int64_t DataStart,
                                          TZipDescriptorHit& Hit) {
    constexpr std::int64_t Block = TZipDescriptorSearch::BlockSize;
    constexpr std::int64_t Lead = 24; // a whole descriptor fits in what one block overlaps
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(Block + Lead));
    for (std::int64_t base = DataStart; base < Search.Limit; base += Block) {
        if (Search.Proceed && !Search.Proceed()) return TZipDescriptorFound::None;
        const std::int64_t got =
            Search.ReadAt(base, buffer.data(), std::min(Block + Lead, Search.Limit - base));
        if (got < 16) return TZipDescriptorFound::None;
        // The last block is searched to its end; any other up to where the next one begins.
        const bool lastBlock = got < Block + Lead;
        const std::int64_t last = lastBlock ? got - 15 : Block;
        for (std::int64_t i = 0; i < last; ++i) {
            const std::uint8_t* p = &buffer[static_cast<std::size_t>(i)];
            if (p[0] != 'P') continue;
            const std::uint32_t sig = GetU32LE(p);
            const std::int64_t distance = base + i - DataStart;
            if (Search.StopAtHeader && (sig == ZipLocalSig || sig == ZipCentralSig)) {
                Hit = {base + i, base + i, 0, distance, 0};
                return TZipDescriptorFound::Header;
            }
            if (sig != ZipDescriptorSig) continue;
            const bool wide = i + 24 <= got && GetU64LE(p + 8) == static_cast<std::uint64_t>(distance);
            const bool narrow = GetU32LE(p + 8) == static_cast<std::uint32_t>(distance);
            if (!wide && !narrow) continue;
            const bool useWide = Search.Zip64 ? wide : !narrow;
            Hit.Position = base + i;
            Hit.Next = base + i + (useWide ? 24 : 16);
            Hit.Crc = GetU32LE(p + 4);
            Hit.Compressed = distance;
            Hit.Uncompressed = useWide ? GetU64LE(p + 16) : GetU32LE(p + 12);
            return TZipDescriptorFound::Descriptor;
        }
        if (lastBlock) return TZipDescriptorFound::None;
    }
    return TZipDescriptorFound::None;
}

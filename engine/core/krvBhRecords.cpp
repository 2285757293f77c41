#include "engine/core/krvBhRecords.h"

#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvCrypt.h"

#include <limits>

std::int64_t TBhHeader::DataSize() const {
    if (!Enciphered()) return PackedSize;
    return PackedSize > static_cast<std::int64_t>(CryptHeaderSize) ? PackedSize - CryptHeaderSize : 0;
}

TBhRead ReadBhHeader(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size, TBhHeader& H) {
    H = TBhHeader{};
    H.HeaderPos = At;
    std::uint8_t h[BhFixedSize];
    if (At < 0 || At >= Size || Read(At, h, BhFixedSize) != BhFixedSize) return TBhRead::End;
    const std::uint16_t total = GetU16LE(h + 4);
    if (GetU32LE(h) != BhSignature || total == 0) return TBhRead::End;
    H.VersionMadeBy = h[7];
    H.VersionNeeded = h[8];
    H.Flags = h[9];
    H.Method = h[10];
    H.DosTime = GetU32LE(h + 11);
    H.PackedSize = GetU32LE(h + 15);
    H.UnpackedSize = GetU32LE(h + 19);
    H.Crc = GetU32LE(h + 23);
    H.Attr = GetU16LE(h + 27);
    const std::uint16_t nameLen = GetU16LE(h + 33);
    H.ExtraLength = GetU16LE(h + 35);
    const std::int64_t headerLen = BhFixedSize + nameLen + H.ExtraLength;
    // The total length covers the name and the extra field.
    if (total < headerLen) return TBhRead::Bad;
    H.Name.resize(nameLen);
    if (Read(At + BhFixedSize, H.Name.data(), nameLen) != nameLen) return TBhRead::Bad;
    H.DataPos = At + headerLen;
    if (H.DataPos > Size || !CheckedAdd(H.DataPos, H.PackedSize, H.NextPos)) return TBhRead::Bad;
    if (H.Enciphered() && !H.IsFolder() && H.PackedSize < static_cast<std::int64_t>(CryptHeaderSize))
        return TBhRead::Bad;
    return TBhRead::Ok;
}

bool MakeBhHeader(const TBhHeader& H, std::string& Out) {
    constexpr std::int64_t max32 = std::numeric_limits<std::uint32_t>::max();
    const std::int64_t total = BhFixedSize + static_cast<std::int64_t>(H.Name.size()) + H.ExtraLength;
    if (total > std::numeric_limits<std::uint16_t>::max() || H.PackedSize < 0 || H.PackedSize > max32 ||
        H.UnpackedSize < 0 || H.UnpackedSize > max32)
        return false;
    std::uint8_t h[BhFixedSize] = {};
    PutU32LE(h, BhSignature);
    PutU16LE(h + 4, static_cast<std::uint16_t>(total));
    h[6] = BhFixedSize;
    h[7] = H.VersionMadeBy;
    h[8] = H.VersionNeeded;
    h[9] = H.Flags;
    h[10] = H.Method;
    PutU32LE(h + 11, H.DosTime);
    PutU32LE(h + 15, static_cast<std::uint32_t>(H.PackedSize));
    PutU32LE(h + 19, static_cast<std::uint32_t>(H.UnpackedSize));
    PutU32LE(h + 23, H.Crc);
    PutU16LE(h + 27, H.Attr);
    PutU16LE(h + 33, static_cast<std::uint16_t>(H.Name.size()));
    PutU16LE(h + 35, H.ExtraLength);
    Out.assign(reinterpret_cast<const char*>(h), BhFixedSize);
    Out += H.Name;
    Out.append(H.ExtraLength, '\0');
    return true;
}

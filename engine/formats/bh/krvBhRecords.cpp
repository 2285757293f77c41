#include "engine/formats/bh/krvBhRecords.h"

#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvCrypt.h"
#include "engine/core/krvGbls.h"
#include "platform/CodePages.h"

#include <limits>

std::int64_t TBhHeader::DataSize() const {
    if (!Enciphered()) return PackedSize;
    return PackedSize > static_cast<std::int64_t>(CryptHeaderSize) ? PackedSize - CryptHeaderSize : 0;
}

bool TBhHeader::SizesAgree() const {
    if (RangeBad) return false;
    return IsFolder() || Method != BhStored || Enciphered() || DataSize() == UnpackedSize;
}

TBhImage TBhImage::FromBytes(const std::uint8_t* P) {
    TBhImage h;
    h.Sig = GetU32LE(P);
    h.TotalLength = GetU16LE(P + 4);
    h.HeaderSize = P[6];
    h.VersionMadeBy = P[7];
    h.VersionNeeded = P[8];
    h.Flags = P[9];
    h.Method = P[10];
    h.DosDateTime = GetU32LE(P + 11);
    h.PackedSize = GetU32LE(P + 15);
    h.UnpackedSize = GetU32LE(P + 19);
    h.Crc = GetU32LE(P + 23);
    h.Attr = GetU16LE(P + 27);
    h.Reserved = GetU32LE(P + 29);
    h.NameLength = GetU16LE(P + 33);
    h.ExtraLength = GetU16LE(P + 35);
    return h;
}

void TBhImage::ToBytes(std::uint8_t* P) const {
    PutU32LE(P, Sig);
    PutU16LE(P + 4, TotalLength);
    P[6] = HeaderSize;
    P[7] = VersionMadeBy;
    P[8] = VersionNeeded;
    P[9] = Flags;
    P[10] = Method;
    PutU32LE(P + 11, DosDateTime);
    PutU32LE(P + 15, PackedSize);
    PutU32LE(P + 19, UnpackedSize);
    PutU32LE(P + 23, Crc);
    PutU16LE(P + 27, Attr);
    PutU32LE(P + 29, Reserved);
    PutU16LE(P + 33, NameLength);
    PutU16LE(P + 35, ExtraLength);
}

TBhRead ReadBhHeader(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size, TBhHeader& H) {
    H = TBhHeader{};
    H.HeaderPos = At;
    std::uint8_t h[BhFixedSize];
    if (At == Size) return TBhRead::End;
    if (At < 0 || At > Size) return TBhRead::Bad;
    const std::int64_t got = Read(At, h, BhFixedSize);
    if (got < 4 || GetU32LE(h) != BhSignature) return TBhRead::Foreign;
    if (got != BhFixedSize) return TBhRead::Bad;
    const TBhImage image = TBhImage::FromBytes(h);
    // A total length of 0 closes an archive; with more bytes behind it, the field is damaged.
    if (image.TotalLength == 0) return At + BhFixedSize >= Size ? TBhRead::End : TBhRead::Bad;
    H.Image = image;
    H.VersionMadeBy = image.VersionMadeBy;
    H.VersionNeeded = image.VersionNeeded;
    H.Flags = image.Flags;
    H.Method = image.Method;
    H.DosTime = image.DosDateTime;
    H.PackedSize = image.PackedSize;
    H.UnpackedSize = image.UnpackedSize;
    H.Crc = image.Crc;
    H.Attr = image.Attr;
    H.ExtraLength = image.ExtraLength;
    const std::int64_t headerLen = BhFixedSize + image.NameLength + H.ExtraLength;
    // The total length covers the name and the extra field.
    if (image.TotalLength < headerLen) return TBhRead::Bad;
    H.Name.resize(image.NameLength);
    if (Read(At + BhFixedSize, H.Name.data(), image.NameLength) != image.NameLength) return TBhRead::Bad;
    H.ExtraPos = At + BhFixedSize + image.NameLength;
    H.DataPos = At + headerLen;
    if (H.DataPos > Size || !CheckedAdd(H.DataPos, H.PackedSize, H.NextPos)) return TBhRead::Bad;
    if (H.Enciphered() && !H.IsFolder() && H.PackedSize < static_cast<std::int64_t>(CryptHeaderSize))
        return TBhRead::Bad;
    return TBhRead::Ok;
}

namespace {

// A header a walk may pick up again at: besides what ReadBhHeader checks, the fixed size, a
// known method and data inside the file.
bool WholeBhHeader(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size) {
    TBhHeader h;
    if (ReadBhHeader(Read, At, Size, h) != TBhRead::Ok || h.Image.HeaderSize != BhFixedSize ||
        h.Image.TotalLength != BhFixedSize + h.Name.size() + h.ExtraLength || h.NextPos > Size)
        return false;
    return h.Method == BhStored || h.Method == BhLzh13 || h.Method == BhLzh15 || h.IsDeflated();
}

} // namespace

std::int64_t FindBhHeader(const TReadAtFunc& Read, std::int64_t From, std::int64_t Size) {
    return FindHeader(Read, From, Size, "BH\x05\x07", 0,
                      [&](std::int64_t At) { return WholeBhHeader(Read, At, Size); });
}

std::string BhNameAt(const TReadAtFunc& Read, std::int64_t At, std::int64_t Size) {
    std::uint8_t h[BhFixedSize];
    if (Read(At, h, BhFixedSize) != BhFixedSize || GetU32LE(h) != BhSignature) return {};
    return NameBytesAt(Read, At + BhFixedSize, GetU16LE(h + 33), Size);
}

void FollowBhHeader(const TReadAtFunc& Read, std::int64_t Size, TBhHeader& H) {
    const auto isNext = [&](std::int64_t At) {
        TBhHeader next;
        const TBhRead r = ReadBhHeader(Read, At, Size, next);
        return r == TBhRead::Ok || r == TBhRead::End;
    };
    FollowHeaders(
        H.DataPos, H.NextPos, Size, isNext, [&](std::int64_t From) { return FindBhHeader(Read, From, Size); },
        [&](std::int64_t At) { return BhNameAt(Read, At, Size); }, H);
}

bool MakeBhHeader(const TBhHeader& H, std::string& Out) {
    constexpr std::int64_t max32 = std::numeric_limits<std::uint32_t>::max();
    const std::int64_t total = BhFixedSize + static_cast<std::int64_t>(H.Name.size()) + H.ExtraLength;
    if (total > std::numeric_limits<std::uint16_t>::max() || H.PackedSize < 0 || H.PackedSize > max32 ||
        H.UnpackedSize < 0 || H.UnpackedSize > max32)
        return false;
    TBhImage image;
    image.TotalLength = static_cast<std::uint16_t>(total);
    image.VersionMadeBy = H.VersionMadeBy;
    image.VersionNeeded = H.VersionNeeded;
    image.Flags = H.Flags;
    image.Method = H.Method;
    image.DosDateTime = H.DosTime;
    image.PackedSize = static_cast<std::uint32_t>(H.PackedSize);
    image.UnpackedSize = static_cast<std::uint32_t>(H.UnpackedSize);
    image.Crc = H.Crc;
    image.Attr = H.Attr;
    image.NameLength = static_cast<std::uint16_t>(H.Name.size());
    image.ExtraLength = H.ExtraLength;
    const auto bytes = image.Image();
    Out.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    Out += H.Name;
    Out.append(H.ExtraLength, '\0');
    return true;
}

bool BhNameIsUtf8(const std::string& StoredName) {
    return NameBytesOf(StoredName) == TNameBytes::Utf8;
}

std::string BhLocalName(const std::string& StoredName, bool OemTranslate) {
    if (BhNameIsUtf8(StoredName)) return SlashToBackslash(StoredName);
    return ArcNameToLocalName(StoredName, OemTranslate);
}

std::string BhStoredName(const std::string& LocalName) {
    const std::string name = LocalNameToArcName(LocalName);
    std::string oem;
    if (NameBytesOf(name) != TNameBytes::Utf8 || !Utf8ToCodePage(name, TCodePage::Oem, oem) ||
        BhNameIsUtf8(oem))
        return name;
    return oem;
}

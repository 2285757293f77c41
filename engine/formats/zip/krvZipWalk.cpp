#include "engine/formats/zip/krvZipWalk.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvZipCommon.h"
#include "engine/formats/zip/krvZipEntryName.h"
#include "engine/formats/zip/krvZipExtra.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {

// Sizes and offsets beyond this are damage, never a place to seek to; values are clamped
// to it so that sums with what a walk adds to them stay in range.
constexpr std::int64_t MaxValue = std::numeric_limits<std::int64_t>::max() / 4;
// The marker of a split or spanned set's first piece, and of a set that fitted one disk.
constexpr std::uint32_t ZipSingleDiskMarker = 0x30304B50; // "PK00"

std::int64_t Clamp64(std::uint64_t Value) {
    return Value > static_cast<std::uint64_t>(MaxValue) ? MaxValue : static_cast<std::int64_t>(Value);
}

// The sizes of a record after its Zip64 field.
void SetSizes(TZipWalkEntry& Item, const TZip64Values& Values) {
    constexpr auto limit = static_cast<std::uint64_t>(MaxValue);
    Item.CompressedSize = Clamp64(Values.CompressedSize);
    Item.UncompressedSize = Clamp64(Values.UncompressedSize);
    Item.ShownUncompressed = static_cast<std::int64_t>(
        std::min<std::uint64_t>(Values.UncompressedSize, std::numeric_limits<std::int64_t>::max()));
    Item.SizeOutOfRange = Values.CompressedSize > limit || Values.UncompressedSize > limit;
}

// Reads Count bytes at Pos whole; false when the stream ends first.
template <typename TBuffer>
bool ReadField(TStream32& Stream, std::int64_t Pos, std::int64_t Count, TBuffer& Out) {
    Out.resize(static_cast<std::size_t>(Count));
    return Count == 0 || ReadAt(Stream, Pos, Out.data(), Count) == Count;
}

} // namespace

bool FindDeflateEnd(TStream32& Stream, std::int64_t DataStart, const bool* CancelFlag, TDeflateEnd& End) {
    if (Stream.Seek(DataStart, soBeginning) != DataStart) return false;
    TDecompressStream inflater(Stream);
    inflater.CancelFlagPtr = CancelFlag;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(TCustomStream::BufferSize));
    std::uint32_t crc = 0xFFFFFFFF;
    for (;;) {
        const std::int64_t got = inflater.Read(out.data(), std::ssize(out));
        if (got > 0) UpdateCrc32Buf(out.data(), got, crc);
        if (inflater.EndOfStream()) break;
        if (got < std::ssize(out)) return false;
    }
    End = {inflater.TotalIn(), crc ^ 0xFFFFFFFF, inflater.TotalOut()};
    return true;
}

TZipCentralHeader ZipCentralFromLocal(const TZipLocalHeader& Local) {
    TZipCentralHeader c;
    c.VersionMadeBy = Local.VersionNeeded;
    c.VersionNeeded = Local.VersionNeeded;
    c.Flags = Local.Flags;
    c.Method = Local.Method;
    c.DosDateTime = Local.DosDateTime;
    c.Crc = Local.Crc;
    c.CompressedSize = Local.CompressedSize;
    c.UncompressedSize = Local.UncompressedSize;
    c.NameLength = Local.NameLength;
    c.ExtraLength = Local.ExtraLength;
    return c;
}

TZipWalk::TZipWalk(TZipCommon& Owner, TStream32& Source, TZipWalkKind Kind, std::int64_t Start,
                   std::int64_t End, bool ReadsAhead)
    : FOwner(Owner), FReader(ReadsAhead ? Source : FOwnReader.emplace(Source)),
      FCentral(Kind == TZipWalkKind::Central), FPos(std::max<std::int64_t>(Start, 0)) {
    const std::int64_t size = Source.GetSize();
    FEnd = End < 0 ? size : std::min(End, size);
    FOwnBudget = 2 * std::max<std::int64_t>(size, 0) + (1 << 20);
    if (!FCentral) {
        std::uint8_t marker[4]{};
        if (ReadAt(FReader, FPos, marker, 4) == 4 &&
            (GetU32LE(marker) == ZipDescriptorSig || GetU32LE(marker) == ZipSingleDiskMarker))
            FPos += 4;
    }
}

bool TZipWalk::Next(TZipWalkEntry& Item) {
    if (FEnded != TZipWalkEnd::Running) return false;
    if (FOwner.GetCancel()) return Stop(TZipWalkEnd::Cancelled);
    if (FLast) return Stop(TZipWalkEnd::Damaged);
    Item = TZipWalkEntry{};
    if (!(FCentral ? NextCentral(Item) : NextLocal(Item))) return false;
    ++FRecords;
    return true;
}

void TZipWalk::SetNames(TZipWalkEntry& Item, bool HostKnown) const {
    Item.StoredName = ZipStoredName(Item.RawName, Item.Central.Flags, Item.Extra, Item.Utf8);
    Item.Name =
        ZipStoredNameToLocal(Item.StoredName, Item.Utf8, Item.Host, HostKnown, FOwner.TranslateOemChar);
}

bool TZipWalk::NextCentral(TZipWalkEntry& Item) {
    if (FPos >= FEnd) return Stop(TZipWalkEnd::AtEnd);
    std::array<std::uint8_t, TZipCentralHeader::Size> record{};
    const std::int64_t got = ReadAt(FReader, FPos, record.data(), TZipCentralHeader::Size);
    bool enciphered = false;
    if (got < 4 || FOwner.ZipHeaderKind(GetU32LE(record.data()), zkCentral, enciphered) != zkCentral)
        return Stop(TZipWalkEnd::AtEnd);
    if (got < static_cast<std::int64_t>(TZipCentralHeader::Size) ||
        FPos + static_cast<std::int64_t>(TZipCentralHeader::Size) > FEnd)
        return Stop(TZipWalkEnd::Truncated);
    if (enciphered) FOwner.DecryptZipHeader(record, zkCentral);
    const TZipCentralHeader h = TZipCentralHeader::FromBytes(record.data());
    const std::int64_t namePos = FPos + TZipCentralHeader::Size;
    const std::int64_t extraPos = namePos + h.NameLength;
    const std::int64_t commentPos = extraPos + h.ExtraLength;
    const std::int64_t next = commentPos + h.CommentLength;
    // Name, extra field and comment are read in the order they are stored: a directory
    // spread over disks is read forward only.
    if (next > FEnd || !ReadField(FReader, namePos, h.NameLength, Item.RawName) ||
        !ReadField(FReader, extraPos, h.ExtraLength, Item.Extra) ||
        !ReadField(FReader, commentPos, h.CommentLength, Item.Comment))
        return Stop(TZipWalkEnd::Truncated);
    if (enciphered) FOwner.DecryptHeaderBuf(Item.RawName.data(), std::ssize(Item.RawName));

    Item.FromCentral = true;
    Item.Enciphered = enciphered;
    Item.RecordPos = FPos;
    Item.Central = h;
    Item.Host = static_cast<std::uint8_t>(h.VersionMadeBy >> 8);
    TZip64Values values{h.UncompressedSize, h.CompressedSize, h.LocalHeaderOffset, h.DiskNumberStart};
    ApplyZip64Extra(Item.Extra, values);
    Item.Zip64 = !FindZipExtraField(Item.Extra, ZipExtraZip64).empty();
    SetSizes(Item, values);
    Item.Crc = h.Crc;
    Item.Disk = values.DiskNumberStart;
    if (!CheckedAdd(Clamp64(values.LocalHeaderOffset), FOwner.ZipOffsetCorrection, Item.LocalOffset) ||
        Item.LocalOffset < 0)
        Item.LocalOffset = MaxValue;
    SetNames(Item, true);
    FPos = next;
    return true;
}

bool TZipWalk::ReadLocalHeader(TZipCommon& Owner, TStream32& Source, std::int64_t Pos,
                               TZipLocalRecord& Record) {
    // Header, name and extra field usually come in one small read.
    TReadAheadStream stream(Source, 1024);
    std::array<std::uint8_t, TZipLocalHeader::Size> header{};
    if (ReadAt(stream, Pos, header.data(), TZipLocalHeader::Size) != TZipLocalHeader::Size) return false;
    Record.Enciphered = false;
    if (Owner.ZipHeaderKind(GetU32LE(header.data()), zkLocal, Record.Enciphered) != zkLocal) return false;
    if (Record.Enciphered) Owner.DecryptZipHeader(header, zkLocal);
    Record.Header = TZipLocalHeader::FromBytes(header.data());
    Record.Position = Pos;
    const std::int64_t namePos = Pos + TZipLocalHeader::Size;
    const std::int64_t extraPos = namePos + Record.Header.NameLength;
    if (!ReadField(stream, namePos, Record.Header.NameLength, Record.RawName) ||
        !ReadField(stream, extraPos, Record.Header.ExtraLength, Record.Extra))
        return false;
    if (Record.Enciphered) Owner.DecryptHeaderBuf(Record.RawName.data(), std::ssize(Record.RawName));
    Record.DataStart = extraPos + Record.Header.ExtraLength;
    return true;
}

std::string TZipWalk::NamelessRecordName(TZipCommon& Owner, TStream32& Source, std::int64_t LocalOffset,
                                         std::int64_t Record) {
    TZipLocalRecord local;
    if (ReadLocalHeader(Owner, Source, LocalOffset, local) && !local.RawName.empty())
        return ZipStoredNameToLocal(local.RawName, false, 0, false, Owner.TranslateOemChar);
    return "#" + std::to_string(Record + 1);
}

bool TZipWalk::NextLocal(TZipWalkEntry& Item) {
    TZipLocalRecord record;
    if (FPos >= FEnd || !ReadLocalHeader(FOwner, FReader, FPos, record)) return Stop(TZipWalkEnd::AtEnd);
    const TZipLocalHeader& h = record.Header;
    Item.FromCentral = false;
    Item.Enciphered = record.Enciphered;
    Item.RecordPos = FPos;
    Item.Central = ZipCentralFromLocal(h);
    Item.RawName = std::move(record.RawName);
    Item.Extra = record.Extra;
    TZip64Values values{h.UncompressedSize, h.CompressedSize, 0, 0};
    ApplyZip64Extra(Item.Extra, values);
    Item.Zip64 = !FindZipExtraField(Item.Extra, ZipExtraZip64).empty();
    SetSizes(Item, values);
    Item.Crc = h.Crc;
    Item.LocalOffset = FPos;
    Item.DataStart = record.DataStart;
    std::int64_t next = -1;
    if (!CheckedAdd(record.DataStart, Item.CompressedSize, next)) next = -1;
    if (h.Flags & zfDescriptor) FindDataEnd(Item, record, next);
    SetNames(Item, false);
    if (next <= FPos || next >= MaxValue)
        FLast = true;
    else
        FPos = next;
    return true;
}

void TZipWalk::FindDataEnd(TZipWalkEntry& Item, const TZipLocalRecord& Record, std::int64_t& Next) {
    const TZipLocalHeader& h = Record.Header;
    const std::int64_t start = Record.DataStart;
    const bool enciphered = (h.Flags & zfEncrypted) != 0;
    std::int64_t searched = 0; // bytes read by this entry's searches
    TZipDescriptorSearch search;
    search.ReadAt = [this](std::int64_t Pos, void* Buffer, std::int64_t Count) {
        return ::ReadAt(FReader, Pos, Buffer, Count);
    };
    search.Proceed = [this, &searched](std::int64_t Bytes) {
        if (FOwner.GetCancel() || searched >= *FSearchBudget) return false;
        searched += Bytes;
        return true;
    };
    search.Limit = FEnd;
    search.Zip64 = Item.Zip64;
    search.Stored = h.Method == zmStored;
    search.Enciphered = enciphered;
    const std::int64_t known = Item.CompressedSize;
    const auto found = [&](const TZipDescriptorHit& Hit) {
        *FSearchBudget -= std::min(searched, Hit.Next - start);
        Item.HasDescriptor = true;
        Item.DescriptorLength = Hit.Next - Hit.Position;
        Item.Crc = Hit.Crc;
        Item.CompressedSize = Hit.Compressed;
        Item.UncompressedSize = Clamp64(Hit.Uncompressed);
        Item.ShownUncompressed = Item.UncompressedSize;
        // The record made from the local header carries what the descriptor holds.
        Item.Central.Crc = Hit.Crc;
        Item.Central.CompressedSize =
            static_cast<std::uint32_t>(std::min<std::int64_t>(Item.CompressedSize, Zip64Marker32));
        Item.Central.UncompressedSize =
            static_cast<std::uint32_t>(std::min<std::int64_t>(Item.UncompressedSize, Zip64Marker32));
        Next = Hit.Next;
    };
    TZipDescriptorHit hit;
    // The local header holds the sizes after all: the descriptor follows the data.
    if (known > 0 && ZipDescriptorAt(search, start + known, known, nullptr, hit)) return found(hit);
    // Deflated data end where their deflate stream does.
    TDeflateEnd end;
    if (h.Method == zmDeflated && !enciphered && FindDeflateEnd(FReader, start, FOwner.CancelPtr, end) &&
        ZipDescriptorAt(search, start + end.Packed, end.Packed, &end.Crc, hit))
        return found(hit);
    // The first descriptor, with or without its signature, whose size is its distance from
    // the data (and, for stored data, whose CRC is theirs).
    search.Unsigned = true;
    if (FindZipDataDescriptor(search, start, hit) == TZipDescriptorFound::Descriptor) return found(hit);
    // Not found: the walk goes on at the next record. This search ends at the first header,
    // so the searches of many such entries together read the archive about once.
    search.Unsigned = false;
    search.StopAtHeader = true;
    search.Proceed = [this, &searched](std::int64_t Bytes) {
        searched += Bytes;
        return !FOwner.GetCancel();
    };
    const TZipDescriptorFound last = FindZipDataDescriptor(search, start, hit);
    if (last == TZipDescriptorFound::Descriptor) return found(hit);
    *FSearchBudget -= searched;
    Item.DataEndUnknown = true;
    Item.CompressedSize = last == TZipDescriptorFound::Header ? hit.Compressed : 0;
    Next = last == TZipDescriptorFound::Header ? hit.Position : -1;
}

TZipExtent ZipItemExtent(const TZipWalkEntry& Item, std::int64_t Limit) {
    const std::int64_t head = std::int64_t{TZipLocalHeader::Size} + Item.Central.NameLength;
    std::int64_t headEnd = MaxValue, end = MaxValue;
    if (!CheckedAdd(Item.LocalOffset, head, headEnd) || !CheckedAdd(headEnd, Item.CompressedSize, end))
        end = MaxValue;
    if (Limit >= 0 && end > Limit && headEnd <= Limit) end = headEnd;
    return {Item.Disk, Item.LocalOffset, end};
}

std::vector<bool> FindZipOverlaps(const std::vector<TZipExtent>& Extents) {
    std::vector<bool> overlaps(Extents.size(), false);
    std::vector<std::size_t> order(Extents.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&Extents](std::size_t A, std::size_t B) {
        return std::pair(Extents[A].Disk, Extents[A].Start) < std::pair(Extents[B].Disk, Extents[B].Start);
    });
    // Sorted by start, an extent overlaps an earlier one exactly when it begins before the
    // furthest end reached so far on its disk.
    for (std::size_t k = 1, reach = order.empty() ? 0 : order[0]; k < order.size(); ++k) {
        const std::size_t i = order[k];
        if (Extents[i].Disk == Extents[reach].Disk && Extents[i].Start < Extents[reach].End) {
            overlaps[i] = true;
            overlaps[reach] = true;
        }
        if (Extents[i].Disk != Extents[reach].Disk || Extents[i].End > Extents[reach].End) reach = i;
    }
    return overlaps;
}

void TZipOverlapCheck::Add(const TZipExtent& Extent) {
    const std::int64_t index = FCount++;
    if (FReachIndex >= 0) {
        if (std::pair(Extent.Disk, Extent.Start) < std::pair(FLast.Disk, FLast.Start)) FOrdered = false;
        if (Extent.Disk == FReach.Disk && Extent.Start < FReach.End) {
            FHits.push_back(index);
            FHits.push_back(FReachIndex);
        }
    }
    FLast = Extent;
    if (FReachIndex < 0 || Extent.Disk != FReach.Disk || Extent.End > FReach.End) {
        FReach = Extent;
        FReachIndex = index;
    }
}

std::vector<std::int64_t> TZipOverlapCheck::Overlapping() {
    std::sort(FHits.begin(), FHits.end());
    FHits.erase(std::unique(FHits.begin(), FHits.end()), FHits.end());
    return FHits;
}

bool ZipLocalHeaderAgrees(const TZipLocalRecord& Local, const std::string& CentralName,
                          std::span<const std::uint8_t> CentralExtra, std::uint32_t CentralCrc) {
    const TZipLocalHeader& h = Local.Header;
    if (Local.RawName != CentralName) {
        // The local field's CRC may be that of either record's name.
        std::string unicode = ZipUnicodePath(Local.Extra, Local.RawName);
        if (unicode.empty()) unicode = ZipUnicodePath(Local.Extra, CentralName);
        const std::span<const std::uint8_t> field = FindZipExtraField(CentralExtra, ZipExtraUnicodePath);
        if (unicode.empty() || field.size() <= 5 || unicode != std::string(field.begin() + 5, field.end()))
            return false;
    }
    return (h.Flags & zfDescriptor) || h.Crc == 0 || h.Crc == CentralCrc;
}

// Finding the entries of a zip archive: the central directory, or a walk over the local
// headers when the directory is unusable.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCodecStreams.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvReadAhead.h"
#include "engine/core/krvZipDescriptor.h"
#include "engine/core/krvZipEntryName.h"
#include "engine/core/krvZipExtra.h"
#include "engine/read/krvUnZip.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace {

// Offsets beyond this are damage, never a place to seek to.
constexpr std::int64_t MaxOffset = std::numeric_limits<std::int64_t>::max() / 4;
// The marker of a split or spanned set's first piece, and of a set that fitted one disk.
constexpr std::uint32_t ZipSingleDiskMarker = 0x30304B50; // "PK00"

std::int64_t Clamp64(std::uint64_t Value) {
    return Value > static_cast<std::uint64_t>(MaxOffset) ? MaxOffset : static_cast<std::int64_t>(Value);
}

// Reads a field of Count bytes at Pos whole; false when the archive ends first.
bool ReadField(TStream32& Stream, std::int64_t Pos, std::int64_t Count, std::string& Out) {
    Out.resize(static_cast<std::size_t>(Count));
    return Count == 0 || ReadAt(Stream, Pos, Out.data(), Count) == Count;
}

// Where a raw deflate stream ends: its compressed length, and the CRC-32 and size of what it
// inflates to.
struct TDeflateEnd {
    std::int64_t Packed = 0;
    std::uint32_t Crc = 0;
    std::int64_t Size = 0;
};

// Inflates the deflate stream at DataStart to its end; false for data that end before it,
// damaged data or a cancel.
bool FindDeflateEnd(TStream32& Stream, std::int64_t DataStart, const bool* CancelFlag, TDeflateEnd& End) {
    if (Stream.Seek(DataStart, soBeginning) != DataStart) return false;
    TDecompressStream inflater(Stream, RawDeflateWindowBits);
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

} // namespace

void TUnZip::AddToTotals(std::uint32_t DosDateTime, std::int64_t Compressed, std::int64_t Uncompressed,
                         std::uint16_t Flags) {
    MaxFileDate = std::max(MaxFileDate, DosDateTime);
    FPackedTotal +=
        static_cast<double>((Flags & zfEncrypted) ? std::max<std::int64_t>(Compressed - 12, 0) : Compressed);
    FUnpackedTotal += static_cast<double>(Uncompressed);
}

int TUnZip::ScanCentralDirectory(TStream32& Archive, std::int64_t Start, int Expected, bool& DirectoryFound) {
    DirectoryFound = false;
    // The records are read in blocks; the local headers they point to, directly.
    TReadAheadStream Stream(Archive);
    std::int64_t pos = Start;
    int records = 0;
    std::array<std::uint8_t, TZipCentralHeader::Size> record{};
    std::string rawName, extra;
    while (!GetCancel() &&
           ReadAt(Stream, pos, record.data(), TZipCentralHeader::Size) == TZipCentralHeader::Size) {
        bool enciphered = false;
        if (ZipHeaderKind(GetU32LE(record.data()), zkCentral, enciphered) != zkCentral) break;
        if (enciphered) DecryptZipHeader(record, zkCentral);
        const TZipCentralHeader central = TZipCentralHeader::FromBytes(record.data());
        if (!ReadField(Stream, pos + TZipCentralHeader::Size, central.NameLength, rawName)) break;
        if (enciphered) DecryptHeaderBuf(rawName.data(), std::ssize(rawName));
        DirectoryFound = true;
        ++records;

        TZip64Values values{central.UncompressedSize, central.CompressedSize, central.LocalHeaderOffset,
                            central.DiskNumberStart};
        const std::int64_t extraPos = pos + TZipCentralHeader::Size + central.NameLength;
        if (!ReadField(Stream, extraPos, central.ExtraLength, extra)) extra.clear();
        ApplyZip64Extra(AsBytes(extra), values);
        const std::string name =
            ZipNameToLocal(rawName, central.Flags, static_cast<std::uint8_t>(central.VersionMadeBy >> 8),
                           true, TranslateOemChar, AsBytes(extra));
        pos = extraPos + central.ExtraLength + central.CommentLength;

        if (!MatchEntrySpec(name)) continue;
        TEntryRef entry;
        entry.Name = name;
        entry.ExternalAttr = central.ExternalAttr;
        entry.Disk = static_cast<int>(std::min<std::uint32_t>(values.DiskNumberStart, 0xFFFF));
        entry.LocalOffset = Clamp64(values.LocalHeaderOffset) + ZipOffsetCorrection;
        entry.HasCentral = true;
        entry.Central = central;
        entry.CompressedSize = Clamp64(values.CompressedSize);
        entry.UncompressedSize = Clamp64(values.UncompressedSize);
        if (!FSpanned) {
            // The entry must have its local header where the directory says.
            std::array<std::uint8_t, TZipLocalHeader::Size> local{};
            bool localEnciphered = false;
            if (ReadAt(Archive, entry.LocalOffset, local.data(), TZipLocalHeader::Size) !=
                    TZipLocalHeader::Size ||
                ZipHeaderKind(GetU32LE(local.data()), zkLocal, localEnciphered) != zkLocal) {
                ReportError(name, "", "0", ecBadFileHeader);
                continue;
            }
        }
        AddToTotals(central.DosDateTime, entry.CompressedSize, entry.UncompressedSize, central.Flags);
        FEntries.push_back(entry);
    }
    // A directory that ends before the records the end record counts is damaged: what
    // follows the damage cannot be found.
    if (DirectoryFound && !GetCancel() && Expected != Zip64Marker16 && records < Expected)
        ReportError(ArchiveFile(), "", "0", ecHeaderNotFound);
    return static_cast<int>(FEntries.size());
}

bool TUnZip::ReadLocalRecord(TStream32& Archive, std::int64_t Pos, TLocalRecord& Record, bool WantExtra) {
    // Header, name and extra field usually come in one small read.
    TReadAheadStream Stream(Archive, 1024);
    std::array<std::uint8_t, TZipLocalHeader::Size> header{};
    if (ReadAt(Stream, Pos, header.data(), TZipLocalHeader::Size) != TZipLocalHeader::Size) return false;
    bool enciphered = false;
    if (ZipHeaderKind(GetU32LE(header.data()), zkLocal, enciphered) != zkLocal) return false;
    if (enciphered) DecryptZipHeader(header, zkLocal);
    Record.Header = TZipLocalHeader::FromBytes(header.data());
    Record.Position = Pos;
    if (!ReadField(Stream, Pos + TZipLocalHeader::Size, Record.Header.NameLength, Record.RawName))
        return false;
    if (enciphered) DecryptHeaderBuf(Record.RawName.data(), std::ssize(Record.RawName));
    const std::int64_t extraPos = Pos + TZipLocalHeader::Size + Record.Header.NameLength;
    Record.Extra.clear();
    if (WantExtra && Record.Header.ExtraLength > 0) {
        Record.Extra.resize(Record.Header.ExtraLength);
        if (ReadAt(Stream, extraPos, Record.Extra.data(), Record.Header.ExtraLength) !=
            Record.Header.ExtraLength)
            return false;
    }
    Record.DataStart = extraPos + Record.Header.ExtraLength;
    return true;
}

bool TUnZip::FindEntryDescriptor(TStream32& Stream, TZipDescriptorSearch& Search, const TLocalRecord& Record,
                                 std::int64_t LocalCompressed, TZipDescriptorHit& Hit, std::int64_t& Next) {
    const TZipLocalHeader& h = Record.Header;
    const std::int64_t start = Record.DataStart;
    const bool enciphered = (h.Flags & zfEncrypted) != 0;
    Search.StopAtHeader = false;
    Search.Unsigned = false;
    Search.Stored = h.Method == zmStored;
    Search.Enciphered = enciphered;
    // The local header holds the sizes after all: the descriptor follows the data.
    if (LocalCompressed > 0 &&
        ZipDescriptorAt(Search, start + LocalCompressed, LocalCompressed, nullptr, Hit))
        return true;
    // Deflated data end where their deflate stream does.
    TDeflateEnd end;
    if (h.Method == zmDeflated && !enciphered && FindDeflateEnd(Stream, start, CancelPtr, end) &&
        ZipDescriptorAt(Search, start + end.Packed, end.Packed, &end.Crc, Hit))
        return true;
    // The first descriptor, with or without its signature, whose size is its distance from
    // the data (and, for stored data, whose CRC is theirs).
    Search.Unsigned = true;
    if (FindZipDataDescriptor(Search, start, Hit) == TZipDescriptorFound::Descriptor) return true;
    // Not found: the walk goes on at the next record. This search ends at the first header,
    // so the searches of many such entries together read the archive about once.
    TZipDescriptorSearch ahead = Search;
    ahead.Unsigned = false;
    ahead.StopAtHeader = true;
    ahead.Proceed = [this](std::int64_t) { return !GetCancel(); };
    switch (FindZipDataDescriptor(ahead, start, Hit)) {
    case TZipDescriptorFound::Descriptor:
        return true;
    case TZipDescriptorFound::Header:
        Next = Hit.Position;
        return false;
    case TZipDescriptorFound::None:
        break;
    }
    Next = -1;
    return false;
}

int TUnZip::ScanLocalHeaders(TStream32& Archive) {
    if (OnCorruptZipHeader) {
        bool cancel = true;
        OnCorruptZipHeader(*this, static_cast<THeaderTypeState>(HeaderState), cancel);
        if (cancel) return 0;
    }
    TReadAheadStream Stream(Archive);
    // The data descriptor ends data whose size the local header does not hold. A damaged
    // archive could make every entry search to its end: the walk searches at most about
    // twice the archive's size in all. A search that finds its descriptor costs the bytes up
    // to it, one that finds none all it read.
    std::int64_t budget = 2 * Stream.GetSize() + (1 << 20);
    std::int64_t searched = 0; // bytes read by the search of the current entry
    TZipDescriptorSearch search;
    search.ReadAt = [&Stream](std::int64_t Pos, void* Buffer, std::int64_t Count) {
        return ::ReadAt(Stream, Pos, Buffer, Count);
    };
    search.Proceed = [this, &budget, &searched](std::int64_t Bytes) {
        if (GetCancel() || searched >= budget) return false;
        searched += Bytes;
        return true;
    };
    std::int64_t pos = ArchiveOffset;
    std::uint8_t marker[4]{};
    if (ReadAt(Stream, pos, marker, 4) == 4 &&
        (GetU32LE(marker) == ZipDescriptorSig || GetU32LE(marker) == ZipSingleDiskMarker))
        pos += 4;

    TLocalRecord record;
    while (!GetCancel() && ReadLocalRecord(Stream, pos, record, true)) {
        const TZipLocalHeader& h = record.Header;
        TZip64Values values{h.UncompressedSize, h.CompressedSize, 0, 0};
        const bool zip64 =
            ApplyZip64Extra(record.Extra, values) && !FindZipExtraField(record.Extra, ZipExtraZip64).empty();
        TEntryRef entry;
        entry.LocalOffset = pos;
        entry.CompressedSize = Clamp64(values.CompressedSize);
        entry.UncompressedSize = Clamp64(values.UncompressedSize);
        std::int64_t next = record.DataStart + entry.CompressedSize;
        if (h.Flags & zfDescriptor) {
            search.Zip64 = zip64;
            TZipDescriptorHit hit;
            searched = 0;
            const bool found = FindEntryDescriptor(Stream, search, record, entry.CompressedSize, hit, next);
            budget -= found ? std::min(searched, hit.Next - record.DataStart) : searched;
            if (found) {
                entry.HasDescriptor = true;
                entry.DescriptorCrc = hit.Crc;
                entry.CompressedSize = hit.Compressed;
                entry.UncompressedSize = Clamp64(hit.Uncompressed);
                next = hit.Next;
            } else {
                entry.DataEndUnknown = true;
            }
        }
        const std::string name =
            ZipNameToLocal(record.RawName, h.Flags, 0, false, TranslateOemChar, record.Extra);
        entry.Name = name;
        if (!name.empty() && MatchEntrySpec(name)) {
            AddToTotals(h.DosDateTime, entry.CompressedSize, entry.UncompressedSize, h.Flags);
            FEntries.push_back(entry);
        }
        if (next <= pos || next >= MaxOffset) break;
        pos = next;
    }
    return static_cast<int>(FEntries.size());
}

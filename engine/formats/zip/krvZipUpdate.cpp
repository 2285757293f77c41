// Reading the entries of an existing zip archive and copying the kept ones into the new
// archive, unchanged or under a new name.
#include "engine/formats/zip/krvZip.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvMatchSpec.h"
#include "engine/formats/zip/krvZipDescriptor.h"
#include "engine/formats/zip/krvZipEntryName.h"
#include "engine/formats/zip/krvZipExtra.h"
#include "engine/formats/zip/krvZipWalk.h"
#include "platform/CodePages.h"
#include "platform/FileAttributes.h"

#include <algorithm>

void TZip::ReadHeaders(TStream32& Input, TCompHeaderObj& List) {
    FArchiveComment.clear();
    FKnownCentralOffset = -1;
    FDirPos = 0;
    const std::int64_t size = Input.Size();
    const std::int64_t dirPos = LocateZipDirectory(Input);
    if (HeaderState & htEnding) {
        const TZipEndRecord end = TZipEndRecord::FromBytes(EndRecord.data());
        if (end.ThisDisk != 0 || end.CentralDisk != 0 || end.EntriesOnDisk != end.TotalEntries)
            Fail(ArchiveFile(), "spanned archive", ecInvalidArchiveType);
        if (ZipCommentPos > 0 && end.CommentLength > 0) {
            const std::int64_t len = std::min<std::int64_t>(end.CommentLength, size - ZipCommentPos);
            FArchiveComment.resize(static_cast<std::size_t>(std::max<std::int64_t>(len, 0)));
            if (ReadAt(Input, ZipCommentPos, FArchiveComment.data(), len) != len) FArchiveComment.clear();
        }
        if (end.TotalEntries > 0 || end.CentralSize > 0) {
            if (!(HeaderState & htCentral)) Fail(ArchiveFile(), "", ecHeaderNotFound);
            ReadCentralEntries(Input, List, dirPos);
        }
        FDirPos = dirPos > 0 ? dirPos : 0;
    } else {
        ReadLocalEntries(Input, List);
    }
    // Whatever lies in front of the first entry (a self-extractor stub) is kept.
    for (const TCompEntry& e : FEntries)
        if (e.OldOffset >= 0 && (FKnownCentralOffset < 0 || e.OldOffset < FKnownCentralOffset))
            FKnownCentralOffset = e.OldOffset;
}

void TZip::ReadCentralEntries(TStream32& Input, TCompHeaderObj& List, std::int64_t DirPos) {
    TZipWalk walk(*this, Input, TZipWalkKind::Central, DirPos, ZipDirectoryEnd(DirPos));
    TZipWalkEntry item;
    std::vector<TZipExtent> extents;
    while (walk.Next(item)) {
        if (item.Disk != 0) Fail(ArchiveFile(), "spanned archive", ecInvalidArchiveType);
        TakeZip64Values(item);
        extents.push_back(ZipItemExtent(item));
        TCompEntry data;
        data.OldOffset = item.LocalOffset;
        data.Enciphered = item.Enciphered;
        // The directory is written anew with 32-bit values, which hold every value here.
        data.Extra = WithoutZipExtraField(item.Extra, ZipExtraZip64);
        data.Comment.assign(item.Comment.begin(), item.Comment.end());
        AddOldEntry(List, item, std::move(data));
    }
    // Records the end record does not count (or counts but that cannot be read) would be
    // lost or made up by a rewrite: refuse instead.
    if (walk.Ended() != TZipWalkEnd::AtEnd || static_cast<std::uint64_t>(walk.Records()) != ZipEntryCount)
        Fail(ArchiveFile(), "", ecHeaderNotFound);
    RefuseOverlaps(extents);
}

void TZip::ReadLocalEntries(TStream32& Input, TCompHeaderObj& List) {
    const std::int64_t size = Input.Size();
    TZipWalk walk(*this, Input, TZipWalkKind::Local, 0);
    TZipWalkEntry item;
    std::vector<TZipExtent> extents;
    std::int64_t dataEnd = 0;
    while (walk.Next(item)) {
        TakeZip64Values(item);
        // Data whose end cannot be found, or that run past the file, cannot be kept.
        std::int64_t next = 0;
        if (item.DataEndUnknown || !CheckedAdd(item.DataStart, item.CompressedSize, next) ||
            !CheckedAdd(next, item.DescriptorLength, next) || next > size)
            Fail(ArchiveFile(), item.Name, ecHeaderNotFound);
        if (walk.Records() > MaxFormatEntries)
            Fail(ArchiveFile(), "more than 65535 entries", ecMaxFileSizeExceeded);
        extents.push_back(ZipItemExtent(item));
        dataEnd = next;

        TZipCentralHeader& c = item.Central;
        c.VersionMadeBy = ZipVersion;
        c.LocalHeaderOffset = static_cast<std::uint32_t>(item.LocalOffset);
        TCompEntry data;
        data.OldOffset = item.LocalOffset;
        data.Enciphered = item.Enciphered;
        data.Extra = ZipKeepNameReading(c, item.RawName, item.Extra);
        AddOldEntry(List, item, std::move(data));
    }
    if (walk.Ended() == TZipWalkEnd::Damaged) Fail(ArchiveFile(), "", ecHeaderNotFound);
    // A file that holds no zip entry at all is not overwritten as if it were an empty archive.
    if (walk.Records() == 0 && size > 0) Fail(ArchiveFile(), "", ecInvalidArchiveType);
    RefuseOverlaps(extents);
    FDirPos = dataEnd;
}

void TZip::TakeZip64Values(TZipWalkEntry& Item) {
    // A Zip64 entry is kept when its values fit the directory's 32-bit fields; its local
    // header and data descriptor are copied as they are, Zip64 forms included.
    TZipCentralHeader& c = Item.Central;
    if (Item.CompressedSize >= Zip64Marker32 || Item.UncompressedSize >= Zip64Marker32 ||
        Item.LocalOffset - ZipOffsetCorrection >= Zip64Marker32)
        Fail(ArchiveFile(), "Zip64 entry of 4 GiB or more", ecMaxFileSizeExceeded);
    c.CompressedSize = static_cast<std::uint32_t>(Item.CompressedSize);
    c.UncompressedSize = static_cast<std::uint32_t>(Item.UncompressedSize);
    c.LocalHeaderOffset = static_cast<std::uint32_t>(Item.LocalOffset - ZipOffsetCorrection);
    c.DiskNumberStart = 0;
}

void TZip::RefuseOverlaps(const std::vector<TZipExtent>& Extents) {
    const std::vector<bool> overlaps = FindZipOverlaps(Extents);
    if (std::find(overlaps.begin(), overlaps.end(), true) != overlaps.end())
        Fail(ArchiveFile(), "overlapping entries", ecBadFileHeader);
}

void TZip::AddOldEntry(TCompHeaderObj& List, const TZipWalkEntry& Item, TCompEntry Data) {
    // The entry is known by the name the reader and the lister show for it, so that a file of
    // that name replaces it.
    const std::string& name = Item.Name;
    std::uint16_t kind = hkKeep;
    if (Switch == swDelete && MatchFileSpec(name, FileSpec, ExcludeSpec)) kind = hkDrop;
    Data.RawName = Item.RawName;
    Data.IsDir = !name.empty() && name.back() == '/';
    TZipCentralHeader central = Item.Central;
    central.Signature = ZipCentralSig;
    const auto image = central.Image();
    AddEntryRecord(List, image.data(), name, kind, std::move(Data));
}

TZipLocalHeader TZip::ReadOldLocal(const TCompEntry& Entry, const TZipCentralHeader& Central,
                                   bool& Enciphered, bool& Zip64) {
    TZipLocalRecord record;
    // A local header that is not the directory record's own would carry damage on.
    if (!TZipWalk::ReadLocalHeader(*this, *FInput, Entry.OldOffset, record) ||
        !ZipLocalHeaderAgrees(record, Entry.RawName, Entry.Extra, Central.Crc))
        Fail(ArchiveFile(), "", ecBadFileHeader);
    Enciphered = record.Enciphered;
    Zip64 = !FindZipExtraField(record.Extra, ZipExtraZip64).empty();
    return record.Header;
}

std::int64_t TZip::DescriptorSize(const TZipCentralHeader& Central, std::int64_t DataEnd, bool Zip64) {
    if (!(Central.Flags & zfDescriptor)) return 0;
    TZipDescriptorSearch search;
    search.ReadAt = [this](std::int64_t Pos, void* Buffer, std::int64_t Count) {
        return ReadAt(*FInput, Pos, Buffer, Count);
    };
    search.Zip64 = Zip64;
    TZipDescriptorHit hit;
    if (!ZipDescriptorAt(search, DataEnd, Central.CompressedSize, &Central.Crc, hit)) return 0;
    return hit.Next - DataEnd;
}

void TZip::CopyKeptEntry(TCompHeaderObj& List, int Index) {
    TCompEntry& e = Entry(Index);
    TZipCentralHeader c = TZipCentralHeader::FromBytes(List.GetHeader(Index));
    bool enciphered = false;
    bool zip64 = false;
    const TZipLocalHeader l = ReadOldLocal(e, c, enciphered, zip64);
    // The directory's sizes hold also when the local header left them to a data descriptor.
    const std::int64_t head = TZipLocalHeader::Size + l.NameLength + l.ExtraLength;
    const std::int64_t data = c.CompressedSize;
    const std::int64_t total = head + data + DescriptorSize(c, e.OldOffset + head + data, zip64);
    const std::int64_t pos = FOutput->Position();
    if (pos + total > MaxFormatSize) Fail(ArchiveFile(), "", ecMaxFileSizeExceeded);
    FileName = List.Name(Index);
    CopyInput(e.OldOffset, total);
    c.LocalHeaderOffset = static_cast<std::uint32_t>(pos);
    c.DiskNumberStart = 0;
    c.ToBytes(List.GetHeader(Index));
    e.NewLength = total;
}

void TZip::CopyEntry(TCompHeaderObj& List, int Index) {
    TCompEntry& e = Entry(Index);
    TZipCentralHeader c = TZipCentralHeader::FromBytes(List.GetHeader(Index));
    bool enciphered = false;
    bool zip64 = false;
    TZipLocalHeader l = ReadOldLocal(e, c, enciphered, zip64);
    bool utf8 = false;
    std::string name = ArcName(List.Name(Index), utf8);
    if (name.size() > 0xFFFF) Fail(List.Name(Index), "", ecInvalidFileName);

    const std::int64_t tailStart = e.OldOffset + TZipLocalHeader::Size + l.NameLength;
    const std::int64_t data = c.CompressedSize;
    const std::int64_t tail =
        l.ExtraLength + data + DescriptorSize(c, tailStart + l.ExtraLength + data, zip64);

    // The new name's length (and its UTF-8 mark) go into both records.
    const std::uint16_t utf8Flag = utf8 ? zfUtf8 : 0;
    l.NameLength = static_cast<std::uint16_t>(name.size());
    l.Flags = static_cast<std::uint16_t>((l.Flags & ~zfUtf8) | utf8Flag);
    c.NameLength = l.NameLength;
    c.Flags = static_cast<std::uint16_t>((c.Flags & ~zfUtf8) | utf8Flag);
    // A host whose names readers take in the OEM code page cannot carry a name that is not
    // ASCII: the record takes the host the new name is marked with.
    const TZipNameMark mark = ZipNameMark(name);
    const std::uint8_t host = static_cast<std::uint8_t>(c.VersionMadeBy >> 8);
    if (mark.Host != ZipHostFat && ZipHostUsesOemNames(host)) {
        c.VersionMadeBy = static_cast<std::uint16_t>((mark.Host << 8) | (c.VersionMadeBy & 0xFF));
        if (mark.Host == ZipHostUnix) c.ExternalAttr = ZipUnixExternalAttr(c.ExternalAttr & 0xFF);
    }

    const std::int64_t pos = FOutput->Position();
    if (pos + TZipLocalHeader::Size + static_cast<std::int64_t>(name.size()) + tail > MaxFormatSize)
        Fail(ArchiveFile(), "", ecMaxFileSizeExceeded);
    auto image = l.Image();
    std::string stored = name;
    if (enciphered) {
        EncryptZipHeader(image, zkLocal);
        EncryptHeaderBuf(stored.data(), static_cast<std::int64_t>(stored.size()));
    }
    FileName = List.Name(Index);
    FOutput->WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
    FOutput->WriteBuffer(stored.data(), static_cast<std::int64_t>(stored.size()));
    CopyInput(tailStart, tail);

    c.LocalHeaderOffset = static_cast<std::uint32_t>(pos);
    c.DiskNumberStart = 0;
    c.ToBytes(List.GetHeader(Index));
    e.RawName = std::move(name);
    e.NewLength = TZipLocalHeader::Size + static_cast<std::int64_t>(e.RawName.size()) + tail;
}

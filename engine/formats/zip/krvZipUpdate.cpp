// Reading the entries of an existing zip archive and copying the kept ones into the new
// archive, unchanged or under a new name.
#include "engine/formats/zip/krvZip.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCheckedMath.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/zip/krvZipDescriptor.h"
#include "engine/formats/zip/krvZipEntryName.h"
#include "engine/formats/zip/krvZipExtra.h"
#include "engine/formats/zip/krvZipWalk.h"
#include "platform/CodePages.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <array>

void TZip::ReadHeaders(TStream32& Input, TCompHeaderObj& List) {
    FArchiveComment.clear();
    FKnownCentralOffset = -1;
    FDirPos = 0;
    FOldExtents.clear();
    FOldDataEnd = 0;
    const TScopeExit done{[this] { FOldWalk.reset(); }};
    const std::int64_t size = Input.Size();
    const std::int64_t dirPos = LocateZipDirectory(Input);
    FOldCentral = (HeaderState & htEnding) != 0;
    if (FOldCentral) {
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
            FOldWalk = std::make_unique<TZipWalk>(*this, Input, TZipWalkKind::Central, dirPos,
                                                  ZipDirectoryEnd(dirPos));
        }
        TCompBase::ReadHeaders(Input, List);
        // Records the end record does not count (or counts but that cannot be read) would be
        // lost or made up by a rewrite: refuse instead.
        if (FOldWalk && (FOldWalk->Ended() != TZipWalkEnd::AtEnd ||
                         static_cast<std::uint64_t>(FOldWalk->Records()) != ZipEntryCount))
            Fail(ArchiveFile(), "", ecHeaderNotFound);
        FDirPos = dirPos > 0 ? dirPos : 0;
    } else {
        FOldWalk = std::make_unique<TZipWalk>(*this, Input, TZipWalkKind::Local, 0);
        TCompBase::ReadHeaders(Input, List);
        if (FOldWalk->Ended() == TZipWalkEnd::Damaged) Fail(ArchiveFile(), "", ecHeaderNotFound);
        // A file that holds no zip entry at all is not overwritten as if it were an empty archive.
        if (FOldWalk->Records() == 0 && size > 0) Fail(ArchiveFile(), "", ecInvalidArchiveType);
        FDirPos = FOldDataEnd;
    }
    RefuseOverlaps(FOldExtents);
    // Whatever lies in front of the first entry (a self-extractor stub) is kept.
    for (const TCompEntry& e : FEntries)
        if (e.OldOffset >= 0 && (FKnownCentralOffset < 0 || e.OldOffset < FKnownCentralOffset))
            FKnownCentralOffset = e.OldOffset;
}

bool TZip::ReadFirstHeader(TStream32& Input, bool& Central) {
    Central = FOldCentral;
    return ReadHeader(Input, FOldName, Central);
}

bool TZip::ReadHeader(TStream32& Input, std::string& Name, bool Central) {
    TZipWalkEntry item;
    if (!FOldWalk || !FOldWalk->Next(item)) return false;
    TCompEntry data;
    data.OldOffset = item.LocalOffset;
    data.Enciphered = item.Enciphered;
    std::int64_t localOffset = item.LocalOffset;
    if (Central) {
        if (item.Disk != 0) Fail(ArchiveFile(), "spanned archive", ecInvalidArchiveType);
        // The directory is written anew, with a Zip64 field where the values then need one.
        data.Extra = WithoutZipExtraField(item.Extra, ZipExtraZip64);
        data.Comment.assign(item.Comment.begin(), item.Comment.end());
        localOffset -= ZipOffsetCorrection;
    } else {
        // Data whose end cannot be found, or that run past the file, cannot be kept.
        std::int64_t next = 0;
        if (item.DataEndUnknown || !CheckedAdd(item.DataStart, item.CompressedSize, next) ||
            !CheckedAdd(next, item.DescriptorLength, next) || next > Input.Size())
            Fail(ArchiveFile(), item.Name, ecHeaderNotFound);
        FOldDataEnd = next;
        TZipCentralHeader& c = item.Central;
        c.VersionMadeBy = ZipVersion;
        data.Extra = WithoutZipExtraField(ZipKeepNameReading(c, item.RawName, item.Extra), ZipExtraZip64);
    }
    FOldExtents.push_back(ZipItemExtent(item));
    SetOldHeader(item, localOffset, std::move(data));
    Name = item.Name;
    return true;
}

void TZip::RefuseOverlaps(const std::vector<TZipExtent>& Extents) {
    const std::vector<bool> overlaps = FindZipOverlaps(Extents);
    if (std::find(overlaps.begin(), overlaps.end(), true) != overlaps.end())
        Fail(ArchiveFile(), "overlapping entries", ecBadFileHeader);
}

void TZip::SetOldHeader(const TZipWalkEntry& Item, std::int64_t LocalOffset, TCompEntry Data) {
    const std::string& name = Item.Name;
    Data.RawName = Item.RawName;
    Data.IsDir = !name.empty() && name.back() == '/';
    TZipListRecord record;
    record.Central = Item.Central;
    record.Central.Signature = ZipCentralSig;
    record.Central.DiskNumberStart = 0;
    record.UncompressedSize = Item.UncompressedSize;
    record.CompressedSize = Item.CompressedSize;
    record.LocalOffset = LocalOffset;
    record.ToBytes(FOldImage.data());
    FOldEntry = std::move(Data);
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

std::int64_t TZip::DescriptorSize(const TZipListRecord& Record, std::int64_t DataEnd, bool Zip64) {
    const TZipCentralHeader& Central = Record.Central;
    if (!(Central.Flags & zfDescriptor)) return 0;
    TZipDescriptorSearch search;
    search.ReadAt = [this](std::int64_t Pos, void* Buffer, std::int64_t Count) {
        return ReadAt(*FInput, Pos, Buffer, Count);
    };
    search.Zip64 = Zip64;
    TZipDescriptorHit hit;
    if (!ZipDescriptorAt(search, DataEnd, Record.CompressedSize, &Central.Crc, hit)) return 0;
    return hit.Next - DataEnd;
}

std::int64_t TZip::GetEntrySize(int Index) {
    const TZipListRecord r = TZipListRecord::FromBytes(FList->GetHeader(Index));
    bool enciphered = false;
    bool zip64 = false;
    const TZipLocalHeader l = ReadOldLocal(Entry(Index), r.Central, enciphered, zip64);
    // The directory's sizes hold also when the local header left them to a data descriptor.
    const std::int64_t head = TZipLocalHeader::Size + l.NameLength + l.ExtraLength;
    const std::int64_t data = r.CompressedSize;
    return head + data + DescriptorSize(r, Entry(Index).OldOffset + head + data, zip64);
}

void TZip::CopyKeptEntry(TCompHeaderObj& List, int Index) {
    const std::int64_t total = GetEntrySize(Index);
    const std::int64_t pos = FOutput->Position();
    FileName = List.Name(Index);
    CopyInput(Entry(Index).OldOffset, total);
    TZipListRecord r = TZipListRecord::FromBytes(List.GetHeader(Index));
    r.LocalOffset = pos;
    r.ToBytes(List.GetHeader(Index));
    Entry(Index).NewLength = total;
}

void TZip::CopyEntry(TCompHeaderObj& List, int Index) {
    TCompEntry& e = Entry(Index);
    TZipListRecord r = TZipListRecord::FromBytes(List.GetHeader(Index));
    TZipCentralHeader& c = r.Central;
    bool enciphered = false;
    bool zip64 = false;
    TZipLocalHeader l = ReadOldLocal(e, c, enciphered, zip64);
    bool utf8 = false;
    std::string name = ArcName(List.Name(Index), utf8);
    if (name.size() > 0xFFFF) Fail(List.Name(Index), "", ecInvalidFileName);

    const std::int64_t tailStart = e.OldOffset + TZipLocalHeader::Size + l.NameLength;
    const std::int64_t data = r.CompressedSize;
    const std::int64_t tail =
        l.ExtraLength + data + DescriptorSize(r, tailStart + l.ExtraLength + data, zip64);

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

    r.LocalOffset = pos;
    r.ToBytes(List.GetHeader(Index));
    e.RawName = std::move(name);
    e.NewLength = TZipLocalHeader::Size + static_cast<std::int64_t>(e.RawName.size()) + tail;
}

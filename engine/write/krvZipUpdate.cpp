// Reading the entries of an existing zip archive and copying the kept ones into the new
// archive, unchanged or under a new name.
#include "engine/write/krvZip.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvMatchSpec.h"
#include "engine/core/krvZipDescriptor.h"
#include "engine/core/krvZipEntryName.h"
#include "engine/core/krvZipExtra.h"
#include "platform/CodePages.h"

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
        // A Zip64 end record stands between the directory and the end record.
        std::uint8_t after[4] = {};
        const bool zip64 =
            ReadAt(Input, dirPos + end.CentralSize, after, 4) == 4 && GetU32LE(after) == Zip64EndSig;
        if (zip64 || end.CentralOffset == Zip64Marker32 || end.CentralSize == Zip64Marker32)
            Fail(ArchiveFile(), "Zip64 archive", ecInvalidArchiveType);
        if (ZipCommentPos > 0 && end.CommentLength > 0) {
            const std::int64_t len = std::min<std::int64_t>(end.CommentLength, size - ZipCommentPos);
            FArchiveComment.resize(static_cast<std::size_t>(std::max<std::int64_t>(len, 0)));
            if (ReadAt(Input, ZipCommentPos, FArchiveComment.data(), len) != len) FArchiveComment.clear();
        }
        if (end.TotalEntries > 0) {
            if (!(HeaderState & htCentral)) Fail(ArchiveFile(), "", ecHeaderNotFound);
            ReadCentralEntries(Input, List, dirPos, end.TotalEntries);
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

void TZip::ReadCentralEntries(TStream32& Input, TCompHeaderObj& List, std::int64_t DirPos, int Total) {
    const TZipEndRecord end = TZipEndRecord::FromBytes(EndRecord.data());
    const std::int64_t size = Input.Size();
    const std::int64_t dirBytes = std::min<std::int64_t>(end.CentralSize, size - DirPos);
    std::vector<std::uint8_t> dir(static_cast<std::size_t>(std::max<std::int64_t>(dirBytes, 0)));
    if (ReadAt(Input, DirPos, dir.data(), dirBytes) != dirBytes) Fail(ArchiveFile(), "", ecErrorReadingFile);

    std::size_t p = 0;
    int read = 0;
    while (read < Total && p + TZipCentralHeader::Size <= dir.size()) {
        std::array<std::uint8_t, TZipCentralHeader::Size> rec{};
        std::copy_n(dir.begin() + static_cast<std::ptrdiff_t>(p), rec.size(), rec.begin());
        bool enciphered = false;
        if (ZipHeaderKind(GetU32LE(rec.data()), zkCentral, enciphered) != zkCentral) break;
        if (enciphered) DecryptZipHeader(rec, zkCentral);
        TZipCentralHeader c = TZipCentralHeader::FromBytes(rec.data());
        const std::size_t n = c.NameLength, m = c.ExtraLength, k = c.CommentLength;
        const std::size_t next = p + TZipCentralHeader::Size + n + m + k;
        if (next > dir.size()) break;
        const auto* at = dir.data() + p + TZipCentralHeader::Size;
        std::string name(reinterpret_cast<const char*>(at), n);
        if (enciphered) DecryptHeaderBuf(name.data(), static_cast<std::int64_t>(n));
        if (c.CompressedSize == Zip64Marker32 || c.UncompressedSize == Zip64Marker32 ||
            c.LocalHeaderOffset == Zip64Marker32 || c.DiskNumberStart == Zip64Marker16)
            Fail(ArchiveFile(), "Zip64 entry", ecInvalidArchiveType);
        if (c.DiskNumberStart != 0) Fail(ArchiveFile(), "spanned archive", ecInvalidArchiveType);
        TCompEntry data;
        data.OldOffset = static_cast<std::int64_t>(c.LocalHeaderOffset) + ZipOffsetCorrection;
        data.Enciphered = enciphered;
        data.Extra.assign(at + n, at + n + m);
        data.Comment.assign(at + n + m, at + n + m + k);
        AddOldEntry(List, c, std::move(name), true, std::span<const std::uint8_t>(at + n, m),
                    std::move(data));
        p = next;
        ++read;
    }
    // Entries the directory counts but that cannot be read would be lost: refuse instead.
    if (read < Total) Fail(ArchiveFile(), "", ecHeaderNotFound);
}

void TZip::ReadLocalEntries(TStream32& Input, TCompHeaderObj& List) {
    const std::int64_t size = Input.Size();
    std::int64_t pos = 0;
    int read = 0;
    for (;;) {
        std::array<std::uint8_t, TZipLocalHeader::Size> rec{};
        if (ReadAt(Input, pos, rec.data(), TZipLocalHeader::Size) != TZipLocalHeader::Size) break;
        bool enciphered = false;
        if (ZipHeaderKind(GetU32LE(rec.data()), zkLocal, enciphered) != zkLocal) break;
        if (enciphered) DecryptZipHeader(rec, zkLocal);
        const TZipLocalHeader l = TZipLocalHeader::FromBytes(rec.data());
        std::string name(l.NameLength, '\0');
        if (ReadAt(Input, pos + TZipLocalHeader::Size, name.data(), l.NameLength) != l.NameLength)
            Fail(ArchiveFile(), "", ecHeaderNotFound);
        if (enciphered) DecryptHeaderBuf(name.data(), l.NameLength);
        // The extra field may hold the entry's unicode name.
        std::vector<std::uint8_t> extra(l.ExtraLength);
        if (ReadAt(Input, pos + TZipLocalHeader::Size + l.NameLength, extra.data(), l.ExtraLength) !=
            l.ExtraLength)
            Fail(ArchiveFile(), name, ecHeaderNotFound);
        // Without a directory the size of data followed by a descriptor cannot be known.
        if ((l.Flags & zfDescriptor) && l.CompressedSize == 0) Fail(ArchiveFile(), name, ecHeaderNotFound);
        if (l.CompressedSize == Zip64Marker32 || l.UncompressedSize == Zip64Marker32)
            Fail(ArchiveFile(), "Zip64 entry", ecInvalidArchiveType);
        const std::int64_t next = pos + TZipLocalHeader::Size + l.NameLength + l.ExtraLength +
                                  static_cast<std::int64_t>(l.CompressedSize);
        if (next > size) Fail(ArchiveFile(), name, ecHeaderNotFound);
        if (++read > MaxFormatEntries) Fail(ArchiveFile(), "more than 65535 entries", ecMaxFileSizeExceeded);

        TZipCentralHeader c = CentralFromLocal(l);
        c.LocalHeaderOffset = static_cast<std::uint32_t>(pos);
        TCompEntry data;
        data.OldOffset = pos;
        data.Enciphered = enciphered;
        KeepNameReading(c, data, name, extra);
        AddOldEntry(List, c, std::move(name), false, extra, std::move(data));
        pos = next;
    }
    // A file that holds no zip entry at all is not overwritten as if it were an empty archive.
    if (read == 0 && size > 0) Fail(ArchiveFile(), "", ecInvalidArchiveType);
    FDirPos = pos;
}

void TZip::AddOldEntry(TCompHeaderObj& List, TZipCentralHeader Central, std::string RawName, bool HostKnown,
                       std::span<const std::uint8_t> Extra, TCompEntry Data) {
    // The entry is known by the name the reader and the lister show for it, so that a file of
    // that name replaces it.
    const std::string name =
        ZipNameToLocal(RawName, Central.Flags, static_cast<std::uint8_t>(Central.VersionMadeBy >> 8),
                       HostKnown, TranslateOemChar, Extra);
    std::uint16_t kind = hkKeep;
    if (Switch == swDelete && MatchFileSpec(name, FileSpec, ExcludeSpec)) kind = hkDrop;
    Data.RawName = std::move(RawName);
    Data.IsDir = !name.empty() && name.back() == '/';
    Central.Signature = ZipCentralSig;
    const auto image = Central.Image();
    AddEntryRecord(List, image.data(), name, kind, std::move(Data));
}

void TZip::KeepNameReading(TZipCentralHeader& Central, TCompEntry& Data, const std::string& RawName,
                           std::span<const std::uint8_t> Extra) {
    bool utf8 = false;
    ZipStoredName(RawName, Central.Flags, Extra, utf8);
    if (utf8 && !(Central.Flags & zfUtf8)) {
        // The name is in a unicode path field: the record gets the field too.
        const std::span<const std::uint8_t> field = FindZipExtraField(Extra, ZipExtraUnicodePath);
        Data.Extra.resize(4);
        PutU16LE(Data.Extra.data(), ZipExtraUnicodePath);
        PutU16LE(Data.Extra.data() + 2, static_cast<std::uint16_t>(field.size()));
        Data.Extra.insert(Data.Extra.end(), field.begin(), field.end());
        return;
    }
    const bool ascii = std::all_of(RawName.begin(), RawName.end(),
                                   [](char Ch) { return static_cast<unsigned char>(Ch) < 0x80; });
    if (utf8 || ascii || !IsValidUtf8(RawName)) return;
    // UTF-8 bytes without the UTF-8 flag: names a Unix system stored as they are. A record made
    // on DOS would have readers take them as code page 437; a Unix record needs a file mode.
    const bool dir = RawName.back() == '/';
    constexpr std::uint32_t FileMode = 0100644, DirMode = 040755;
    Central.VersionMadeBy = static_cast<std::uint16_t>((3 << 8) | (Central.VersionMadeBy & 0xFF));
    Central.ExternalAttr = ((dir ? DirMode : FileMode) << 16) | (dir ? 0x10U : 0U);
}

TZipLocalHeader TZip::ReadOldLocal(const TCompEntry& Entry, bool& Enciphered) {
    std::array<std::uint8_t, TZipLocalHeader::Size> rec{};
    if (ReadAt(*FInput, Entry.OldOffset, rec.data(), TZipLocalHeader::Size) != TZipLocalHeader::Size)
        Fail(ArchiveFile(), "", ecHeaderNotFound);
    if (ZipHeaderKind(GetU32LE(rec.data()), zkLocal, Enciphered) != zkLocal)
        Fail(ArchiveFile(), "", ecBadFileHeader);
    if (Enciphered) DecryptZipHeader(rec, zkLocal);
    return TZipLocalHeader::FromBytes(rec.data());
}

std::int64_t TZip::DescriptorSize(const TZipCentralHeader& Central, std::int64_t DataEnd) {
    if (!(Central.Flags & zfDescriptor)) return 0;
    TZipDescriptorSearch search;
    search.ReadAt = [this](std::int64_t Pos, void* Buffer, std::int64_t Count) {
        return ReadAt(*FInput, Pos, Buffer, Count);
    };
    TZipDescriptorHit hit;
    if (!ZipDescriptorAt(search, DataEnd, Central.CompressedSize, &Central.Crc, hit)) return 0;
    return hit.Next - DataEnd;
}

void TZip::CopyKeptEntry(TCompHeaderObj& List, int Index) {
    TCompEntry& e = Entry(Index);
    TZipCentralHeader c = TZipCentralHeader::FromBytes(List.GetHeader(Index));
    bool enciphered = false;
    const TZipLocalHeader l = ReadOldLocal(e, enciphered);
    // The directory's sizes hold also when the local header left them to a data descriptor.
    const std::int64_t head = TZipLocalHeader::Size + l.NameLength + l.ExtraLength;
    const std::int64_t data = c.CompressedSize;
    const std::int64_t total = head + data + DescriptorSize(c, e.OldOffset + head + data);
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
    TZipLocalHeader l = ReadOldLocal(e, enciphered);
    bool utf8 = false;
    std::string name = ArcName(List.Name(Index), utf8);
    if (name.size() > 0xFFFF) Fail(List.Name(Index), "", ecInvalidFileName);

    const std::int64_t tailStart = e.OldOffset + TZipLocalHeader::Size + l.NameLength;
    const std::int64_t data = c.CompressedSize;
    const std::int64_t tail = l.ExtraLength + data + DescriptorSize(c, tailStart + l.ExtraLength + data);

    // The new name's length (and its UTF-8 mark) go into both records.
    const std::uint16_t utf8Flag = utf8 ? zfUtf8 : 0;
    l.NameLength = static_cast<std::uint16_t>(name.size());
    l.Flags = static_cast<std::uint16_t>((l.Flags & ~zfUtf8) | utf8Flag);
    c.NameLength = l.NameLength;
    c.Flags = static_cast<std::uint16_t>((c.Flags & ~zfUtf8) | utf8Flag);
    const int host = c.VersionMadeBy >> 8;
    if (utf8 && (host == 0 || host == 6))
        c.VersionMadeBy = static_cast<std::uint16_t>((11 << 8) | (c.VersionMadeBy & 0xFF));

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

// The zip writer's header images: the local header of each new entry and its directory
// record, and the limits of the format.
#include "engine/formats/zip/krvZip.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/zip/krvZipEntryName.h"
#include "engine/formats/zip/krvZipExtra.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <sys/stat.h>

TZip::TZip() {
    FSupportedMethods = {cmStore, cmDeflate};
    FCompressMethod = cmDeflate;
    FBuiltInExt = ".zip";
    FDefaultExt = FBuiltInExt;
    StoredDirNames = sdRelative;
    TZip::SetArcType(atZip);
}

void TZip::SetArcType(TArcType /*Value*/) {
    FArcType = atZip;
    ApplyDefaultExt();
}

bool TZip::Spanning() const {
    return DiskManager.IsRemovable();
}

std::string TZip::TemporaryArchiveName() {
    // An archive spanned over removable disks is built first in a scratch file of the
    // temporary folder, which the spanning step copies onto the disks.
    if (Spanning()) return AppendBackslash(TempDir());
    return ArchiveFile();
}

std::int64_t TZip::MaxArchiveSize() const {
    return INT64_MAX;
}

std::int64_t TZip::MaxEntryBytes() const {
    return Spanning() ? MaxFormatSize : INT64_MAX;
}

bool TZip::LocalNeedsZip64(std::int64_t Size) {
    // Stored blocks add 5 bytes to every 64 KiB: 1/4096 of the limit covers them and the
    // cipher header with room to spare.
    constexpr std::int64_t margin = MaxFormatSize / 4096;
    return Size >= MaxFormatSize - margin;
}

void TZip::CheckLimits(TCompHeaderObj& List) {
    if (!Spanning()) return;
    if (!OnInsertDisk) Fail(ArchiveFile(), "OnInsertDisk", ecRequiredEventNotAssigned);
    // A spanned set is written with 32-bit values only: whatever would need Zip64 records
    // there is refused before the first disk is asked for.
    int entries = 0;
    for (int i = 0; i < List.Count(); ++i) {
        if (List.Value(i) == hkDrop) continue;
        ++entries;
        const bool big = List.Value(i) == hkAdd ? LocalNeedsZip64(Entry(i).SourceSize)
                                                : TZipListRecord::FromBytes(List.GetHeader(i)).NeedsZip64();
        if (big)
            Fail(List.Value(i) == hkAdd ? Entry(i).SourcePath : List.Name(i),
                 "a spanned set holds no entry of 4 GiB or more", ecMaxFileSizeExceeded);
    }
    if (entries > MaxFormatEntries)
        Fail(ArchiveFile(), "a spanned set holds at most 65535 entries", ecMaxFileSizeExceeded);
}

bool TZip::AddFile(TCompHeaderObj& List, int Index) {
    if (CompressMethod() == cmStore) DeflateType = dtDeflateS;
    return TCompBase::AddFile(List, Index);
}

void TZip::InitHeader(TCompHeaderObj& List, int Index) {
    TCompFileInfo info;
    HeaderToInfo(List.GetHeader(Index), info);
    FLocal = TZipLocalHeader{};
    FLocal.Signature = ZipHeaderSignature(zkLocal, EncryptHeaders);
    FLocal.VersionNeeded = ZipVersion;
    FLocal.DosDateTime = ApplyDateAttribute(info.DosDate);
    FLocal.UncompressedSize = static_cast<std::uint32_t>(std::min<std::int64_t>(info.Size, MaxFormatSize));
    FLocal.Method = zmDeflated;
    FLocalZip64 = !Entry(Index).IsDir && LocalNeedsZip64(Entry(Index).SourceSize);
    if (FLocalZip64) FLocal.VersionNeeded = Zip64Version;
    FLocalUnpacked = 0;
    FLocalPacked = 0;
    bool utf8 = false;
    FLocalName = ArcName(List.Name(Index), utf8);
    if (FLocalName.size() > 0xFFFF) Fail(Entry(Index).SourcePath, "", ecInvalidFileName);
    FLocal.NameLength = static_cast<std::uint16_t>(FLocalName.size());
    if (utf8) FLocal.Flags |= zfUtf8;
}

void TZip::WriteLocalHeader(TStream32& Output) {
    // A Zip64 field holds both sizes (the header's own fields marked); it takes the same room
    // in the place holder as in the final header.
    std::vector<std::uint8_t> extra;
    if (FLocalZip64) {
        TZip64Values values;
        values.UncompressedSize = static_cast<std::uint64_t>(FLocalUnpacked);
        values.CompressedSize = static_cast<std::uint64_t>(FLocalPacked);
        extra = MakeZip64Field(values, true, true, false);
        FLocal.UncompressedSize = Zip64Marker32;
        FLocal.CompressedSize = Zip64Marker32;
    }
    FLocal.ExtraLength = static_cast<std::uint16_t>(extra.size());
    auto image = FLocal.Image();
    std::string name = FLocalName;
    if (EncryptHeaders) {
        EncryptZipHeader(image, zkLocal);
        EncryptHeaderBuf(name.data(), static_cast<std::int64_t>(name.size()));
    }
    Output.WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
    Output.WriteBuffer(name.data(), static_cast<std::int64_t>(name.size()));
    Output.WriteBuffer(extra.data(), static_cast<std::int64_t>(extra.size()));
}

void TZip::SetHeaderFields(std::int64_t UnpackedSize, std::int64_t PackedSize) {
    // A file that grew to 4 GiB after it was found has no room for the Zip64 field its
    // header would need.
    if (!FLocalZip64 && (TZipListRecord::Needs64(UnpackedSize) || TZipListRecord::Needs64(PackedSize)))
        Fail(FileName, "", ecMaxFileSizeExceeded);
    FLocalUnpacked = UnpackedSize;
    FLocalPacked = PackedSize;
    FLocal.Crc = UnpackedSize == 0 ? 0 : FEntryCrc;
    FLocal.NameLength = static_cast<std::uint16_t>(FLocalName.size());
    FLocal.CompressedSize = static_cast<std::uint32_t>(std::min<std::int64_t>(PackedSize, MaxFormatSize));
    FLocal.UncompressedSize = static_cast<std::uint32_t>(std::min<std::int64_t>(UnpackedSize, MaxFormatSize));
    FLocal.Method = FEntryMethod;
    std::uint16_t flags = FLocal.Flags & zfUtf8;
    if (FEntryEncrypted) flags |= zfEncrypted;
    if (FEntryMethod == zmDeflated) DeflateFlagBits(flags);
    FLocal.Flags = flags;
}

void TZip::StoreHeader(TCompHeaderObj& List, int Index) {
    TCompFileInfo info;
    HeaderToInfo(List.GetHeader(Index), info);
    TZipListRecord r;
    TZipCentralHeader& c = r.Central;
    c = ZipCentralFromLocal(FLocal);
    c.ExtraLength = 0;
    c.Signature = ZipHeaderSignature(zkCentral, EncryptHeaders);
    // Made on Unix: readers take the name's bytes as they are (UTF-8 when flagged) and the
    // file's type and permission bits from the high word of the external attributes.
    TCompEntry& e = Entry(Index);
    struct stat st {};
    const std::uint32_t mode = ::stat(e.SourcePath.c_str(), &st) == 0 ? st.st_mode : 0;
    c.VersionMadeBy = static_cast<std::uint16_t>((ZipHostUnix << 8) | c.VersionNeeded);
    c.InternalAttr = 1;
    c.ExternalAttr = ZipUnixExternalAttr(info.Attr, mode);
    r.UncompressedSize = FLocalUnpacked;
    r.CompressedSize = FLocalPacked;
    r.LocalOffset = FHeaderPos;
    r.ToBytes(List.GetHeader(Index));
    e.RawName = FLocalName;
    e.Enciphered = EncryptHeaders;
    e.Extra.clear();
    e.Comment.clear();
}

void TZip::InfoToHeader(std::uint8_t* Header, const TCompFileInfo& Info) {
    TZipListRecord r = TZipListRecord::FromBytes(Header);
    r.UncompressedSize = Info.Size;
    r.CompressedSize = Info.PackedSize;
    r.Central.DosDateTime = Info.DosDate;
    r.Central.ExternalAttr = Info.Attr;
    r.ToBytes(Header);
}

void TZip::HeaderToInfo(const std::uint8_t* Header, TCompFileInfo& Info) {
    const TZipListRecord r = TZipListRecord::FromBytes(Header);
    Info.Size = r.UncompressedSize;
    Info.PackedSize = r.CompressedSize;
    Info.DosDate = r.Central.DosDateTime;
    Info.Attr = r.Central.ExternalAttr & 0xFF;
}

void TZip::WriteEmptyEndRecord(TStream32& Output) {
    TZipEndRecord end;
    const auto image = end.Image();
    Output.WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
}

void TZip::DoFileEnd() {
    if (OnEnd) OnEnd(*this, FileName, FEntryUnpacked == 0 || FEntryCrc == FLocal.Crc);
}

// The zip writer's header images: the local header of each new entry and its directory
// record, and the limits of the format.
#include "engine/formats/zip/krvZip.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/zip/krvZipEntryName.h"
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

void TZip::CheckLimits(TCompHeaderObj& List) {
    if (Spanning() && !OnInsertDisk) Fail(ArchiveFile(), "OnInsertDisk", ecRequiredEventNotAssigned);
    int entries = 0;
    for (int i = 0; i < List.Count(); ++i) {
        if (List.Value(i) == hkDrop) continue;
        ++entries;
        if (List.Value(i) == hkAdd && Entry(i).SourceSize > MaxFormatSize)
            Fail(Entry(i).SourcePath, "", ecMaxFileSizeExceeded);
    }
    if (entries > MaxFormatEntries) Fail(ArchiveFile(), "more than 65535 entries", ecMaxFileSizeExceeded);
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
    FLocal.UncompressedSize = static_cast<std::uint32_t>(info.Size);
    FLocal.Method = zmDeflated;
    bool utf8 = false;
    FLocalName = ArcName(List.Name(Index), utf8);
    if (FLocalName.size() > 0xFFFF) Fail(Entry(Index).SourcePath, "", ecInvalidFileName);
    FLocal.NameLength = static_cast<std::uint16_t>(FLocalName.size());
    if (utf8) FLocal.Flags |= zfUtf8;
}

void TZip::WriteLocalHeader(TStream32& Output) {
    auto image = FLocal.Image();
    std::string name = FLocalName;
    if (EncryptHeaders) {
        EncryptZipHeader(image, zkLocal);
        EncryptHeaderBuf(name.data(), static_cast<std::int64_t>(name.size()));
    }
    Output.WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
    Output.WriteBuffer(name.data(), static_cast<std::int64_t>(name.size()));
}

void TZip::SetHeaderFields(std::int64_t UnpackedSize, std::int64_t PackedSize) {
    FLocal.Crc = UnpackedSize == 0 ? 0 : FEntryCrc;
    FLocal.ExtraLength = 0;
    FLocal.NameLength = static_cast<std::uint16_t>(FLocalName.size());
    FLocal.CompressedSize = static_cast<std::uint32_t>(PackedSize);
    FLocal.UncompressedSize = static_cast<std::uint32_t>(UnpackedSize);
    FLocal.Method = FEntryMethod;
    std::uint16_t flags = FLocal.Flags & zfUtf8;
    if (FEntryEncrypted) flags |= zfEncrypted;
    if (FEntryMethod == zmDeflated) DeflateFlagBits(flags);
    FLocal.Flags = flags;
}

void TZip::StoreHeader(TCompHeaderObj& List, int Index) {
    TCompFileInfo info;
    HeaderToInfo(List.GetHeader(Index), info);
    TZipCentralHeader c = ZipCentralFromLocal(FLocal);
    c.Signature = ZipHeaderSignature(zkCentral, EncryptHeaders);
    // Made on Unix: readers take the name's bytes as they are (UTF-8 when flagged) and the
    // file's type and permission bits from the high word of the external attributes.
    TCompEntry& e = Entry(Index);
    struct stat st {};
    const std::uint32_t mode = ::stat(e.SourcePath.c_str(), &st) == 0 ? st.st_mode : 0;
    c.VersionMadeBy = static_cast<std::uint16_t>((ZipHostUnix << 8) | ZipVersion);
    c.InternalAttr = 1;
    c.ExternalAttr = ZipUnixExternalAttr(info.Attr, mode);
    c.LocalHeaderOffset = static_cast<std::uint32_t>(FHeaderPos);
    c.ToBytes(List.GetHeader(Index));
    e.RawName = FLocalName;
    e.Enciphered = EncryptHeaders;
    e.Extra.clear();
    e.Comment.clear();
}

void TZip::InfoToHeader(std::uint8_t* Header, const TCompFileInfo& Info) {
    TZipCentralHeader c = TZipCentralHeader::FromBytes(Header);
    c.UncompressedSize = static_cast<std::uint32_t>(std::min<std::int64_t>(Info.Size, MaxFormatSize));
    c.CompressedSize = static_cast<std::uint32_t>(std::min<std::int64_t>(Info.PackedSize, MaxFormatSize));
    c.DosDateTime = Info.DosDate;
    c.ExternalAttr = Info.Attr;
    c.ToBytes(Header);
}

void TZip::HeaderToInfo(const std::uint8_t* Header, TCompFileInfo& Info) {
    const TZipCentralHeader c = TZipCentralHeader::FromBytes(Header);
    Info.Size = c.UncompressedSize;
    Info.PackedSize = c.CompressedSize;
    Info.DosDate = c.DosDateTime;
    Info.Attr = c.ExternalAttr & 0xFF;
}

void TZip::WriteEmptyEndRecord(TStream32& Output) {
    TZipEndRecord end;
    const auto image = end.Image();
    Output.WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
}

void TZip::DoFileEnd() {
    if (OnEnd) OnEnd(*this, FileName, FEntryUnpacked == 0 || FEntryCrc == FLocal.Crc);
}

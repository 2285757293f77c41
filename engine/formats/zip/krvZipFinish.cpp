// Completing a zip archive (the central directory and the end record, or spanning over
// removable disks), listing what was added, and the archive and file comments.
#include "engine/formats/zip/krvZip.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/zip/krvZipEntryName.h"
#include "engine/formats/zip/krvZipExtra.h"
#include "engine/formats/zip/krvZipSpan.h"
#include "platform/Drives.h"

#include <algorithm>
#include <sys/stat.h>
#include <vector>

std::string TZip::ArcName(const std::string& LocalName, bool& Utf8) const {
    const std::string name = LocalNameToArcName(LocalName);
    const std::size_t start = name.find_first_not_of('/');
    std::string stored = start == std::string::npos ? std::string() : name.substr(start);
    Utf8 = ZipNameMark(stored).Utf8Flag;
    return stored;
}

TZipCentralHeader TZip::DirectoryRecord(TCompHeaderObj& List, int Index, std::vector<std::uint8_t>& Extra) {
    const TZipListRecord r = TZipListRecord::FromBytes(List.GetHeader(Index));
    TZipCentralHeader c = r.Central;
    if (!r.NeedsZip64()) return c;
    // Only the values that do not fit are marked and given in the Zip64 field.
    const bool unc = TZipListRecord::Needs64(r.UncompressedSize);
    const bool comp = TZipListRecord::Needs64(r.CompressedSize);
    const bool offset = TZipListRecord::Needs64(r.LocalOffset);
    const TZip64Values values{static_cast<std::uint64_t>(r.UncompressedSize),
                              static_cast<std::uint64_t>(r.CompressedSize),
                              static_cast<std::uint64_t>(r.LocalOffset), 0};
    std::vector<std::uint8_t> field = MakeZip64Field(values, unc, comp, offset);
    field.insert(field.end(), Extra.begin(), Extra.end());
    if (field.size() > 0xFFFF) Fail(List.Name(Index), "", ecMaxFileSizeExceeded);
    Extra = std::move(field);
    c.VersionNeeded = std::max(c.VersionNeeded, Zip64Version);
    return c;
}

TZip::TCentralDirectory TZip::BuildCentralDirectory(TCompHeaderObj& List, std::vector<TCompEntry>& Entries) {
    TCentralDirectory dir;
    for (int i = 0; i < List.Count(); ++i) {
        if (List.Value(i) == hkDrop) continue;
        const TCompEntry& e = Entries.at(static_cast<std::size_t>(i));
        std::vector<std::uint8_t> extra = e.Extra;
        TZipCentralHeader c = DirectoryRecord(List, i, extra);
        c.Signature = ZipHeaderSignature(zkCentral, e.Enciphered);
        c.NameLength = static_cast<std::uint16_t>(e.RawName.size());
        c.ExtraLength = static_cast<std::uint16_t>(extra.size());
        c.CommentLength = static_cast<std::uint16_t>(e.Comment.size());
        auto image = c.Image();
        std::string name = e.RawName;
        if (e.Enciphered) {
            EncryptZipHeader(image, zkCentral);
            EncryptHeaderBuf(name.data(), static_cast<std::int64_t>(name.size()));
        }
        dir.RecordStarts.push_back(dir.Bytes.size());
        dir.Bytes.insert(dir.Bytes.end(), image.begin(), image.end());
        dir.Bytes.insert(dir.Bytes.end(), name.begin(), name.end());
        dir.Bytes.insert(dir.Bytes.end(), extra.begin(), extra.end());
        dir.Bytes.insert(dir.Bytes.end(), e.Comment.begin(), e.Comment.end());
        ++dir.Count;
    }
    return dir;
}

void TZip::WriteDirectory(TStream32& Output, TCompHeaderObj& List, std::vector<TCompEntry>& Entries,
                          std::int64_t OffsetBias) {
    const TCentralDirectory dir = BuildCentralDirectory(List, Entries);
    const std::int64_t offset = Output.Position();
    const auto size = static_cast<std::int64_t>(dir.Bytes.size());
    const std::int64_t stored = offset - OffsetBias;
    Output.WriteBuffer(dir.Bytes.data(), size);
    // More entries than the end record counts, or a directory it cannot place: the Zip64 end
    // record holds them, the locator points to it, and the end record's fields that cannot
    // hold their value are marked.
    const bool manyEntries = dir.Count > MaxFormatEntries;
    const bool bigSize = TZipListRecord::Needs64(size);
    const bool farOffset = TZipListRecord::Needs64(stored);
    if (manyEntries || bigSize || farOffset) {
        const std::int64_t recordPos = Output.Position();
        TZip64EndRecord record;
        record.RecordSize = TZip64EndRecord::Size - 12;
        record.VersionMadeBy = static_cast<std::uint16_t>((ZipHostUnix << 8) | Zip64Version);
        record.VersionNeeded = Zip64Version;
        record.EntriesOnDisk = static_cast<std::uint64_t>(dir.Count);
        record.TotalEntries = static_cast<std::uint64_t>(dir.Count);
        record.CentralSize = static_cast<std::uint64_t>(size);
        record.CentralOffset = static_cast<std::uint64_t>(stored);
        const auto recordImage = record.Image();
        Output.WriteBuffer(recordImage.data(), static_cast<std::int64_t>(recordImage.size()));
        TZip64Locator locator;
        locator.EndRecordOffset = static_cast<std::uint64_t>(recordPos - OffsetBias);
        locator.TotalDisks = 1;
        const auto locatorImage = locator.Image();
        Output.WriteBuffer(locatorImage.data(), static_cast<std::int64_t>(locatorImage.size()));
    }
    TZipEndRecord end;
    end.EntriesOnDisk = static_cast<std::uint16_t>(manyEntries ? Zip64Marker16 : dir.Count);
    end.TotalEntries = end.EntriesOnDisk;
    end.CentralSize = bigSize ? Zip64Marker32 : static_cast<std::uint32_t>(size);
    end.CentralOffset = farOffset ? Zip64Marker32 : static_cast<std::uint32_t>(stored);
    end.CommentLength = static_cast<std::uint16_t>(std::min<std::size_t>(FArchiveComment.size(), 0xFFFF));
    const auto image = end.Image();
    Output.WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
    Output.WriteBuffer(FArchiveComment.data(), end.CommentLength);
}

bool TZip::FinishArchive(TStream32& Output, TCompHeaderObj& List) {
    if (List.Count() == 0) return true;
    bool anyKept = false;
    for (int i = 0; i < List.Count() && !anyKept; ++i)
        anyKept = List.Value(i) != hkDrop;
    const std::int64_t entriesEnd = Output.Size();
    // The empty end record of a delete of every entry is already there.
    if (Switch != swDelete || anyKept) WriteDirectory(Output, List, FEntries, 0);
    if (!Spanning()) return true;

    // On a removable drive the archive was built in the temporary folder. One that fits on the
    // medium is put there as on a fixed disk (beside the old archive, then renamed over it);
    // only one that does not is spanned over further disks.
    FOutputPlaced = true;
    if (!anyKept || FitsOnDrive(Output.Size())) {
        PlaceFromScratch(Output);
        // Labelled as the first disk of a set, as a spanned one would be. The archive is in
        // place by now: a label the medium does not take is a warning, never the run's failure.
        TDrives& drives = TDrives::Current();
        TVolumeInfo info;
        const std::string folder = FolderOf(ArchiveFile());
        const std::string root = drives.RootOf(folder).empty() ? folder : drives.RootOf(folder);
        TDiskSpanObj::LabelDisk(*this, root, drives.GetVolumeInfo(folder, info) ? info.Label : std::string(),
                                1);
        return true;
    }
    Output.SetSize(entriesEnd);
    TDiskSpanObj span(*this, Output, List);
    if (span.Run()) return true;
    List.Clear();
    FEntries.clear();
    return false;
}

bool TZip::FitsOnDrive(std::int64_t Size) {
    std::uint64_t freeBytes = 0, totalBytes = 0;
    if (!TDrives::Current().GetDiskSpace(FolderOf(ArchiveFile()), freeBytes, totalBytes)) return false;
    const auto leave = static_cast<std::uint64_t>(std::max(LeaveSpaceOnFirstDisk, 0));
    return static_cast<std::uint64_t>(Size) + leave <= freeBytes;
}

void TZip::PlaceFromScratch(TStream32& Scratch) {
    std::unique_ptr<TTempFileStream> out = CreateTempStream(ArchiveFile());
    if (out->Status() != fsOpenOk) Fail(ArchiveFile(), "", ecErrorOpeningFile);
    const std::int64_t size = Scratch.Size();
    Scratch.Seek(0, soBeginning);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::int64_t>(size, CopyChunk)) + 1);
    for (std::int64_t left = size; left > 0;) {
        CheckCancel();
        const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(buffer.size()));
        Scratch.ReadBuffer(buffer.data(), n);
        out->WriteBuffer(buffer.data(), n);
        left -= n;
        EngineHost::PumpIfDue();
    }
    out->Commit();
}

void TZip::ListEntries(TCompHeaderObj& List) {
    if (Switch == swDelete) return;
    for (int i = 0; i < List.Count(); ++i) {
        if (List.Value(i) != hkAdd || Entry(i).OldOffset >= 0) continue;
        const TZipListRecord r = TZipListRecord::FromBytes(List.GetHeader(i));
        const TZipCentralHeader& c = r.Central;
        FileName = List.Name(i);
        VersionMadeBy = c.VersionMadeBy;
        VersionNeeded = c.VersionNeeded;
        Encrypted = (c.Flags & zfEncrypted) != 0;
        PackedSize = r.CompressedSize;
        if (Encrypted && PackedSize >= static_cast<std::int64_t>(CryptHeaderSize))
            PackedSize -= static_cast<std::int64_t>(CryptHeaderSize);
        UnpackedSize = r.UncompressedSize;
        CRC = c.Crc;
        MethodName = CompressMethodName(ArcType(), c.Method, c.Flags, Entry(i).IsDir);
        Method = c.Method;
        ExternalAttr = c.ExternalAttr;
        InternalAttr = c.InternalAttr;
        Ratio = static_cast<std::uint8_t>(CompressRatio64(UnpackedSize, PackedSize));
        FileDate = c.DosDateTime > 0 ? DosDateToDateTime(c.DosDateTime) : 0;
        if (!OnRead) break;
        OnRead(*this, r.LocalOffset, i);
    }
}

// ---- comments --------------------------------------------------------------------------------

int TZip::OpenComments() {
    FCommentList.Clear();
    FCommentEntries.clear();
    FCommentsChanged = false;
    if (ArchiveFile().empty() || !ZipFamilyArcTypes.Contains(ArcType())) return 0;
    std::uint8_t status = fsOpenOk;
    TFileStream32 input(ArchiveFile(), fmOpenRead | fmShareDenyNone, status);
    if (status != fsOpenOk) {
        ReportError(ArchiveFile(), "", "0", ecErrorOpeningFile);
        return 0;
    }
    const TSwitch saved = Switch;
    Switch = swAdd;
    FCommentList.Init(TZipListRecord::Size);
    FEntries.clear();
    FNameIndex.clear();
    FInput = &input;
    try {
        if (input.Size() > 0) ReadHeaders(input, FCommentList);
    } catch (...) {
        Switch = saved;
        FInput = nullptr;
        FCommentList.Clear();
        FEntries.clear();
        throw;
    }
    Switch = saved;
    FInput = nullptr;
    FCommentEntries = std::move(FEntries);
    FEntries.clear();
    FCommentDirPos = FDirPos;
    FCommentCorrection = ZipOffsetCorrection;
    return FCommentList.Count();
}

void TZip::SetArchiveComment(const void* Buffer, std::size_t Len) {
    const auto* p = static_cast<const std::uint8_t*>(Buffer);
    std::vector<std::uint8_t> comment(p, p + std::min<std::size_t>(Len, 0xFFFF));
    if (comment == FArchiveComment) return;
    FArchiveComment = std::move(comment);
    FCommentsChanged = true;
}

bool TZip::GetFileComment(int Index, std::string& Name, std::vector<std::uint8_t>& Comment) {
    Name.clear();
    Comment.clear();
    if (Index < 0 || Index >= FCommentList.Count()) return false;
    Name = FCommentList.Name(Index);
    Comment = FCommentEntries[static_cast<std::size_t>(Index)].Comment;
    return true;
}

void TZip::SetFileComment(int Index, const void* Buffer, std::size_t Len) {
    if (Index < 0 || Index >= FCommentList.Count()) return;
    const auto* p = static_cast<const std::uint8_t*>(Buffer);
    std::vector<std::uint8_t> comment(p, p + std::min<std::size_t>(Len, 0xFFFF));
    TCompEntry& e = FCommentEntries[static_cast<std::size_t>(Index)];
    if (comment == e.Comment) return;
    e.Comment = std::move(comment);
    FCommentsChanged = true;
}

bool TZip::SaveComments() {
    if (!FCommentsChanged) return false;
    if (!CheckArchiveWriteable(ArchiveFile())) {
        // A folder was reported by the check; a read-only archive the owner kept is reported here.
        struct stat st {};
        if (!Cancel() && ::stat(ArchiveFile().c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            ReportError(ArchiveFile(), "", "0", ecFileIsReadOnly);
        return false;
    }
    std::uint8_t status = fsOpenOk;
    TFileStream32 input(ArchiveFile(), fmOpenRead | fmShareDenyWrite, status);
    if (status != fsOpenOk) {
        ReportError(ArchiveFile(), "", "0", ecErrorOpeningFile);
        return false;
    }
    const std::unique_ptr<TTempFileStream> output = CreateTempStream(ArchiveFile());
    if (output->Status() != fsOpenOk) {
        ReportError(ArchiveFile(), "", "0", ecErrorOpeningFile);
        return false;
    }
    try {
        // The entries stay where they are; only the directory and the end record are new.
        FInput = &input;
        FInputSize = input.Size();
        FOutput = output.get();
        CopyInput(0, FCommentDirPos);
        WriteDirectory(*output, FCommentList, FCommentEntries, FCommentCorrection);
        FInput = nullptr;
        FOutput = nullptr;
        output->Commit();
    } catch (const EWriteError& e) {
        FInput = nullptr;
        FOutput = nullptr;
        ReportError(ArchiveFile(), "", "0", e.Code() == ecDiskFull ? ecDiskFull : ecErrorWritingToFile);
        return false;
    } catch (const E_RAISE&) {
        FInput = nullptr;
        FOutput = nullptr;
        throw;
    } catch (const std::exception& e) {
        // Anything else (memory, the file system) is a failed write too, and said so.
        FInput = nullptr;
        FOutput = nullptr;
        ReportError(ArchiveFile(), e.what(), "0", ecErrorWritingToFile);
        return false;
    }
    FCommentsChanged = false;
    return true;
}

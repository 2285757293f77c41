// The lha writer's new entries: the header of each file or folder, the data encoded with
// -lh5-/-lh6- or stored, and the header written again with the final values.
#include "engine/formats/lha/krvLha.h"

#include "engine/codec/krvLzh5.h"
#include "engine/core/EngineHost.h"
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvDates.h"
#include "engine/core/krvGbls.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr std::int64_t ReadBlock = 256 * 1024;

} // namespace

TLha::TLha() {
    FSupportedMethods = {cmStore, cmFrozen5, cmFrozen6};
    FCompressMethod = cmFrozen6;
    FBuiltInExt = ".lha";
    FDefaultExt = FBuiltInExt;
    StoredDirNames = sdRelative;
    TLha::SetArcType(atLha);
}

void TLha::SetArcType(TArcType /*Value*/) {
    FArcType = atLha;
    ApplyDefaultExt();
}

TLha::TRecord TLha::TRecord::FromBytes(const std::uint8_t* P) {
    TRecord r;
    r.Packed = GetU32LE(P);
    r.Unpacked = GetU32LE(P + 4);
    r.DosTime = GetU32LE(P + 8);
    r.Attr = P[12];
    r.Crc = GetU16LE(P + 13);
    r.Method = static_cast<char>(P[15]);
    r.Level = P[16];
    return r;
}

void TLha::TRecord::ToBytes(std::uint8_t* P) const {
    std::memset(P, 0, RecordSize);
    PutU32LE(P, static_cast<std::uint32_t>(Packed));
    PutU32LE(P + 4, static_cast<std::uint32_t>(Unpacked));
    PutU32LE(P + 8, DosTime);
    P[12] = Attr;
    PutU16LE(P + 13, Crc);
    P[15] = static_cast<std::uint8_t>(Method);
    P[16] = Level;
}

void TLha::InfoToHeader(std::uint8_t* Header, const TCompFileInfo& Info) {
    TRecord r = TRecord::FromBytes(Header);
    r.Unpacked = std::min<std::int64_t>(Info.Size, MaxFormatSize);
    r.Packed = std::min<std::int64_t>(Info.PackedSize, MaxFormatSize);
    r.DosTime = Info.DosDate;
    r.Attr = static_cast<std::uint8_t>(Info.Attr);
    r.ToBytes(Header);
}

void TLha::HeaderToInfo(const std::uint8_t* Header, TCompFileInfo& Info) {
    const TRecord r = TRecord::FromBytes(Header);
    Info.Size = r.Unpacked;
    Info.PackedSize = r.Packed;
    Info.DosDate = r.DosTime;
    Info.Attr = r.Attr;
}

void TLha::CheckLimits(TCompHeaderObj& List) {
    for (int i = 0; i < List.Count(); ++i)
        if (List.Value(i) == hkAdd && Entry(i).SourceSize > MaxFormatSize)
            Fail(Entry(i).SourcePath, "", ecMaxFileSizeExceeded);
}

void TLha::InitHeader(TCompHeaderObj& List, int Index) {
    TCompFileInfo info;
    HeaderToInfo(List.GetHeader(Index), info);
    const TCompEntry& e = Entry(Index);
    FHeader = TLhaHeader{};
    FHeader.Name = LocalNameToArcName(List.Name(Index));
    if (e.IsDir && !FHeader.Name.empty() && FHeader.Name.back() != '/') FHeader.Name += '/';
    // Level 2 holds what the file is on Unix: its mode and its time to the second.
    FHeader.Level = 2;
    if (FHeader.Name.size() > 0xFF00) Fail(e.SourcePath, "", ecInvalidFileName);
    FDosTime = ApplyDateAttribute(info.DosDate);
    FHeader.Time = static_cast<std::uint32_t>(DosTimeToFileTime(FDosTime));
    struct stat st {};
    if (::stat(e.SourcePath.c_str(), &st) == 0) {
        FHeader.Mode = static_cast<std::uint16_t>((e.IsDir ? S_IFDIR : S_IFREG) | (st.st_mode & 07777));
        if (DateAttribute == daFileDate && st.st_mtime >= 0 && st.st_mtime <= 0xFFFFFFFF)
            FHeader.Time = static_cast<std::uint32_t>(st.st_mtime);
    }
    FHeader.Attr = static_cast<std::uint8_t>(e.IsDir ? faDirectory : (info.Attr & ~faDirectory & 0x3F));
    FHeader.Method = e.IsDir ? "-lhd-" : "-lh0-";
    FHeader.UnpackedSize = e.IsDir ? 0 : info.Size;
}

void TLha::WriteLocalHeader(TStream32& Output) {
    const std::vector<std::uint8_t> bytes = LhaHeaderBytes(FHeader);
    Output.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

bool TLha::CompressFile(TStream32& Input, TCompHeaderObj& List, int Index) {
    TCompEntry& e = Entry(Index);
    BeginEntry();
    FCrc16 = 0;
    if (e.IsDir) return AddFolderEntry(List, Index);

    const std::int64_t size = Input.Size();
    if (size > MaxFormatSize) Fail(e.SourcePath, "", ecMaxFileSizeExceeded);
    CurrentFileSize = size;
    char method = '0';
    if (size > 0 && !IsStoredType(List.Name(Index))) {
        if (CompressMethod() == cmFrozen5) method = '5';
        if (CompressMethod() == cmFrozen6) method = '6';
    }
    FHeader.Method = std::string("-lh") + method + '-';
    FHeader.UnpackedSize = size;
    WriteLocalHeader(*FOutput); // a place holder, written again with the final values
    const std::int64_t dataStart = FOutput->Position();
    if (method != '0' && !EncodeFile(Input, size)) {
        // Not smaller: the file is stored instead.
        FOutput->SetSize(dataStart);
        SeekOrFail(*FOutput, dataStart, ArchiveFile());
        SeekOrFail(Input, 0, e.SourcePath);
        BytesToDo += static_cast<double>(FEntryUnpacked);
        method = '0';
        FHeader.Method = "-lh0-";
    }
    if (method == '0' && !StoreData(Input, size, e.SourcePath)) return false;
    CompleteEntry(List, Index, dataStart);
    return true;
}

bool TLha::EncodeFile(TStream32& Input, std::int64_t Size) {
    std::uint16_t crc = 0;
    std::int64_t done = 0;
    const TLzhSource source = [&](std::uint8_t* Buffer, std::int64_t Count) {
        const std::int64_t n = Input.Read(Buffer, std::min(Count, ReadBlock));
        if (n <= 0) return std::int64_t{0};
        UpdateCrc16Buf(Buffer, n, crc);
        done += n;
        BytesToDo -= static_cast<double>(n);
        if (OnProgress) DoProgress(done, Size, JobTotal);
        EngineHost::PumpIfDue();
        return n;
    };
    const TLzhSink sink = [this](const std::uint8_t* Buffer, std::int64_t Count) {
        FOutput->WriteBuffer(Buffer, Count);
    };
    const TLzhEncodeParams params = FHeader.Method[3] == '5' ? LzhEncodeLh5 : LzhEncodeLh6;
    const TLzhEncodeResult r = LzhEncode(source, sink, params, CancelPtr);
    FEntryUnpacked = done;
    CheckCancel();
    if (r.StoreInstead || r.Written >= Size || done != Size) return false;
    FCrc16 = crc;
    return true;
}

bool TLha::StoreData(TStream32& Input, std::int64_t Size, const std::string& SourcePath) {
    TJobRecord record;
    record.BytesToDo = &BytesToDo;
    TStoreStream store(*FOutput, StreamProgressEvent(), CancelPtr, record, 16);
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min(std::max<std::int64_t>(Size, 1), ReadBlock)));
    std::int64_t total = 0;
    for (std::int64_t n; (n = Input.Read(buffer.data(), static_cast<std::int64_t>(buffer.size()))) > 0;) {
        CheckCancel();
        store.WriteBuffer(buffer.data(), n);
        total += n;
        if (total > Size) break;
    }
    CheckCancel();
    FEntryUnpacked = total;
    FCrc16 = static_cast<std::uint16_t>(store.Crc());
    if (total != Size) {
        // The file shrank or grew while it was read: its header would not fit its data.
        ReportError(SourcePath, "", "0", ecErrorReadingFile);
        return false;
    }
    return true;
}

void TLha::SetHeaderFields(std::int64_t UnpackedSize, std::int64_t PackedSize) {
    FHeader.UnpackedSize = UnpackedSize;
    FHeader.PackedSize = PackedSize;
    FHeader.Crc = UnpackedSize == 0 ? 0 : FCrc16;
    FEntryCrc = FCrc16;
}

void TLha::StoreHeader(TCompHeaderObj& List, int Index) {
    TRecord r;
    r.Packed = FHeader.PackedSize;
    r.Unpacked = FHeader.UnpackedSize;
    r.DosTime = FDosTime;
    r.Attr = FHeader.Attr;
    r.Crc = FHeader.Crc;
    r.Method = FHeader.Method[3];
    r.Level = static_cast<std::uint8_t>(FHeader.Level);
    r.ToBytes(List.GetHeader(Index));
    Entry(Index).RawName = FHeader.Name;
}

void TLha::DoFileEnd() {
    if (OnEnd) OnEnd(*this, FileName, FHeader.Crc == (FHeader.UnpackedSize == 0 ? 0 : FCrc16));
}

bool TLha::FinishArchive(TStream32& Output, TCompHeaderObj& /*List*/) {
    const std::uint8_t end = 0;
    Output.WriteBuffer(&end, 1);
    return true;
}

void TLha::ListEntries(TCompHeaderObj& List) {
    if (Switch == swDelete) return;
    for (int i = 0; i < List.Count(); ++i) {
        if (List.Value(i) != hkAdd || Entry(i).OldOffset >= 0) continue;
        const TRecord r = TRecord::FromBytes(List.GetHeader(i));
        FileName = List.Name(i);
        VersionMadeBy = 350;
        Encrypted = false;
        PackedSize = r.Packed;
        UnpackedSize = r.Unpacked;
        CRC = r.Crc;
        Method = static_cast<std::uint8_t>(r.Method);
        MethodName = CompressMethodName(ArcType(), Method, 0, Entry(i).IsDir);
        ExternalAttr = r.Attr;
        Ratio = static_cast<std::uint8_t>(CompressRatio64(UnpackedSize, PackedSize));
        FileDate = r.DosTime > 0 ? DosDateToDateTime(r.DosTime) : 0;
        if (!OnRead) break;
        OnRead(*this, 0, i);
    }
}

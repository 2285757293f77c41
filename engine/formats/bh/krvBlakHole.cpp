// The bh writer's new entries: the 37-byte header and name, the data deflated or stored by
// the writer base or LZH-encoded here, enciphered under a password.
#include "engine/formats/bh/krvBlakHole.h"

#include "engine/codec/krvLzh5.h"
#include "engine/core/EngineHost.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvGbls.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::int64_t ReadBlock = 256 * 1024;
// The largest file whose packed size, with the cipher header, fits the 32-bit field.
constexpr std::int64_t MaxEntrySize = TCompBase::MaxFormatSize - static_cast<std::int64_t>(CryptHeaderSize);

} // namespace

TBlakHole::TBlakHole() {
    FSupportedMethods = {cmDeflate, cmFuse};
    FCompressMethod = cmDeflate;
    FBuiltInExt = ".bh";
    FDefaultExt = FBuiltInExt;
    StoredDirNames = sdRelative;
    TBlakHole::SetArcType(atBh);
}

void TBlakHole::SetArcType(TArcType /*Value*/) {
    FArcType = atBh;
    ApplyDefaultExt();
}

void TBlakHole::InfoToHeader(std::uint8_t* Header, const TCompFileInfo& Info) {
    TBhImage h = TBhImage::FromBytes(Header);
    h.UnpackedSize = static_cast<std::uint32_t>(std::min<std::int64_t>(Info.Size, MaxFormatSize));
    h.PackedSize = static_cast<std::uint32_t>(std::min<std::int64_t>(Info.PackedSize, MaxFormatSize));
    h.DosDateTime = Info.DosDate;
    h.Attr = static_cast<std::uint16_t>(Info.Attr);
    h.ToBytes(Header);
}

void TBlakHole::HeaderToInfo(const std::uint8_t* Header, TCompFileInfo& Info) {
    const TBhImage h = TBhImage::FromBytes(Header);
    Info.Size = h.UnpackedSize;
    Info.PackedSize = h.PackedSize;
    Info.DosDate = h.DosDateTime;
    Info.Attr = h.Attr & 0xFF;
}

void TBlakHole::CheckLimits(TCompHeaderObj& List) {
    for (int i = 0; i < List.Count(); ++i)
        if (List.Value(i) == hkAdd && Entry(i).SourceSize > MaxEntrySize)
            Fail(Entry(i).SourcePath, "", ecMaxFileSizeExceeded);
}

void TBlakHole::InitHeader(TCompHeaderObj& List, int Index) {
    TCompFileInfo info;
    HeaderToInfo(List.GetHeader(Index), info);
    const TCompEntry& e = Entry(Index);
    FName = BhStoredName(List.Name(Index));
    // The total length field holds the header, the name and the extra field.
    if (FName.size() > 0xFFFF - TBhImage::Size) Fail(e.SourcePath, "", ecInvalidFileName);
    FHeader = TBhImage{};
    FHeader.DosDateTime = ApplyDateAttribute(info.DosDate);
    FHeader.Attr = static_cast<std::uint16_t>(e.IsDir ? faDirectory : (info.Attr & ~faDirectory & 0x3F));
    FHeader.UnpackedSize = static_cast<std::uint32_t>(e.IsDir ? 0 : info.Size);
    FHeader.Method = BhDeflate;
    FHeader.NameLength = static_cast<std::uint16_t>(FName.size());
    FHeader.TotalLength = static_cast<std::uint16_t>(TBhImage::Size + FName.size());
}

void TBlakHole::WriteLocalHeader(TStream32& Output) {
    const auto image = FHeader.Image();
    Output.WriteBuffer(image.data(), TBhImage::Size);
    Output.WriteBuffer(FName.data(), static_cast<std::int64_t>(FName.size()));
}

void TBlakHole::SetHeaderFields(std::int64_t UnpackedSize, std::int64_t PackedSize) {
    FHeader.Crc = UnpackedSize == 0 ? 0 : FEntryCrc;
    FHeader.NameLength = static_cast<std::uint16_t>(FName.size());
    FHeader.ExtraLength = 0;
    FHeader.TotalLength = static_cast<std::uint16_t>(TBhImage::Size + FName.size());
    FHeader.UnpackedSize = static_cast<std::uint32_t>(UnpackedSize);
    FHeader.PackedSize = static_cast<std::uint32_t>(PackedSize);
    FHeader.Method = static_cast<std::uint8_t>(FEntryMethod);
    std::uint16_t flags = FEntryEncrypted ? BhEnciphered : 0;
    if (FEntryMethod == BhDeflate || (FEntryMethod == BhLzh15 && FEntryEncrypted)) DeflateFlagBits(flags);
    FHeader.Flags = static_cast<std::uint8_t>(flags);
}

bool TBlakHole::CompressFile(TStream32& Input, TCompHeaderObj& List, int Index) {
    TCompEntry& e = Entry(Index);
    if (CompressMethod() != cmFuse || e.IsDir) return TCompBase::CompressFile(Input, List, Index);
    BeginEntry();
    const std::int64_t size = Input.Size();
    if (size > MaxEntrySize) Fail(e.SourcePath, "", ecMaxFileSizeExceeded);
    CurrentFileSize = size;
    WriteLocalHeader(*FOutput); // a place holder, written again with the final values
    const std::int64_t dataStart = FOutput->Position();
    if (size > 0 && !IsStoredType(List.Name(Index)) && EncodeFile(Input, size)) {
        FEntryMethod = BhLzh15;
    } else {
        // Stored: from the start again, the cipher header (and the keys) made anew.
        FOutput->SetSize(dataStart);
        SeekOrFail(*FOutput, dataStart, ArchiveFile());
        SeekOrFail(Input, 0, e.SourcePath);
        BytesToDo += static_cast<double>(FEntryUnpacked);
        FEntryMethod = BhStored;
        FEntryDeflated = false;
        FEntryEncrypted = false;
        if (!WriteFileData(Input, size, e.SourcePath)) return false;
    }
    CompleteEntry(List, Index, dataStart);
    return true;
}

bool TBlakHole::EncodeFile(TStream32& Input, std::int64_t Size) {
    std::uint32_t firstCrc = 0;
    FEntryEncrypted = !Password.empty();
    if (FEntryEncrypted) {
        // The cipher header carries the CRC, so the data are checksummed first.
        TJobRecord record;
        TCalcStreamCRC calc(Input, StreamProgressEvent(), CancelPtr, 0, record, 32);
        CheckCancel();
        firstCrc = calc.Crc() ^ 0xFFFFFFFFU;
        SeekOrFail(Input, 0, FileName);
        WriteCipherHeader(firstCrc);
    }
    std::uint32_t crc = 0xFFFFFFFFU;
    std::int64_t done = 0;
    std::vector<std::uint8_t> packed;
    const TLzhSource source = [&](std::uint8_t* Buffer, std::int64_t Count) {
        const std::int64_t n = Input.Read(Buffer, std::min(Count, ReadBlock));
        if (n <= 0) return std::int64_t{0};
        UpdateCrc32Buf(Buffer, n, crc);
        done += n;
        BytesToDo -= static_cast<double>(n);
        if (OnProgress) DoProgress(done, Size, JobTotal);
        EngineHost::PumpIfDue();
        return n;
    };
    const TLzhSink sink = [&](const std::uint8_t* Buffer, std::int64_t Count) {
        if (!FEntryEncrypted) {
            FOutput->WriteBuffer(Buffer, Count);
            return;
        }
        packed.assign(Buffer, Buffer + Count);
        Cipher.EncryptBuf(packed.data(), Count);
        FOutput->WriteBuffer(packed.data(), Count);
    };
    // bh's method 3 is read with a 32 KiB window; a 16 KiB one fits it.
    const TLzhEncodeResult r = LzhEncode(source, sink, LzhEncodeLh6, CancelPtr);
    FEntryUnpacked = done;
    CheckCancel();
    FEntryCrc = crc ^ 0xFFFFFFFFU;
    if (r.StoreInstead || r.Written >= Size || done != Size) return false;
    // A file that changed between the two reads would not fit its cipher header: stored
    // afresh, it is checked once more.
    return !FEntryEncrypted || FEntryCrc == firstCrc;
}

void TBlakHole::StoreHeader(TCompHeaderObj& List, int Index) {
    FHeader.ToBytes(List.GetHeader(Index));
    Entry(Index).RawName = FName;
}

void TBlakHole::DoFileEnd() {
    if (OnEnd) OnEnd(*this, FileName, FEntryUnpacked == 0 || FEntryCrc == FHeader.Crc);
}

void TBlakHole::ListEntries(TCompHeaderObj& List) {
    if (Switch == swDelete) return;
    for (int i = 0; i < List.Count(); ++i) {
        if (List.Value(i) != hkAdd || Entry(i).OldOffset >= 0) continue;
        const TBhImage h = TBhImage::FromBytes(List.GetHeader(i));
        FileName = List.Name(i);
        VersionMadeBy = h.VersionMadeBy;
        Encrypted = (h.Flags & BhEnciphered) != 0;
        PackedSize = h.PackedSize;
        if (Encrypted && PackedSize >= static_cast<std::int64_t>(CryptHeaderSize))
            PackedSize -= static_cast<std::int64_t>(CryptHeaderSize);
        UnpackedSize = h.UnpackedSize;
        CRC = h.Crc;
        Method = h.Method;
        MethodName = CompressMethodName(ArcType(), h.Method, h.Flags, Entry(i).IsDir);
        ExternalAttr = h.Attr;
        Ratio = static_cast<std::uint8_t>(CompressRatio64(UnpackedSize, PackedSize));
        FileDate = h.DosDateTime > 0 ? DosDateToDateTime(h.DosDateTime) : 0;
        if (!OnRead) break;
        OnRead(*this, 0, i);
    }
}

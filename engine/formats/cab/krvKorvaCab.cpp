// The lister's cabinet walk: CFHEADER, the CFFOLDER records and the CFFILE records, read
// directly. A set goes on with the next cabinet named in the header while it lies beside
// the first; a file that began in the cabinet before is listed there only.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/cab/krvCabGbls.h"
#include "engine/read/krvKorvaWalk.h"
#include "platform/FileAttributes.h"

#include <set>
#include <vector>

namespace {

constexpr std::uint32_t CabSignature = 0x4643534D; // "MSCF"
constexpr int CabHeader = 36;
constexpr int CabFile = 16;
constexpr std::uint16_t CabPrevious = 0x0001;
constexpr std::uint16_t CabNext = 0x0002;
constexpr std::uint16_t CabReserve = 0x0004;
constexpr std::uint16_t FolderContinuedFromPrev = 0xFFFD;
constexpr std::uint16_t FolderContinuedToNext = 0xFFFE;
constexpr std::uint16_t FolderContinuedPrevAndNext = 0xFFFF;
constexpr std::uint16_t AttrNameIsUtf = 0x80;
constexpr int MaxCabinets = 999;
constexpr std::int64_t MaxCabName = 256;

class TCabWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        FBase = K.ArchiveOffset;
        FSeen.insert(K.ArchiveFile());
        if (!ReadCabinetHeader()) {
            K.ReportError(K.ArchiveFile(), "", "0", ecBadFileHeader);
            return;
        }
        Pos = FBase + GetU32LE(FHeader + 16);
        if (FFilesLeft > 0) StepSize = CabFile;
    }

    void Step() override {
        // File records end where the data begin: what lies beyond is no record.
        if (FDataStart > FBase + GetU32LE(FHeader + 16) && HeaderPos >= FDataStart) {
            K.ReportError(K.ArchiveFile(), "", "0", ecBadFileHeader);
            Stop();
            return;
        }
        --FFilesLeft;
        const std::uint8_t* f = Buf.data();
        std::int64_t next = 0;
        TKorvaEntry e;
        bool complete = false;
        e.StoredName = ReadZText(Pos, MaxCabName, next, &complete);
        if (!complete) {
            Stop();
            return;
        }
        const std::uint16_t folder = GetU16LE(f + 8);
        const std::uint16_t attribs = GetU16LE(f + 14);
        Pos = next;
        const bool continued = folder == FolderContinuedFromPrev || folder == FolderContinuedPrevAndNext;
        // Listed with the cabinet it began in.
        if (!(FContinuing && continued)) Report(e, f, folder, attribs);
        // Every CFFILE of this cabinet was read: on to the next one of the set.
        if (FFilesLeft == 0 && !OpenNextCabinet()) Stop();
    }

private:
    void Report(TKorvaEntry& e, const std::uint8_t* f, std::uint16_t folder, std::uint16_t attribs) {
        e.NameIsUtf8 = (attribs & AttrNameIsUtf) != 0;
        e.IsDirectory = (attribs & 0x10) != 0;
        e.Date = K.DosDateToDateTime(SwapWords(GetU32LE(f + 10)));
        e.VersionMadeBy = FHeader[24];
        e.VersionNeeded = FHeader[25];
        e.PackedSize = GetU32LE(f);
        e.UnpackedSize = e.PackedSize;
        e.NoRatio = true;
        e.Method = FolderMethod(folder);
        e.InternalAttr = attribs;
        e.ExternalAttr = attribs;
        e.Offset = HeaderPos;
        Select(e);
    }

    // The compression of the file's own folder; a file continued from or to another
    // cabinet lies in the first or the last folder.
    std::uint16_t FolderMethod(std::uint16_t Folder) const {
        if (FFolderMethods.empty()) return 0;
        if (Folder == FolderContinuedFromPrev || Folder == FolderContinuedPrevAndNext)
            return FFolderMethods.front();
        if (Folder == FolderContinuedToNext) return FFolderMethods.back();
        return Folder < FFolderMethods.size() ? FFolderMethods[Folder] : 0;
    }

    bool ReadCabinetHeader() {
        if (!ReadExact(FBase, FHeader, CabHeader) || GetU32LE(FHeader) != CabSignature) return false;
        const std::uint16_t flags = GetU16LE(FHeader + 30);
        std::int64_t p = FBase + CabHeader;
        int folderReserve = 0;
        if (flags & CabReserve) {
            std::uint8_t r[4];
            if (!ReadExact(p, r, 4)) return false;
            folderReserve = r[2];
            p += 4 + GetU16LE(r);
        }
        FNextCabinet.clear();
        if (flags & CabPrevious) {
            ReadZText(p, MaxCabName, p);
            ReadZText(p, MaxCabName, p);
        }
        if (flags & CabNext) {
            FNextCabinet = ReadZText(p, MaxCabName, p);
            ReadZText(p, MaxCabName, p);
        }
        const std::uint16_t folders = GetU16LE(FHeader + 26);
        FFolderMethods.clear();
        FDataStart = -1;
        for (std::uint16_t i = 0; i < folders; ++i) {
            std::uint8_t f[8];
            if (!ReadExact(p, f, 8)) return false;
            FFolderMethods.push_back(GetU16LE(f + 6));
            if (GetU16LE(f + 4) > 0 && (FDataStart < 0 || FBase + GetU32LE(f) < FDataStart))
                FDataStart = FBase + GetU32LE(f);
            p += 8 + folderReserve;
        }
        FFilesLeft = GetU16LE(FHeader + 28);
        return true;
    }

    bool OpenNextCabinet() {
        if (FNextCabinet.empty() || Cancelled()) return false;
        std::string name = FindCabinetFile(FolderOf(K.ArchiveFile()), FNextCabinet);
        if (!FileExists(name) || FSeen.count(name) || std::ssize(FSeen) >= MaxCabinets) return false;
        if (!K.GetNextVolume(name, std::to_string(FSeen.size() + 1))) return false;
        const std::uint16_t setID = GetU16LE(FHeader + 32), index = GetU16LE(FHeader + 34);
        ResetCache();
        StreamRef().reset();
        std::uint8_t status = fsOpenOk;
        auto next = std::make_unique<TFileStream32>(name, fmOpenRead | fmShareDenyNone, status);
        if (status != fsOpenOk) {
            K.ReportError(name, "", "0", ecErrorOpeningFile);
            return false;
        }
        StreamRef() = std::move(next);
        FSeen.insert(name);
        End = StreamRef()->Size();
        FBase = 0;
        if (!ReadCabinetHeader()) {
            K.ReportError(name, "", "0", ecBadFileHeader);
            return false;
        }
        // Only the next cabinet of the same set goes on with it.
        if (GetU16LE(FHeader + 32) != setID || GetU16LE(FHeader + 34) != index + 1) {
            K.ReportError(name, "", "0", ecCabinetNotInSet);
            return false;
        }
        FContinuing = true;
        VolumeChanged = true;
        Pos = GetU32LE(FHeader + 16);
        return FFilesLeft > 0;
    }

    std::uint8_t FHeader[CabHeader] = {};
    std::int64_t FBase = 0;
    std::uint32_t FFilesLeft = 0;
    std::vector<std::uint16_t> FFolderMethods;
    std::int64_t FDataStart = -1; // where the cabinet's first data block lies
    std::string FNextCabinet;
    std::set<std::string> FSeen;
    bool FContinuing = false;
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeCabWalk(TKorva& Owner) {
    return std::make_unique<TCabWalk>(Owner);
}

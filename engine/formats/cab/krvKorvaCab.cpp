// The lister's cabinet walk. Each cabinet's records are read and checked as the reader reads
// them (CabinetRecords.h): the faults of a cabinet are reported once for it, a file whose range
// cannot be right is listed and reported by its name, and every file record that can be read is
// listed. A set goes on with the next cabinet its records name while that lies beside the
// first and belongs to the set, also past a cabinet whose records are damaged; a file that
// began in the cabinet before is listed there only.
#include "engine/core/krvByteAccess.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/cab/krvCabGbls.h"
#include "engine/read/krvKorvaWalk.h"
#include "platform/CabinetFdi.h"
#include "platform/CabinetRecords.h"
#include "platform/FileAttributes.h"

#include <algorithm>
#include <set>

namespace {

constexpr int CabFile = 16;
constexpr std::uint16_t AttrNameIsUtf = 0x80;
constexpr std::uint16_t AttrDirectory = 0x10;
constexpr int MaxCabinets = 999;

class TCabWalk final : public TKorva::TWalk {
public:
    using TWalk::TWalk;

    void Setup() override {
        End = K.ArchiveSize;
        FBase = K.ArchiveOffset;
        FSeen.insert(K.ArchiveFile());
        TCabRecords records = ReadRecords();
        if (!records.Read) {
            K.ReportError(K.ArchiveFile(), "", "0", ecBadFileHeader);
            return;
        }
        Take(K.ArchiveFile(), std::move(records));
        StepSize = CabFile;
        if (!NextRecord()) Stop();
    }

    void Step() override {
        if (FNext >= FRecords.Files.size()) {
            Stop();
            return;
        }
        const TCabRecords::TFile& f = FRecords.Files[FNext++];
        TKorvaEntry e;
        e.StoredName = f.Name;
        e.NameIsUtf8 = (f.Attribs & AttrNameIsUtf) != 0;
        e.IsDirectory = (f.Attribs & AttrDirectory) != 0;
        e.Date = K.DosDateToDateTime((std::uint32_t{f.Date} << 16) | f.Time);
        e.VersionMadeBy = FRecords.VersionMinor;
        e.VersionNeeded = FRecords.VersionMajor;
        e.PackedSize = f.Length;
        e.UnpackedSize = f.Length;
        e.NoRatio = true;
        e.Method = FolderMethod(f);
        e.InternalAttr = f.Attribs;
        e.ExternalAttr = f.Attribs;
        e.Offset = HeaderPos;
        // Listed so that it is seen, and named as the reader names it.
        if (Select(e) && !f.Fault.empty() && !Cancelled())
            K.ReportError(K.FileName, f.Fault, "0", ecBadFileHeader);
        if (!NextRecord()) Stop();
    }

private:
    // The walk's stream, from the cabinet's start, as the record reader reads a file.
    class TStreamFiles final : public TFdiFiles {
    public:
        explicit TStreamFiles(TCabWalk& Walk) : W(Walk) {}
        std::intptr_t Open(const std::string&, int, int) override { return -1; }
        std::int64_t Read(std::intptr_t, void* Buffer, std::int64_t Count) override {
            const std::int64_t count = std::clamp<std::int64_t>(W.End - W.FBase - FPos, 0, Count);
            const std::int64_t got = count > 0 ? W.ReadAt(W.FBase + FPos, Buffer, count) : 0;
            FPos += got;
            return got;
        }
        std::int64_t Write(std::intptr_t, const void*, std::int64_t) override { return -1; }
        int Close(std::intptr_t) override { return 0; }
        std::int64_t Seek(std::intptr_t, std::int64_t Distance, int SeekType) override {
            const std::int64_t from = SeekType == 2 ? W.End - W.FBase : SeekType == 1 ? FPos : 0;
            if (from + Distance < 0) return -1;
            return FPos = from + Distance;
        }

    private:
        TCabWalk& W;
        std::int64_t FPos = 0;
    };

    // The records of the cabinet now read.
    TCabRecords ReadRecords() {
        TStreamFiles files(*this);
        return ReadCabRecords(files, 0);
    }
    // Lists the cabinet of these records next, its faults reported once.
    void Take(const std::string& Name, TCabRecords Records) {
        FBefore.clear();
        for (const TCabRecords::TFile& f : FRecords.Files)
            FBefore.insert(f.Name);
        FRecords = std::move(Records);
        FNext = 0;
        if (!FRecords.Faults.empty()) K.ReportError(Name, CabFaultText(FRecords), "0", ecBadFileHeader);
    }

    // Pos at the next file record to list, in this cabinet or the next ones of the set; false
    // when none is left.
    bool NextRecord() {
        while (!Cancelled()) {
            // A file that began in the cabinet before was listed there, where its record could be
            // read.
            while (FNext < FRecords.Files.size() && FRecords.Files[FNext].ContinuedFromPrev() &&
                   FBefore.count(FRecords.Files[FNext].Name))
                ++FNext;
            if (FNext < FRecords.Files.size()) {
                Pos = FBase + FRecords.Files[FNext].At;
                return true;
            }
            if (!OpenNextCabinet()) return false;
        }
        return false;
    }

    // The compression of the file's own folder; a file continued from or to another
    // cabinet lies in the first or the last folder.
    std::uint16_t FolderMethod(const TCabRecords::TFile& File) const {
        const std::vector<TCabRecords::TFolder>& folders = FRecords.Folders;
        if (folders.empty()) return 0;
        if (File.ContinuedFromPrev()) return folders.front().CompType;
        if (File.Continued()) return folders.back().CompType;
        return File.Folder < folders.size() ? folders[File.Folder].CompType : 0;
    }

    bool OpenNextCabinet() {
        if (FRecords.NextName.empty() || Cancelled()) return false;
        std::string name = FindCabinetFile(FolderOf(K.ArchiveFile()), FRecords.NextName);
        if (!FileExists(name) || FSeen.count(name) || std::ssize(FSeen) >= MaxCabinets) return false;
        if (!K.GetNextVolume(name, std::to_string(FSeen.size() + 1))) return false;
        const std::uint16_t setID = FRecords.SetID, index = FRecords.Index;
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
        // Only the next cabinet of the same set goes on with it.
        TCabRecords records = ReadRecords();
        if (!records.Read || records.SetID != setID || records.Index != index + 1) {
            K.ReportError(name, "", "0", records.Read ? ecCabinetNotInSet : ecBadFileHeader);
            return false;
        }
        Take(name, std::move(records));
        VolumeChanged = true;
        return true;
    }

    std::int64_t FBase = 0;
    TCabRecords FRecords;
    std::size_t FNext = 0; // the next file record to list
    std::set<std::string> FSeen;
    std::set<std::string> FBefore; // the names of the cabinet before's records
};

} // namespace

std::unique_ptr<TKorva::TWalk> MakeCabWalk(TKorva& Owner) {
    return std::make_unique<TCabWalk>(Owner);
}
